#include "BuildCommand.h"

#include "Assembler.h"
#include "Diagnostics.h"
#include "ExitStatus.h"

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

namespace {

// Whether two paths name one file (both exist and are the same file, whatever their spelling).
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

int RunBuild(const std::string& sourcePath, const std::string& outputPath, const BuildOptions& options,
             std::ostream& err) {
    std::string text;
    if (!ReadFileBytes(sourcePath, text)) {
        err << "kptool: cannot read " << sourcePath << '\n';
        return kExitCannotRead;
    }
    const std::size_t slash = sourcePath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : sourcePath.substr(0, slash + 1);
    // File names in the source are UTF-8 and are opened by those very bytes; only texts stored
    // in the character are converted to code page 932.
    std::vector<std::string> inputs{sourcePath};
    const ReadFileFn read = [&](const std::string& name, build::Bytes& out) {
        std::string bytes;
        const std::string path = !name.empty() && name[0] == '/' ? name : folder + name;
        if (!ReadFileBytes(path, bytes))
            return false;
        inputs.push_back(path);
        out.assign(bytes.begin(), bytes.end());
        return true;
    };
    build::Bytes image;
    std::vector<std::string> errors, warnings;
    const bool built = AssembleSource(sourcePath, text, read, image, errors, &warnings);
    for (const std::string& w : warnings)
        err << (options.strict ? AsError(w) : w);
    for (const std::string& e : errors)
        err << e;
    if (!built || (options.strict && !warnings.empty()))
        return kExitDataError;
    for (const std::string& input : inputs)
        if (SameFile(input, outputPath)) {
            err << "kptool: will not write " << outputPath << ": it is "
                << (input == sourcePath ? "the source" : "the input " + input) << '\n';
            return kExitCannotWrite;
        }
    if (!WriteFileBytes(outputPath, image.data(), image.size())) {
        err << "kptool: cannot write " << outputPath << '\n';
        return kExitCannotWrite;
    }
    return 0;
}

} // namespace kp::tool
