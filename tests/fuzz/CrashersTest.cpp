// Replays every file in tests/fuzz/crashers/ (bad files that once broke something, and the
// corrupt fixtures) through the load verdict and every view accessor. Each image is copied to
// the very end of a mapping that is followed and preceded by an inaccessible guard page, so a
// read outside the image faults even in a build without sanitizers.
#include "ExerciseImage.h"
#include "InputChecks.h"
#include "KptoolCheck.h"
#include "SourceCheck.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef KP_CRASHERS_DIR
#error "KP_CRASHERS_DIR must name the crashers folder"
#endif

namespace kp {
namespace {

// A copy of `bytes` ending exactly where an inaccessible page begins, with another one in front.
class GuardedImage {
public:
    explicit GuardedImage(const std::vector<BYTE>& bytes) {
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t body = (bytes.size() + page - 1) / page * page;
        m_length = body + 2 * page;
        void* p = ::mmap(nullptr, m_length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        m_map = static_cast<BYTE*>(p);
        if (body && ::mprotect(m_map + page, body, PROT_READ | PROT_WRITE) != 0)
            return;
        m_data = m_map + page + body - bytes.size();
        std::copy(bytes.begin(), bytes.end(), m_data);
        if (body)
            ::mprotect(m_map + page, body, PROT_READ);
    }
    ~GuardedImage() {
        if (m_map)
            ::munmap(m_map, m_length);
    }
    GuardedImage(const GuardedImage&) = delete;
    GuardedImage& operator=(const GuardedImage&) = delete;

    bool Ok() const { return m_data != nullptr; }
    const BYTE* Data() const { return m_data; }

private:
    BYTE* m_map = nullptr;
    std::size_t m_length = 0;
    BYTE* m_data = nullptr;
};

// The files of the crashers folder that end in `extension`.
std::vector<std::string> CrasherNames(const std::string& extension = ".kp") {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(KP_CRASHERS_DIR)) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > extension.size() &&
                name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
                names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<BYTE> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The harness itself: a read one past the image faults, and so does one before an image of a
// whole number of pages.
TEST(GuardedImageDeathTest, ReadsOutsideFault) {
    const std::vector<BYTE> small = {1, 2, 3};
    GuardedImage a(small);
    ASSERT_TRUE(a.Ok());
    EXPECT_EQ(a.Data()[2], 3);
    const volatile BYTE* p = a.Data();
    EXPECT_DEATH((void)p[3], "");

    const std::vector<BYTE> page(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)), 7);
    GuardedImage b(page);
    ASSERT_TRUE(b.Ok());
    const volatile BYTE* q = b.Data();
    EXPECT_EQ(q[0], 7);
    EXPECT_DEATH((void)q[-1], "");
}

TEST(Crashers, FolderIsNotEmpty) {
    EXPECT_GE(CrasherNames().size(), 10u) << KP_CRASHERS_DIR;
}

TEST(Crashers, EveryFileGetsAVerdictWithoutReadingOutside) {
    for (const std::string& name : CrasherNames()) {
        SCOPED_TRACE(name);
        const std::vector<BYTE> bytes = ReadAll(std::string(KP_CRASHERS_DIR) + "/" + name);
        GuardedImage image(bytes);
        ASSERT_TRUE(image.Ok());
        const fuzz::Exercised r = fuzz::ExerciseImage(image.Data(), bytes.size());
        EXPECT_EQ(fuzz::CheckContextMenu(image.Data(), bytes.size()), "");
        // kptool reads the same file for dump, check --lint and dump --source.
        EXPECT_EQ(fuzz::CheckKptool(image.Data(), bytes.size()), "");
        // The corrupt fixtures must never be installed, whatever the user answers.
        if (name.rfind("corrupt-", 0) == 0) {
            const bool installable =
                (r.verdict == LoadMessage::None || r.verdict == LoadMessage::MayBeCorrupted) && r.structureOk;
            EXPECT_FALSE(installable) << "a corrupt file would be loaded";
        }
    }
}

// The inputs of the other fuzz targets that once broke something, each through its target's
// check: command lines (.cmdline), number box texts (.int) and character sources (.kps).
TEST(Crashers, OtherInputsPassTheirTargetsChecks) {
    using Check = std::string (*)(const std::uint8_t*, std::size_t);
    const std::pair<const char*, Check> kinds[] = {{".cmdline", fuzz::CheckCommandLine},
                                                   {".int", fuzz::CheckDialogInteger},
                                                   {".kps", fuzz::CheckSource}};
    for (const auto& [extension, check] : kinds) {
        for (const std::string& name : CrasherNames(extension)) {
            SCOPED_TRACE(name);
            const std::vector<BYTE> bytes = ReadAll(std::string(KP_CRASHERS_DIR) + "/" + name);
            EXPECT_EQ(check(bytes.data(), bytes.size()), "");
        }
    }
}

} // namespace
} // namespace kp
