// kptool: the character authors' companion. One table of commands; each command takes its own
// options (long options only, before or after the file) and one file.
#include "CheckCommand.h"
#include "DumpCommand.h"

#include "sim/PosixFileSystem.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 64; // EX_USAGE

const char* const kUsage =
    "usage: kptool COMMAND [OPTIONS] FILE\n"
    "\n"
    "commands:\n"
    "  check FILE   the program's own load verdict on a character file: prints \"ok\" and\n"
    "               exits with 0, or prints the message the program would show and exits\n"
    "               with its number (1 unreadable, 2 damaged, 3 old format, 4 newer version,\n"
    "               5 the question whether to load a file that may be damaged; when Yes\n"
    "               would then find the file damaged, a further line says so)\n"
    "  dump FILE    the file header, the character header, the pattern names, the sound\n"
    "               table and cell 0; anything outside the file is shown as such\n"
    "\n"
    "options:\n"
    "  --help       this text\n"
    "\n"
    "Texts from the file are printed in UTF-8 (bytes that do not convert from code page 932\n"
    "as \\xNN). A usage error exits with 64.\n";

struct Args {
    std::vector<std::string> options; // "--name" as given
    std::vector<std::string> files;
};

int UsageError(const std::string& why) {
    std::cerr << "kptool: " << why << "\n\n" << kUsage;
    return kUsageError;
}

// Splits a command's arguments; "--" ends the options.
Args Split(int argc, char** argv, int first) {
    Args a;
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--")
            optionsEnded = true;
        else if (!optionsEnded && arg.size() > 1 && arg[0] == '-')
            a.options.push_back(arg);
        else
            a.files.push_back(arg);
    }
    return a;
}

struct Command {
    const char* name;
    // The options the command accepts besides --help.
    std::vector<std::string> options;
    int (*run)(const Args& args);
};

int Check(const Args& args) {
    kp::tool::CheckOptions options;
    // --lint will set options.lint here.
    kp::sim::PosixFileSystem files;
    return kp::tool::RunCheck(files, args.files[0], options, std::cout);
}

int Dump(const Args& args) {
    kp::sim::PosixFileSystem files;
    return kp::tool::RunDump(files, args.files[0], std::cout);
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"check", {}, Check},
        {"dump", {}, Dump},
    };
    return commands;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return UsageError("no command given");
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << kUsage;
        return 0;
    }
    for (const Command& command : Commands()) {
        if (name != command.name)
            continue;
        const Args args = Split(argc, argv, 2);
        for (const std::string& option : args.options) {
            if (option == "--help" || option == "-h") {
                std::cout << kUsage;
                return 0;
            }
            bool known = false;
            for (const std::string& accepted : command.options)
                known = known || option == accepted;
            if (!known)
                return UsageError("unknown option " + option + " for " + name);
        }
        if (args.files.size() != 1)
            return UsageError(name + " takes one file");
        try {
            const int status = command.run(args);
            std::cout.flush();
            return std::cout ? status : 70; // EX_SOFTWARE: the output could not be written
        } catch (const std::exception& e) {
            std::cerr << "kptool: " << e.what() << '\n';
            return 70;
        }
    }
    return UsageError("unknown command " + name);
}
