// The instruction set of the action scripts: one list (Opcodes.def) makes the enum and the table
// that the interpreter, the assembler, the disassembler and the linter all read, so that they can
// never disagree about an instruction.
#pragma once

#include <cstddef>

#include "platform/Types.h"

namespace kp {

// How an operand is stored and what it means.
enum class OperandKind : BYTE {
    Byte,     // 1 byte: an unsigned number or a character code
    Word,     // 2 bytes: an unsigned 16-bit number
    Offset,   // 4 bytes, low word first: a position counted from the start of the script
    Value,    // 2 bytes: a literal, a variable's value or an environment value, evaluated when read
    Variable, // 2 bytes: the number of the variable written (low 15 bits)
    String,   // a value (the length, zero byte included), then that many bytes
};

// The opcodes, from the one list (Opcodes.def).
enum Opcode : BYTE {
#define KP_OPCODE(name, code, endsStep, ...) name = code,
#include "engine/Opcodes.def"
};

// How many instructions the list holds; the table is checked against it.
constexpr std::size_t kOpcodeCount = 0
#define KP_OPCODE(name, code, endsStep, ...) +1
#include "engine/Opcodes.def"
    ;

constexpr BYTE kFirstOpcode = OP_NEWSHAPE;
constexpr BYTE kLastOpcode = static_cast<BYTE>(kFirstOpcode + kOpcodeCount - 1);
constexpr std::size_t kMaxOperands = 4;

struct OpcodeInfo {
    BYTE code;
    const char* name; // as authors write it: "OP_WAIT"
    std::size_t operandCount;
    OperandKind operands[kMaxOperands]; // in reading order
    bool endsStep;                      // OP_WAIT, OP_WAITRANDOM, OP_PATTERN
};

// The entry of an opcode byte, or nullptr for a byte that is no instruction (0 or above 31).
const OpcodeInfo* FindOpcode(BYTE code);
// The entry with the given name ("OP_WAIT"; case-sensitive), or nullptr.
const OpcodeInfo* FindOpcodeByName(const char* name);
// Every entry, indexed by code - 1.
const OpcodeInfo* OpcodeTable();

// The comparison bytes of OP_IF, written as their characters; any other byte never jumps.
enum Comparison : BYTE {
    CMP_NE = '!',
    CMP_LT = '<',
    CMP_EQ = '=',
    CMP_GT = '>',
};

// The special value words: environment values in place of a literal or a variable. 0xFFFB has
// no meaning of its own.
enum ValueCode : WORD {
    VAL_CLOCK = 0xFFF4,
    VAL_YEAR = 0xFFF5,
    VAL_MONTH = 0xFFF6,
    VAL_DAY = 0xFFF7,
    VAL_HOUR = 0xFFF8,
    VAL_MINUTE = 0xFFF9,
    VAL_SECOND = 0xFFFA,
    VAL_UNUSED = 0xFFFB,
    VAL_RANDOM = 0xFFFC,
    VAL_POSITION = 0xFFFD,
    VAL_CURSORY = 0xFFFE,
    VAL_CURSORX = 0xFFFF,
};

struct ValueCodeInfo {
    WORD code;
    const char* name; // "VAL_HOUR"
};
// The named special value words (all but 0xFFFB), and lookups both ways.
const ValueCodeInfo* ValueCodeTable(std::size_t* count);
const char* ValueCodeName(WORD code); // nullptr when the word is no named code
bool FindValueCode(const char* name, WORD* code);

} // namespace kp
