#include "Verdict.h"

namespace kp::tool {

namespace {

const char* Gloss(LoadMessage m) {
    switch (m) {
    case LoadMessage::None:
        break;
    case LoadMessage::Unreadable:
        return "the file cannot be read";
    case LoadMessage::Corrupted:
        return "the data is damaged";
    case LoadMessage::OldFormat:
        return "not a character file; the program calls it old-version data to be converted with ZAVOVO";
    case LoadMessage::NewerVersion:
        return "the file needs a newer version of the program";
    case LoadMessage::MayBeCorrupted:
        return "the data may be damaged; continue?";
    case LoadMessage::SizeOutOfRange:
        return "the window or the first cell is 0 pixels or larger than 4096 pixels, which the program "
               "cannot show";
    }
    return "";
}

std::string OneLine(std::string text) {
    for (char& ch : text)
        if (ch == '\n')
            ch = ' ';
    return text;
}

} // namespace

std::string VerdictText(LoadMessage message) {
    return OneLine(LoadMessageText(message)) + " (message " + std::to_string(static_cast<int>(message)) +
           ": " + Gloss(message) + ")";
}

std::string GlossMessageText(const std::string& text) {
    for (int m = 1; m <= static_cast<int>(LoadMessage::SizeOutOfRange); ++m)
        if (text == LoadMessageText(static_cast<LoadMessage>(m)))
            return VerdictText(static_cast<LoadMessage>(m));
    return OneLine(text);
}

std::string DescribeVerdict(const Verdict& v) {
    if (v.message == LoadMessage::None)
        return "ok";
    std::string s = VerdictText(v.message);
    if (v.message == LoadMessage::MayBeCorrupted && !v.yesLoads)
        s += "\nanswering Yes would give " + VerdictText(v.afterYes);
    return s;
}

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
