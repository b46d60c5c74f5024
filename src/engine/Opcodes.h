// The instruction set of the action scripts: one table that the interpreter, the assembler, the
// disassembler and the linter all read, so that they can never disagree about an instruction.
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

enum Opcode : BYTE {
    OP_NEWSHAPE = 1,
    OP_SETSHAPE = 2,
    OP_NOTE = 3,
    OP_SET = 4,
    OP_ADD = 5,
    OP_SUB = 6,
    OP_DRAW = 7,
    OP_WAIT = 8,
    OP_WAITRANDOM = 9,
    OP_PLAYFILE = 10,
    OP_PLAYSOUND = 11,
    OP_IF = 12,
    OP_GOTO = 13,
    OP_POSITION = 14,
    OP_PATTERN = 15,
    OP_NOTE2 = 16,
    OP_OFFSETY = 17,
    OP_AND = 18,
    OP_OR = 19,
    OP_MOD = 20,
    OP_IFNOAUTO = 21,
    OP_CLICKOFF = 22,
    OP_CLICKON = 23,
    OP_EXEC = 24,
    OP_TEXT = 25,
    OP_FONT = 26,
    OP_RESERVED27 = 27,
    OP_RESERVED28 = 28,
    OP_LOADVAR = 29,
    OP_SAVEVAR = 30,
    OP_PALETTE = 31,
};

constexpr BYTE kFirstOpcode = OP_NEWSHAPE;
constexpr BYTE kLastOpcode = OP_PALETTE;
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
