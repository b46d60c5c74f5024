// The program's load verdict on a file, as LoadDataFile (src/app/MainFrame.cpp) reaches it:
// read the file whole (message 1 on failure), then CheckImage, and when that passes or asks the
// question, CheckStructure (message 2 when it fails). The tool reports what the program would
// show; for the question it also says what answering Yes would lead to.
#pragma once

#include "chardata/Loader.h"
#include "platform/Services.h"

#include <string>

namespace kp::tool {

struct Verdict {
    // The first message the program shows; None when the file loads without a word.
    LoadMessage message = LoadMessage::None;
    // With message 5: whether answering Yes loads the file, and otherwise the message Yes gives
    // (2 or 6).
    bool yesLoads = true;
    LoadMessage afterYes = LoadMessage::None;
};

// The program's text for a message on one line, followed by its number and an English gloss:
// "データが破損しています。 (message 2: the data is damaged)".
std::string VerdictText(LoadMessage message);
// VerdictText for a text the program shows (as the headless run reports it); the text on one
// line as it is when it is none of the load messages.
std::string GlossMessageText(const std::string& text);

// What kptool prints for a verdict: VerdictText, and for the question on a file that Yes would
// find damaged a second line saying so.
std::string DescribeVerdict(const Verdict& v);

// The verdict on an image already in memory.
Verdict JudgeImage(const ImageView& image);

// The verdict on a file read through `files` exactly as the program reads it.
Verdict JudgeFile(IFileSystem& files, const AnsiString& path);

} // namespace kp::tool
