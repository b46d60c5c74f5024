#include "engine/Opcodes.h"

#include <cstring>

namespace kp {
namespace {

using K = OperandKind;

const OpcodeInfo kTable[] = {
    {OP_NEWSHAPE, "OP_NEWSHAPE", 2, {K::Byte, K::Value}, false},
    {OP_SETSHAPE, "OP_SETSHAPE", 1, {K::Value}, false},
    {OP_NOTE, "OP_NOTE", 1, {K::String}, false},
    {OP_SET, "OP_SET", 2, {K::Variable, K::Value}, false},
    {OP_ADD, "OP_ADD", 2, {K::Variable, K::Value}, false},
    {OP_SUB, "OP_SUB", 2, {K::Variable, K::Value}, false},
    {OP_DRAW, "OP_DRAW", 1, {K::Value}, false},
    {OP_WAIT, "OP_WAIT", 1, {K::Value}, true},
    {OP_WAITRANDOM, "OP_WAITRANDOM", 2, {K::Value, K::Value}, true},
    {OP_PLAYFILE, "OP_PLAYFILE", 1, {K::String}, false},
    {OP_PLAYSOUND, "OP_PLAYSOUND", 1, {K::Value}, false},
    {OP_IF, "OP_IF", 4, {K::Value, K::Byte, K::Value, K::Offset}, false},
    {OP_GOTO, "OP_GOTO", 1, {K::Offset}, false},
    {OP_POSITION, "OP_POSITION", 1, {K::Value}, false},
    {OP_PATTERN, "OP_PATTERN", 1, {K::Value}, true},
    {OP_NOTE2, "OP_NOTE2", 1, {K::String}, false},
    {OP_OFFSETY, "OP_OFFSETY", 1, {K::Value}, false},
    {OP_AND, "OP_AND", 2, {K::Variable, K::Value}, false},
    {OP_OR, "OP_OR", 2, {K::Variable, K::Value}, false},
    {OP_MOD, "OP_MOD", 2, {K::Variable, K::Value}, false},
    {OP_IFNOAUTO, "OP_IFNOAUTO", 1, {K::Offset}, false},
    {OP_CLICKOFF, "OP_CLICKOFF", 0, {}, false},
    {OP_CLICKON, "OP_CLICKON", 1, {K::Offset}, false},
    {OP_EXEC, "OP_EXEC", 1, {K::String}, false},
    {OP_TEXT, "OP_TEXT", 3, {K::Value, K::Value, K::String}, false},
    {OP_FONT, "OP_FONT", 2, {K::Value, K::String}, false},
    {OP_RESERVED27, "OP_RESERVED27", 1, {K::Offset}, false},
    {OP_RESERVED28, "OP_RESERVED28", 0, {}, false},
    {OP_LOADVAR, "OP_LOADVAR", 3, {K::String, K::Variable, K::Value}, false},
    {OP_SAVEVAR, "OP_SAVEVAR", 2, {K::String, K::Value}, false},
    {OP_PALETTE, "OP_PALETTE", 2, {K::Byte, K::Value}, false},
};
static_assert(sizeof(kTable) / sizeof(kTable[0]) == kLastOpcode, "one entry per opcode");

const ValueCodeInfo kValueCodes[] = {
    {VAL_CURSORX, "VAL_CURSORX"}, {VAL_CURSORY, "VAL_CURSORY"}, {VAL_POSITION, "VAL_POSITION"},
    {VAL_RANDOM, "VAL_RANDOM"},   {VAL_SECOND, "VAL_SECOND"},   {VAL_MINUTE, "VAL_MINUTE"},
    {VAL_HOUR, "VAL_HOUR"},       {VAL_DAY, "VAL_DAY"},         {VAL_MONTH, "VAL_MONTH"},
    {VAL_YEAR, "VAL_YEAR"},       {VAL_CLOCK, "VAL_CLOCK"},
};

} // namespace

const OpcodeInfo* OpcodeTable() {
    return kTable;
}

const OpcodeInfo* FindOpcode(BYTE code) {
    if (code < kFirstOpcode || code > kLastOpcode)
        return nullptr;
    return &kTable[code - kFirstOpcode];
}

const OpcodeInfo* FindOpcodeByName(const char* name) {
    for (const OpcodeInfo& op : kTable)
        if (std::strcmp(op.name, name) == 0)
            return &op;
    return nullptr;
}

const ValueCodeInfo* ValueCodeTable(std::size_t* count) {
    *count = sizeof(kValueCodes) / sizeof(kValueCodes[0]);
    return kValueCodes;
}

const char* ValueCodeName(WORD code) {
    for (const ValueCodeInfo& v : kValueCodes)
        if (v.code == code)
            return v.name;
    return nullptr;
}

bool FindValueCode(const char* name, WORD* code) {
    for (const ValueCodeInfo& v : kValueCodes)
        if (std::strcmp(v.name, name) == 0) {
            *code = v.code;
            return true;
        }
    return false;
}

} // namespace kp
