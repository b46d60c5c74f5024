#include "ToolSystem.h"

namespace kp::tool {

namespace {

bool IsSeparator(char c, bool windowsPaths) {
    return c == '/' || (windowsPaths && c == '\\');
}

} // namespace

bool ReadFileBytes(const std::string& path, std::string& out) {
    // Through the file service: the same whole-file read, the same refusals (folders, files past
    // 32 bits) as a character file gets.
    NativeFileSystem files;
    ByteBlock block;
    if (!files.ReadWholeFile(path, block))
        return false;
    if (block.size == 0)
        out.clear();
    else
        out.assign(reinterpret_cast<const char*>(block.data.get()), block.size);
    return true;
}

std::string FolderOf(const std::string& path, bool windowsPaths) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsSeparator(path[i - 1], windowsPaths) || (windowsPaths && i == 2 && path[1] == ':'))
            return path.substr(0, i);
    return "";
}

std::string ResolveInput(const std::string& folder, const std::string& name, bool windowsPaths) {
    const bool absolute = (!name.empty() && IsSeparator(name[0], windowsPaths)) ||
                          (windowsPaths && name.size() >= 2 && name[1] == ':');
    return absolute ? name : folder + name;
}

} // namespace kp::tool
