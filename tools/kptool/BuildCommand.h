// `kptool build SOURCE -o FILE.kp`: assembles a character source (docs/script-language.md) with
// the BMP and WAV files it names, relative to the source's folder, and writes the file.
#pragma once

#include <ostream>
#include <string>

namespace kp::tool {

// Returns the exit status: 0 when the file was written; 1 when the source has errors (printed to
// `err` as SOURCE:LINE: message) or a file cannot be read or written.
int RunBuild(const std::string& sourcePath, const std::string& outputPath, std::ostream& err);

// The bytes of a file; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& out);
// Writes a whole file; false when it cannot be written.
bool WriteFileBytes(const std::string& path, const void* data, std::size_t size);

} // namespace kp::tool
