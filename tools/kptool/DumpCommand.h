// `kptool dump FILE`: the file header, the character header, the pattern names, the sound table
// and cell 0 of a character file, read in place with the program's own views. Nothing outside
// the file is read: a field that lies outside is printed as "outside the file".
#pragma once

#include "chardata/ImageView.h"
#include "platform/Services.h"

#include <ostream>

namespace kp::tool {

// Dumps an image in memory.
void DumpImage(const ImageView& image, std::ostream& out);

// Reads the file as the program does and dumps it. Returns the exit status: 0, or 1 when the
// file cannot be read (the program's message 1 is printed then).
int RunDump(IFileSystem& files, const AnsiString& path, std::ostream& out);

} // namespace kp::tool
