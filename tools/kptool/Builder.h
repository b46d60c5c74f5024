// A builder of character files, used by the tests to make every fixture they need and by
// `kptool build` as its back end. It writes correct check fields unless told to break them, and
// can place every structure anywhere, including where no well-formed file would have it.
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kp::build {

using Bytes = std::vector<BYTE>;

struct Cell {
    WORD x = 0;
    WORD y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    WORD bitCount = 8;
    DWORD compression = 0;
    DWORD biSize = 40;
    Bytes colors; // RGBQUADs (blue, green, red, 0); padded with zeros to the full table
    Bytes bits;   // pixel bits exactly as stored
};

struct Pattern {
    AnsiString name;          // stored with a terminating zero, in text form A when checked
    Bytes body;               // the instructions after the name instruction
    std::optional<Bytes> raw; // when set, the whole record as given (name instruction included)
};

struct Character {
    WORD version = 300;
    AnsiString name = "Test";
    AnsiString about = "About";
    WORD width = 32;
    WORD height = 32;
    WORD defaultPattern = 1;
    WORD defaultPosition = 50;
    std::optional<WORD> menuColumns; // written with a prefix size of 6 when set
    std::optional<WORD> prefixSize;  // overrides the prefix size word
    std::vector<Cell> cells;
    std::vector<Bytes> sounds;
    std::vector<Pattern> patterns;
    std::optional<WORD> patternCount; // overrides the stored count

    // Deliberate faults.
    std::int64_t fileSizeDelta = 0;
    bool breakFileHeaderCrc = false;
    bool breakCharHeaderCrc = false;

    // Stored values in place of the computed ones, for reproducing a given file exactly.
    std::optional<DWORD> fileSizeField;
    std::optional<WORD> fileHeaderCrc;
    std::optional<WORD> charHeaderCrc;
};

// The file image of a character.
Bytes BuildCharacter(const Character& c);

// Rewrites the three check fields of an image after it was patched: the file size field and the
// file header check always (when the image holds the file header), the character header check
// when the header offset, the pattern count and the bytes it covers all lie inside the image.
// For making files whose only faults are the ones a test put there on purpose.
void Reseal(Bytes& image);

// A pattern body that waits `ms` and jumps back to the instruction after the name.
Bytes WaitLoopBody(WORD ms, std::size_t nameRecordLength);
// The length of the name instruction that BuildCharacter writes for a name and version.
std::size_t NameRecordLength(const AnsiString& name, WORD version);

// An 8-bit cell of w x h pixels, every pixel `index`, with a grey-ramp colour table.
Cell SolidCell8(std::int32_t w, std::int32_t h, BYTE index);
// A 1-bit cell from rows of '0' (inside) and '1' (outside) characters, top row first.
Cell MaskCell1(const std::vector<std::string>& rows);
// A 4-bit cell from rows of hex digits, top row first.
Cell Cell4(const std::vector<std::string>& rows);
// A 24-bit cell of w x h pixels of one colour.
Cell SolidCell24(std::int32_t w, std::int32_t h, BYTE r, BYTE g, BYTE b);
// The mask run-length form of plain 1-bit rows (0xCC/0x33 runs, markers escaped).
Bytes CompressMaskRuns(const Bytes& plain);

// A complete RIFF WAVE image: 8-bit mono PCM at `rate` with the given samples.
Bytes MakeWave(const Bytes& samples, DWORD rate = 11025);

// Little-endian writers used by the builder and by tests that patch images.
void PutU16(Bytes& b, std::size_t off, WORD v);
void PutU32(Bytes& b, std::size_t off, DWORD v);
void AppendU16(Bytes& b, WORD v);
void AppendU32(Bytes& b, DWORD v);

} // namespace kp::build
