#include "chardata/DataFile.h"
#include "chardata/Loader.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

#include <functional>

namespace kp {
namespace {

using build::Bytes;

ImageView View(const Bytes& b) {
    return ImageView(b.data(), b.size());
}

TEST(TextForms, AbcExample) {
    const BYTE stored[] = {0x62, 0x00, 0x63};
    BYTE out[3];
    DecodeTextFormA(stored, 3, 3, out);
    EXPECT_EQ(std::string(out, out + 3), "abc");
    DecodeTextFormB(stored, 3, 3, out);
    EXPECT_EQ(out[0], 0x61);
    EXPECT_EQ(out[1], 0x61);
    EXPECT_EQ(out[2], 0x02);

    const BYTE abc[] = {'a', 'b', 'c'};
    EncodeTextFormA(abc, 3, 3, out);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x62, 0x00, 0x63}));
    EncodeTextFormB(abc, 3, 3, out);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x62, 0x03, 0x01}));
}

TEST(TextForms, RoundTripAllLengths) {
    for (std::size_t n = 0; n < 300; n += 7) {
        Bytes text(n), enc(n), dec(n);
        for (std::size_t i = 0; i < n; ++i)
            text[i] = static_cast<BYTE>(i * 37 + 11);
        const auto k = static_cast<BYTE>(n & 0xFF);
        EncodeTextFormA(text.data(), n, k, enc.data());
        DecodeTextFormA(enc.data(), n, k, dec.data());
        EXPECT_EQ(dec, text);
        EncodeTextFormB(text.data(), n, k, enc.data());
        DecodeTextFormB(enc.data(), n, k, dec.data());
        EXPECT_EQ(dec, text);
    }
}

TEST(CharacterFile, ReadsHeaderFieldsAndPatternNames) {
    for (WORD version : {300, 301}) {
        build::Character c = test::BasicCharacter(version);
        c.name = "\x83\x65\x83\x58\x83\x67"; // テスト in code page 932
        c.defaultPattern = 2;
        c.defaultPosition = 75;
        const Bytes b = build::BuildCharacter(c);
        const CharacterFile f(View(b));
        EXPECT_EQ(f.Version(), version);
        EXPECT_EQ(f.Name(), c.name);
        EXPECT_EQ(f.About(), "About");
        EXPECT_EQ(f.PatternCount(), 3);
        EXPECT_EQ(f.DefaultPattern(), 2);
        EXPECT_EQ(f.DefaultPosition(), 75);
        EXPECT_EQ(f.CanvasWidth(), 32);
        EXPECT_EQ(f.CanvasHeight(), 32);
        // The stored name counts its terminating zero, which the menu text keeps.
        EXPECT_EQ(f.PatternName(1), std::string("Pattern 2") + '\0');
    }
}

TEST(CharacterFile, MenuColumnsNeedAPrefixAboveFour) {
    build::Character c = test::BasicCharacter();
    c.menuColumns = 4;
    EXPECT_EQ(CharacterFile(View(build::BuildCharacter(c))).MenuColumns(), 4);
    c.prefixSize = 4; // the word is there but the prefix says it is not
    EXPECT_EQ(CharacterFile(View(build::BuildCharacter(c))).MenuColumns(), 0);
    c.menuColumns.reset();
    c.prefixSize.reset();
    EXPECT_EQ(CharacterFile(View(build::BuildCharacter(c))).MenuColumns(), 0);
}

TEST(CharacterFile, PatternNameWithOutOfRangeLengthsIsCutOrEmpty) {
    build::Character c = test::BasicCharacter(300, 2);
    Bytes longName{3, 0x2C, 0x01}; // 300 bytes
    longName.insert(longName.end(), 300, 'x');
    c.patterns[0].raw = longName;
    c.patterns[1].raw = Bytes{3, 0xFF, 0xFF, 0}; // -1
    const Bytes b = build::BuildCharacter(c);
    const CharacterFile f(View(b));
    EXPECT_EQ(f.PatternName(0), std::string(255, 'x'));
    EXPECT_EQ(f.PatternName(1), "");
}

TEST(CharacterFile, PatternNameIsCutAtTheImagesEnd) {
    build::Character c = test::BasicCharacter(301, 1);
    Bytes b = build::BuildCharacter(c);
    const std::size_t rec = CharacterFile(View(b)).PatternOffset(0);
    // A length of 200 with only 4 name bytes left in the image.
    b[rec + 1] = 200;
    b[rec + 2] = 0;
    b.resize(rec + 3 + 4);
    const std::string name = CharacterFile(View(b)).PatternName(0);
    ASSERT_EQ(name.size(), 4u);
    // Read back with the stored length as the key.
    BYTE expected[4];
    DecodeTextFormA(b.data() + rec + 3, 4, 200, expected);
    EXPECT_EQ(name, std::string(reinterpret_cast<char*>(expected), 4));
}

TEST(CharacterFile, CellRecordsByAddressArithmetic) {
    build::Character c = test::BasicCharacter();
    build::Cell cell = build::MaskCell1({"0101", "1111"});
    cell.x = 0xFFF0;
    cell.y = 5;
    c.cells.push_back(cell);
    const Bytes b = build::BuildCharacter(c);
    const CharacterFile f(View(b));
    EXPECT_EQ(f.CellX(1), 0xFFF0);
    EXPECT_EQ(f.CellY(1), 5);
    const std::size_t bih = f.CellBitmapInfoOffset(1);
    const BitmapInfo bi = f.ReadBitmapInfo(bih);
    EXPECT_EQ(bi.biWidth, 4);
    EXPECT_EQ(bi.biHeight, 2);
    EXPECT_EQ(bi.biBitCount, 1);
    EXPECT_EQ(f.PixelBitsOffset(bih, bi), bih + 40 + 8);
    // Stored bottom-up: the first stored row is the picture's last ("1111").
    EXPECT_EQ(b[f.PixelBitsOffset(bih, bi)], 0xF0);
    EXPECT_EQ(b[f.PixelBitsOffset(bih, bi) + 4], 0x50);
}

// ---------------------------------------------------------------------------------------------
// The load verdict

struct VerdictCase {
    const char* what;
    std::function<Bytes()> make;
    LoadMessage expected;
};

Bytes Built(const std::function<void(build::Character&)>& change, WORD version = 301) {
    build::Character c = test::BasicCharacter(version);
    change(c);
    return build::BuildCharacter(c);
}

Bytes Patched(Bytes b, std::size_t off, BYTE v) {
    b.at(off) = v;
    return b;
}

TEST(CheckImage, VerdictsInOrder) {
    const Bytes good = Built([](build::Character&) {});
    const std::vector<VerdictCase> cases = {
        {"empty", [] { return Bytes{}; }, LoadMessage::Corrupted},
        {"one byte K", [] { return Bytes{'K'}; }, LoadMessage::OldFormat},
        {"one byte other", [] { return Bytes{'Z'}; }, LoadMessage::OldFormat},
        {"bad magic", [&] { return Patched(good, 1, 'Q'); }, LoadMessage::OldFormat},
        {"KP and nothing else",
         [] {
             return Bytes{'K', 'P'};
         },
         LoadMessage::NewerVersion},
        {"KP and one version byte",
         [] {
             return Bytes{'K', 'P', 0x2C};
         },
         LoadMessage::NewerVersion},
        {"version 304", [] { return Built([](build::Character& c) { c.version = 304; }); },
         LoadMessage::NewerVersion},
        {"version 65535", [] { return Built([](build::Character& c) { c.version = 0xFFFF; }); },
         LoadMessage::NewerVersion},
        {"good 301", [&] { return good; }, LoadMessage::None},
        {"good 302", [] { return Built([](build::Character& c) { c.version = 302; }); }, LoadMessage::None},
        {"good 303", [] { return Built([](build::Character& c) { c.version = 303; }); }, LoadMessage::None},
        {"size one too large 302",
         [] { return Built([](build::Character& c) { c.version = 302, c.fileSizeDelta = 1; }); },
         LoadMessage::MayBeCorrupted},
        {"size one too small", [] { return Built([](build::Character& c) { c.fileSizeDelta = -1; }); },
         LoadMessage::MayBeCorrupted},
        {"file header check", [] { return Built([](build::Character& c) { c.breakFileHeaderCrc = true; }); },
         LoadMessage::MayBeCorrupted},
        {"character header check",
         [] { return Built([](build::Character& c) { c.breakCharHeaderCrc = true; }); },
         LoadMessage::MayBeCorrupted},
        {"all three",
         [] {
             return Built([](build::Character& c) {
                 c.fileSizeDelta = 5, c.breakFileHeaderCrc = true, c.breakCharHeaderCrc = true;
             });
         },
         LoadMessage::MayBeCorrupted},
        // Byte 5 lies past the 34 checked bits; the top bit of byte 4 is inside them.
        {"byte 5 changed", [&] { return Patched(good, 5, static_cast<BYTE>(good[5] ^ 0xFF)); },
         LoadMessage::None},
        {"top bit of byte 4", [&] { return Patched(good, 4, static_cast<BYTE>(good[4] ^ 0x80)); },
         LoadMessage::MayBeCorrupted},
        {"300 with every check wrong",
         [] {
             return Built([](build::Character& c) {
                 c.version = 300, c.fileSizeDelta = 9, c.breakFileHeaderCrc = true,
                 c.breakCharHeaderCrc = true;
             });
         },
         LoadMessage::None},
        {"301 cut to 20 bytes", [&] { return Bytes(good.begin(), good.begin() + 20); },
         LoadMessage::MayBeCorrupted},
        {"301 header offset past the end",
         [&] {
             Bytes b = good;
             build::PutU32(b, kpfile::kHeaderOffset, 0xFFFFFFF0u);
             return b;
         },
         LoadMessage::MayBeCorrupted},
    };
    for (const auto& c : cases) {
        const Bytes b = c.make();
        EXPECT_EQ(CheckImage(View(b)), c.expected) << c.what;
    }
}

// Offsets from the file are added in 64 bits in every build: a table entry near 2^32 gives an
// offset past 2^32, never one that wraps back into the image (which the 32-bit build did).
TEST(CharacterFile, OffsetSumsNearTwoToThe32DoNotWrap) {
    static_assert(sizeof(CharacterFile().PatternOffset(0)) == 8 &&
                      sizeof(CharacterFile().CellOffset(0)) == 8 &&
                      sizeof(CharacterFile().SoundOffset(0)) == 8,
                  "offsets are 64-bit in every build");
    build::Character ch = test::BasicCharacter(300);
    ch.sounds.push_back(build::MakeWave({1, 2}));
    Bytes b = build::BuildCharacter(ch);
    const CharacterFile file(View(b));
    struct Case {
        FileOffset tableEntry; // where the entry lies
        FileOffset base;       // what it is relative to
        std::function<FileOffset()> offset;
    };
    const Case cases[] = {
        {file.HeaderOffset() + kpfile::kPatternTable, file.HeaderOffset(),
         [&] { return file.PatternOffset(0); }},
        {file.CellsOffset() + kpfile::kCellTable, file.CellsOffset(), [&] { return file.CellOffset(0); }},
        {file.SoundsOffset() + kpfile::kSoundTable, file.SoundsOffset(), [&] { return file.SoundOffset(0); }},
    };
    for (const DWORD entry : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u}) {
        for (const auto& c : cases) {
            build::PutU32(b, static_cast<std::size_t>(c.tableEntry), entry);
            EXPECT_EQ(c.offset(), c.base + entry) << std::hex << entry;
            EXPECT_GT(c.offset(), 0x7FFFFFFFull);
        }
    }
}

TEST(CheckLayout, WindowAndFirstCellWithinTheLimits) {
    struct Case {
        WORD width, height;
        std::int32_t cellWidth, cellHeight;
        LoadMessage verdict;
    };
    const WORD max = kpfile::kMaxWindowSide;
    const std::int32_t cell = kpfile::kMaxCellSide;
    const Case cases[] = {
        {32, 32, 32, 32, LoadMessage::None},
        {max, max, cell, cell, LoadMessage::None},
        {1, 1, 1, -cell, LoadMessage::None},
        {max + 1, 32, 4, 4, LoadMessage::SizeOutOfRange},
        {32, max + 1, 4, 4, LoadMessage::SizeOutOfRange},
        {0xFFFF, 0xFFFF, 4, 4, LoadMessage::SizeOutOfRange},
        {0, 32, 4, 4, LoadMessage::SizeOutOfRange},
        {32, 0, 4, 4, LoadMessage::SizeOutOfRange},
        {32, 32, cell + 1, 1, LoadMessage::SizeOutOfRange},
        {32, 32, 1, -cell - 1, LoadMessage::SizeOutOfRange},
        {32, 32, 0, 4, LoadMessage::SizeOutOfRange},
    };
    for (const auto& c : cases) {
        build::Character ch = test::BasicCharacter(300);
        ch.width = c.width;
        ch.height = c.height;
        Bytes b = build::BuildCharacter(ch);
        const FileOffset bih = CharacterFile(View(b)).CellBitmapInfoOffset(0);
        build::PutU32(b, static_cast<std::size_t>(bih + 4), static_cast<DWORD>(c.cellWidth));
        build::PutU32(b, static_cast<std::size_t>(bih + 8), static_cast<DWORD>(c.cellHeight));
        EXPECT_EQ(CheckLayout(View(b)), c.verdict)
            << c.width << "x" << c.height << " " << c.cellWidth << "x" << c.cellHeight;
    }
    EXPECT_EQ(CheckLayout(ImageView(nullptr, 0)), LoadMessage::Corrupted);
    EXPECT_STREQ(LoadMessageText(LoadMessage::SizeOutOfRange),
                 "キャラクターの大きさが範囲外のため、表示できません。");
}

TEST(CheckStructure, RefusesAnythingPointingOutside) {
    using C = build::Character;
    const auto patch32 = [](std::size_t off, DWORD v) { return [=](Bytes& b) { build::PutU32(b, off, v); }; };
    struct Case {
        const char* what;
        std::function<void(C&)> change;
        std::function<void(Bytes&)> patch;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"good", nullptr, nullptr, true},
        {"no patterns", [](C& c) { c.patternCount = 0; }, nullptr, false},
        {"pattern count past the table", [](C& c) { c.patternCount = 60000; }, nullptr, false},
        {"shorter than the file header", nullptr, [](Bytes& b) { b.resize(30); }, false},
        {"header offset huge", nullptr, patch32(kpfile::kHeaderOffset, 0xFFFFFFFFu), false},
        {"header offset 2 (no prefix words)", nullptr, patch32(kpfile::kHeaderOffset, 2), false},
        {"cells offset huge", nullptr, patch32(kpfile::kCellsOffset, 0x7FFFFFFFu), false},
        {"sounds offset huge", nullptr, patch32(kpfile::kSoundsOffset, 0xFFFFFFFEu), false},
        {"cell 0 record outside", nullptr,
         [](Bytes& b) { build::PutU32(b, CharacterFile(View(b)).CellsOffset() + 8, 0x10000000u); }, false},
        {"cell 0 colour table cut", nullptr,
         [](Bytes& b) {
             const std::size_t cell0 = CharacterFile(View(b)).CellOffset(0);
             b.resize(cell0 + 18 + 40 + 100);
             build::PutU32(b, kpfile::kSoundsOffset, 36); // keep the sound table inside
             build::PutU32(b, kpfile::kHeaderOffset, static_cast<DWORD>(b.size()));
         },
         false},
        {"pattern offset that a 32-bit sum would wrap onto the file", nullptr,
         [](Bytes& b) {
             const FileOffset h = CharacterFile(View(b)).HeaderOffset();
             build::PutU32(b, static_cast<std::size_t>(h + 104), static_cast<DWORD>(0x100000000ull - h + 40));
         },
         false},
        {"pattern record outside", nullptr,
         [](Bytes& b) {
             const std::size_t h = CharacterFile(View(b)).HeaderOffset();
             build::PutU32(b, h + 104, 0x00FFFFFFu);
         },
         false},
        {"negative name length",
         [](C& c) {
             c.patterns[0].raw = Bytes{3, 0xFE, 0xFF, 0, 0};
         },
         nullptr, false},
        {"name longer than the file",
         [](C& c) {
             c.patterns.back().raw = Bytes{3, 0x40, 0x00, 'a'};
         },
         nullptr, false},
        {"name of length 0 needs one byte from 301",
         [](C& c) {
             c.patterns.back().raw = Bytes{3, 0, 0};
         },
         [](Bytes& b) {
             // Drop the sound section so that the name instruction ends the file, and let the
             // sound table header be four zero bytes of the name field's padding instead.
             const std::size_t header = CharacterFile(View(b)).HeaderOffset();
             b.resize(b.size() - 4);
             build::PutU32(b, kpfile::kSoundsOffset, static_cast<DWORD>(header + kpfile::kNameSize - 4));
             build::Reseal(b);
         },
         false},
        {"sound table past the end",
         [](C& c) {
             c.sounds.push_back(build::MakeWave({1, 2, 3}));
         },
         [](Bytes& b) { build::PutU16(b, CharacterFile(View(b)).SoundsOffset(), 5000); }, false},
        {"menu column word before the file start", nullptr,
         [](Bytes& b) {
             // A header at offset 4 puts its prefix size word at offset 0; a size of 6 claims a
             // menu-column word at offset -2. The layout check ignores the magic it overwrites.
             build::PutU32(b, kpfile::kHeaderOffset, 4);
             build::PutU16(b, 0, 6);
         },
         false},
    };
    for (const auto& c : cases) {
        build::Character ch = test::BasicCharacter(301);
        if (c.change)
            c.change(ch);
        Bytes b = build::BuildCharacter(ch);
        if (c.patch)
            c.patch(b);
        EXPECT_EQ(CheckStructure(View(b)), c.ok) << c.what;
    }
}

} // namespace
} // namespace kp
