// The interpreter against a recording host: every opcode, value code and comparison, the wraps,
// both string forms, pattern starts, fonts, and the limits a broken script runs into.
#include "ScriptFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace kp {
namespace {

using build::Bytes;
using test::Script;
using Calls = std::vector<std::string>;

class Engine : public ::testing::Test {
protected:
    ScriptState state;
    test::RecordingHost host;
    CScriptEngine engine{state, host};
    WORD version = 300;

    Script S() const { return Script(version); }
    void Load(const std::vector<Script>& scripts, const std::vector<Bytes>& sounds = {}) {
        build::Character c = test::ScriptCharacter(scripts, version);
        c.sounds = sounds;
        host.Load(build::BuildCharacter(c));
    }
    // Loads one pattern and starts it.
    void Run1(const Script& s) {
        Load({s});
        engine.OnPatternMenu(kPatternCommandBase + 1);
        host.calls.clear();
    }
    Calls Step() {
        host.calls.clear();
        engine.RunScript();
        return host.calls;
    }
};

// ---------------------------------------------------------------------------------------------
// Arithmetic, variables and value words

TEST_F(Engine, ArithmeticWrapsModulo65536) {
    struct Case {
        BYTE op;
        WORD before;
        WORD x;
        WORD after;
    };
    const Case cases[] = {
        {OP_SET, 9, 7, 7},
        {OP_ADD, 65535, 1, 0},
        {OP_ADD, 40000, 30000, 4464},
        {OP_SUB, 0, 1, 65535},
        {OP_SUB, 10, 3, 7},
        {OP_AND, 0xF0F0, 0x7F00, 0x7000},
        {OP_OR, 0x8001, 0x0102, 0x8103},
        {OP_MOD, 65535, 1000, 535},
        {OP_MOD, 17, 0, 17},
    };
    for (const Case& c : cases) {
        state.m_nVar[7] = c.before;
        Run1(S().Op(c.op).Word(7).Word(c.x).Wait(1));
        Step();
        EXPECT_EQ(state.m_nVar[7], c.after) << int(c.op) << " " << c.before << " " << c.x;
    }
}

TEST_F(Engine, VariableOperandsTake15BitsAndValuesTake14) {
    state.m_nVar[5] = 1234;
    // 0x8005 and 0xC005 both read variable 5; 0x8005 as a variable operand names variable 5 too.
    Run1(S().Set(0x8006, 0x8005).Set(7, 0xC005).Set(0x8005, 99).Wait(1));
    Step();
    EXPECT_EQ(state.m_nVar[6], 1234);
    EXPECT_EQ(state.m_nVar[7], 1234);
    EXPECT_EQ(state.m_nVar[5], 99);
}

TEST_F(Engine, VariablesPastNinetyNineReadZeroAndAreNotWritten) {
    for (WORD& v : state.m_nVar)
        v = 0x5555;
    Run1(S().Set(1, 0x8000 + 100).Set(2, 0xBFFF).Set(100, 7).Set(0x7FFF, 7).Set(3, VAL_UNUSED).Wait(1));
    Step();
    EXPECT_EQ(state.m_nVar[1], 0);
    EXPECT_EQ(state.m_nVar[2], 0);
    EXPECT_EQ(state.m_nVar[3], 0); // 0xFFFB has no meaning and reads as 0
    for (std::size_t i = 4; i < kScriptVariables; ++i)
        EXPECT_EQ(state.m_nVar[i], 0x5555) << i;
}

TEST_F(Engine, EnvironmentValueCodes) {
    host.m_cursor = Point{-3, 70000};
    host.m_now = LocalTime{2001, 12, 3, 24, 5, 59, 58, 500};
    state.m_nPosition = 42;
    state.m_stClock = LocalTime{1999, 1, 0, 2, 3, 4, 5, 6}; // an older reading
    Run1(S().Set(1, VAL_CURSORX)
             .Set(2, VAL_CURSORY)
             .Set(3, VAL_POSITION)
             .Set(4, VAL_YEAR) // the old reading: no clock read yet
             .Set(5, VAL_CLOCK)
             .Set(6, VAL_YEAR)
             .Set(7, VAL_MONTH)
             .Set(8, VAL_DAY)
             .Set(9, VAL_HOUR)
             .Set(10, VAL_MINUTE)
             .Set(11, VAL_SECOND)
             .Set(12, VAL_RANDOM)
             .Set(13, VAL_RANDOM)
             .Set(14, 0x7FFF)
             .Wait(1));
    MsRand expect;
    Step();
    const WORD want[] = {0,
                         65533,
                         static_cast<WORD>(70000 & 0xFFFF),
                         42,
                         1999,
                         500,
                         2001,
                         12,
                         24,
                         5,
                         59,
                         58,
                         static_cast<WORD>(expect.Next() % 100),
                         static_cast<WORD>(expect.Next() % 100),
                         0x7FFF};
    for (std::size_t i = 1; i < sizeof want / sizeof want[0]; ++i)
        EXPECT_EQ(state.m_nVar[i], want[i]) << i;
}

TEST_F(Engine, OnlyTheClockCodeReadsTheClock) {
    // Read at 05:59:59.500; the hour tested afterwards is 5 even when the clock has moved on.
    host.m_now = LocalTime{2001, 1, 1, 1, 5, 59, 59, 500};
    Script s = S();
    s.Set(1, VAL_CLOCK).Wait(1);
    const DWORD test = s.Here();
    s.Op(OP_IF).Word(VAL_HOUR).Byte('<').Word(6).Dword(0); // patched below
    s.Wait(2);
    const DWORD taken = s.Here();
    s.Wait(3);
    build::PutU32(s.bytes, test + 6, taken);
    Run1(s);
    Step();
    host.m_now = LocalTime{2001, 1, 1, 1, 6, 0, 0, 100};
    EXPECT_EQ(Step(), (Calls{"timer 3"}));
    EXPECT_EQ(state.m_stClock.hour, 5);
}

// ---------------------------------------------------------------------------------------------
// Conditions

TEST_F(Engine, ComparisonsJumpOnlyWhenTheyHold) {
    struct Case {
        BYTE cmp;
        WORD a;
        WORD b;
        bool jumps;
    };
    const Case cases[] = {
        {'!', 5, 6, true},        {'!', 6, 6, false},      {'<', 5, 5, false},     {'<', 4, 5, true},
        {'<', 0x8004, 50, false}, {'>', 0x8004, 50, true}, {'=', 0x8003, 7, true}, {'=', 8, 7, false},
        {'>', 5, 5, false},       {'#', 1, 2, false},      {'#', 2, 2, false},     {0, 0, 0, false},
    };
    for (const Case& c : cases) {
        state.m_nVar[3] = 7;
        state.m_nVar[4] = 65533;
        Script s = S();
        const DWORD at = s.Here();
        s.Op(OP_IF).Word(c.a).Byte(c.cmp).Word(c.b).Dword(at + 13);
        s.Wait(1).Wait(2); // not taken: the four target bytes were consumed and the wait 1 follows
        Run1(s);
        EXPECT_EQ(Step(), (Calls{c.jumps ? "timer 2" : "timer 1"})) << c.cmp << " " << c.a << " " << c.b;
    }
}

TEST_F(Engine, IfNoAutoReadsTheSettingEveryTime) {
    Script s = S();
    const DWORD loop = s.Here();
    s.Op(OP_IFNOAUTO).Dword(loop + 8).Wait(1).Wait(2).Goto(loop);
    Run1(s);
    host.m_auto = TRUE;
    EXPECT_EQ(Step(), (Calls{"timer 1"}));
    state.m_nScriptPos = static_cast<int>(loop);
    host.m_auto = FALSE;
    EXPECT_EQ(Step(), (Calls{"timer 2"}));
}

// ---------------------------------------------------------------------------------------------
// Every opcode reads exactly the operands the table gives: one instance of each, followed by a
// wait that the step must reach.

TEST_F(Engine, EveryOpcodeConsumesTheOperandsOfTheTable) {
    for (BYTE code = kFirstOpcode; code <= kLastOpcode; ++code) {
        const OpcodeInfo& info = *FindOpcode(code);
        if (info.endsStep)
            continue;
        Script s = S();
        const DWORD start = s.Here();
        s.Op(code);
        std::size_t fixed = 1;
        for (std::size_t i = 0; i < info.operandCount; ++i)
            fixed += info.operands[i] == OperandKind::Byte     ? 1
                     : info.operands[i] == OperandKind::Offset ? 4
                                                               : 2;
        const std::size_t strings =
            std::count(info.operands, info.operands + info.operandCount, OperandKind::String);
        const DWORD next = start + static_cast<DWORD>(fixed + 2 * strings); // "x" and its zero byte
        for (std::size_t i = 0; i < info.operandCount; ++i) {
            switch (info.operands[i]) {
            case OperandKind::Byte:
                s.Byte('a');
                break;
            case OperandKind::Word:
            case OperandKind::Value:
            case OperandKind::Variable:
                s.Word(1);
                break;
            case OperandKind::Offset:
                s.Dword(next); // jumps land where falling through would
                break;
            case OperandKind::String:
                s.Str("x");
                break;
            }
        }
        ASSERT_EQ(s.Here(), next) << info.name;
        s.Wait(4321);
        Run1(s);
        const Calls calls = Step();
        EXPECT_NE(std::find(calls.begin(), calls.end(), "timer 4321"), calls.end()) << info.name;
        EXPECT_EQ(state.m_nScriptPos, static_cast<int>(next + 3)) << info.name;
    }
}

TEST_F(Engine, EffectsOfTheDrawingAndWindowInstructions) {
    host.m_nextSlot = 3;
    Run1(S().Op(OP_NEWSHAPE)
             .Byte('b')
             .Word(1)
             .Op(OP_SETSHAPE)
             .Word(0x8000)
             .Op(OP_DRAW)
             .Word(1)
             .Op(OP_PALETTE)
             .Byte('b')
             .Word(1)
             .Op(OP_PALETTE)
             .Byte('a')
             .Word(1)
             .Op(OP_POSITION)
             .Word(150)
             .Op(OP_OFFSETY)
             .Word(0x8000)
             .Op(OP_TEXT)
             .Word(10)
             .Word(20)
             .Str("abc")
             .Op(OP_PLAYFILE)
             .Str("ding.wav")
             .Op(OP_EXEC)
             .Str("notepad.exe a.txt")
             .Op(OP_RESERVED27)
             .Dword(0xFFFFFFFF)
             .Op(OP_RESERVED28)
             .Wait(7));
    EXPECT_EQ(Step(), (Calls{"newshape b 1", "setshape 3", "draw 1", "palette 1", "track", "offsety 3",
                             "text 10,20 abc", "playfile ding.wav", "exec notepad.exe a.txt", "timer 7"}));
    EXPECT_EQ(state.m_nVar[0], 3);
    EXPECT_EQ(state.m_nPosition, 100);
    EXPECT_EQ(state.m_nOffsetY, 3);
    EXPECT_EQ(state.m_bAnimTimer, TRUE);
}

TEST_F(Engine, PositionIsKeptWithinAHundred) {
    struct Case {
        WORD p;
        int want;
    };
    for (const Case& c : {Case{0, 0}, Case{100, 100}, Case{101, 100}, Case{0x8009, 100}}) {
        state.m_nVar[9] = 0xFFFF;
        Run1(S().Op(OP_POSITION).Word(c.p).Set(1, VAL_POSITION).Wait(1));
        Step();
        EXPECT_EQ(state.m_nPosition, c.want) << c.p;
        EXPECT_EQ(state.m_nVar[1], c.want) << c.p;
    }
}

TEST_F(Engine, WaitsSetTheFrameTimer) {
    state.m_nVar[1] = 65000;
    state.m_nVar[2] = 65535;
    Script s = S();
    s.Wait(0).Wait(0x8002).Op(OP_WAITRANDOM).Word(1000).Word(500).Op(OP_WAITRANDOM).Word(0x8001).Word(1000);
    s.Op(OP_WAITRANDOM).Word(77).Word(0);
    Run1(s);
    EXPECT_EQ(Step(), (Calls{"timer 0"}));
    EXPECT_EQ(Step(), (Calls{"timer 65535"}));
    MsRand expect;
    EXPECT_EQ(Step(), (Calls{"timer " + std::to_string(1000 + expect.Next() % 500)}));
    const unsigned wrapped = (65000u + static_cast<unsigned>(expect.Next()) % 1000) % 65536;
    EXPECT_EQ(Step(), (Calls{"timer " + std::to_string(wrapped)}));
    // A range of 0 waits the base and draws no number.
    const int draws = host.m_randCalls;
    EXPECT_EQ(Step(), (Calls{"timer 77"}));
    EXPECT_EQ(host.m_randCalls, draws);
}

TEST_F(Engine, WaitRandomStaysWithinItsRange) {
    Script s = S();
    const DWORD loop = s.Here();
    s.Op(OP_WAITRANDOM).Word(1000).Word(500).Goto(loop);
    Run1(s);
    for (int i = 0; i < 200; ++i) {
        const Calls calls = Step();
        ASSERT_EQ(calls.size(), 1u);
        const int ms = std::stoi(calls[0].substr(6));
        EXPECT_GE(ms, 1000);
        EXPECT_LE(ms, 1499);
    }
}

TEST_F(Engine, SettingsAreReadWithTheirDefaultAndKeptModulo65536) {
    host.m_settings["Big"] = -1;
    host.m_settings["Huge"] = 70000;
    Run1(S().Op(OP_LOADVAR)
             .Str("Missing")
             .Word(1)
             .Word(12)
             .Op(OP_LOADVAR)
             .Str("Big")
             .Word(0x8002)
             .Word(0)
             .Op(OP_LOADVAR)
             .Str("Huge")
             .Word(3)
             .Word(0)
             .Op(OP_LOADVAR)
             .Str("Huge")
             .Word(100)
             .Word(0)
             .Op(OP_SAVEVAR)
             .Str("Count")
             .Word(0x8001)
             .Wait(1));
    EXPECT_EQ(Step(), (Calls{"read Missing 12", "read Big 0", "read Huge 0", "read Huge 0", "write Count 12",
                             "timer 1"}));
    EXPECT_EQ(state.m_nVar[1], 12);
    EXPECT_EQ(state.m_nVar[2], 65535);
    EXPECT_EQ(state.m_nVar[3], 70000 - 65536);
}

TEST_F(Engine, ClickEntryIsSetAndCleared) {
    Run1(S().Op(OP_CLICKON)
             .Dword(1234)
             .Wait(1)
             .Op(OP_CLICKOFF)
             .Wait(1)
             .Op(OP_CLICKON)
             .Dword(0xFFFFFFFF)
             .Wait(1));
    Step();
    EXPECT_EQ(state.m_nClickEntry, 1234);
    Step();
    EXPECT_EQ(state.m_nClickEntry, -1);
    Step();
    EXPECT_EQ(state.m_nClickEntry, -1); // the largest offset is the "none" value
}

TEST_F(Engine, ZeroAndHighBytesAreSkipped) {
    Run1(S().Byte(0).Byte(0).Byte(32).Byte(0xFF).Byte(0).Op(OP_DRAW).Word(0).Wait(1));
    EXPECT_EQ(Step(), (Calls{"draw 0", "timer 1"}));
}

TEST_F(Engine, TheWalkExample) {
    // Offsets 0..7 hold the name Walk; the character alternates cells 0 and 1 every 200 ms.
    Script s = S();
    s.bytes = {3, 5, 0, 'W', 'a', 'l', 'k', 0};
    s.Op(OP_OFFSETY).Word(32).Op(OP_DRAW).Word(0).Wait(200).Op(OP_DRAW).Word(1).Wait(200).Goto(8);
    Run1(s);
    EXPECT_EQ(Step(), (Calls{"offsety 32", "draw 0", "timer 200"}));
    EXPECT_EQ(state.m_nScriptPos, 17);
    EXPECT_EQ(Step(), (Calls{"draw 1", "timer 200"}));
    EXPECT_EQ(Step(), (Calls{"offsety 32", "draw 0", "timer 200"}));
}

// ---------------------------------------------------------------------------------------------
// Strings

TEST_F(Engine, StringsInBothForms) {
    for (const WORD v : {WORD{300}, WORD{301}, WORD{303}}) {
        version = v;
        Run1(S().Op(OP_TEXT).Word(1).Word(2).Str("abc").Op(OP_EXEC).Str("\x83\x65\x83\x58").Wait(1));
        EXPECT_EQ(Step(), (Calls{"text 1,2 abc", "exec \x83\x65\x83\x58", "timer 1"})) << v;
    }
    // The stored bytes of abc and its zero byte in form B, as the file holds them.
    version = 301;
    Script s = S();
    s.Op(OP_TEXT).Word(0).Word(0).Word(4).Byte(0x65).Byte(0x03).Byte(0x01).Byte(0x63).Wait(1);
    Run1(s);
    EXPECT_EQ(Step(), (Calls{"text 0,0 abc", "timer 1"}));
}

TEST_F(Engine, EmptyStringConsumesOneByteFromTheCheckedVersionsOn) {
    for (const WORD v : {WORD{300}, WORD{301}}) {
        version = v;
        Script s = S();
        s.Op(OP_PLAYFILE).Word(0);
        if (v >= 301)
            s.Byte('z'); // read and dropped
        s.Wait(9);
        Run1(s);
        EXPECT_EQ(Step(), (Calls{"playfile ", "timer 9"})) << v;
    }
}

TEST_F(Engine, LongStringsAreConsumedWholeAndCutTo256Bytes) {
    for (const WORD v : {WORD{300}, WORD{302}}) {
        version = v;
        const Bytes text(300, 'q');
        // No zero byte at all: the text is the kept bytes.
        Run1(S().Op(OP_EXEC).Stored(300, text).Op(OP_TEXT).Word(0).Word(0).Stored(3, {'a', 0, 'b'}).Wait(5));
        EXPECT_EQ(Step(), (Calls{"exec " + std::string(256, 'q'), "text 0,0 a", "timer 5"})) << v;
    }
}

TEST_F(Engine, TheLengthOfAStringIsAValue) {
    state.m_nVar[4] = 2;
    Run1(S().Op(OP_EXEC).Word(0x8004).Byte('o').Byte('k').Wait(1));
    EXPECT_EQ(Step(), (Calls{"exec ok", "timer 1"}));
}

// ---------------------------------------------------------------------------------------------
// Sounds

TEST_F(Engine, EmbeddedSoundsPlayOnlyWhenWhollyInsideTheFile) {
    const Bytes wave = build::MakeWave({1, 2, 3, 4});
    Bytes lying = wave;
    build::PutU32(lying, 4, 0x7FFFFFF0); // the RIFF size reaches far past the file
    Bytes notRiff = wave;
    notRiff[0] = 'X';
    Script s = S();
    s.Op(OP_PLAYSOUND).Word(0).Op(OP_PLAYSOUND).Word(1).Op(OP_PLAYSOUND).Word(2);
    s.Op(OP_PLAYSOUND).Word(3).Op(OP_PLAYSOUND).Word(0x8014).Wait(1);
    state.m_nVar[20] = 0xFFFF;
    Load({s}, {wave, lying, notRiff});
    engine.OnPatternMenu(1);
    const Calls calls = Step();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].rfind("wave @", 0), 0u);
    EXPECT_EQ(calls[0].substr(calls[0].find(' ', 5) + 1), std::to_string(wave.size()));
    EXPECT_EQ(calls[1], "timer 1");
}

TEST_F(Engine, EmbeddedSoundsPlayOnlyWhenEveryChunkLiesInsideTheRiff) {
    // MakeWave: RIFF header (0..7), WAVE (8), "fmt " 16 bytes (12..35), "data" (36..).
    const Bytes good = build::MakeWave({1, 2, 3, 4});
    const Bytes odd = build::MakeWave({1, 2, 3}); // its pad byte lies past the RIFF's size
    Bytes list = good;                            // a LIST chunk after the data
    list.insert(list.end(), {'L', 'I', 'S', 'T', 2, 0, 0, 0, 'a', 'b'});
    build::PutU32(list, 4, static_cast<DWORD>(list.size() - 8));
    const auto patched = [&](std::size_t at, DWORD v) {
        Bytes b = good;
        build::PutU32(b, at, v);
        return b;
    };
    Bytes noData = good;
    noData[36] = 'x';
    Bytes notWave = good;
    notWave[8] = 'x';
    struct Case {
        const char* what;
        Bytes wave;
        bool plays;
    };
    const std::vector<Case> cases = {
        {"well formed", good, true},
        {"odd data without its pad byte", odd, true},
        {"another chunk after the data", list, true},
        {"data chunk claims 2^32 - 1 bytes", patched(40, 0xFFFFFFFFu), false},
        {"data chunk one byte too long", patched(40, 5), false},
        {"fmt chunk claims past the RIFF", patched(16, 0x7FFFFFF0u), false},
        {"fmt chunk shorter than a format", patched(16, 14), false},
        {"RIFF size 2^32 - 1", patched(4, 0xFFFFFFFFu), false},
        {"RIFF smaller than its form", patched(4, 2), false},
        {"no data chunk", noData, false},
        {"not WAVE", notWave, false},
    };
    for (const auto& c : cases) {
        Load({S().Op(OP_PLAYSOUND).Word(0).Wait(1)}, {c.wave});
        engine.OnPatternMenu(1);
        const Calls calls = Step();
        EXPECT_EQ(calls.size(), c.plays ? 2u : 1u) << c.what;
        if (c.plays && calls.size() == 2) { // the RIFF as its header measures it
            EXPECT_EQ(calls[0].substr(calls[0].find(' ', 5) + 1),
                      std::to_string(8 + (c.wave[4] | c.wave[5] << 8)))
                << c.what;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Pattern starts

TEST_F(Engine, PatternStartResetsTheStepStateAndKeepsTheRest) {
    Script p1 = S();
    p1.Op(OP_CLICKON).Dword(5).Set(9, 99).Op(OP_FONT).Word(12).Str("Face").Op(OP_PATTERN).Word(2);
    Script p2 = S();
    p2.Wait(1);
    Load({p1, p2});
    engine.OnPatternMenu(kPatternCommandBase + 1);
    EXPECT_EQ(host.calls, (Calls{"pattern 1 index 0", "hide", "free", "kill", "timer 10"}));
    state.m_nPosition = 40;
    state.m_nOffsetY = 8;
    EXPECT_EQ(Step(), (Calls{"font -12/700/128/Face", "pattern 2 index 1", "hide", "free", "font default",
                             "kill", "timer 10"}));
    EXPECT_EQ(state.m_nPattern, 2);
    EXPECT_EQ(state.m_nScriptPos, 0);
    EXPECT_EQ(state.m_pFont, nullptr);
    EXPECT_EQ(state.m_bAnimTimer, TRUE);
    EXPECT_EQ(state.m_nClickEntry, 5);
    EXPECT_EQ(state.m_nVar[9], 99);
    EXPECT_EQ(state.m_nPosition, 40);
    EXPECT_EQ(state.m_nOffsetY, 8);
    EXPECT_EQ(Step(), (Calls{"timer 1"})); // the new pattern, without the old font
}

TEST_F(Engine, PatternNumbers) {
    std::vector<Script> three(3, S().Wait(1));
    Load(three);
    struct Case {
        unsigned id;
        int pattern; // m_nPattern afterwards
        bool random;
    };
    const Case cases[] = {
        {kPatternCommandBase + 2, 2, false}, {2, 2, false},    {kPatternCommandBase + 1, 1, false},
        {kPatternCommandBase, 0, true},      {0, 0, true},     {4, 0, true}, // past the count: random
        {kPatternCommandBase + 17, 0, true}, {65535, 0, true},
    };
    for (const Case& c : cases) {
        host.calls.clear();
        host.m_random.Seed(c.id);
        MsRand expect;
        expect.Seed(c.id);
        engine.OnPatternMenu(c.id);
        const std::size_t index =
            c.random ? static_cast<std::size_t>(expect.Next()) % 3 : static_cast<std::size_t>(c.pattern - 1);
        EXPECT_EQ(state.m_nPattern, c.pattern) << c.id;
        ASSERT_FALSE(host.calls.empty());
        EXPECT_EQ(host.calls[0], "pattern " + std::to_string(c.pattern) + " index " + std::to_string(index))
            << c.id;
        const BYTE* base = host.ScriptFile().Image().Base();
        EXPECT_EQ(state.m_pScript, base + host.ScriptFile().PatternOffset(index)) << c.id;
    }
}

TEST_F(Engine, OpPatternTakesMenuValuesAndVariables) {
    state.m_nVar[1] = static_cast<WORD>(kPatternCommandBase + 2);
    Load({S().Op(OP_PATTERN).Word(0x8001), S().Wait(1)});
    engine.OnPatternMenu(1);
    Step();
    EXPECT_EQ(state.m_nPattern, 2);
}

TEST_F(Engine, NothingHappensBeforeALoad) {
    engine.OnPatternMenu(kPatternCommandBase + 1);
    engine.RunScript();
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(state.m_bAnimTimer, FALSE);
}

// ---------------------------------------------------------------------------------------------
// Fonts: each step gets the script's font and gives the canvas back its default font

TEST_F(Engine, FontsAreSelectedForEachStepAndGivenBack) {
    Run1(S().Op(OP_FONT)
             .Word(10)
             .Str("A")
             .Op(OP_FONT)
             .Word(0x8001)
             .Str("B")
             .Op(OP_TEXT)
             .Word(0)
             .Word(0)
             .Str("t")
             .Wait(1)
             .Op(OP_TEXT)
             .Word(0)
             .Word(0)
             .Str("u")
             .Wait(2));
    state.m_nVar[1] = 20;
    EXPECT_EQ(Step(),
              (Calls{"font -10/700/128/A", "font -20/700/128/B", "text 0,0 t", "timer 1", "font default"}));
    ASSERT_NE(state.m_pFont, nullptr);
    EXPECT_EQ(state.m_pFont->faceName, "B");
    EXPECT_EQ(Step(), (Calls{"font -20/700/128/B", "text 0,0 u", "timer 2", "font default"}));
}

// ---------------------------------------------------------------------------------------------
// Limits

TEST_F(Engine, AStepWithoutAWaitEndsByItselfAndGoesOnLater) {
    Script s = S();
    const DWORD loop = s.Here();
    s.Op(OP_ADD).Word(1).Word(1).Goto(loop);
    Run1(s);
    state.m_nScriptPos = static_cast<int>(loop);
    EXPECT_EQ(Step(), (Calls{"cut limit " + std::to_string(loop), "timer 100"}));
    EXPECT_EQ(state.m_bAnimTimer, TRUE);
    EXPECT_EQ(state.m_nVar[1], static_cast<WORD>(kStepInstructionLimit / 2));
    Step();
    EXPECT_EQ(state.m_nVar[1], static_cast<WORD>(kStepInstructionLimit));
}

TEST_F(Engine, ReadsOutsideTheImageStopTheScript) {
    struct Case {
        const char* what;
        std::function<void(Script&)> make;
    };
    const Case cases[] = {
        {"jump far past the end", [](Script& s) { s.Goto(0x7FFFFFF0); }},
        {"jump before the start", [](Script& s) { s.Goto(0x80000000); }},
        {"jump to the largest offset", [](Script& s) { s.Goto(0xFFFFFFFF); }},
        {"if to far away", [](Script& s) { s.Op(OP_IF).Word(1).Byte('=').Word(1).Dword(1u << 30); }},
    };
    for (const Case& c : cases) {
        Script s = S();
        c.make(s);
        s.Wait(1);
        Run1(s);
        const Calls calls = Step();
        ASSERT_EQ(calls.size(), 1u) << c.what;
        EXPECT_EQ(calls[0].rfind("cut outside ", 0), 0u) << c.what;
        EXPECT_EQ(state.m_bAnimTimer, TRUE) << c.what; // only the pattern start's timer; no new one
    }
}

TEST_F(Engine, AnInstructionCutByTheEndOfTheImageHasNoEffect) {
    // The last pattern's script runs into the sound section and the end of the file: a draw whose
    // operand would lie partly outside is not carried out.
    Bytes image = build::BuildCharacter(test::ScriptCharacter({S().Wait(1)}, version));
    const std::size_t end = image.size();
    image.push_back(OP_DRAW);
    image.push_back(0x05); // one byte of the two
    host.Load(image);
    engine.OnPatternMenu(1);
    state.m_pScript = host.ScriptFile().Image().Base();
    state.m_nScriptPos = static_cast<int>(end);
    EXPECT_EQ(Step(), (Calls{"cut outside " + std::to_string(end)}));
    EXPECT_EQ(state.m_nScriptPos, static_cast<int>(end));
    // Strings whose bytes run past the end are dropped as well.
    image.resize(end);
    for (BYTE b : {BYTE{OP_EXEC}, BYTE{5}, BYTE{0}, BYTE{'a'}})
        image.push_back(b);
    host.Load(image);
    state.m_pScript = host.ScriptFile().Image().Base();
    state.m_nScriptPos = static_cast<int>(end);
    EXPECT_EQ(Step(), (Calls{"cut outside " + std::to_string(end)}));
}

TEST_F(Engine, EveryInstructionCutAtAnyByteByTheEndOfTheImageHasNoEffect) {
    const Bytes base = build::BuildCharacter(test::ScriptCharacter({S().Wait(1)}, version));
    const std::size_t end = base.size();
    const OpcodeInfo* table = OpcodeTable();
    for (std::size_t i = 0; i < kOpcodeCount; ++i) {
        const OpcodeInfo& op = table[i];
        // The instruction with every operand 0 (a string of length 0 in plain form).
        std::size_t size = 1;
        for (std::size_t k = 0; k < op.operandCount; ++k)
            size += op.operands[k] == OperandKind::Byte ? 1 : op.operands[k] == OperandKind::Offset ? 4 : 2;
        for (std::size_t kept = 1; kept < size; ++kept) {
            Bytes image = base;
            image.push_back(op.code);
            image.resize(end + kept, 0);
            host.Load(image);
            engine.OnPatternMenu(1);
            state.m_pScript = host.ScriptFile().Image().Base();
            state.m_nScriptPos = static_cast<int>(end);
            EXPECT_EQ(Step(), (Calls{"cut outside " + std::to_string(end)})) << op.name << " " << kept;
            EXPECT_EQ(state.m_nScriptPos, static_cast<int>(end)) << op.name << " " << kept;
        }
    }
    // An instruction that ends exactly at the end of the image is carried out; the next read fails.
    Bytes image = base;
    for (BYTE b : {BYTE{OP_SET}, BYTE{5}, BYTE{0}, BYTE{7}, BYTE{0}})
        image.push_back(b);
    host.Load(image);
    engine.OnPatternMenu(1);
    state.m_pScript = host.ScriptFile().Image().Base();
    state.m_nScriptPos = static_cast<int>(end);
    EXPECT_EQ(Step(), (Calls{"cut outside " + std::to_string(end + 5)}));
    EXPECT_EQ(state.m_nVar[5], 7);
}

TEST_F(Engine, AScriptPointerOutsideTheImageIsNeverRead) {
    Run1(S().Wait(1));
    static const BYTE elsewhere[] = {OP_WAIT, 1, 0};
    state.m_pScript = elsewhere;
    EXPECT_EQ(Step(), (Calls{"cut outside 0"}));
}

} // namespace
} // namespace kp
