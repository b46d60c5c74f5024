// Static decoding of script instructions for the tools (disassembler and linter): the opcode
// table says which operands follow, and the interpreter's ScriptReader reads them from the image,
// stopping at a limit inside it; value words are kept as stored, not evaluated.
#pragma once

#include "chardata/ImageView.h"
#include "engine/Opcodes.h"

#include <cstddef>
#include <string>

namespace kp::tool {

struct DecodedOperand {
    OperandKind kind = OperandKind::Byte;
    // The byte, word, offset, stored value word or variable word; for a string its length word.
    DWORD number = 0;
    // Strings: the text every stored byte gives back (form B from the first checked version on,
    // plain before), so an empty form B string has one byte here.
    std::string text;
};

enum class DecodeStatus {
    Ok,
    NotAnOpcode,   // 0 or above 31: the interpreter skips the byte
    PastLimit,     // the operands run past the limit
    DynamicLength, // a string length that is not a literal: its size is known only at run time
};

struct DecodedInstruction {
    std::size_t start = 0;  // image offset of the opcode byte
    std::size_t length = 0; // bytes the instruction takes (1 for a skipped byte)
    BYTE code = 0;
    const OpcodeInfo* info = nullptr;
    DecodedOperand operands[kMaxOperands];
    DecodeStatus status = DecodeStatus::Ok;
};

// The value word of a literal length, or false when the word is a variable or a special code.
inline bool IsLiteralValue(DWORD word) {
    return word <= 0x7FFF;
}

// Decodes the instruction at image offset `pos`, reading no byte at or past `limit` (which the
// caller keeps within the image).
DecodedInstruction DecodeInstruction(const ImageView& image, std::size_t pos, std::size_t limit,
                                     WORD version);

} // namespace kp::tool
