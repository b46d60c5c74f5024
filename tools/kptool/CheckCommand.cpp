#include "CheckCommand.h"

#include "Disassembler.h"
#include "ExitStatus.h"
#include "Lint.h"
#include "Verdict.h"

namespace kp::tool {

namespace {

// Each problem with the instruction it was found at, as dump shows it.
void PrintLint(const ImageView& image, const LintReport& report, std::ostream& out) {
    const CharacterFile file(image);
    const PatternExtents extents(file);
    for (const LintProblem& p : report.problems) {
        out << "problem: " << p.Text() << '\n';
        const std::string instruction = p.pattern == LintProblem::kNone
                                            ? std::string()
                                            : DisassembleInstruction(file, p.pattern, p.offset, extents);
        if (!instruction.empty())
            out << "    " << p.offset << ": " << instruction << '\n';
    }
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
        const ImageView image(block.data.get(), block.size);
        const LintReport report = LintImage(image);
        PrintLint(image, report, out);
        if (status == 0 && !report.problems.empty())
            status = kExitLintProblems;
        else if (status == 0 && (!report.programs.empty() || !report.soundFiles.empty()))
            status = kExitOutsideEffects;
    }
    return status;
}

} // namespace kp::tool
