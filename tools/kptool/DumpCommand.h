// `kptool dump FILE`: the file header, the character header, the pattern names, the sound table
// and cell 0 of a character file, read in place with the program's own views. Nothing outside
// the file is read: a field that lies outside is printed as "outside the file".
#pragma once

#include "chardata/ImageView.h"
#include "platform/Services.h"

#include <ostream>

namespace kp::tool {

// Dumps an image in memory, every pattern's script disassembled at the end.
void DumpImage(const ImageView& image, std::ostream& out);

// Reads the file as the program does and dumps it. Returns the exit status: 0, or 1 when the
// file cannot be read (the program's message 1 is printed then).
int RunDump(IFileSystem& files, const AnsiString& path, std::ostream& out);

// `kptool dump FILE --source DIR`: writes DIR/character.kps and the BMP and WAV files it names,
// from which `kptool build` makes the file again byte for byte. Returns 0, 1 when the file cannot
// be read, 2 when the program would not load it, 3 when a file cannot be written.
int RunDumpSource(IFileSystem& files, const AnsiString& path, const std::string& dir, std::ostream& out,
                  std::ostream& err);

} // namespace kp::tool
