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

// The exit status of a file that loads but whose lint found problems.
constexpr int kLintProblems = 10;

// Prints "ok" or the text of the message the program would show (UTF-8), and for the question
// on a file whose structure is also broken a line saying that Yes would give message 2.
// Returns the exit status: 0, or the message number (5 for the question); with the lint,
// kLintProblems when the file loads without a question but problems were found.
int RunCheck(IFileSystem& files, const AnsiString& path, const CheckOptions& options, std::ostream& out);

} // namespace kp::tool
