#include "chardata/Loader.h"

#include "chardata/Crc.h"
#include "chardata/DataFile.h"

namespace kp {

using namespace kpfile;

const char* LoadMessageText(LoadMessage m) {
    switch (m) {
    case LoadMessage::None:
        return "";
    case LoadMessage::Unreadable:
        return "データファイルが読み込めません。";
    case LoadMessage::Corrupted:
        return "データが破損しています。";
    case LoadMessage::OldFormat:
        return "旧バージョンのデータです。ZAVOVOで変換して下さい。";
    case LoadMessage::NewerVersion:
        return "プログラムのバージョンが低いため、実行できません。";
    case LoadMessage::MayBeCorrupted:
        return "データが破損している可能性があります。\n続けますか？";
    case LoadMessage::SizeOutOfRange:
        return "キャラクターの大きさが範囲外のため、表示できません。";
    }
    return "";
}

namespace {

// The three checks of the checked versions; true when any of them fails.
bool AnyCheckFails(const ImageView& image) {
    bool ok = true;
    const DWORD fileSize = image.U32(kFileSize, &ok);
    if (!ok || fileSize != image.Size())
        return true;

    WORD crc = 0;
    if (!CalcCrcInImage(image, 0, kFileHeaderCrcBits, crc) || crc != image.U16(kFileHeaderCrc, &ok) || !ok)
        return true;

    const FileOffset h = image.U32(kHeaderOffset, &ok);
    const WORD n = image.U16(h + kPatternCount, &ok);
    const WORD stored = h >= kCharHeaderCrcBack ? image.U16(h - kCharHeaderCrcBack, &ok) : 0;
    const auto bits = static_cast<WORD>(((std::size_t{n} + 26) * 4) & 0xFFFF);
    if (!ok || h < kCharHeaderCrcBack || !CalcCrcInImage(image, h, bits, crc))
        return true;
    return crc != stored;
}

} // namespace

LoadMessage CheckImage(const ImageView& image) {
    if (image.Size() == 0)
        return LoadMessage::Corrupted;
    if (image.Size() < 2 || image.U8(0) != 'K' || image.U8(1) != 'P')
        return LoadMessage::OldFormat;
    bool ok = true;
    const WORD version = image.U16(kVersion, &ok);
    if (!ok || version > kLastKnownVersion)
        return LoadMessage::NewerVersion;
    if (version >= kFirstCheckedVersion && AnyCheckFails(image))
        return LoadMessage::MayBeCorrupted;
    return LoadMessage::None;
}

bool CheckStructure(const ImageView& image) {
    if (!image.Contains(0, kFileHeaderSize))
        return false;
    const CharacterFile file(image);
    const FileOffset h = file.HeaderOffset();
    const FileOffset c = file.CellsOffset();
    const FileOffset s = file.SoundsOffset();

    // Character header, its pattern table and the words in front of it.
    if (h < kPrefixSizeBack || !image.Contains(h - kPrefixSizeBack, kPrefixSizeBack + kPatternTable))
        return false;
    if (file.PrefixSize() > 4 && h < kMenuColumnBack)
        return false;
    const WORD patterns = file.PatternCount();
    if (patterns == 0 || !image.Contains(h + kPatternTable, 4 * std::size_t{patterns}))
        return false;

    // Every pattern's name instruction: opcode, length and name bytes. From the first checked
    // version on the interpreter consumes at least one name byte.
    const bool checked = file.Version() >= kFirstCheckedVersion;
    for (std::size_t g = 0; g < patterns; ++g) {
        bool ok = true;
        const FileOffset rec = file.PatternOffset(g, &ok);
        const auto n = static_cast<std::int16_t>(image.U16(rec + kPatternNameLength, &ok));
        if (!ok || n < 0)
            return false;
        const std::size_t stored = (checked && n == 0) ? 1 : static_cast<std::size_t>(n);
        if (!image.Contains(rec, kPatternName + stored))
            return false;
    }

    // Cell section's fixed part, cell 0's record and its colour table.
    if (!image.Contains(c, kCellTable + 4))
        return false;
    bool ok = true;
    const FileOffset bih = file.CellBitmapInfoOffset(0, &ok);
    const BitmapInfo bi = file.ReadBitmapInfo(bih, &ok);
    if (!ok || !image.Contains(bih, kBitmapInfoHeaderSize + 4 * ColorTableEntries(bi.biBitCount)))
        return false;

    // Sound table.
    if (!image.Contains(s, kSoundTable) ||
        !image.Contains(s + kSoundTable, 4 * std::size_t{file.SoundCount()}))
        return false;
    return true;
}

bool CellSizeInRange(std::int32_t width, std::int32_t height) {
    const auto inRange = [](std::int64_t v) { return v != 0 && v >= -kMaxCellSide && v <= kMaxCellSide; };
    return width > 0 && inRange(width) && inRange(height);
}

LoadMessage CheckLayout(const ImageView& image) {
    if (!CheckStructure(image))
        return LoadMessage::Corrupted;
    const CharacterFile file(image);
    const WORD w = file.CanvasWidth();
    const WORD h = file.CanvasHeight();
    if (w == 0 || h == 0 || w > kMaxWindowSide || h > kMaxWindowSide)
        return LoadMessage::SizeOutOfRange;
    const BitmapInfo cell0 = file.ReadBitmapInfo(file.CellBitmapInfoOffset(0));
    if (!CellSizeInRange(cell0.biWidth, cell0.biHeight))
        return LoadMessage::SizeOutOfRange;
    return LoadMessage::None;
}

} // namespace kp
