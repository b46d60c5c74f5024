// The deep lint of `kptool check --lint`: every problem a script can meet at run time that can be
// found without running it, and what a character would do outside the program (the programs it
// starts, the sound files it plays). Scripts are followed from each pattern's start and from
// every click entry, taking both ways at every conditional jump.
#pragma once

#include "chardata/ImageView.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kp::tool {

// One problem, where it was found: a pattern (0-based) and a byte offset in it, or a sound.
struct LintProblem {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t pattern = kNone; // kNone for a problem of the sound table
    std::size_t offset = 0;      // in the pattern: the instruction's opcode byte, or a jump target
    std::size_t sound = kNone;   // the sound, for a problem of the sound table
    int operand = -1;            // the operand at fault (0-based), or -1 for the instruction
    std::string where;           // "pattern 1 "Name" offset 30", or "sound 0"
    std::string what;            // "cell 7 is past the cell table (2 entries)"
    std::string Text() const { return where + ": " + what; }
};

struct LintReport {
    std::vector<LintProblem> problems;
    // "pattern 1 "Name" offset 30: notepad.exe" for each OP_EXEC and OP_PLAYFILE reached.
    std::vector<std::string> programs;
    std::vector<std::string> soundFiles;
};

// Lints an image that the program loads (its structure has passed the loader's checks).
LintReport LintImage(const ImageView& image);

} // namespace kp::tool
