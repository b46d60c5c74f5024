#include "engine/Opcodes.h"

#include <cstring>
#include <initializer_list>

namespace kp {
namespace {

using K = OperandKind;

// The number of operand kinds given to KP_OPCODE.
constexpr std::size_t CountOperands(std::initializer_list<OperandKind> kinds) {
    return kinds.size();
}

const OpcodeInfo kTable[] = {
#define KP_OPCODE(name, code, endsStep, ...)                                                                 \
    {name, #name, CountOperands({__VA_ARGS__}), {__VA_ARGS__}, endsStep},
#include "engine/Opcodes.def"
};
static_assert(sizeof(kTable) / sizeof(kTable[0]) == kOpcodeCount, "one table entry per listed opcode");

// Entry i holds opcode i + 1, so FindOpcode can index the table.
constexpr bool CodesInOrder() {
    BYTE expected = kFirstOpcode;
#define KP_OPCODE(name, code, endsStep, ...)                                                                 \
    if (code != expected++)                                                                                  \
        return false;
#include "engine/Opcodes.def"
    return true;
}
static_assert(CodesInOrder(), "Opcodes.def lists the codes in order");

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
