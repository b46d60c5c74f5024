// `kptool trace`: small characters made with the builder, run headless, and their whole traces;
// the trace options; the virtual calendar.
#include "TraceCommand.h"

#include "../unit/ScriptFixtures.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kp {
namespace {

using build::Bytes;
using test::Script;

std::string Trace(const build::Character& c, const sim::RunOptions& options = {}, int* status = nullptr) {
    std::ostringstream out;
    const int s = tool::TraceImage(build::BuildCharacter(c), options, out);
    if (status)
        *status = s;
    return out.str();
}

sim::RunOptions Lasting(unsigned ms) {
    sim::RunOptions o;
    o.duration = ms;
    return o;
}

TEST(Trace, TheWalkExample) {
    Script s;
    s.bytes = {3, 5, 0, 'W', 'a', 'l', 'k', 0};
    s.Op(OP_OFFSETY).Word(32).Op(OP_DRAW).Word(0).Wait(200).Op(OP_DRAW).Word(1).Wait(200).Goto(8);
    EXPECT_EQ(Trace(test::ScriptCharacter({s}), Lasting(450)), "       0  pattern 1 \"Walk\"\n"
                                                               "       0  offset y 32\n"
                                                               "       0  draw cell 0 at 3,5\n"
                                                               "       0  timer 1 set to 200 ms\n"
                                                               "     200  draw cell 1 at 0,0\n"
                                                               "     200  timer 1 set to 200 ms\n"
                                                               "     400  offset y 32\n"
                                                               "     400  draw cell 0 at 3,5\n"
                                                               "     400  timer 1 set to 200 ms\n"
                                                               "     450  end\n");
}

TEST(Trace, EffectsOutsideTheProgram) {
    Script s;
    s.Op(OP_LOADVAR)
        .Str("Runs")
        .Word(1)
        .Word(0)
        .Op(OP_ADD)
        .Word(1)
        .Word(1)
        .Op(OP_SAVEVAR)
        .Str("Runs")
        .Word(0x8001);
    s.Op(OP_EXEC).Str("notepad.exe").Op(OP_PLAYFILE).Str("ding.wav").Op(OP_PLAYSOUND).Word(0);
    s.Op(OP_PLAYSOUND).Word(1).Op(OP_FONT).Word(12).Str("\x82\x6c\x82\x72 Gothic");
    s.Op(OP_TEXT).Word(2).Word(3).Str("hi").Op(OP_NEWSHAPE).Byte('b').Word(1).Op(OP_SETSHAPE).Word(0x8000);
    s.Op(OP_PALETTE).Byte('b').Word(1).Op(OP_POSITION).Word(150).Wait(0).Op(OP_TEXT).Word(0).Word(0).Str("x");
    s.Op(OP_PATTERN).Word(1);
    build::Character c = test::ScriptCharacter({s});
    c.sounds.push_back(build::MakeWave({1, 2, 3, 4}));
    const std::string wave = std::to_string(build::MakeWave({1, 2, 3, 4}).size());
    EXPECT_EQ(Trace(c, Lasting(15)), "       0  pattern 1 \"\"\n"
                                     "       0  setting \"Runs\" read: 0 (default 0)\n"
                                     "       0  setting \"Runs\" written: 1\n"
                                     "       0  program \"notepad.exe\" (not started)\n"
                                     "       0  sound file \"ding.wav\"\n"
                                     "       0  sound 0 (" +
                                         wave +
                                         " bytes)\n"
                                         "       0  font \"ＭＳ Gothic\" height 12 weight 700 charset 128\n"
                                         "       0  text at 2,3 \"hi\"\n"
                                         "       0  new shape from cell 1: slot 0\n"
                                         "       0  set shape 0\n"
                                         "       0  palette from cell 1\n"
                                         "       0  position 100\n"
                                         "       0  timer 1 set to 0 ms\n"
                                         // the platform's shortest timer is 10 ms
                                         "      10  text at 0,0 \"x\"\n"
                                         "      10  pattern 1 \"\"\n"
                                         "      10  hide\n"
                                         "      10  timer 1 set to 10 ms\n"
                                         "      15  end\n");
}

TEST(Trace, ClicksEnterTheScriptAtItsClickEntry) {
    Script s;
    s.Op(OP_CLICKON).Dword(0); // patched below
    const DWORD loop = s.Here();
    s.Wait(1000).Goto(loop);
    const DWORD entry = s.Here();
    s.Op(OP_DRAW).Word(1).Op(OP_CLICKOFF).Wait(50).Goto(loop);
    build::PutU32(s.bytes, loop - 4, entry);
    sim::RunOptions o = Lasting(400);
    o.clicks = {300, 100};
    EXPECT_EQ(Trace(test::ScriptCharacter({s}), o), "       0  pattern 1 \"\"\n"
                                                    "       0  timer 1 set to 1000 ms\n"
                                                    "     100  click: the script goes on at offset " +
                                                        std::to_string(entry) +
                                                        "\n"
                                                        "     100  draw cell 1 at 0,0\n"
                                                        "     100  timer 1 set to 50 ms\n"
                                                        "     150  timer 1 set to 1000 ms\n"
                                                        "     300  click (no click entry)\n"
                                                        "     400  end\n");
}

TEST(Trace, OptionsReachTheScript) {
    // The hour of the clock, the cursor and the automatic-animation setting, each tested by the
    // script and shown as a draw of cell 0 (true) or 1 (false).
    Script s;
    s.Set(1, VAL_CLOCK);
    const auto test = [&s](WORD a, BYTE cmp, WORD b) {
        const DWORD at = s.Here();
        s.Op(OP_IF).Word(a).Byte(cmp).Word(b).Dword(at + 18).Op(OP_DRAW).Word(1).Goto(at + 21);
        s.Op(OP_DRAW).Word(0);
    };
    test(VAL_HOUR, '=', 23);
    test(VAL_CURSORX, '>', 50);
    const DWORD at = s.Here();
    s.Op(OP_IFNOAUTO).Dword(at + 13).Op(OP_DRAW).Word(1).Goto(at + 16).Op(OP_DRAW).Word(0);
    s.Wait(100);
    sim::RunOptions o = Lasting(0);
    std::string error;
    ASSERT_TRUE(tool::SetTraceOption("--clock", "2024-02-29T23:59:59.999", o, error));
    ASSERT_TRUE(tool::SetTraceOption("--cursor", "-3,4", o, error)); // 65533 > 50
    ASSERT_TRUE(tool::SetTraceOption("--auto", "off", o, error));
    EXPECT_EQ(Trace(test::ScriptCharacter({s}), o), "       0  pattern 1 \"\"\n"
                                                    "       0  draw cell 0 at 3,5\n"
                                                    "       0  draw cell 0 at 3,5\n"
                                                    "       0  draw cell 0 at 3,5\n"
                                                    "       0  timer 1 set to 100 ms\n"
                                                    "       0  end\n");
}

TEST(Trace, RandomStartsFollowTheSeed) {
    std::vector<Script> three;
    for (int i = 0; i < 3; ++i)
        three.push_back(Script().Wait(100));
    build::Character c = test::ScriptCharacter(three);
    for (const std::uint32_t seed : {1u, 2u, 3u, 99u}) {
        sim::RunOptions o = Lasting(0);
        o.pattern = 0;
        o.seed = seed;
        MsRand r;
        r.Seed(seed);
        const std::string t = Trace(c, o);
        EXPECT_EQ(t.substr(0, t.find('\n') + 1),
                  "       0  pattern random: " + std::to_string(r.Next() % 3 + 1) + " \"\"\n")
            << seed;
    }
}

TEST(Trace, BrokenScriptsAreReported) {
    Script endless;
    const DWORD loop = endless.Here();
    endless.Goto(loop);
    EXPECT_EQ(Trace(test::ScriptCharacter({endless}), Lasting(150)),
              "       0  pattern 1 \"\"\n"
              "       0  step cut short after 100000 instructions without a wait, at offset 4\n"
              "       0  timer 1 set to 100 ms\n"
              "     100  step cut short after 100000 instructions without a wait, at offset 4\n"
              "     100  timer 1 set to 100 ms\n"
              "     150  end\n");
    Script away;
    away.Goto(0x10000000);
    EXPECT_EQ(Trace(test::ScriptCharacter({away}), Lasting(150)),
              "       0  pattern 1 \"\"\n"
              "       0  script stopped: the instruction at offset 268435456 lies outside the file\n"
              "     150  end\n");
}

TEST(Trace, FilesTheProgramRefuses) {
    build::Character c = test::ScriptCharacter({Script().Wait(1)});
    c.patterns.clear();
    int status = 0;
    EXPECT_EQ(Trace(c, {}, &status),
              "       0  message: データが破損しています。 (message 2: the data is damaged)\n"
              "       0  load refused\n");
    EXPECT_EQ(status, 2);
}

TEST(TraceOptions, ValuesAreChecked) {
    struct Case {
        const char* name;
        const char* value;
        bool ok;
    };
    const Case cases[] = {
        {"--pattern", "0", true},
        {"--pattern", "65536", false},
        {"--pattern", "-1", false},
        {"--pattern", "x", false},
        {"--duration", "60000", true},
        {"--duration", "", false},
        {"--seed", "4294967295", true},
        {"--seed", "4294967296", false},
        {"--cursor", "-3,-4", true},
        {"--cursor", "3", false},
        {"--cursor", "3,4,5", false},
        {"--clicks", "10,20,30", true},
        {"--clicks", "10,,30", false},
        {"--auto", "on", true},
        {"--auto", "yes", false},
        {"--clock", "2001-12-24 05:59:59", true},
        {"--clock", "2001-12-24T05:59:59.5", true},
        {"--clock", "2001-02-29T00:00:00", false},
        {"--clock", "2000-02-29T00:00:00", true},
        {"--clock", "2001-13-01T00:00:00", false},
        {"--clock", "2001-12-24T24:00:00", false},
        {"--clock", "2001-12-24T05:59:59x", false},
    };
    for (const Case& c : cases) {
        sim::RunOptions o;
        std::string error;
        EXPECT_EQ(tool::SetTraceOption(c.name, c.value, o, error), c.ok) << c.name << " " << c.value;
        EXPECT_EQ(error.empty(), c.ok) << c.name << " " << c.value;
    }
    sim::RunOptions o;
    std::string error;
    ASSERT_TRUE(tool::SetTraceOption("--clock", "2001-12-24T05:59:59.5", o, error));
    EXPECT_EQ(o.clock.dayOfWeek, 1); // a Monday
    EXPECT_EQ(o.clock.milliseconds, 500);
}

TEST(VirtualClock, AddsMillisecondsOnTheCalendar) {
    struct Case {
        LocalTime from;
        std::uint64_t ms;
        LocalTime to;
    };
    const Case cases[] = {
        {{2001, 1, 1, 1, 12, 0, 0, 0}, 0, {2001, 1, 1, 1, 12, 0, 0, 0}},
        {{2001, 1, 1, 1, 12, 0, 0, 999}, 1, {2001, 1, 1, 1, 12, 0, 1, 0}},
        {{2001, 12, 1, 31, 23, 59, 59, 500}, 500, {2002, 1, 2, 1, 0, 0, 0, 0}},
        {{2024, 2, 3, 28, 23, 0, 0, 0}, 3600000, {2024, 2, 4, 29, 0, 0, 0, 0}},
        {{2023, 2, 2, 28, 23, 0, 0, 0}, 3600000, {2023, 3, 3, 1, 0, 0, 0, 0}},
        {{2001, 1, 1, 1, 0, 0, 0, 0}, 365ull * 86400000, {2002, 1, 2, 1, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const LocalTime t = sim::AddMilliseconds(c.from, c.ms);
        EXPECT_EQ((std::vector<int>{t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second,
                                    t.milliseconds}),
                  (std::vector<int>{c.to.year, c.to.month, c.to.dayOfWeek, c.to.day, c.to.hour, c.to.minute,
                                    c.to.second, c.to.milliseconds}))
            << c.ms;
    }
}

} // namespace
} // namespace kp
