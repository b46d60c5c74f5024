// `kptool check FILE`: the program's own load verdict.
#pragma once

#include "platform/Services.h"

#include <ostream>

namespace kp::tool {

struct CheckOptions {
    // `--lint`: after the verdict on a file that loads, the problems its scripts would meet at run
    // time and what it would start and play outside the program.
    bool lint = false;
};

// Prints "ok" or the text of the message the program would show (UTF-8, on one line, with its
// number and an English gloss), and for the question on a file whose structure is also broken a
// line saying that Yes would give message 2. Returns the exit status (ExitStatus.h): 0, or the
// message number (5 for the question); with the lint, when the file loads without a question,
// kExitLintProblems for problems and else kExitOutsideEffects when it starts programs or plays
// sound files by name.
int RunCheck(IFileSystem& files, const AnsiString& path, const CheckOptions& options, std::ostream& out);

} // namespace kp::tool
