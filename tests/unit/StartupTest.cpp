#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "chardata/Loader.h"
#include "sim/SimDesktop.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

namespace kp {
namespace {

using build::Bytes;

class Startup : public ::testing::Test {
protected:
    sim::SimDesktop desk;
    CCharacterApp app{AppServices{desk.settings, desk.files, desk.ui, desk.system, desk.window}};

    void AddCharacter(const AnsiString& path, const AnsiString& name, WORD version = 300,
                      const std::function<void(build::Character&)>& change = nullptr) {
        build::Character c = test::BasicCharacter(version);
        c.name = name;
        if (change)
            change(c);
        desk.files.AddFile(path, build::BuildCharacter(c));
    }
    int Stored(const AnsiString& section, const AnsiString& name) {
        const auto* v = desk.settings.Find(section, name);
        return v ? v->number : -12345;
    }
    AnsiString StoredText(const AnsiString& section, const AnsiString& name) {
        const auto* v = desk.settings.Find(section, name);
        return v ? v->text : "<missing>";
    }
    // Runs the program to its end: start-up, then (when it started) a close of the window.
    BOOL RunToEnd(const AnsiString& cmdLine) {
        const BOOL started = app.InitInstance(cmdLine);
        if (started)
            app.MainFrame()->OnClose();
        app.ExitInstance();
        return started;
    }
};

// ---------------------------------------------------------------------------------------------
// Command line

TEST(CopyArgument, Tokens) {
    struct Case {
        const char* src;
        const char* token;
        int consumed;
    };
    const Case cases[] = {
        {"abc.kp rest", "abc.kp", 6},
        {"\"C:\\my dir\\a.kp\" x", "C:\\my dir\\a.kp", 16},
        {"C:\\\"my dir\"\\a.kp", "C:\\my dir\\a.kp", 16},
        {"a\tb c", "a\tb", 3},
        {"", "", 0},
        {" x", "", 0},
        {"\"\"", "", 2},
        {"\"unterminated quote", "unterminated quote", 19},
    };
    for (const auto& c : cases) {
        AnsiString dst;
        EXPECT_EQ(CCharacterApp::CopyArgument(c.src, dst), c.consumed) << c.src;
        EXPECT_EQ(dst, c.token) << c.src;
    }
}

TEST(CopyArgument, LongTokensAreCutButConsumedWhole) {
    // Tokens are UTF-8 and cut at 259 UTF-16 units, the wide file functions' path limit, never
    // inside a character; the whole token is consumed whatever is kept.
    const std::string a258(258, 'a');
    std::string e300;
    for (int i = 0; i < 300; ++i)
        e300 += "\xC3\xA9"; // é
    struct Case {
        std::string token;
        std::size_t kept;
    };
    const Case cases[] = {
        {std::string(400, 'a'), kMaxPathChars},
        {e300, 2 * kMaxPathChars},                // 259 characters of two bytes
        {a258 + "\xEA\xB0\x80\xEA\xB0\x80", 261}, // 가가: one fits, three bytes
        {a258 + "\xF0\x9F\x98\x80", 258},         // an emoji counts two units: left out
        {a258 + "\xE3\x83", 259},                 // a cut sequence counts byte by byte
        {a258 + "\x83\x65\x83\x65", 259},         // stray bytes count one each
    };
    for (const auto& c : cases) {
        Utf8String dst;
        EXPECT_EQ(CCharacterApp::CopyArgument(c.token.c_str(), dst), static_cast<int>(c.token.size()));
        EXPECT_EQ(dst, c.token.substr(0, c.kept)) << c.kept;
    }
}

TEST_F(Startup, CommandLineOptions) {
    struct Case {
        const char* line;
        BOOL fileGiven;
        const char* file;
        int position, pattern, fixed;
        BOOL ignore;
    };
    const Case cases[] = {
        {"-p50", FALSE, "", 50, -1, -1, FALSE},
        {"-p 50", TRUE, "50", 0, -1, -1, FALSE},
        {"-p-5", FALSE, "", 0, -1, -1, FALSE},
        {"-p250", FALSE, "", 100, -1, -1, FALSE},
        {"/P30 /N2 /X7", FALSE, "", 30, 2, 7, FALSE},
        {"-n-3 -x-1", FALSE, "", -1, -3, -1, FALSE},
        {"-iabc.kp", TRUE, "abc.kp", -1, -1, -1, TRUE},
        {"-q a.kp", TRUE, "a.kp", -1, -1, -1, FALSE},
        {"a.kp b.kp", TRUE, "b.kp", -1, -1, -1, FALSE},
        {"\"C:\\my chars\\x.kp\" -p10", TRUE, "C:\\my chars\\x.kp", 10, -1, -1, FALSE},
        {"a.kp -", TRUE, "a.kp", -1, -1, -1, FALSE},
        {"a.kp /", TRUE, "a.kp", -1, -1, -1, FALSE},
        {"", FALSE, "", -1, -1, -1, FALSE},
    };
    for (const auto& c : cases) {
        app.m_bIgnoreDataName = FALSE;
        app.m_lpCmdLine = c.line;
        AnsiString file;
        EXPECT_EQ(app.ReadCommandLine(file), c.fileGiven) << c.line;
        EXPECT_EQ(file, c.file) << c.line;
        EXPECT_EQ(app.m_nPositionArg, c.position) << c.line;
        EXPECT_EQ(app.m_nPatternArg, c.pattern) << c.line;
        EXPECT_EQ(app.m_nFixedArg, c.fixed) << c.line;
        EXPECT_EQ(app.m_bIgnoreDataName, c.ignore) << c.line;
    }
}

TEST_F(Startup, RandomModePicksAmongKpFiles) {
    AddCharacter("C:\\chars\\one.kp", "One");
    AddCharacter("C:\\chars\\two.KP", "Two");
    AddCharacter("C:\\chars\\three.kp", "Three");
    desk.files.AddFile("C:\\chars\\readme.txt", {1});
    desk.files.AddFile("C:\\chars\\sub\\deep.kp", {1});

    struct Case {
        const char* line;
        const char* dir; // expected directory part of the pick, or the exact file
        bool exact;
    };
    const Case cases[] = {
        {"-r C:\\chars", "C:\\chars\\", false},
        {"-r C:\\chars\\", "C:\\chars\\", false},
        {"-r C:\\chars\\given.Kp", "C:\\chars\\given.Kp", true},
    };
    for (const auto& c : cases) {
        app.m_lpCmdLine = c.line;
        AnsiString file;
        ASSERT_TRUE(app.ReadCommandLine(file)) << c.line;
        if (c.exact) {
            EXPECT_EQ(file, c.dir);
            continue;
        }
        const AnsiString name = file.substr(std::string(c.dir).size());
        EXPECT_EQ(file.substr(0, std::string(c.dir).size()), c.dir);
        EXPECT_TRUE(name == "one.kp" || name == "two.KP" || name == "three.kp") << name;
    }
}

TEST_F(Startup, RandomChoiceIsSpreadAndUsesTheOneGenerator) {
    for (int i = 0; i < 4; ++i)
        AddCharacter("d\\c" + std::to_string(i) + ".kp", "C");
    int seen[4] = {};
    app.Random().Seed(1);
    for (int n = 0; n < 4000; ++n) {
        AnsiString file = "d";
        ASSERT_TRUE(app.PickRandomDataFile(file));
        ++seen[file[3] - '0'];
    }
    for (int count : seen)
        EXPECT_NEAR(count, 1000, 150);

    // The same seed draws the same file as the C runtime's rand() would: rand() after srand(1)
    // is 41, and 41 % 4 = 1.
    app.Random().Seed(1);
    AnsiString file = "d";
    ASSERT_TRUE(app.PickRandomDataFile(file));
    EXPECT_EQ(file, "d\\c1.kp");
}

TEST_F(Startup, RandomModeFallsBackWhenNothingMatches) {
    desk.settings.WriteString("Kelpo32", "DataName", "C:\\remembered.kp");
    desk.settings.WriteInt("Kelpo32", "RandomMode", 1);
    AddCharacter("C:\\remembered.kp", "Remembered");
    ASSERT_TRUE(app.InitInstance("C:\\empty"));
    EXPECT_EQ(app.m_strDataName, "C:\\remembered.kp");
    EXPECT_EQ(app.m_strCharName, "Remembered");
}

TEST_F(Startup, RandomInCurrentDirectoryStoresABareName) {
    AddCharacter("only.kp", "Only");
    ASSERT_TRUE(app.InitInstance("-r"));
    EXPECT_EQ(app.m_strDataName, "only.kp");
}

TEST_F(Startup, DirectoryEndingInAnyCharacterGetsOneSeparator) {
    // Paths are UTF-8: a directory gets exactly one separator whatever its last character, even
    // when that character's last byte would be a code page 932 lead byte (Д ends in 0x94, ā in
    // 0x81) that would pair with the separator.
    const char* dirs[] = {"C:\\\xE8\xA1\xA8", "C:\\\xD0\x94", "C:\\\xD0\x94\\", "C:\\\xC4\x81",
                          "C:\\\xEA\xB0\x80"};
    for (const char* d : dirs) {
        Utf8String dir = d;
        if (dir.back() != '\\')
            dir += '\\';
        AddCharacter(dir + "a.kp", "A");
        Utf8String file = d;
        ASSERT_TRUE(app.PickRandomDataFile(file)) << d;
        EXPECT_EQ(file, dir + "a.kp");
    }
}

TEST_F(Startup, PathsInAnyLanguageLoadAndAreRememberedUnchanged) {
    // é, Cyrillic and Korean: none has a code page 932 form.
    const Utf8String path = "C:\\caf\xC3\xA9 \xD0\x94\xD0\xB0\\\xEA\xB0\x80.kp";
    AddCharacter(path, "Unicode");
    ASSERT_TRUE(RunToEnd("\"" + path + "\" -p20"));
    EXPECT_EQ(StoredText("Kelpo32", "DataName"), path);
    EXPECT_EQ(Stored("Unicode", "Position"), 20);

    // The next start without a command line opens the remembered file.
    sim::SimDesktop again;
    again.settings = desk.settings;
    again.files = desk.files;
    CCharacterApp next{AppServices{again.settings, again.files, again.ui, again.system, again.window}};
    ASSERT_TRUE(next.InitInstance(""));
    EXPECT_EQ(next.m_strDataName, path);
    EXPECT_EQ(next.m_strCharName, "Unicode");
    EXPECT_TRUE(again.ui.Messages().empty());
}

// ---------------------------------------------------------------------------------------------
// Windows version

TEST_F(Startup, WindowsVersionFlag) {
    struct Case {
        WindowsVersion v;
        BOOL win2000;
    };
    const Case cases[] = {
        {{true, 2, 5, 0}, TRUE},   {{true, 2, 6, 1}, TRUE},  {{true, 2, 4, 0}, FALSE},
        {{true, 1, 4, 10}, FALSE}, {{true, 1, 5, 0}, FALSE}, {{false, 2, 5, 0}, FALSE},
    };
    for (const auto& c : cases) {
        desk.system.m_version = c.v;
        app.CheckWindowsVersion();
        EXPECT_EQ(app.m_bWin2000, c.win2000) << c.v.platformId << "." << c.v.majorVersion;
    }
}

// ---------------------------------------------------------------------------------------------
// Start-up and settings

TEST_F(Startup, FirstRunWithoutFileEndsAndWritesOnlyGeneralSettings) {
    EXPECT_FALSE(RunToEnd(""));
    EXPECT_EQ(app.MainFrame(), nullptr);
    EXPECT_FALSE(desk.window.m_exists);
    EXPECT_TRUE(desk.ui.Messages().empty());
    const std::vector<std::string> expected = {
        "Kelpo32/TransMode=0",   "Kelpo32/Transparency=100", "Kelpo32/DataName=\"\"",
        "Kelpo32/CharName=\"\"", "Kelpo32/AutoAnimation=1",  "Kelpo32/TopMost=0",
    };
    EXPECT_EQ(desk.settings.Writes(), expected);
}

TEST_F(Startup, NamedFileLoadsAndSettingsAreWrittenAtExitInOrder) {
    AddCharacter("C:\\a.kp", "Alpha", 300, [](build::Character& c) { c.defaultPosition = 33; });
    ASSERT_TRUE(RunToEnd("C:\\a.kp -n2"));
    EXPECT_EQ(desk.window.m_params.title, "Kelpo32");
    EXPECT_EQ(desk.window.m_params.width, 32);
    EXPECT_EQ(desk.window.m_params.layered, true); // the simulated system is Windows XP
    const std::vector<std::string> expected = {
        "Kelpo32/TransMode=0",        "Kelpo32/Transparency=100", "Kelpo32/DataName=\"C:\\a.kp\"",
        "Kelpo32/CharName=\"Alpha\"", "Kelpo32/AutoAnimation=1",  "Kelpo32/TopMost=0",
        "Alpha/Position=33",          "Alpha/Pattern=2",          "Alpha/Fixed=0",
    };
    EXPECT_EQ(desk.settings.Writes(), expected);
    EXPECT_FALSE(desk.settings.Find("Kelpo32", "RandomMode"));
}

TEST_F(Startup, RememberedFileAndItsValuesAreUsed) {
    desk.settings.WriteString("Kelpo32", "DataName", "C:\\b.kp");
    desk.settings.WriteString("Kelpo32", "CharName", "Beta");
    desk.settings.WriteInt("Beta", "Position", 150);
    desk.settings.WriteInt("Beta", "Pattern", 9);
    desk.settings.WriteInt("Beta", "Fixed", 2);
    desk.settings.WriteInt("Kelpo32", "TopMost", 1);
    desk.settings.WriteInt("Kelpo32", "Transparency", 40);
    AddCharacter("C:\\b.kp", "Beta");
    ASSERT_TRUE(app.InitInstance(""));
    CMainFrame& f = *app.MainFrame();
    EXPECT_EQ(f.m_nPosition, 100); // limited
    EXPECT_EQ(f.m_nPattern, 3);    // limited to the pattern count
    EXPECT_EQ(app.m_nFixed, 2);
    EXPECT_EQ(app.m_bTopMost, 1);
    EXPECT_EQ(app.m_nTransparency, 40);
    EXPECT_EQ(f.m_pScript, f.m_pData + f.File().PatternOffset(2));
    EXPECT_EQ(app.m_nPatternArg, -1);
    EXPECT_EQ(app.m_nPositionArg, -1);
}

TEST_F(Startup, PatternZeroChoosesAtRandomAndStaysZero) {
    AddCharacter("C:\\a.kp", "Alpha", 300, [](build::Character& c) { c.defaultPattern = 0; });
    ASSERT_TRUE(app.InitInstance("C:\\a.kp"));
    CMainFrame& f = *app.MainFrame();
    EXPECT_EQ(f.m_nPattern, 0);
    // The generator was seeded with the tick count (0): 38 is the first rand(); 38 % 3 = 2.
    EXPECT_EQ(f.m_pScript, f.m_pData + f.File().PatternOffset(2));
}

TEST_F(Startup, NegativeStoredValuesAreLimited) {
    AddCharacter("C:\\a.kp", "Alpha");
    desk.settings.WriteInt("Alpha", "Position", -20);
    desk.settings.WriteInt("Alpha", "Pattern", -4);
    ASSERT_TRUE(app.InitInstance("C:\\a.kp"));
    EXPECT_EQ(app.MainFrame()->m_nPosition, 0);
    EXPECT_EQ(app.MainFrame()->m_nPattern, 0);
}

TEST_F(Startup, IgnoreOptionDiscardsBothFilesAndKeepsStoredValues) {
    desk.settings.WriteString("Kelpo32", "DataName", "C:\\b.kp");
    desk.settings.WriteString("Kelpo32", "CharName", "Beta");
    desk.settings.WriteInt("Beta", "Position", 12);
    AddCharacter("C:\\b.kp", "Beta");
    AddCharacter("C:\\a.kp", "Alpha");
    EXPECT_FALSE(RunToEnd("-i C:\\a.kp -p30"));
    EXPECT_EQ(Stored("Beta", "Position"), 12);
    EXPECT_FALSE(desk.settings.Find("Beta", "Pattern"));
    EXPECT_EQ(StoredText("Kelpo32", "DataName"), "");
}

TEST_F(Startup, FailedLoadOfRememberedFileWritesTheValuesRead) {
    desk.settings.WriteString("Kelpo32", "DataName", "C:\\gone.kp");
    desk.settings.WriteString("Kelpo32", "CharName", "Gone");
    desk.settings.WriteInt("Gone", "Pattern", 4);
    EXPECT_FALSE(RunToEnd("-p30"));
    ASSERT_EQ(desk.ui.Messages().size(), 1u);
    EXPECT_EQ(desk.ui.Messages()[0].text, LoadMessageText(LoadMessage::Unreadable));
    EXPECT_EQ(Stored("Gone", "Position"), 30);
    EXPECT_EQ(Stored("Gone", "Pattern"), 4);
    EXPECT_EQ(Stored("Gone", "Fixed"), 0);
}

TEST_F(Startup, EmptyCharacterNameAddressesTheApplicationKey) {
    AddCharacter("C:\\a.kp", "");
    ASSERT_TRUE(RunToEnd("C:\\a.kp"));
    EXPECT_EQ(Stored("", "Position"), 50);
}

TEST_F(Startup, RefusedWindowFailsTheStart) {
    AddCharacter("C:\\a.kp", "Alpha");
    desk.window.m_refuseCreate = true;
    EXPECT_FALSE(app.InitInstance("C:\\a.kp"));
    EXPECT_EQ(app.MainFrame(), nullptr);
}

TEST_F(Startup, QueryEndSessionPostsClose) {
    AddCharacter("C:\\a.kp", "Alpha");
    ASSERT_TRUE(app.InitInstance("C:\\a.kp"));
    EXPECT_TRUE(app.MainFrame()->OnQueryEndSession());
    EXPECT_EQ(desk.window.m_closePosted, 1);
}

TEST_F(Startup, WithoutAFileTheOpenDialogComesFirstAndItsChoiceIsRemembered) {
    AddCharacter("C:\\chosen.kp", "Chosen");
    desk.ui.QueueFileChoice("C:\\chosen.kp");
    ASSERT_TRUE(RunToEnd(""));
    EXPECT_EQ(desk.ui.FileDialogs(), std::vector<Utf8String>{"データファイルの変更"});
    EXPECT_EQ(StoredText("Kelpo32", "DataName"), "C:\\chosen.kp");
    EXPECT_EQ(StoredText("Kelpo32", "CharName"), "Chosen");
    EXPECT_EQ(Stored("Chosen", "Position"), 50); // the header's default
}

TEST_F(Startup, MissingRememberedFileShowsTheMessageThenTheDialog) {
    desk.settings.WriteString("Kelpo32", "DataName", "C:\\gone.kp");
    AddCharacter("C:\\other.kp", "Other");
    desk.ui.QueueFileChoice("C:\\other.kp");
    ASSERT_TRUE(app.InitInstance(""));
    ASSERT_EQ(desk.ui.Messages().size(), 1u);
    EXPECT_EQ(desk.ui.FileDialogs().size(), 1u);
    EXPECT_EQ(app.m_strCharName, "Other");
}

TEST_F(Startup, ARefusedChoiceEndsTheStartWithoutAskingAgain) {
    desk.files.AddFile("C:\\bad.kp", {'X'});
    desk.ui.QueueFileChoice("C:\\bad.kp");
    desk.ui.QueueFileChoice("C:\\bad.kp");
    EXPECT_FALSE(app.InitInstance(""));
    EXPECT_EQ(desk.ui.FileDialogs().size(), 1u);
    EXPECT_EQ(desk.ui.Messages().size(), 1u);
    EXPECT_FALSE(desk.window.m_exists);
}

// ---------------------------------------------------------------------------------------------
// LoadDataFile

class Loading : public Startup {
protected:
    void SetUp() override {
        AddCharacter("C:\\old.kp", "Old");
        ASSERT_TRUE(app.InitInstance("C:\\old.kp"));
        frame = app.MainFrame();
        oldData = frame->m_pData;
        oldScript = frame->m_pScript;
    }
    void ExpectOldImageKept() {
        EXPECT_EQ(frame->m_pData, oldData);
        EXPECT_EQ(frame->m_pScript, oldScript);
        EXPECT_EQ(frame->File().Name(), "Old");
    }
    CMainFrame* frame = nullptr;
    const BYTE* oldData = nullptr;
    const BYTE* oldScript = nullptr;
};

TEST_F(Loading, EveryMessageWithItsStyleAndTheOldImageKept) {
    desk.files.AddFile("C:\\empty.kp", {});
    desk.files.AddFile("C:\\magic.kp", {'K', 'Q', 1, 1});
    AddCharacter("C:\\new.kp", "New", 304);
    AddCharacter("C:\\size.kp", "Size", 302, [](build::Character& c) { c.fileSizeDelta = 1; });
    AddCharacter("C:\\locked.kp", "Locked");
    desk.files.Lock("C:\\locked.kp");
    struct Case {
        const char* path;
        LoadMessage message;
        MessageStyle style;
    };
    const Case cases[] = {
        {"C:\\missing.kp", LoadMessage::Unreadable, MessageStyle::OkExclamation},
        {"C:\\locked.kp", LoadMessage::Unreadable, MessageStyle::OkExclamation},
        {"C:\\empty.kp", LoadMessage::Corrupted, MessageStyle::OkExclamation},
        {"C:\\magic.kp", LoadMessage::OldFormat, MessageStyle::OkExclamation},
        {"C:\\new.kp", LoadMessage::NewerVersion, MessageStyle::OkExclamation},
        {"C:\\size.kp", LoadMessage::MayBeCorrupted, MessageStyle::YesNoExclamation}, // answered No
    };
    for (const auto& c : cases) {
        const std::size_t before = desk.ui.Messages().size();
        EXPECT_FALSE(frame->LoadDataFile(c.path)) << c.path;
        ASSERT_EQ(desk.ui.Messages().size(), before + 1) << c.path;
        EXPECT_EQ(desk.ui.Messages().back().text, LoadMessageText(c.message)) << c.path;
        EXPECT_EQ(desk.ui.Messages().back().style, c.style) << c.path;
        ExpectOldImageKept();
    }
}

TEST_F(Loading, YesToTheQuestionLoads) {
    AddCharacter("C:\\size.kp", "Size", 302, [](build::Character& c) {
        c.fileSizeDelta = 1, c.breakFileHeaderCrc = true, c.breakCharHeaderCrc = true;
    });
    desk.ui.QueueAnswer(MessageResult::Yes);
    frame->m_nClickEntry = 12;
    frame->m_nScriptPos = 40;
    EXPECT_TRUE(frame->LoadDataFile("C:\\size.kp"));
    EXPECT_EQ(desk.ui.Messages().size(), 1u); // one question for all three checks
    EXPECT_EQ(frame->File().Name(), "Size");
    EXPECT_EQ(frame->m_pScript, frame->m_pData + frame->File().PatternOffset(0));
    EXPECT_EQ(frame->m_nScriptPos, 0);
    EXPECT_EQ(frame->m_nClickEntry, -1);
    EXPECT_EQ(frame->m_pCells, frame->m_pData + frame->File().CellsOffset());
    EXPECT_EQ(frame->m_pHeader, frame->m_pData + frame->File().HeaderOffset());
    EXPECT_EQ(frame->m_pSounds, frame->m_pData + frame->File().SoundsOffset());
}

TEST_F(Loading, YesToACorruptStructureStillRefuses) {
    build::Character c = test::BasicCharacter(301);
    c.patternCount = 0;
    c.fileSizeDelta = 3;
    desk.files.AddFile("C:\\zero.kp", build::BuildCharacter(c));
    desk.ui.QueueAnswer(MessageResult::Yes);
    EXPECT_FALSE(frame->LoadDataFile("C:\\zero.kp"));
    ASSERT_EQ(desk.ui.Messages().size(), 2u);
    EXPECT_EQ(desk.ui.Messages()[1].text, LoadMessageText(LoadMessage::Corrupted));
    ExpectOldImageKept();
}

TEST_F(Loading, FrameTimerIsStoppedOnlyWhenPending) {
    desk.window.m_calls.clear();
    frame->m_bAnimTimer = FALSE;
    frame->LoadDataFile("C:\\missing.kp");
    EXPECT_TRUE(desk.window.m_calls.empty());
    frame->m_bAnimTimer = TRUE;
    EXPECT_FALSE(frame->LoadDataFile("C:\\missing.kp"));
    EXPECT_EQ(desk.window.m_calls, std::vector<std::string>{"KillTimer 1"});
    EXPECT_FALSE(frame->m_bAnimTimer);
}

TEST_F(Loading, VariablesSurviveADataFileChange) {
    frame->m_nVar[7] = 1234;
    AddCharacter("C:\\next.kp", "Next");
    ASSERT_TRUE(frame->LoadDataFile("C:\\next.kp"));
    EXPECT_EQ(frame->m_nVar[7], 1234);
}

} // namespace
} // namespace kp
