// kptool's system calls on POSIX systems: paths are the bytes given, the terminal takes UTF-8.
#include "ToolSystem.h"

#include <fstream>
#include <sys/stat.h>

namespace kp::tool {

bool WriteFileBytes(const std::string& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return static_cast<bool>(out);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool MakeFolder(const std::string& dir) {
    struct stat st {};
    return mkdir(dir.c_str(), 0777) == 0 || (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

void PrepareConsole() {}

} // namespace kp::tool
