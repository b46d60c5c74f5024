// kptool build, the disassembly of kptool dump and kptool check --lint, in-process: instruction
// encodings, build errors, BMP reading, the dump-then-build round trip on every fixture and on a
// character that uses every instruction and operand form, and the lint findings.
#include "Assembler.h"
#include "BmpFile.h"
#include "Disassembler.h"
#include "FixtureSet.h"
#include "Lint.h"
#include "Verdict.h"

#include "chardata/DataFile.h"
#include "chardata/Loader.h"

#include <gtest/gtest.h>

#include <map>

namespace kp {
namespace {

using build::Bytes;

// Sources in memory with the files they name.
struct Project {
    std::map<std::string, Bytes> files;
    tool::ReadFileFn Reader() const {
        return [this](const std::string& name, Bytes& out) {
            const auto it = files.find(name);
            if (it == files.end())
                return false;
            out = it->second;
            return true;
        };
    }
    bool Build(const std::string& source, Bytes& image, std::vector<std::string>& errors) const {
        return tool::AssembleSource("t.kps", source, Reader(), image, errors);
    }
};

Project Pictures() {
    Project p;
    p.files["c8.bmp"] = tool::WriteBmp(build::SolidCell8(4, 3, 9));
    p.files["mask.bmp"] = tool::WriteBmp(build::MaskCell1({"0011", "0110", "1111"}));
    p.files["c4.bmp"] = tool::WriteBmp(build::Cell4({"0123", "4567"}));
    p.files["c24.bmp"] = tool::WriteBmp(build::SolidCell24(3, 2, 10, 20, 30));
    p.files["s.wav"] = build::MakeWave({1, 2, 3});
    p.files["wide.bmp"] = tool::WriteBmp(build::SolidCell8(4097, 1, 9));
    p.files["tall.bmp"] = tool::WriteBmp(build::MaskCell1(std::vector<std::string>(4097, "1")));
    p.files["edge.bmp"] = tool::WriteBmp(build::SolidCell8(4096, 1, 9));
    return p;
}

const char* const kHead = "version 301\nname \"T\"\nwindow 32 32\ncell 0 \"c8.bmp\" at 0 0\n";

Bytes Hex(const std::string& s) {
    Bytes b;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ' ')
            continue;
        b.push_back(static_cast<BYTE>(std::stoi(s.substr(i, 2), nullptr, 16)));
        ++i;
    }
    return b;
}

// The bytes of pattern g after its name instruction.
Bytes Body(const Bytes& image, std::size_t g) {
    const CharacterFile file(ImageView(image.data(), image.size()));
    const std::size_t rec = file.PatternOffset(g);
    const std::size_t start = rec + build::NameRecordLength(file.PatternName(g).c_str(), file.Version());
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(start),
                 image.begin() + static_cast<std::ptrdiff_t>(tool::PatternEnd(file, g)));
}

// ---------------------------------------------------------------------------------------------
// Encodings

TEST(Assembler, EncodesEveryOperandForm) {
    struct Case {
        WORD version;
        const char* line;
        const char* bytes;
    };
    const Case cases[] = {
        {300, "OP_WAIT 200", "08 C8 00"},
        {300, "OP_WAIT 0x7FFF", "08 FF 7F"},
        {300, "OP_SET v5 v6", "04 05 00 06 80"},
        {300, "OP_ADD var99 VAL_HOUR", "05 63 00 F8 FF"},
        {300, "OP_SUB v0 @0xC005", "06 00 00 05 C0"},
        {300, "OP_SET @0x8005 1", "04 05 80 01 00"},
        {300, "OP_NEWSHAPE 'b' 3", "01 62 03 00"},
        {300, "OP_PALETTE 98, v1", "1F 62 01 80"},
        {300, "OP_IF VAL_CURSORX < 50 L", "0C FF FF 3C 32 00 10 00 00 00"},
        {300, "OP_IF v3 = 7 0x20", "0C 03 80 3D 07 00 20 00 00 00"},
        {300, "OP_IF 1 35 2 L", "0C 01 00 23 02 00 10 00 00 00"},
        {300, "OP_IF 1 ! 2 L", "0C 01 00 21 02 00 10 00 00 00"},
        {300, "OP_IFNOAUTO L", "15 10 00 00 00"},
        {300, "OP_CLICKOFF", "16"},
        {300, "OP_RESERVED28", "1C"},
        {300, "OP_PLAYFILE \"a\"", "0A 02 00 61 00"},
        {300, "OP_NOTE exact \"\"", "03 00 00"},
        {300, "OP_NOTE exact \"ab\"", "03 02 00 61 62"},
        {300, "OP_EXEC \"\\x83\\x65\"", "18 03 00 83 65 00"},
        {300, "OP_EXEC \"テ\"", "18 03 00 83 65 00"},
        {300, "OP_TEXT 1 2 \"a\\\"\\\\\"", "19 01 00 02 00 04 00 61 22 5C 00"},
        {300, "bytes 00 ff 1A", "00 FF 1A"},
        // From the first checked version on strings are stored in form B and a length of 0 still
        // stores one byte.
        {301, "OP_TEXT 1 2 \"abc\"", "19 01 00 02 00 04 00 65 03 01 63"},
        {301, "OP_NOTE exact \"\"", "03 00 00 00"},
        {303, "OP_LOADVAR \"a\" v2 5", "1D 02 00 63 61 02 00 05 00"},
    };
    const std::map<std::string, DWORD> labels{{"L", 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Bytes out;
        std::string error;
        ASSERT_TRUE(tool::EncodeInstructionLine(c.line, c.version, labels, out, error)) << error;
        EXPECT_EQ(out, Hex(c.bytes));
    }
}

// `bytes` lines shorter than any instruction, those that begin like OP_NEWSHAPE 'b' included,
// are written as they are (the mask-place check once read past their end).
TEST(Assembler, ShortBytesLinesAreWrittenAsTheyAre) {
    Project p = Pictures();
    Bytes image;
    std::vector<std::string> errors;
    ASSERT_TRUE(
        p.Build(std::string(kHead) + "pattern \"P\"\n bytes\n bytes 01\n bytes 01 62\n bytes 01 62 00\n",
                image, errors));
    EXPECT_TRUE(errors.empty());
    const std::string built(image.begin(), image.end());
    EXPECT_NE(built.find(std::string("\x01\x01\x62\x01\x62\x00", 6)), std::string::npos);
}

// The worked example of a version 300 pattern named Walk, byte for byte, labels included.
TEST(Assembler, BuildsTheWalkPatternByteForByte) {
    Project p = Pictures();
    Bytes image;
    std::vector<std::string> errors;
    ASSERT_TRUE(p.Build("version 300\nname \"T\"\nwindow 32 32\ncell 0 \"c8.bmp\" at 0 0\n"
                        "pattern \"Walk\"\n"
                        "loop:   OP_OFFSETY 32\n"
                        "        OP_DRAW 0   # the first picture\n"
                        "        OP_WAIT 200\n"
                        "        OP_DRAW 1\n"
                        "        OP_WAIT 200\n"
                        "        OP_GOTO loop\n",
                        image, errors))
        << errors[0];
    const CharacterFile file(ImageView(image.data(), image.size()));
    const std::size_t rec = file.PatternOffset(0);
    EXPECT_EQ(Bytes(image.begin() + static_cast<std::ptrdiff_t>(rec), image.end() - 4),
              Hex("03 05 00 57 61 6C 6B 00 11 20 00 07 00 00 08 C8 00 07 01 00 08 C8 00 0D 08 00 00 00"));
}

TEST(Assembler, NamesAreWhatTheMenuReadsAndTheFileLoads) {
    for (WORD version : {300, 301, 302, 303}) {
        SCOPED_TRACE(version);
        Project p = Pictures();
        Bytes image;
        std::vector<std::string> errors;
        const std::string src = "version " + std::to_string(version) +
                                "\nname \"テスト\"\nabout \"説明\"\nwindow 40 30\ndefault-pattern 2\n"
                                "default-position 70\nmenu-columns 3\ncell 0 \"c8.bmp\" at 1 2\n"
                                "pattern \"歩く\"\n  OP_WAIT 100\npattern \"\"\n  OP_WAIT 100\n";
        ASSERT_TRUE(p.Build(src, image, errors)) << errors[0];
        const ImageView view(image.data(), image.size());
        EXPECT_EQ(CheckImage(view), LoadMessage::None);
        EXPECT_TRUE(CheckStructure(view));
        const CharacterFile file(view);
        EXPECT_EQ(file.Name(), "\x83\x65\x83\x58\x83\x67");
        EXPECT_EQ(file.About(), "\x90\xE0\x96\xBE");
        EXPECT_EQ(file.PatternName(0), std::string("\x95\xE0\x82\xAD\0", 5));
        EXPECT_EQ(file.PatternName(1), std::string("\0", 1));
        EXPECT_EQ(file.DefaultPattern(), 2);
        EXPECT_EQ(file.DefaultPosition(), 70);
        EXPECT_EQ(file.MenuColumns(), 3);
        EXPECT_EQ(file.CanvasWidth(), 40);
        EXPECT_EQ(file.CellX(0), 1);
        EXPECT_EQ(file.CellY(0), 2);
        EXPECT_EQ(Body(image, 0), Hex("08 64 00"));
    }
}

// One table of bad sources, each with the exact first line of its first diagnostic.
TEST(Assembler, ReportsErrorsAtTheirLineAndColumn) {
    struct Case {
        const char* source; // after the common head (4 lines) unless it starts with "!"
        const char* error;
    };
    const Case cases[] = {
        {"pattern \"P\"\n OP_WAIT 40000\n",
         "t.kps:6:10: error: OP_WAIT operand 1 (value): 40000 is above 32767, the largest literal (larger "
         "numbers "
         "come from variables; @0x8000 and up writes a stored word as it is)"},
        {"pattern \"P\"\n OP_WAIT\n", "t.kps:6:9: error: missing operand: OP_WAIT takes value"},
        {"pattern \"P\"\n OP_WAIT 1 2 # two\n", "t.kps:6:12: error: too many operands: OP_WAIT takes value"},
        {"pattern \"P\"\n op_wait 1\n",
         "t.kps:6:2: error: unknown instruction op_wait (instructions are written in capitals: OP_WAIT)"},
        {"pattern \"P\"\n WAIT 1\n", "t.kps:6:2: error: unknown instruction WAIT (did you mean OP_WAIT?)"},
        {"pattern \"P\"\n OP_WIAT 1\n",
         "t.kps:6:2: error: unknown instruction OP_WIAT (did you mean OP_WAIT?)"},
        {"pattern \"P\"\n OP_SET 5 1\n",
         "t.kps:6:9: error: OP_SET operand 1 (variable): 5 is no variable (variables are written v0..v99 or "
         "var0..var99)"},
        {"pattern \"P\"\n OP_SET v100 1\n",
         "t.kps:6:9: error: OP_SET operand 1 (variable): variable 100 does not exist (v0..v99)"},
        {"pattern \"P\"\n OP_DRAW VAL_HOURS\n",
         "t.kps:6:10: error: OP_DRAW operand 1 (value): unknown value VAL_HOURS (a number, v0..v99 or a VAL_ "
         "name) (did you mean VAL_HOUR?)"},
        {"pattern \"P\"\n OP_IF v1 <= 3 x\nx: OP_WAIT 1\n",
         "t.kps:6:11: error: OP_IF operand 2 (byte): <= is no comparison; comparisons are <, =, > and ! (not "
         "equal); for <= or >= compare with the neighbouring number or swap the operands"},
        {"pattern \"P\"\n OP_GOTO nowhere\n", "t.kps:6:10: error: no label nowhere in this pattern"},
        {"pattern \"P\"\nloop: OP_WAIT 1\n OP_GOTO lopo\n",
         "t.kps:7:10: error: no label lopo in this pattern (did you mean loop?)"},
        {"pattern \"P\"\na:\n  a: OP_WAIT 1\n", "t.kps:7:3: error: label a defined twice in this pattern"},
        {"pattern \"P\"\nv5: OP_WAIT 1\n",
         "t.kps:6:1: error: v5 cannot be a label (it is an instruction, value or variable name)"},
        {"pattern \"P\"\nwave-2: OP_WAIT 1\n",
         "t.kps:6:1: error: wave-2 cannot be a label (labels are written in ASCII letters, digits and _)"},
        // A failed labelled line: one error, none for the jump to its label.
        {"pattern \"P\"\nloop: OP_WAIT\xE3\x80\x80"
         "1\n OP_GOTO loop\n",
         "t.kps:6:14: error: unexpected character U+3000 IDEOGRAPHIC SPACE; write an ASCII space"},
        {"pattern \"P\"\n OP_WAIT 1\xEF\xBC\x90\n",
         "t.kps:6:11: error: unexpected character U+FF10 FULLWIDTH DIGIT ZERO; write the ASCII 0"},
        {"pattern \"P\"\nloop\xEF\xBC\x9A OP_WAIT 1\n",
         "t.kps:6:5: error: unexpected character U+FF1A FULLWIDTH COLON; write the ASCII :"},
        {"pattern \xE2\x80\x9CP\xE2\x80\x9D\n OP_WAIT 1\n",
         "t.kps:5:9: error: unexpected character U+201C LEFT DOUBLE QUOTATION MARK; write the ASCII \""},
        {"pattern \"P\"\n\xE6\xAD\xA9\xE3\x81\x8F: OP_WAIT 1\n",
         "t.kps:6:1: error: unexpected character U+6B69 CJK UNIFIED IDEOGRAPH-6B69 (outside strings, names "
         "and "
         "labels are written in ASCII letters, digits and _)"},
        {"pattern \"P\"\n OP_EXEC \"abc\n", "t.kps:6:10: error: string without its closing quote"},
        {"pattern \"P\"\n OP_EXEC \"caf\xC3\xA9\"\n", "t.kps:6:10: error: OP_EXEC operand 1 (string): text "
                                                      "\"caf\xC3\xA9\" has no Shift-JIS (code page 932) "
                                                      "form"},
        {"pattern \"P\"\n OP_EXEC \"\\q\"\n",
         "t.kps:6:10: error: unknown escape \\q in a string (escapes: \\\" \\\\ \\n \\r \\t \\0 \\xNN)"},
        {"pattern \"P\"\n bytes 0G\n", "t.kps:6:8: error: bytes takes hex pairs such as 08 C8 00"},
        {"OP_WAIT 1\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:1: error: instruction outside a pattern (start one with: pattern \"Name\")"},
        {"bytes 00\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:1: error: instruction outside a pattern (start one with: pattern \"Name\")"},
        {"colour 3\npattern \"P\"\n OP_WAIT 1\n", "t.kps:5:1: error: unknown directive colour"},
        {"windw 3 3\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:1: error: unknown directive windw (did you mean window?)"},
        {"version 302\npattern \"P\"\n OP_WAIT 1\n", "t.kps:5:1: error: version given twice"},
        {"default-position 101\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:18: error: default-position 101 is out of range (0..100)"},
        {"default-pattern 2\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:17: error: default-pattern 2, but there is only 1 pattern (0 is a random choice)"},
        {"cell 2 \"c8.bmp\" at 0 0\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:6: error: cells are numbered from 0 in order: this one must be cell 1"},
        {"cell 1 \"no.bmp\" at 0 0\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:8: error: cannot read the cell's picture \"no.bmp\""},
        {"cell 1 \"c8.bmp\"\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:16: error: cell needs its place: cell N \"file.bmp\" at X Y"},
        // A failed cell still counts: the next one is not blamed for its number.
        {"cell 1 \"c8.bmp\" at x 0\ncell 2 \"c8.bmp\" at 0 0\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:20: error: cell x needs a number"},
        {"cell 1 \"c8.bmp\" at 0 0 mask-runs\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:24: error: mask-runs needs a 1-bit picture; c8.bmp has 8 bits per pixel"},
        {"cell 1 \"s.wav\" at 0 0\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:5:8: error: s.wav: not a BMP file (no \"BM\" header)"},
        {"sound 0 \"c8.bmp\"\npattern \"P\"\n OP_WAIT 1\n", "t.kps:5:9: error: c8.bmp: not a RIFF WAVE file"},
        {"\n", "t.kps:5:1: error: no pattern: a character needs at least one"},
        {"!raw-image \"c8.bmp\"\nname \"T\"\n",
         "t.kps:2:1: error: name cannot be combined with raw-image (line 1)"},
        {"!version 301\nname \"\"\nwindow 32 32\ncell 0 \"c8.bmp\" at 0 0\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:2:6: error: empty character name: the program keeps a character's settings under its name"},
        {"!version 301\nname \"T\"\nwindow 32 0\ncell 0 \"c8.bmp\" at 0 0\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:3:11: error: a window of 32 x 0 pixels: nothing could show the character"},
        {"!version 301\nname \"T\"\nwindow 4097 32\ncell 0 \"c8.bmp\" at 0 0\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:3:8: error: a window of 4097 x 32 pixels: the program shows at most 4096 pixels each way"},
        // A failed version line gives no knock-on "no version line".
        {"!version 3O1\nname \"T\"\nwindow 32 32\ncell 0 \"c8.bmp\" at 0 0\npattern \"P\"\n OP_WAIT 1\n",
         "t.kps:1:9: error: bad number: 3O"},
        // A byte order mark is skipped.
        {"!\xEF\xBB\xBFversion 301\nname \"T\"\nwindow 32 32\ncell 0 \"c8.bmp\" at 0 0\npattern \"P\"\n "
         "OP_WAIT\n",
         "t.kps:6:9: error: missing operand: OP_WAIT takes value"},
        // Shift-JIS: "name "テスト"" as code page 932 bytes.
        {"!version 301\nname \"\x83\x65\x83\x58\x83\x67\"\nwindow 32 32\n",
         "t.kps:2:7: error: the source is in Shift-JIS (code page 932); kptool reads UTF-8: save it as "
         "UTF-8"},
        {"!version 301\nname \"\xFF\"\n", "t.kps:2:7: error: the source is not UTF-8 (a byte here starts no "
                                          "UTF-8 character): save it as UTF-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Project p = Pictures();
        Bytes image;
        std::vector<std::string> errors;
        const std::string source =
            c.source[0] == '!' ? std::string(c.source + 1) : kHead + std::string(c.source);
        EXPECT_FALSE(p.Build(source, image, errors));
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0].substr(0, errors[0].find('\n')), c.error);
        // No knock-on errors: each bad source has one.
        EXPECT_EQ(errors.size(), 1u) << errors.back();
    }
}

// The whole diagnostic: the source line, the caret under the place (wide characters count two
// columns), and a note at the second place.
TEST(Assembler, ShowsTheSourceLineWithACaretAndNotes) {
    Project p = Pictures();
    Bytes image;
    std::vector<std::string> errors;
    p.Build(std::string(kHead) + "pattern \"歩く\"\nloop:\tOP_WAIT 1\nloop: OP_TEXT 0 0 \"あ\" 7\n", image,
            errors);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "t.kps:7:1: error: label loop defined twice in this pattern\n"
                         " loop: OP_TEXT 0 0 \"あ\" 7\n"
                         " ^\n"
                         "t.kps:6:1: note: first defined here\n"
                         " loop:\tOP_WAIT 1\n"
                         " ^\n");
    EXPECT_EQ(errors[1].substr(errors[1].find('\n') + 1), " loop: OP_TEXT 0 0 \"あ\" 7\n"
                                                          "                        ^\n");
}

TEST(Assembler, RefusesStringsAndNamesLongerThanTheirBuffers) {
    Project p = Pictures();
    Bytes image;
    std::vector<std::string> errors;
    // 255 text bytes and the zero byte fit the 256-byte string buffer; one more does not.
    EXPECT_TRUE(p.Build(std::string(kHead) + "pattern \"P\"\n OP_EXEC \"" + std::string(255, 'x') +
                            "\"\n OP_WAIT 1\n",
                        image, errors));
    EXPECT_FALSE(p.Build(std::string(kHead) + "pattern \"P\"\n OP_EXEC \"" + std::string(256, 'x') + "\"\n",
                         image, errors));
    EXPECT_NE(errors.back().find("string of 257 bytes"), std::string::npos) << errors.back();
    errors.clear();
    EXPECT_FALSE(p.Build(std::string(kHead) + "pattern \"" + std::string(255, 'n') + "\"\n OP_WAIT 1\n",
                         image, errors));
    EXPECT_NE(errors.back().find("pattern name of 255 bytes"), std::string::npos) << errors.back();
    errors.clear();
    EXPECT_FALSE(p.Build("version 301\nname \"" + std::string(32, 'n') +
                             "\"\nwindow 1 1\ncell 0 \"c8.bmp\" at 0 0\n"
                             "pattern \"P\"\n OP_WAIT 1\n",
                         image, errors));
    EXPECT_NE(errors.back().find("character name of 32 bytes"), std::string::npos) << errors.back();
}

// ---------------------------------------------------------------------------------------------
// BMP files

TEST(Bmp, ReadsWhatItWritesForEveryDepthAndTurnsTopDownFilesOver) {
    for (const build::Cell& cell : {build::SolidCell8(5, 3, 4), build::MaskCell1({"01", "10", "11"}),
                                    build::Cell4({"012", "345"}), build::SolidCell24(3, 2, 1, 2, 3)}) {
        build::Cell back;
        std::string why;
        ASSERT_TRUE(tool::ReadBmp(tool::WriteBmp(cell), back, why)) << why;
        EXPECT_EQ(back.width, cell.width);
        EXPECT_EQ(back.height, cell.height);
        EXPECT_EQ(back.bitCount, cell.bitCount);
        EXPECT_EQ(back.bits, cell.bits);
        Bytes colors = cell.colors;
        colors.resize(4 * ColorTableEntries(cell.bitCount), 0);
        EXPECT_EQ(back.colors, colors);
    }
    // Top-down (negative height) and a short colour table (biClrUsed 2 of 16).
    build::Cell cell = build::Cell4({"01", "23"});
    Bytes file = tool::WriteBmp(cell);
    build::PutU32(file, 22, static_cast<DWORD>(-2));
    build::PutU32(file, 46, 2);
    Bytes shortTable;
    for (std::size_t i = 0; i < file.size(); ++i)
        if (i < 54 + 8 || i >= 54 + 64)
            shortTable.push_back(file[i]);
    build::PutU32(shortTable, 10, 54 + 8);
    build::Cell back;
    std::string why;
    ASSERT_TRUE(tool::ReadBmp(shortTable, back, why)) << why;
    EXPECT_EQ(back.colors.size(), 64u);
    EXPECT_EQ(Bytes(back.colors.begin(), back.colors.begin() + 8),
              Bytes(cell.colors.begin(), cell.colors.begin() + 8));
    EXPECT_EQ(Bytes(back.colors.begin() + 8, back.colors.end()), Bytes(56, 0));
    EXPECT_EQ(Bytes(back.bits.begin(), back.bits.begin() + 4), Bytes(cell.bits.begin() + 4, cell.bits.end()));
}

TEST(Bmp, RefusesWhatItCannotReadWithoutReadingOutside) {
    const Bytes good = tool::WriteBmp(build::SolidCell8(4, 4, 1));
    struct Case {
        std::size_t cut;   // keep this many bytes (0: all)
        std::size_t patch; // offset of a 32-bit field to change (0: none)
        DWORD value;
        const char* why;
    };
    const Case cases[] = {
        {10, 0, 0, "not a BMP file"},
        {good.size() - 1, 0, 0, "pixel rows cut short"},
        {100, 0, 0, "colour table cut short"},
        {0, 30, 1, "compressed bitmap"},
        {0, 14, 12, "unsupported bitmap header"},
        {0, 18, 0, "picture size 0 x 4"},
        {0, 10, 0xFFFFFFF0u, "pixel rows cut short"},
        {0, 46, 300, "colour table of 300 entries"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Bytes file(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(c.cut ? c.cut : good.size()));
        if (c.patch)
            build::PutU32(file, c.patch, c.value);
        build::Cell cell;
        std::string why;
        EXPECT_FALSE(tool::ReadBmp(file, cell, why));
        EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
    }
}

// ---------------------------------------------------------------------------------------------
// Dump then build gives the file back byte for byte.

void ExpectRoundTrip(const Bytes& image, bool structured) {
    const ImageView view(image.data(), image.size());
    tool::SourceFiles src;
    std::string why;
    ASSERT_TRUE(tool::MakeSource(view, src, why)) << why;
    EXPECT_EQ(src.structured, structured) << src.source;
    Project p;
    for (const auto& [name, bytes] : src.files)
        p.files[name] = bytes;
    Bytes again;
    std::vector<std::string> errors;
    ASSERT_TRUE(p.Build(src.source, again, errors)) << errors[0] << "\n" << src.source;
    EXPECT_EQ(again, image) << src.source;
}

// Cell headers that a BMP file cannot carry keep the raw image, and never make the dump build a
// backwards range or multiply an unchecked width by a height.
TEST(RoundTrip, CellHeadersOfOtherSizesOrHugeCellsKeepTheRawImage) {
    struct Case {
        const char* what;
        WORD cell;
        std::size_t field; // offset in the BITMAPINFOHEADER
        DWORD value;
    };
    const Case cases[] = {
        {"cell 0 header size 0", 0, 0, 0},          {"mask cell header size 0", 1, 0, 0},
        {"mask cell header size 12", 1, 0, 12},     {"mask cell 2^30 wide", 1, 4, 0x40000000u},
        {"mask cell 2^30 high", 1, 8, 0x40000000u}, {"mask cell 4097 wide", 1, 4, 4097},
    };
    for (const auto& c : cases) {
        build::Character ch;
        ch.cells.push_back(build::SolidCell8(2, 2, 0));
        ch.cells.push_back(build::MaskCell1({"0110", "1001"}));
        build::Pattern p;
        p.name = "P";
        p.body = {8, 5, 0, 13, 3, 0, 0, 0}; // OP_WAIT 5; OP_GOTO 3
        ch.patterns.push_back(p);
        ch.cells.back().compression = kpfile::kMaskRunLength;
        Bytes b = build::BuildCharacter(ch);
        const FileOffset bih = CharacterFile(ImageView(b.data(), b.size())).CellBitmapInfoOffset(c.cell);
        build::PutU32(b, static_cast<std::size_t>(bih + c.field), c.value);
        SCOPED_TRACE(c.what);
        ExpectRoundTrip(b, false);
    }
}

TEST(RoundTrip, EveryFixtureThatLoads) {
    int tried = 0;
    for (const auto& f : fixtures::AllFixtures()) {
        const tool::Verdict v = tool::JudgeImage(ImageView(f.bytes.data(), f.bytes.size()));
        const bool loads =
            v.message == LoadMessage::None || (v.message == LoadMessage::MayBeCorrupted && v.yesLoads);
        SCOPED_TRACE(f.name);
        tool::SourceFiles src;
        std::string why;
        if (!loads) {
            EXPECT_FALSE(tool::MakeSource(ImageView(f.bytes.data(), f.bytes.size()), src, why));
            continue;
        }
        // Only a sound offset outside the file is beyond what a source can describe.
        ExpectRoundTrip(f.bytes, f.name != "soundoutside301.kp");
        ++tried;
    }
    EXPECT_GE(tried, 12);
}

// A character that uses every instruction and every operand form.
const char* const kEverything = R"(name "全部"
about "every instruction"
window 64 48
default-pattern 0
default-position 30
menu-columns 2
cell 0 "c8.bmp" at 0 0
cell 1 "mask.bmp" at 4 4 mask-runs
cell 2 "mask.bmp" at 4 4
cell 3 "c4.bmp" at 10 0
cell 4 "c24.bmp" at 65535 0
sound 0 "s.wav"
sound 1 "s.wav"
pattern "歩く"
start:  OP_NEWSHAPE 'b' 1
        OP_SETSHAPE v0
        OP_NOTE "note"
        OP_NOTE2 exact ""
        OP_SET v1 VAL_CLOCK
        OP_ADD v2 @0xC005
        OP_SUB var3 1
        OP_DRAW 3
        OP_WAIT 100
        OP_WAITRANDOM 1000 500
        OP_PLAYFILE "ding.wav"
        OP_PLAYSOUND 1
        OP_IF VAL_HOUR < 6 night
        OP_IF v1 ! 7 start
        OP_IF 1 35 2 start
        OP_GOTO @20
night:  OP_POSITION 150
        OP_PATTERN 2
        OP_OFFSETY 32
        OP_AND v4 0x0F
        OP_OR v5 VAL_RANDOM
        OP_MOD v6 7
        OP_IFNOAUTO start
        OP_CLICKOFF
        OP_CLICKON click
        OP_EXEC "notepad.exe"
click:  OP_TEXT 1 2 "こんにちは\t\\ \"x\""
        OP_FONT 12 "ＭＳ ゴシック"
        OP_RESERVED27 7
        OP_RESERVED28
        OP_LOADVAR "count" v7 0
        OP_SAVEVAR "count" v7
        OP_PALETTE 'b' 3
        bytes 00 00 20
        OP_EXEC exact "no zero"
        OP_WAIT VAL_CURSORX
pattern "Second"
        OP_DRAW VAL_SECOND
        OP_WAIT @0xFFFB
        OP_GOTO 0
)";

TEST(RoundTrip, EveryInstructionAndOperandFormInEveryVersion) {
    for (WORD version : {300, 301, 302, 303}) {
        SCOPED_TRACE(version);
        Project p = Pictures();
        Bytes image;
        std::vector<std::string> errors;
        ASSERT_TRUE(p.Build("version " + std::to_string(version) + "\n" + kEverything, image, errors))
            << errors[0];
        ExpectRoundTrip(image, true);
        // Strings must come back as instructions: a wrongly decoded string would still round-trip
        // as a `bytes` line.
        const CharacterFile file(ImageView(image.data(), image.size()));
        const std::string text = tool::DisassemblePattern(file, 0, false);
        for (const char* line : {"OP_NOTE2 exact \"\"\n", "OP_EXEC exact \"no zero\"\n", "OP_TEXT 1 2 \"",
                                 "OP_EXEC \"notepad.exe\"\n", "OP_PLAYFILE \"ding.wav\"\n"})
            EXPECT_NE(text.find(std::string("        ") + line), std::string::npos) << line << "\n" << text;
    }
}

// A disassembly names targets by labels and keeps what no instruction can say as bytes.
TEST(Disassembler, WritesLabelsAndKeepsOddBytesAsBytes) {
    build::Character c;
    c.version = 301;
    c.cells.push_back(build::SolidCell8(2, 2, 0));
    build::Pattern p;
    p.name = "P";
    // OP_WAIT 5; OP_GOTO 5 (the wait); OP_GOTO 6 (inside the wait); an OP_EXEC whose length is a
    // variable; a cut OP_WAIT.
    p.body = {8, 5, 0, 13, 5, 0, 0, 0, 13, 6, 0, 0, 0, 24, 0x01, 0x80, 8, 1};
    c.patterns.push_back(p);
    const Bytes image = build::BuildCharacter(c);
    const CharacterFile file(ImageView(image.data(), image.size()));
    const std::string text = tool::DisassemblePattern(file, 0, false);
    EXPECT_NE(text.find("pattern \"P\"\nL5:\n        OP_WAIT 5\n        OP_GOTO L5\n        OP_GOTO 6\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("bytes 18 01 80"), std::string::npos) << text;
    EXPECT_NE(text.find("OP_EXEC with a string length from a run-time value"), std::string::npos) << text;
    EXPECT_NE(text.find("bytes 08 01"), std::string::npos) << text;
    ExpectRoundTrip(image, true);
}

TEST(Disassembler, QuotesTextSoThatItReadsBackTheSame) {
    const std::string cases[] = {"abc",       "テスト",  std::string("a\0b", 3), "\x83", "\xFF\x81",
                                 "C:\\x41\"", "\xB1\xB2"};
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(tool::QuoteString(bytes));
        Bytes out;
        std::string error;
        ASSERT_TRUE(
            tool::EncodeInstructionLine("OP_EXEC exact " + tool::QuoteString(bytes), 300, {}, out, error))
            << error;
        EXPECT_EQ(std::string(out.begin() + 3, out.end()), bytes);
    }
    EXPECT_EQ(tool::QuoteString("\x83\x65\x83\x58\x83\x67"), "\"テスト\"");
}

// ---------------------------------------------------------------------------------------------
// Lint

std::vector<std::string> LintBody(const std::string& body, const std::string& extra = "") {
    Project p = Pictures();
    Bytes image;
    std::vector<std::string> errors;
    const std::string src = "version 301\nname \"T\"\nwindow 32 32\ncell 0 \"c8.bmp\" at 0 0\n"
                            "cell 1 \"mask.bmp\" at 0 0 mask-runs\nsound 0 \"s.wav\"\n" +
                            extra + "pattern \"P\"\n" + body + "\npattern \"Q\"\nq: OP_WAIT 1\n OP_GOTO q\n";
    EXPECT_TRUE(p.Build(src, image, errors)) << (errors.empty() ? "" : errors[0]);
    std::vector<std::string> problems;
    for (const tool::LintProblem& problem : tool::LintImage(ImageView(image.data(), image.size())).problems)
        problems.push_back(problem.Text());
    return problems;
}

TEST(Lint, FindsEveryStaticProblem) {
    struct Case {
        std::string body;
        const char* problem; // "" for none
    };
    std::string zeros;
    for (int i = 0; i < 257; ++i)
        zeros += " 00";
    const Case cases[] = {
        {"a: OP_DRAW 0\n OP_WAIT 100\n OP_GOTO a", ""},
        {" OP_WAIT 100\n OP_GOTO 200",
         "pattern 1 \"P\" offset 8: jump target 200 is outside the pattern (13 bytes)"},
        {" OP_CLICKON 99\n OP_WAIT 1", "pattern 1 \"P\" offset 5: click target 99 is outside the pattern"},
        {" OP_IF 1 = 1 99\n OP_WAIT 1", "offset 5: jump target 99 is outside the pattern"},
        {" OP_WAIT 1\n OP_GOTO 6", "offset 6: a jump or click target lands inside the OP_WAIT at offset 5"},
        {" OP_DRAW 2\n OP_WAIT 1", "offset 5: cell 2 is past the cell table (2 entries)"},
        {" OP_DRAW 1\n OP_WAIT 1", "offset 5: cell 1 holds mask runs and cannot be drawn"},
        {" OP_NEWSHAPE 'b' 7\n OP_WAIT 1", "offset 5: cell 7 is past the cell table"},
        {"a: OP_NEWSHAPE 'a' 7\n OP_WAIT 1\n OP_GOTO a", ""},
        {" OP_PALETTE 'b' 9\n OP_WAIT 1", "offset 5: cell 9 is past the cell table"},
        {" OP_PLAYSOUND 1\n OP_WAIT 1", "offset 5: sound 1, but the file has 1 sound: nothing plays"},
        {"a: OP_PLAYSOUND v1\n OP_PLAYSOUND 0\n OP_WAIT 1\n OP_GOTO a", ""},
        {" OP_SET @100 1\n OP_WAIT 1", "offset 5: writes variable 100, past v99"},
        {" OP_SET v1 @0x8064\n OP_WAIT 1", "offset 5: reads variable 100, past v99"},
        {"a: OP_SET v1 @0xC063\n OP_WAIT 1\n OP_GOTO a", ""},
        {" OP_SET v1 @0xFFFB\n OP_WAIT 1", "offset 5: the value word 0xFFFB has no meaning"},
        {" OP_EXEC exact \"x\"\n OP_WAIT 1", "offset 5: string without a zero byte"},
        {"a: OP_NOTE exact \"x\"\n OP_WAIT 1\n OP_GOTO a", ""},
        {" bytes 18 01 01" + zeros + "\n OP_WAIT 1", "offset 5: string of 257 bytes"},
        {" OP_MOD v1 0\n OP_WAIT 1", "offset 5: OP_MOD by 0"},
        {" OP_WAITRANDOM 5 0", "offset 5: OP_WAITRANDOM with a range of 0"},
        {" OP_SETSHAPE 16\n OP_WAIT 1", "offset 5: region slot 16; slots are 0..15"},
        {" OP_PATTERN 3", "offset 5: pattern 3, but the file has 2 patterns"},
        {" OP_PATTERN 2", ""},
        {" OP_IF 1 '#' 2 4\n OP_WAIT 1", "offset 5: comparison byte 35 is none of ! < = >: it never jumps"},
        {"a: OP_DRAW 0\n OP_GOTO a",
         "offset 0: no wait is reachable from the start: the first step never ends"},
        {" OP_WAIT 1\nb: OP_ADD v1 1\n OP_GOTO b", "offset 8: no wait is reachable from here"},
        {" OP_IF v1 = 1 w\na: OP_GOTO a\nw: OP_WAIT 1", "offset 15: no wait is reachable from here"},
        {" OP_DRAW 0", "offset 5: execution runs past the end of the pattern (8 bytes)"},
        {" bytes 18 00 80", "offset 5: OP_EXEC: its string length comes from a run-time value"},
        {" bytes 08 01", "offset 5: OP_WAIT is cut by the end of the pattern"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const std::vector<std::string> problems = LintBody(c.body);
        if (!*c.problem) {
            EXPECT_TRUE(problems.empty()) << problems[0];
            continue;
        }
        bool found = false;
        for (const std::string& p : problems)
            found = found || p.find(c.problem) != std::string::npos;
        EXPECT_TRUE(found) << (problems.empty() ? "no problem found" : problems[0]);
    }
}

// A cell other than cell 0 may be larger than the program shows; it is skipped when drawn or
// made a shape, and the lint says so.
TEST(Lint, CellsBeyondTheSizeLimit) {
    const std::string cells = "cell 2 \"wide.bmp\" at 0 0\ncell 3 \"tall.bmp\" at 0 0 mask-runs\n"
                              "cell 4 \"edge.bmp\" at 0 0\n";
    const std::pair<const char*, const char*> cases[] = {
        {" OP_DRAW 2\n OP_WAIT 1", "pattern 1 \"P\" offset 5: cell 2 has a picture size of 4097 x 1: the "
                                   "program skips a cell of 0 or more than 4096 pixels either way"},
        {" OP_NEWSHAPE 'b' 3\n OP_WAIT 1", "offset 5: cell 3 has a picture size of 1 x 4097"},
        {"a: OP_DRAW 4\n OP_WAIT 1\n OP_GOTO a", nullptr},
        {"a: OP_PALETTE 'b' 2\n OP_WAIT 1\n OP_GOTO a", nullptr}, // a palette has no size
    };
    for (const auto& [body, problem] : cases) {
        SCOPED_TRACE(body);
        const std::vector<std::string> problems = LintBody(body, cells);
        if (!problem)
            EXPECT_TRUE(problems.empty()) << problems[0];
        else
            EXPECT_TRUE(!problems.empty() && problems[0].find(problem) != std::string::npos)
                << (problems.empty() ? "no problem found" : problems[0]);
    }
}

// kptool build lints what it assembled: each finding a warning at the line (and operand) that
// made it; the image is still written.
TEST(Lint, BuildWarnsAtTheSourceLine) {
    struct Case {
        const char* source; // after the common head (4 lines) and `pattern "P"` (line 5)
        const char* warning;
    };
    const Case cases[] = {
        {" OP_DRAW 7\n OP_WAIT 1\n", "t.kps:6:10: warning: cell 7 is past the cell table (1 entry)"},
        {"a:\n OP_PALETTE 'b' 3\n OP_WAIT 1\n OP_GOTO a\n",
         "t.kps:7:17: warning: cell 3 is past the cell table (1 entry)"},
        {" OP_PLAYSOUND 0\n OP_WAIT 1\n",
         "t.kps:6:15: warning: sound 0, but the file has 0 sounds: nothing plays"},
        {" OP_WAIT 1\n OP_PATTERN 4\n", "t.kps:7:13: warning: pattern 4, but the file has 1 pattern"},
        {" OP_MOD v1 0\n OP_WAIT 1\n", "t.kps:6:12: warning: OP_MOD by 0"},
        {" OP_WAIT 1\n OP_GOTO 77\n",
         "t.kps:7:10: warning: jump target 77 is outside the pattern (13 bytes)"},
        {"a: OP_DRAW 0\n OP_GOTO a\n",
         "t.kps:5:1: warning: no wait is reachable from the start: the first step never ends"},
        {" OP_DRAW 0\n", "t.kps:6:2: warning: execution runs past the end of the pattern (8 bytes)"},
        {" OP_WAIT 1\n bytes 08 01\n", "t.kps:7:2: warning: OP_WAIT is cut by the end of the pattern"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Bytes image;
        std::vector<std::string> errors, warnings;
        EXPECT_TRUE(tool::AssembleSource("t.kps", std::string(kHead) + "pattern \"P\"\n" + c.source,
                                         Pictures().Reader(), image, errors, &warnings));
        ASSERT_FALSE(warnings.empty());
        EXPECT_EQ(warnings[0].substr(0, warnings[0].find('\n')), c.warning);
        EXPECT_FALSE(image.empty());
    }
}

TEST(Lint, ListsProgramsAndSoundFilesOfEveryReachableInstruction) {
    Project p = Pictures();
    Bytes image;
    std::vector<std::string> errors;
    ASSERT_TRUE(p.Build("version 302\nname \"T\"\nwindow 32 32\ncell 0 \"c8.bmp\" at 0 0\n"
                        "pattern \"P\"\n OP_IF VAL_RANDOM < 50 later\n OP_EXEC \"calc.exe\"\n OP_PATTERN 0\n"
                        "later: OP_PLAYFILE \"C:\\\\ding.wav\"\n OP_CLICKON click\n OP_PATTERN 1\n"
                        "click: OP_EXEC \"notepad.exe readme.txt\"\n OP_PATTERN 1\n",
                        image, errors))
        << errors[0];
    const tool::LintReport r = tool::LintImage(ImageView(image.data(), image.size()));
    EXPECT_TRUE(r.problems.empty());
    ASSERT_EQ(r.programs.size(), 2u);
    EXPECT_EQ(r.programs[0].substr(r.programs[0].find(':')), ": \"calc.exe\"") << r.programs[0];
    EXPECT_NE(r.programs[1].find("\"notepad.exe readme.txt\""), std::string::npos);
    ASSERT_EQ(r.soundFiles.size(), 1u);
    EXPECT_NE(r.soundFiles[0].find("\"C:\\\\ding.wav\""), std::string::npos) << r.soundFiles[0];
}

// Damaged scripts: the disassembler, the lint and the source maker read nothing outside the image
// whatever the bytes say (the sanitize preset turns a read outside into a failure), and whatever
// MakeSource writes still builds the same file.
TEST(Lint, DamagedScriptsAreReadWithinTheImage) {
    Project p = Pictures();
    Bytes image;
    std::vector<std::string> errors;
    ASSERT_TRUE(p.Build(std::string("version 301\n") + kEverything, image, errors)) << errors[0];
    const CharacterFile clean(ImageView(image.data(), image.size()));
    const std::size_t first = clean.PatternOffset(0);
    for (std::size_t at = first; at < clean.SoundsOffset(); ++at)
        for (BYTE value : {0x00, 0x0D, 0x18, 0x80, 0xFF}) {
            Bytes damaged = image;
            damaged[at] = value;
            build::Reseal(damaged);
            const ImageView view(damaged.data(), damaged.size());
            const CharacterFile file(view);
            for (std::size_t g = 0; g < file.PatternCount(); ++g)
                EXPECT_FALSE(tool::DisassemblePattern(file, g, true).empty());
            if (!CheckStructure(view))
                continue;
            tool::LintImage(view);
            if (at % 7 == 0)
                ExpectRoundTrip(damaged, true);
        }
}

} // namespace
} // namespace kp
