#include "BuildCommand.h"

#include "Assembler.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace kp::tool {

bool ReadFileBytes(const std::string& path, std::string& out) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFileBytes(const std::string& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return static_cast<bool>(out);
}

int RunBuild(const std::string& sourcePath, const std::string& outputPath, std::ostream& err) {
    std::string text;
    if (!ReadFileBytes(sourcePath, text)) {
        err << "kptool: cannot read " << sourcePath << '\n';
        return 1;
    }
    const std::size_t slash = sourcePath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : sourcePath.substr(0, slash + 1);
    const ReadFileFn read = [&](const std::string& name, build::Bytes& out) {
        std::string bytes;
        if (!ReadFileBytes(!name.empty() && name[0] == '/' ? name : folder + name, bytes))
            return false;
        out.assign(bytes.begin(), bytes.end());
        return true;
    };
    build::Bytes image;
    std::vector<std::string> errors;
    if (!AssembleSource(sourcePath, text, read, image, errors)) {
        for (const std::string& e : errors)
            err << e << '\n';
        return 1;
    }
    if (!WriteFileBytes(outputPath, image.data(), image.size())) {
        err << "kptool: cannot write " << outputPath << '\n';
        return 1;
    }
    return 0;
}

} // namespace kp::tool
