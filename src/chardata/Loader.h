// The load verdict on a character file image: what the program tells the user, in the order
// it tells it. LoadDataFile (CMainFrame) and `kptool check` both use these functions, so the
// tool always gives the program's own verdict.
#pragma once

#include "chardata/ImageView.h"

namespace kp {

// The loader's messages, numbered as the user-visible texts are.
enum class LoadMessage {
    None = 0,
    Unreadable = 1,     // the file cannot be opened or read
    Corrupted = 2,      // empty, or its structure points outside the file
    OldFormat = 3,      // the magic is not 'K' 'P'
    NewerVersion = 4,   // a format version this program does not know
    MayBeCorrupted = 5, // a check field differs: the user is asked whether to go on
    SizeOutOfRange = 6, // the window or cell 0 is 0 pixels or larger than the program can show
};

// The message text (UTF-8) exactly as the program shows it.
const char* LoadMessageText(LoadMessage m);

// The tests before the question, in order: empty (2), magic (3), version (4), and for the
// checked versions the size and the two check values (5). A test that would have to read
// outside the image fails. None when the image passes them all.
LoadMessage CheckImage(const ImageView& image);

// Whether everything that the program reads at fixed places lies inside the image: the file
// header, the three sections' fixed parts, the words in front of the character header, the
// character header with its pattern table, every pattern's name instruction, cell 0's record
// and colour table, and the sound table. A pattern count of 0 is refused too (a random choice
// divides by it). Checked after the question, so a file that fails here gives message 2.
bool CheckStructure(const ImageView& image);

// Whether a cell's picture lies within the program's limits: sides of 1..kMaxCellSide pixels
// (a negative height, a top-down picture, counts by its size).
bool CellSizeInRange(std::int32_t width, std::int32_t height);

// What comes after the question: CheckStructure (message 2), then the window's size (1 to
// kMaxWindowSide pixels each way) and cell 0's (message 6). None when the image can be shown.
LoadMessage CheckLayout(const ImageView& image);

} // namespace kp
