// The deep lint of `kptool check --lint`: every problem a script can meet at run time that can be
// found without running it, and what a character would do outside the program (the programs it
// starts, the sound files it plays). Scripts are followed from each pattern's start and from
// every click entry, taking both ways at every conditional jump.
#pragma once

#include "chardata/ImageView.h"

#include <string>
#include <vector>

namespace kp::tool {

struct LintReport {
    std::vector<std::string> problems;
    // "pattern 1 "Name" offset 30: notepad.exe" for each OP_EXEC and OP_PLAYFILE reached.
    std::vector<std::string> programs;
    std::vector<std::string> soundFiles;
};

// Lints an image that the program loads (its structure has passed the loader's checks).
LintReport LintImage(const ImageView& image);

} // namespace kp::tool
