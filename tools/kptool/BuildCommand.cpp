#include "BuildCommand.h"

#include "Assembler.h"
#include "Diagnostics.h"
#include "ExitStatus.h"
#include "ToolSystem.h"

namespace kp::tool {

int RunBuild(const std::string& sourcePath, const std::string& outputPath, const BuildOptions& options,
             std::ostream& err) {
    std::string text;
    if (!ReadFileBytes(sourcePath, text)) {
        err << "kptool: cannot read " << sourcePath << '\n';
        return kExitCannotRead;
    }
    const std::string folder = FolderOf(sourcePath);
    // File names in the source are UTF-8 and are opened by that name (ToolSystem.h); only texts
    // stored in the character are converted to code page 932.
    std::vector<std::string> inputs{sourcePath};
    const ReadFileFn read = [&](const std::string& name, build::Bytes& out) {
        std::string bytes;
        const std::string path = ResolveInput(folder, name);
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
