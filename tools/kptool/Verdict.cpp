#include "Verdict.h"

namespace kp::tool {

Verdict JudgeImage(const ImageView& image) {
    Verdict v;
    v.message = CheckImage(image);
    if (v.message != LoadMessage::None && v.message != LoadMessage::MayBeCorrupted)
        return v;
    const LoadMessage layout = CheckLayout(image);
    if (v.message == LoadMessage::MayBeCorrupted) {
        v.yesLoads = layout == LoadMessage::None;
        v.afterYes = layout;
    } else {
        v.message = layout;
    }
    return v;
}

Verdict JudgeFile(IFileSystem& files, const AnsiString& path) {
    ByteBlock block;
    if (!files.ReadWholeFile(path, block)) {
        Verdict v;
        v.message = LoadMessage::Unreadable;
        return v;
    }
    return JudgeImage(ImageView(block.data.get(), block.size));
}

} // namespace kp::tool
