// `kptool build SOURCE -o FILE.kp`: assembles a character source (docs/script-language.md) with
// the BMP and WAV files it names, relative to the source's folder, and writes the file.
#pragma once

#include <ostream>
#include <string>

namespace kp::tool {

struct BuildOptions {
    // `--strict`: warnings (the lint's findings at their source lines among them) are errors.
    bool strict = false;
};

// Prints the diagnostics to `err` (Assembler.h) and returns the exit status (ExitStatus.h): 0 when
// the file was written; kExitDataError when the source has errors (or warnings, when strict);
// kExitCannotRead when the source cannot be read; kExitCannotWrite when the output cannot be
// written or is the source or one of the files it names (which is then left as it is).
int RunBuild(const std::string& sourcePath, const std::string& outputPath, const BuildOptions& options,
             std::ostream& err);

} // namespace kp::tool
