// The disassembler: patterns back into the source language of `kptool build`, and a whole
// character back into a source with the BMP and WAV files it names, such that building that
// source gives the file again byte for byte.
#pragma once

#include "Builder.h"

#include "chardata/DataFile.h"

#include <string>
#include <utility>
#include <vector>

namespace kp::tool {

// Where a pattern's bytes end: the nearest start of another pattern or section after its start,
// or the end of the image. A pattern has no stored length; this is the most it can own.
class PatternExtents {
public:
    explicit PatternExtents(const CharacterFile& file);
    // The end (image offset) of the pattern that starts at image offset `start`.
    std::size_t End(std::size_t start) const;

private:
    std::vector<std::size_t> m_starts; // sorted
    std::size_t m_size;
};

// The end of pattern g (one PatternExtents for a single lookup).
std::size_t PatternEnd(const CharacterFile& file, std::size_t g);

// Pattern g as source text: the `pattern` line, then its labels and instructions. Every
// instruction is written so that it assembles to its own bytes; one that cannot be (a string
// whose length comes from a variable, bytes that are no instruction, an instruction cut by the
// end of the pattern) is kept as a `bytes` line with what it decodes to in a comment. With
// `offsets`, each line ends with a comment holding its offset in the pattern. Callers that
// disassemble many patterns pass their extents once.
std::string DisassemblePattern(const CharacterFile& file, std::size_t g, bool offsets,
                               const PatternExtents* extents = nullptr);

// The instruction at `offset` of pattern g as one source line ("OP_DRAW 7", jump targets as
// numbers; a `bytes` line with what it decodes to in a comment when that is not an instruction
// that assembles to the same bytes; the `pattern "Name"` line within the name instruction), or
// "" when the offset lies outside the pattern.
std::string DisassembleInstruction(const CharacterFile& file, std::size_t g, std::size_t offset,
                                   const PatternExtents& extents);

// A character as a source ("character.kps") and the files it names.
struct SourceFiles {
    std::string source;
    std::vector<std::pair<std::string, build::Bytes>> files;
    // False when the file's layout is not the one `kptool build` writes: the source then takes
    // the whole image from a raw-image file and shows the patterns in comments.
    bool structured = true;
};

// Makes the source of a file that the program loads (answering Yes to the question included).
// The result is checked by building it; false, with the reason, for a file that does not load.
bool MakeSource(const ImageView& image, SourceFiles& out, std::string& why);

// A string's code page 932 bytes as a quoted source string (UTF-8, escapes where needed).
std::string QuoteString(const std::string& bytes);

} // namespace kp::tool
