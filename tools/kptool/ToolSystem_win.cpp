// kptool's system calls on Windows: UTF-8 paths opened as wide strings, files told apart by volume
// and file index (the C runtime's stat gives every file inode 0), and a console switched to UTF-8.
#include "ToolSystem.h"

#include "win32/Win32Text.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

namespace kp::tool {

namespace {

// Closes the handle on every way out.
class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (Valid())
            CloseHandle(m_h);
    }
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }
    bool Close() {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != 0;
    }

private:
    HANDLE m_h;
};

constexpr ::DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Identity of a file: its volume's serial number and its index on that volume. Opened with no
// access rights, so a file another program holds open is still identified; folders too.
bool Identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    Handle file(CreateFileW(win32::Utf8ToWide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.Valid() && GetFileInformationByHandle(file.Get(), &info);
}

::UINT g_consoleCodePage = 0;

void RestoreConsoleCodePage() {
    SetConsoleOutputCP(g_consoleCodePage);
}

bool IsConsole(::DWORD stdHandle) {
    ::DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(stdHandle), &mode) != 0;
}

} // namespace

bool WriteFileBytes(const std::string& path, const void* data, std::size_t size) {
    Handle file(CreateFileW(win32::Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return false;
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t want = std::min<std::size_t>(size - done, std::size_t{1} << 30);
        ::DWORD wrote = 0;
        if (!::WriteFile(file.Get(), bytes + done, static_cast<::DWORD>(want), &wrote, nullptr) || wrote == 0)
            return false;
        done += wrote;
    }
    return file.Close();
}

bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    return Identify(a, ia) && Identify(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(win32::Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::string& dir) {
    const std::wstring wide = win32::Utf8ToWide(dir);
    if (CreateDirectoryW(wide.c_str(), nullptr))
        return true;
    const ::DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void PrepareConsole() {
    // Redirected output keeps the bytes written, "\n" included, as kptool writes them elsewhere;
    // a console gets its usual line ends.
    if (!IsConsole(STD_OUTPUT_HANDLE))
        _setmode(_fileno(stdout), _O_BINARY);
    if (!IsConsole(STD_ERROR_HANDLE))
        _setmode(_fileno(stderr), _O_BINARY);
    // A console shows UTF-8 once told so; its own code page comes back when kptool ends.
    if ((IsConsole(STD_OUTPUT_HANDLE) || IsConsole(STD_ERROR_HANDLE)) && GetConsoleOutputCP() != CP_UTF8) {
        g_consoleCodePage = GetConsoleOutputCP();
        if (SetConsoleOutputCP(CP_UTF8))
            std::atexit(RestoreConsoleCodePage);
    }
}

} // namespace kp::tool
