#include "ScriptDecode.h"

#include "chardata/DataFile.h"

#include <algorithm>
#include <vector>

namespace kp::tool {

std::size_t StoredStringBytes(WORD length, WORD version) {
    if (version >= kpfile::kFirstCheckedVersion && length == 0)
        return 1;
    return length;
}

DecodedInstruction DecodeInstruction(const ImageView& image, std::size_t pos, std::size_t limit,
                                     WORD version) {
    DecodedInstruction d;
    d.start = pos;
    limit = std::min(limit, image.Size());
    const ImageView view(image.Base(), limit);
    if (!view.Contains(pos, 1)) {
        d.status = DecodeStatus::PastLimit;
        return d;
    }
    d.code = view.U8(pos);
    d.info = FindOpcode(d.code);
    d.length = 1;
    if (!d.info) {
        d.status = DecodeStatus::NotAnOpcode;
        return d;
    }
    ByteReader r(view, pos + 1);
    for (std::size_t i = 0; i < d.info->operandCount; ++i) {
        DecodedOperand& o = d.operands[i];
        o.kind = d.info->operands[i];
        switch (o.kind) {
        case OperandKind::Byte:
            o.number = r.U8();
            break;
        case OperandKind::Word:
        case OperandKind::Value:
        case OperandKind::Variable:
            o.number = r.U16();
            break;
        case OperandKind::Offset:
            o.number = r.U32();
            break;
        case OperandKind::String: {
            o.number = r.U16();
            if (!r.Ok())
                break;
            if (!IsLiteralValue(o.number)) {
                d.length = r.Pos() - pos;
                d.status = DecodeStatus::DynamicLength;
                return d;
            }
            const auto length = static_cast<WORD>(o.number);
            o.bytesAt = r.Pos();
            o.storedCount = StoredStringBytes(length, version);
            if (!view.Contains(o.bytesAt, o.storedCount)) {
                d.status = DecodeStatus::PastLimit;
                return d;
            }
            std::vector<BYTE> text(o.storedCount);
            if (version >= kpfile::kFirstCheckedVersion)
                DecodeTextFormB(view.At(o.bytesAt), o.storedCount, static_cast<BYTE>(length & 0xFF),
                                text.data());
            else
                std::copy_n(view.At(o.bytesAt), o.storedCount, text.begin());
            o.text.assign(text.begin(), text.end());
            for (std::size_t k = 0; k < o.storedCount; ++k)
                r.U8();
            break;
        }
        }
        if (!r.Ok()) {
            d.status = DecodeStatus::PastLimit;
            return d;
        }
    }
    d.length = r.Pos() - pos;
    return d;
}

} // namespace kp::tool
