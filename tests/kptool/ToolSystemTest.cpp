// kptool's system calls: path rules of both kinds, whole files in and out, telling one file from
// another, folders. (ToolSystem_win.cpp runs in tests/e2e/cases_kptool.py under Wine.)
#include "ToolSystem.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace kp::tool {
namespace {

TEST(ToolPaths, FolderOfKeepsTheLastSeparator) {
    struct Case {
        const char* path;
        bool windows;
        const char* folder;
    };
    const Case cases[] = {
        {"blob.kps", false, ""},      {"a/b/blob.kps", false, "a/b/"},
        {"/blob.kps", false, "/"},    {"a\\blob.kps", false, ""},
        {"a\\blob.kps", true, "a\\"}, {"C:\\chars\\blob.kps", true, "C:\\chars\\"},
        {"C:blob.kps", true, "C:"},   {"C:/chars/sub\\blob.kps", true, "C:/chars/sub\\"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderOf(c.path, c.windows), c.folder) << c.path << (c.windows ? " (Windows)" : "");
}

TEST(ToolPaths, ResolveInputKeepsAbsoluteNames) {
    EXPECT_EQ(ResolveInput("a/", "cell.bmp", false), "a/cell.bmp");
    EXPECT_EQ(ResolveInput("a/", "/x/cell.bmp", false), "/x/cell.bmp");
    EXPECT_EQ(ResolveInput("a/", "C:\\cell.bmp", false), "a/C:\\cell.bmp");
    EXPECT_EQ(ResolveInput("a\\", "sub/ぷるん 絵.bmp", true), "a\\sub/ぷるん 絵.bmp");
    EXPECT_EQ(ResolveInput("a\\", "C:\\cell.bmp", true), "C:\\cell.bmp");
    EXPECT_EQ(ResolveInput("a\\", "\\cell.bmp", true), "\\cell.bmp");
}

class ToolFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kptool-files-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
    }
    void TearDown() override {
        for (const std::string& name : m_made)
            std::remove(name.c_str());
        rmdir(m_dir.c_str());
    }
    std::string Path(const std::string& name) {
        m_made.insert(m_made.begin(), m_dir + "/" + name);
        return m_dir + "/" + name;
    }

    std::string m_dir;
    std::vector<std::string> m_made;
};

TEST_F(ToolFiles, WrittenBytesReadBackWhole) {
    const std::string path = Path("ぷるん 絵.bin");
    const std::string bytes("a\0\r\n\xff", 5);
    ASSERT_TRUE(WriteFileBytes(path, bytes.data(), bytes.size()));
    std::string back = "old";
    ASSERT_TRUE(ReadFileBytes(path, back));
    EXPECT_EQ(back, bytes);
    ASSERT_TRUE(WriteFileBytes(path, "", 0)); // replaced, now empty
    ASSERT_TRUE(ReadFileBytes(path, back));
    EXPECT_EQ(back, "");
}

TEST_F(ToolFiles, FoldersAndMissingFilesAreNotRead) {
    std::string out;
    EXPECT_FALSE(ReadFileBytes(m_dir, out));
    EXPECT_FALSE(ReadFileBytes(m_dir + "/missing", out));
    EXPECT_FALSE(WriteFileBytes(m_dir + "/missing/x", "x", 1));
}

TEST_F(ToolFiles, SameFileByIdentityNotBySpelling) {
    const std::string a = Path("a.kp"), b = Path("b.kp"), link = Path("link.kp");
    ASSERT_TRUE(WriteFileBytes(a, "x", 1));
    ASSERT_TRUE(WriteFileBytes(b, "x", 1));
    ASSERT_EQ(::link(a.c_str(), link.c_str()), 0);
    EXPECT_TRUE(SameFile(a, m_dir + "/./a.kp"));
    EXPECT_TRUE(SameFile(a, link));
    EXPECT_FALSE(SameFile(a, b)); // same folder, same contents, another file
    EXPECT_FALSE(SameFile(a, m_dir + "/missing.kp"));
}

TEST_F(ToolFiles, MakeFolderFindsOneAlreadyThere) {
    const std::string dir = Path("sub");
    EXPECT_FALSE(PathExists(dir));
    EXPECT_TRUE(MakeFolder(dir));
    EXPECT_TRUE(PathExists(dir));
    EXPECT_TRUE(MakeFolder(dir));
    const std::string file = Path("file");
    ASSERT_TRUE(WriteFileBytes(file, "x", 1));
    EXPECT_FALSE(MakeFolder(file));
    EXPECT_FALSE(MakeFolder(m_dir + "/missing/sub"));
}

} // namespace
} // namespace kp::tool
