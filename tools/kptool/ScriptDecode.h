// Static decoding of script instructions for the tools (disassembler and linter): the opcode
// table says which operands follow, and this reads them from the image without evaluating
// anything. Every read is bounds-checked against a limit inside the image.
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
    // Strings: where the stored bytes start in the image, how many are stored, and the text they
    // give back (form B from the first checked version on, plain before).
    std::size_t bytesAt = 0;
    std::size_t storedCount = 0;
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

// The bytes a string of length `length` stores: from the first checked version on, at least one.
std::size_t StoredStringBytes(WORD length, WORD version);

// Decodes the instruction at image offset `pos`, reading no byte at or past `limit` (which the
// caller keeps within the image).
DecodedInstruction DecodeInstruction(const ImageView& image, std::size_t pos, std::size_t limit,
                                     WORD version);

} // namespace kp::tool
