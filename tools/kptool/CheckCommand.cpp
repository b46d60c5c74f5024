#include "CheckCommand.h"

#include "Verdict.h"

namespace kp::tool {

int RunCheck(IFileSystem& files, const AnsiString& path, const CheckOptions& /*options*/, std::ostream& out) {
    const Verdict v = JudgeFile(files, path);
    if (v.message == LoadMessage::None) {
        out << "ok\n";
        return 0;
    }
    out << LoadMessageText(v.message) << '\n';
    if (v.message == LoadMessage::MayBeCorrupted && !v.yesLoads)
        out << "answering Yes would give message 2: " << LoadMessageText(LoadMessage::Corrupted) << '\n';
    return static_cast<int>(v.message);
}

} // namespace kp::tool
