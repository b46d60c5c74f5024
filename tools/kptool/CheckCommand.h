// `kptool check FILE`: the program's own load verdict.
#pragma once

#include "platform/Services.h"

#include <ostream>

namespace kp::tool {

struct CheckOptions {
    // The deep lint (`--lint`) joins here with the next issue.
};

// Prints "ok" or the text of the message the program would show (UTF-8), and for the question
// on a file whose structure is also broken a line saying that Yes would give message 2.
// Returns the exit status: 0, or the message number (5 for the question).
int RunCheck(IFileSystem& files, const AnsiString& path, const CheckOptions& options, std::ostream& out);

} // namespace kp::tool
