#include "sim/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <new>

#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace kp::sim {

namespace {

// Closes the descriptor on every way out; Close() reports the result of the close itself.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int Get() const { return m_fd; }
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// A new block is memory the system has never handed out before: the read faults in every page
// of it, one by one, and the system zeroes each first. For a block of many megabytes that costs
// several times the read itself (bench/bench_load, BM_LoadFreshMemory); asking for huge pages
// for the whole pages inside the block cuts the faults about tenfold. The hint may be ignored.
void AdviseLargeBlock(BYTE* p, std::size_t n) {
#if defined(MADV_HUGEPAGE)
    constexpr std::size_t kWorthIt = std::size_t{4} << 20;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    if (n < kWorthIt || page == 0 || (page & (page - 1)) != 0)
        return;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + n) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool PosixFileSystem::ReadWholeFile(const AnsiString& path, ByteBlock& out) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_BINARY | O_CLOEXEC));
    if (file.Get() < 0)
        return false;
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // File lengths are 32-bit in this format; a larger file cannot be a character file.
    if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > std::numeric_limits<DWORD>::max())
        return false;
    const auto length = static_cast<std::size_t>(st.st_size);

    ByteBlock block;
    try {
        block.Allocate(length); // uninitialised: the read below writes every byte
    } catch (const std::bad_alloc&) {
        return false;
    }
    AdviseLargeBlock(block.data.get(), length);
    std::size_t done = 0;
    while (done < length) {
        // Windows' read takes an unsigned int count; ask for at most 1 GiB at a time everywhere.
        const std::size_t want = std::min<std::size_t>(length - done, std::size_t{1} << 30);
        const auto got = ::read(file.Get(), block.data.get() + done, static_cast<unsigned>(want));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) // an error, or the file became shorter than its length
            return false;
        done += static_cast<std::size_t>(got);
    }
    if (!file.Close())
        return false;
    out = std::move(block);
    return true;
}

bool WildcardMatch(const AnsiString& pattern, const AnsiString& name) {
    // Iterative matching with one backtrack point for the last '*'.
    std::size_t p = 0, n = 0, star = AnsiString::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != AnsiString::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<AnsiString> PosixFileSystem::FindFiles(const AnsiString& pattern) {
    const std::size_t slash = pattern.find_last_of('/');
    const AnsiString dir = slash == AnsiString::npos ? "." : (slash == 0 ? "/" : pattern.substr(0, slash));
    const AnsiString wild = slash == AnsiString::npos ? pattern : pattern.substr(slash + 1);
    std::vector<AnsiString> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return names;
    while (const dirent* e = ::readdir(d)) {
        const AnsiString name = e->d_name;
        if (name == "." || name == ".." || !WildcardMatch(wild, name))
            continue;
        struct stat st {};
        if (::stat((dir + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    ::closedir(d);
    return names;
}

} // namespace kp::sim
