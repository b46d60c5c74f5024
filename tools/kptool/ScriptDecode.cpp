#include "ScriptDecode.h"

#include "chardata/DataFile.h"
#include "engine/ScriptReader.h"

#include <algorithm>

namespace kp::tool {

DecodedInstruction DecodeInstruction(const ImageView& image, std::size_t pos, std::size_t limit,
                                     WORD version) {
    DecodedInstruction d;
    d.start = pos;
    limit = std::min(limit, image.Size());
    if (pos >= limit) {
        d.status = DecodeStatus::PastLimit;
        return d;
    }
    // The interpreter's reader, from the opcode byte up to the limit; positions count from `pos`.
    ScriptReader r(image.At(pos), limit - pos);
    int at = 0;
    d.code = r.ReadByte(at);
    d.info = FindOpcode(d.code);
    d.length = 1;
    if (!d.info) {
        d.status = DecodeStatus::NotAnOpcode;
        return d;
    }
    const bool formB = version >= kpfile::kFirstCheckedVersion;
    for (std::size_t i = 0; i < d.info->operandCount; ++i) {
        DecodedOperand& o = d.operands[i];
        o.kind = d.info->operands[i];
        switch (o.kind) {
        case OperandKind::Byte:
            o.number = r.ReadByte(at);
            break;
        case OperandKind::Word:
        case OperandKind::Value:
        case OperandKind::Variable:
            o.number = r.ReadWord(at);
            break;
        case OperandKind::Offset:
            o.number = r.ReadDword(at);
            break;
        case OperandKind::String: {
            o.number = r.ReadWord(at);
            if (!r.Ok())
                break;
            if (!IsLiteralValue(o.number)) {
                d.length = static_cast<std::size_t>(at);
                d.status = DecodeStatus::DynamicLength;
                return d;
            }
            const auto length = static_cast<WORD>(o.number);
            o.text.assign(ScriptReader::StoredStringBytes(length, formB), '\0');
            r.ReadStringBytes(at, length, formB, reinterpret_cast<BYTE*>(&o.text[0]), o.text.size());
            break;
        }
        }
        if (!r.Ok()) {
            d.status = DecodeStatus::PastLimit;
            return d;
        }
    }
    d.length = static_cast<std::size_t>(at);
    return d;
}

} // namespace kp::tool
