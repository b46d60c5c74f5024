// kptool's modules in-process: the code page 932 converter, the verdict (checked against the
// program's own LoadDataFile on the simulated desktop for every fixture), and the POSIX file
// service that kptool and the benchmarks read files with.
#include "CheckCommand.h"
#include "Cp932Text.h"
#include "DumpCommand.h"
#include "FixtureSet.h"
#include "Verdict.h"

#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "sim/PosixFileSystem.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace kp {
namespace {

using build::Bytes;

// ---------------------------------------------------------------------------------------------
// Code page 932

TEST(Cp932ToUtf8, ConvertsJapaneseAndAscii) {
    EXPECT_EQ(tool::Cp932ToUtf8("\x83\x65\x83\x58\x83\x67"), "テスト");
    EXPECT_EQ(tool::Cp932ToUtf8("Good"), "Good");
    EXPECT_EQ(tool::Cp932ToUtf8(""), "");
    // Half-width katakana, and 0x5C and 0x7E as Windows has them.
    EXPECT_EQ(tool::Cp932ToUtf8("\xB1\xB2"), "ｱｲ");
    EXPECT_EQ(tool::Cp932ToUtf8("C:\\a~"), "C:\\a~");
    // NEC and IBM extensions that plain Shift-JIS lacks.
    EXPECT_EQ(tool::Cp932ToUtf8("\x87\x40"), "①");
}

TEST(Cp932ToUtf8, ShowsBytesThatDoNotConvertAsHex) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"\xFF", "\\xFF"},
        {"a\xFF"
         "b",
         "a\\xFFb"},
        {"\x83", "\\x83"},                   // a lead byte at the end
        {"\x83 x", "\\x83 x"},               // a lead byte with a trail byte that cannot follow it
        {"\xFD\x83\x65", "\\xFDテ"},         // conversion goes on after the bad byte
        {std::string("a\0b", 3), "a\\x00b"}, // a zero byte is shown, not passed on
    };
    for (const auto& c : cases)
        EXPECT_EQ(tool::Cp932ToUtf8(c.in), c.out) << c.out;
}

TEST(Utf8ToCp932, RoundTripsAndRefusesWhatHasNoForm) {
    std::string out;
    ASSERT_TRUE(tool::Utf8ToCp932("テスト用のキャラクターです。", out));
    EXPECT_EQ(out,
              "\x83\x65\x83\x58\x83\x67\x97\x70\x82\xCC\x83\x4C\x83\x83\x83\x89\x83\x4E\x83\x5E\x81\x5B\x82"
              "\xC5\x82\xB7\x81\x42");
    EXPECT_EQ(tool::Cp932ToUtf8(out), "テスト用のキャラクターです。");
    out = "unchanged";
    EXPECT_FALSE(tool::Utf8ToCp932("caf\xC3\xA9", out)); // é has no code page 932 form
    EXPECT_FALSE(tool::Utf8ToCp932("\xE3\x83", out));    // cut UTF-8
    EXPECT_EQ(out, "unchanged");
}

// ---------------------------------------------------------------------------------------------
// The verdict is the program's own: LoadDataFile on the simulated desktop agrees for every
// fixture, answering the question with Yes and with No.

TEST(Verdict, AgreesWithLoadDataFileForEveryFixture) {
    for (const auto& f : fixtures::AllFixtures()) {
        SCOPED_TRACE(f.name);
        const tool::Verdict v = tool::JudgeImage(ImageView(f.bytes.data(), f.bytes.size()));
        for (const MessageResult answer : {MessageResult::Yes, MessageResult::No}) {
            sim::SimDesktop desk;
            CCharacterApp app{AppServices{desk.settings, desk.files, desk.ui, desk.system, desk.window}};
            CMainFrame frame(app);
            desk.files.AddFile("C:\\chars\\" + f.name, f.bytes);
            desk.ui.QueueAnswer(answer);
            const BOOL loaded = frame.LoadDataFile("C:\\chars\\" + f.name);

            std::vector<std::string> expected;
            BOOL expectLoaded = FALSE;
            if (v.message == LoadMessage::None) {
                expectLoaded = TRUE;
            } else {
                expected.push_back(LoadMessageText(v.message));
                if (v.message == LoadMessage::MayBeCorrupted && answer == MessageResult::Yes) {
                    expectLoaded = v.yesLoads ? TRUE : FALSE;
                    if (!v.yesLoads)
                        expected.push_back(LoadMessageText(v.afterYes));
                }
            }
            std::vector<std::string> shown;
            for (const auto& m : desk.ui.Messages())
                shown.push_back(m.text);
            EXPECT_EQ(loaded, expectLoaded);
            EXPECT_EQ(shown, expected);
        }
    }
}

TEST(Verdict, UnreadableFileIsMessageOne) {
    sim::SimFileSystem files;
    EXPECT_EQ(tool::JudgeFile(files, "C:\\missing.kp").message, LoadMessage::Unreadable);
    files.AddFile("C:\\locked.kp", {'K'});
    files.Lock("C:\\locked.kp");
    EXPECT_EQ(tool::JudgeFile(files, "C:\\locked.kp").message, LoadMessage::Unreadable);
    std::ostringstream out;
    EXPECT_EQ(tool::RunCheck(files, "C:\\locked.kp", {}, out), 1);
    EXPECT_EQ(out.str(), std::string(LoadMessageText(LoadMessage::Unreadable)) +
                             " (message 1: the file cannot be read)\n");
}

// ---------------------------------------------------------------------------------------------
// dump never reads outside: every prefix of every fixture dumps without a fault (the
// sanitize preset makes a read outside the block a failure).

TEST(Dump, EveryPrefixOfEveryFixture) {
    for (const auto& f : fixtures::AllFixtures()) {
        const std::size_t step = std::max<std::size_t>(1, f.bytes.size() / 97);
        for (std::size_t n = 0; n <= f.bytes.size(); n += (n < 300 ? 1 : step)) {
            std::unique_ptr<BYTE[]> block(new BYTE[n ? n : 1]);
            std::copy(f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(n), block.get());
            std::ostringstream out;
            tool::DumpImage(ImageView(block.get(), n), out);
            EXPECT_NE(out.str().find("file header:"), std::string::npos);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The POSIX file service

class PosixFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kptool-test-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override {
        for (const std::string& p : m_made)
            std::remove(p.c_str());
        ::rmdir((m_dir + "/sub").c_str());
        ::rmdir(m_dir.c_str());
    }
    std::string Make(const std::string& name, const Bytes& bytes) {
        const std::string path = m_dir + "/" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        m_made.push_back(path);
        return path;
    }
    std::string m_dir;
    std::vector<std::string> m_made;
    sim::PosixFileSystem m_files;
};

TEST_F(PosixFiles, ReadsWholeFilesOfEverySize) {
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{4096}, std::size_t{100000}}) {
        Bytes bytes(n);
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<BYTE>(i * 7 + 3);
        const std::string path = Make("f" + std::to_string(n), bytes);
        ByteBlock block;
        ASSERT_TRUE(m_files.ReadWholeFile(path, block)) << n;
        ASSERT_EQ(block.size, n);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), block.data.get()));
    }
}

TEST_F(PosixFiles, FailuresLeaveTheBlockAsItWas) {
    ByteBlock block;
    block.Allocate(3);
    EXPECT_FALSE(m_files.ReadWholeFile(m_dir + "/missing", block));
    EXPECT_FALSE(m_files.ReadWholeFile(m_dir, block)); // a directory
    EXPECT_EQ(block.size, 3u);
}

TEST_F(PosixFiles, FindFilesMatchesWildcardsWithoutCase) {
    Make("a.kp", {});
    Make("B.KP", {});
    Make("c.kpx", {});
    Make("notes.txt", {});
    ASSERT_EQ(::mkdir((m_dir + "/sub").c_str(), 0700), 0);
    std::vector<AnsiString> names = m_files.FindFiles(m_dir + "/*.kp");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<AnsiString>{"B.KP", "a.kp"}));
    EXPECT_TRUE(m_files.FindFiles(m_dir + "/missing/*.kp").empty());
    EXPECT_EQ(m_files.FindFiles(m_dir + "/su*").size(), 0u); // directories are not files
}

TEST(WildcardMatch, Cases) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.kp", "a.kp", true},    {"*.kp", "A.KP", true},   {"*.kp", ".kp", true},
        {"*.kp", "a.kpx", false},  {"*.kp", "a.k", false},   {"a?c", "abc", true},
        {"a?c", "ac", false},      {"*", "", true},          {"", "", true},
        {"", "a", false},          {"a*b*c", "aXbYc", true}, {"a*b*c", "aXbY", false},
        {"*.kp", "x.kp.kp", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

} // namespace
} // namespace kp
