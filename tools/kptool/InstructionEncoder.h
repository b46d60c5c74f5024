// Encoding one instruction line of a pattern (docs/script-language.md) into its bytes: the
// opcode table says which operands follow and how each is stored; label references are left as
// fixups for the pattern's second pass. The assembler's directives hand it each body line.
#pragma once

#include "Builder.h"
#include "SourceText.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kp::tool::kps {

// A label reference left open until the pattern's labels are all known.
struct Fixup {
    std::size_t at; // position in the encoded bytes
    std::string label;
    std::size_t column = 0; // byte index of the reference in its source line
};

struct EncodedInstruction {
    build::Bytes bytes;
    std::vector<Fixup> fixups;
    std::vector<std::size_t> operandAt; // byte index in the line of each operand
    // On failure: what is wrong, and the byte index in the line of the fault.
    std::string error;
    std::size_t at = 0;
};

// Encodes the tokens of `line` as one instruction or a `bytes` line, for a format version.
bool EncodeInstruction(const std::string& line, const std::vector<Token>& tokens, WORD version,
                       EncodedInstruction& out);

} // namespace kp::tool::kps
