// The program's load verdict on a file, as LoadDataFile (src/app/MainFrame.cpp) reaches it:
// read the file whole (message 1 on failure), then CheckImage, and when that passes or asks the
// question, CheckStructure (message 2 when it fails). The tool reports what the program would
// show; for the question it also says what answering Yes would lead to.
#pragma once

#include "chardata/Loader.h"
#include "platform/Services.h"

namespace kp::tool {

struct Verdict {
    // The first message the program shows; None when the file loads without a word.
    LoadMessage message = LoadMessage::None;
    // With message 5: whether answering Yes loads the file, and otherwise the message Yes gives
    // (2 or 6).
    bool yesLoads = true;
    LoadMessage afterYes = LoadMessage::None;
};

// The verdict on an image already in memory.
Verdict JudgeImage(const ImageView& image);

// The verdict on a file read through `files` exactly as the program reads it.
Verdict JudgeFile(IFileSystem& files, const AnsiString& path);

} // namespace kp::tool
