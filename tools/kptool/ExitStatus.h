// kptool's exit statuses: one table for every command, printed by `kptool --help` and in the
// README. A script that vets characters can tell a file that would not load (the program's own
// message numbers), one whose scripts have problems, and one that reaches outside the program.
#pragma once

namespace kp::tool {

enum ExitStatus : int {
    kExitOk = 0,
    // 1..6: the number of the message the program shows when it loads the file (LoadMessage):
    // 1 unreadable, 2 damaged, 3 not a character file, 4 newer version, 5 the question whether
    // to load a file that may be damaged, 6 a size the program cannot show.
    kExitLintProblems = 10, // check --lint: the file loads, its scripts have problems
    kExitOutsideEffects =
        11,                // check --lint: no problems, but it starts programs or plays sound files by name
    kExitUsage = 64,       // EX_USAGE: a usage error
    kExitDataError = 65,   // EX_DATAERR: the source has errors, or the character has nothing to show
    kExitCannotRead = 66,  // EX_NOINPUT: the source cannot be read
    kExitInternal = 70,    // EX_SOFTWARE: kptool itself failed, or standard output cannot be written
    kExitCannotWrite = 73, // EX_CANTCREAT: an output cannot be written, or would replace an input
};

// The table as `kptool --help` prints it.
constexpr const char* kExitStatusTable =
    "exit statuses (every command):\n"
    "   0  done; check: the file loads without a word\n"
    "   1  the program's message 1: the file cannot be read\n"
    "   2  message 2: the data is damaged\n"
    "   3  message 3: not a character file (the program calls it old-version data)\n"
    "   4  message 4: the file needs a newer version of the program\n"
    "   5  message 5: the data may be damaged (check, dump: the question; trace,\n"
    "      preview: answering Yes would find it damaged or too large)\n"
    "   6  message 6: the window or the first cell is 0 or more than 4096 pixels\n"
    "  10  check --lint: the file loads, but its scripts have problems\n"
    "  11  check --lint: no problems, but it starts programs or plays sound files by name\n"
    "  64  usage error\n"
    "  65  build: the source has errors (with --strict, warnings too); preview: a\n"
    "      frame too large to render\n"
    "  66  build: the source cannot be read\n"
    "  70  kptool failed, or its output could not be written\n"
    "  73  an output cannot be written, or it would replace the source or an input\n"
    "      (dump --source into an existing source without --force)\n";

} // namespace kp::tool
