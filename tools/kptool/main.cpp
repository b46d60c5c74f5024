// kptool: the character authors' companion. One table of commands; each command takes its own
// options (before or after the file; -o and some long options take a value) and one file.
#include "BuildCommand.h"
#include "CheckCommand.h"
#include "DumpCommand.h"
#include "ExitStatus.h"
#include "ToolSystem.h"
#include "TraceCommand.h"
#ifdef KPTOOL_PREVIEW
#include "PreviewCommand.h"
#endif
#ifdef _WIN32
#include "win32/Win32Text.h"
#endif

#include <algorithm>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string& Usage() {
    static const std::string usage =
        std::string("usage: kptool COMMAND [OPTIONS] FILE\n"
                    "\n"
                    "commands:\n"
                    "  check FILE   the program's own load verdict on a character file: prints \"ok\", or\n"
                    "               the message the program would show, on one line with its number and an\n"
                    "               English gloss (when Yes to the question would find the file damaged, a\n"
                    "               further line says so)\n"
                    "  check --lint FILE\n"
                    "               the verdict, then every problem the scripts would meet at run time that\n"
                    "               can be found without running them (each with its pattern, offset and\n"
                    "               instruction), and the programs (OP_EXEC) and sound files (OP_PLAYFILE)\n"
                    "               they name\n"
                    "  dump FILE    the file header, the character header, the pattern names, the sound\n"
                    "               table, the cells and every pattern's script, then the verdict; anything\n"
                    "               outside the file is shown as such\n"
                    "  dump FILE --source DIR [--force]\n"
                    "               writes DIR/character.kps and the BMP and WAV files it names, from which\n"
                    "               build makes the file again byte for byte; files already there are\n"
                    "               replaced only with --force\n"
                    "  build SOURCE -o FILE.kp [--strict]\n"
                    "               assembles a character source (docs/script-language.md) with the BMP and\n"
                    "               WAV files it names; errors and warnings (every finding of check --lint\n"
                    "               on what it built among them, at the line that made it) as\n"
                    "               SOURCE:LINE:COLUMN: error: message; --strict makes warnings errors.\n"
                    "               The output may not be the source or one of the files it names\n"
                    "  trace FILE   runs the character headless on a virtual clock and prints one line per\n"
                    "               event: the time in ms, then what the character did (docs/trace.md);\n"
                    "               --pattern N (0 random; default the file's), --position P (0..100;\n"
                    "               default the file's), --duration MS (10000), --seed N (1),\n"
                    "               --clock YYYY-MM-DDTHH:MM:SS[.mmm], --cursor X,Y (default -200,-200:\n"
                    "               away from the window), --clicks MS,MS,..., --auto on|off; programs are\n"
                    "               never started\n"
                    "  preview FILE -o DIR\n"
#ifdef KPTOOL_PREVIEW
                    "               the same run as trace, with its options, drawn: DIR/frame-0000.png...\n"
                    "               (one per shown frame) and DIR/preview.gif, the window shape as\n"
                    "               transparency (docs/preview.md); --window layered|region (layered:\n"
                    "               Windows 2000 and later, the default), --scale N (1..16)\n"
#else
                    "               not in kptool for Windows (its PNG, GIF and font libraries are\n"
                    "               not built for Windows): use kptool on Linux, or trace for what\n"
                    "               the character does\n"
#endif
                    "\n"
                    "options:\n"
                    "  --help       this text\n"
                    "\n"
                    "Texts from the file are printed in UTF-8 (bytes that do not convert from code page 932\n"
                    "as \\xNN).\n"
                    "\n") +
        kp::tool::kExitStatusTable;
    return usage;
}

struct Args {
    std::vector<std::string> options; // "--name" as given
    std::vector<std::string> files;
    std::map<std::string, std::string> values; // options that take a value: "-o" -> "out.kp"
};

// Options that take the next argument as their value.
bool TakesValue(const std::string& option) {
    if (option == "-o" || option == "--output" || option == "--source")
        return true;
    std::size_t count = 0;
    const char* const* trace = kp::tool::TraceOptionNames(&count);
    for (std::size_t i = 0; i < count; ++i)
        if (option == trace[i])
            return true;
#ifdef KPTOOL_PREVIEW
    const auto& preview = kp::tool::PreviewOptionNames();
    return std::find(preview.begin(), preview.end(), option) != preview.end();
#else
    return false;
#endif
}

int UsageError(const std::string& why) {
    std::cerr << "kptool: " << why << "\n\n" << Usage();
    return kp::tool::kExitUsage;
}

// Splits a command's arguments; "--" ends the options.
Args Split(int argc, char** argv, int first) {
    Args a;
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--")
            optionsEnded = true;
        else if (!optionsEnded && TakesValue(arg) && i + 1 < argc) {
            a.options.push_back(arg);
            a.values[arg] = argv[++i];
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-')
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
    options.lint = std::find(args.options.begin(), args.options.end(), "--lint") != args.options.end();
    kp::tool::NativeFileSystem files;
    return kp::tool::RunCheck(files, args.files[0], options, std::cout);
}

bool Has(const Args& args, const char* option) {
    return std::find(args.options.begin(), args.options.end(), option) != args.options.end();
}

int Dump(const Args& args) {
    kp::tool::NativeFileSystem files;
    if (args.values.count("--source"))
        return kp::tool::RunDumpSource(files, args.files[0], args.values.at("--source"), Has(args, "--force"),
                                       std::cout, std::cerr);
    return kp::tool::RunDump(files, args.files[0], std::cout);
}

int Build(const Args& args) {
    const auto out = args.values.count("-o") ? args.values.find("-o") : args.values.find("--output");
    if (out == args.values.end()) {
        std::cerr << "kptool: build needs the output file: kptool build SOURCE -o FILE.kp\n";
        return kp::tool::kExitUsage;
    }
    kp::tool::BuildOptions options;
    options.strict = Has(args, "--strict");
    return kp::tool::RunBuild(args.files[0], out->second, options, std::cerr);
}

int Trace(const Args& args) {
    kp::sim::RunOptions options;
    for (const auto& value : args.values) {
        std::string error;
        if (!kp::tool::SetTraceOption(value.first, value.second, options, error)) {
            std::cerr << "kptool: " << error << '\n';
            return kp::tool::kExitUsage;
        }
    }
    kp::tool::NativeFileSystem files;
    return kp::tool::RunTrace(files, args.files[0], options, std::cout);
}

std::vector<std::string> TraceCommandOptions() {
    std::size_t count = 0;
    const char* const* names = kp::tool::TraceOptionNames(&count);
    return std::vector<std::string>(names, names + count);
}

#ifdef KPTOOL_PREVIEW
int Preview(const Args& args) {
    const auto dir = args.values.count("-o") ? args.values.find("-o") : args.values.find("--output");
    if (dir == args.values.end()) {
        std::cerr << "kptool: preview needs the output folder: kptool preview FILE -o DIR\n";
        return kp::tool::kExitUsage;
    }
    kp::tool::PreviewOptions options;
    for (const auto& value : args.values) {
        if (value.first == "-o" || value.first == "--output")
            continue;
        std::string error;
        if (!kp::tool::SetPreviewOption(value.first, value.second, options, error)) {
            std::cerr << "kptool: " << error << '\n';
            return kp::tool::kExitUsage;
        }
    }
    kp::tool::NativeFileSystem files;
    return kp::tool::RunPreview(files, args.files[0], options, dir->second, std::cout, std::cerr);
}

std::vector<std::string> PreviewCommandOptions() {
    std::vector<std::string> names = kp::tool::PreviewOptionNames();
    names.push_back("-o");
    names.push_back("--output");
    return names;
}
#endif

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"check", {"--lint"}, Check},
        {"dump", {"--source", "--force"}, Dump},
        {"build", {"-o", "--output", "--strict"}, Build},
        {"trace", TraceCommandOptions(), Trace},
#ifdef KPTOOL_PREVIEW
        {"preview", PreviewCommandOptions(), Preview},
#endif
    };
    return commands;
}

int Main(int argc, char** argv) {
    if (argc < 2)
        return UsageError("no command given");
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << Usage();
        return 0;
    }
#ifndef KPTOOL_PREVIEW
    if (name == "preview") {
        std::cerr << "kptool: preview is not in kptool for Windows (its PNG, GIF and font libraries are "
                     "not built for Windows): use kptool on Linux, or trace for what the character does\n";
        return kp::tool::kExitUsage;
    }
#endif
    for (const Command& command : Commands()) {
        if (name != command.name)
            continue;
        const Args args = Split(argc, argv, 2);
        for (const std::string& option : args.options) {
            if (option == "--help" || option == "-h") {
                std::cout << Usage();
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
            return std::cout ? status : kp::tool::kExitInternal; // the output could not be written
        } catch (const std::exception& e) {
            std::cerr << "kptool: " << e.what() << '\n';
            return kp::tool::kExitInternal;
        }
    }
    return UsageError("unknown command " + name);
}

} // namespace

#ifdef _WIN32
// The arguments as the system gives them, UTF-16, made UTF-8 as paths are everywhere in kptool.
int wmain(int argc, wchar_t** argv) {
    kp::tool::PrepareConsole();
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(kp::win32::WideToUtf8(argv[i]));
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return Main(argc, pointers.data());
}
#else
int main(int argc, char** argv) {
    kp::tool::PrepareConsole();
    return Main(argc, argv);
}
#endif
