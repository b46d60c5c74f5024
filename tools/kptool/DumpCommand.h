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

// Reads the file as the program does, dumps what it can read and ends with the program's verdict
// ("verdict: ok" or the message). Returns the exit status: the verdict's message number (as
// `kptool check` gives it), 0 for a file that loads without a word.
int RunDump(IFileSystem& files, const AnsiString& path, std::ostream& out);

// `kptool dump FILE --source DIR`: writes DIR/character.kps and the BMP and WAV files it names,
// from which `kptool build` makes the file again byte for byte. Files already in DIR of those
// names are replaced only when `force` is set. Returns 0; the message number when the file cannot
// be read (1) or the program would not load it; kExitCannotWrite when a file exists (without
// `force`) or cannot be written.
int RunDumpSource(IFileSystem& files, const AnsiString& path, const std::string& dir, bool force,
                  std::ostream& out, std::ostream& err);

} // namespace kp::tool
