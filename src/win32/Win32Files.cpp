#include "win32/Win32Files.h"

#include "win32/Win32Text.h"

#include <windows.h>

#include <new>

namespace kp::win32 {

bool Win32FileSystem::ReadWholeFile(const Utf8String& path, ByteBlock& out) {
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::DWORD high = 0;
    const ::DWORD low = GetFileSize(file, &high);
    // File lengths are 32-bit in this format; a larger file cannot be a character file.
    if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) {
        CloseHandle(file);
        return false;
    }
    ByteBlock block;
    try {
        block.Allocate(low);
    } catch (const std::bad_alloc&) {
        CloseHandle(file);
        return false;
    }
    ::DWORD done = 0;
    while (done < low) {
        ::DWORD got = 0;
        if (!ReadFile(file, block.data.get() + done, low - done, &got, nullptr) || got == 0) {
            CloseHandle(file);
            return false;
        }
        done += got;
    }
    if (!CloseHandle(file))
        return false;
    out = std::move(block);
    return true;
}

std::vector<Utf8String> Win32FileSystem::FindFiles(const Utf8String& pattern) {
    std::vector<Utf8String> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Utf8ToWide(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(WideToUtf8(data.cFileName));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

} // namespace kp::win32
