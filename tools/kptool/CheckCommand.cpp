#include "CheckCommand.h"

#include "ExitStatus.h"
#include "Lint.h"
#include "Verdict.h"

namespace kp::tool {

namespace {

void PrintLint(const LintReport& report, std::ostream& out) {
    for (const std::string& p : report.problems)
        out << "problem: " << p << '\n';
    for (const std::string& p : report.programs)
        out << "starts program: " << p << '\n';
    for (const std::string& p : report.soundFiles)
        out << "plays sound file: " << p << '\n';
    if (report.problems.empty())
        out << "lint: no problems found\n";
    else
        out << "lint: " << report.problems.size() << (report.problems.size() == 1 ? " problem" : " problems")
            << " found\n";
}

} // namespace

int RunCheck(IFileSystem& files, const AnsiString& path, const CheckOptions& options, std::ostream& out) {
    ByteBlock block;
    Verdict v;
    if (!files.ReadWholeFile(path, block))
        v.message = LoadMessage::Unreadable;
    else
        v = JudgeImage(ImageView(block.data.get(), block.size));
    out << DescribeVerdict(v) << '\n';
    const bool loads =
        v.message == LoadMessage::None || (v.message == LoadMessage::MayBeCorrupted && v.yesLoads);
    int status = static_cast<int>(v.message);
    if (options.lint && loads) {
        const LintReport report = LintImage(ImageView(block.data.get(), block.size));
        PrintLint(report, out);
        if (status == 0 && !report.problems.empty())
            status = kExitLintProblems;
        else if (status == 0 && (!report.programs.empty() || !report.soundFiles.empty()))
            status = kExitOutsideEffects;
    }
    return status;
}

} // namespace kp::tool
