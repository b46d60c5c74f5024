// The cost of loading a character file by the program's loader path (the file service reads the
// file whole into a new uninitialised block, then CheckImage and CheckStructure) next to a bare
// read of the same file (open, read into a buffer allocated once beforehand, close), for a
// 1 MB and a 20 MB file made of one big 8-bit cell. Loading does no parsing, so
// the loader path should stay within 1.2 times the bare read.
//
// BM_Load times the loader path and, in the same iterations but outside its timing, the bare
// read, so that both see the same state of the caches; its counter `ratio` is load / bare read
// and `faults` the page faults per load. After the first load the allocator hands the same
// memory back for the next block, as it does for a program that changes its character.
// BM_LoadFreshMemory gives every load memory never touched before (the allocator is made to
// return freed memory to the system between iterations), as a program's first load gets: its
// `ratio` compares with the same bare read into the reused buffer, `ratio_fresh_bare` with a
// plain bare read into an equally fresh buffer (no huge-page hint: PosixFileSystem.cpp). The
// fresh case pays one page fault per page of the new block, which the bare read into a reused
// buffer does not. BM_BareRead and BM_Checks time the parts on their own. The summary after the
// table gives each `ratio` against the 1.2x limit.
#include "Builder.h"
#include "chardata/Loader.h"
#include "sim/PosixFileSystem.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// A character file of about `megabytes` MB: one square-ish 8-bit cell carries the bulk.
kp::build::Bytes MakeCharacter(std::size_t megabytes) {
    kp::build::Character c;
    c.version = 301;
    c.name = "Bench";
    const std::int32_t w = 1024;
    const auto h = static_cast<std::int32_t>(megabytes * 1024);
    c.cells.push_back(kp::build::SolidCell8(w, h, 5));
    kp::build::Pattern p;
    p.name = "Stand";
    p.body = kp::build::WaitLoopBody(100, kp::build::NameRecordLength(p.name, c.version));
    c.patterns.push_back(p);
    return kp::build::BuildCharacter(c);
}

// The temp files, written once per size and removed at exit.
class TempFiles {
public:
    ~TempFiles() {
        for (const auto& [size, path] : m_paths)
            std::remove(path.c_str());
    }
    const std::string& Get(std::size_t megabytes) {
        auto it = m_paths.find(megabytes);
        if (it != m_paths.end())
            return it->second;
        char tmpl[] = "/tmp/kp-bench-XXXXXX";
        const int fd = ::mkstemp(tmpl);
        if (fd < 0)
            throw std::runtime_error("mkstemp failed");
        const kp::build::Bytes bytes = MakeCharacter(megabytes);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                throw std::runtime_error("write failed");
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        return m_paths.emplace(megabytes, tmpl).first->second;
    }

private:
    std::map<std::size_t, std::string> m_paths;
};

TempFiles& Files() {
    static TempFiles files;
    return files;
}

std::size_t FileSize(const std::string& path) {
    kp::sim::PosixFileSystem fs;
    kp::ByteBlock block;
    if (!fs.ReadWholeFile(path, block))
        throw std::runtime_error("cannot read " + path);
    return block.size;
}

long MinorFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Open, read into `buffer` (at least the file's size), close.
bool BareRead(const std::string& path, kp::BYTE* buffer, std::size_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 && done == size;
}

// The program's loader path up to installing: read whole, then the two checks.
bool LoaderPath(kp::IFileSystem& fs, const std::string& path) {
    kp::ByteBlock block;
    if (!fs.ReadWholeFile(path, block))
        return false;
    const kp::ImageView image(block.data.get(), block.size);
    const kp::LoadMessage m = kp::CheckImage(image);
    const bool structure = kp::CheckStructure(image);
    benchmark::DoNotOptimize(block.data.get());
    return m == kp::LoadMessage::None && structure;
}

void BM_BareRead(benchmark::State& state) {
    const std::string& path = Files().Get(static_cast<std::size_t>(state.range(0)));
    const std::size_t size = FileSize(path);
    std::unique_ptr<kp::BYTE[]> buffer(new kp::BYTE[size]);
    std::fill_n(buffer.get(), size, 0); // touched once, as a reused buffer is
    for (auto _ : state) {
        if (!BareRead(path, buffer.get(), size))
            state.SkipWithError("bare read failed");
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_Load(benchmark::State& state) {
    const std::string& path = Files().Get(static_cast<std::size_t>(state.range(0)));
    const std::size_t size = FileSize(path);
    std::unique_ptr<kp::BYTE[]> buffer(new kp::BYTE[size]);
    std::fill_n(buffer.get(), size, 0);
    kp::sim::PosixFileSystem fs;
    double loadSeconds = 0;
    double bareSeconds = 0;
    long faults = 0;
    for (auto _ : state) {
        const long f0 = MinorFaults();
        const auto t0 = Clock::now();
        if (!LoaderPath(fs, path))
            state.SkipWithError("the loader refused the file");
        const auto t1 = Clock::now();
        faults += MinorFaults() - f0;
        BareRead(path, buffer.get(), size);
        const auto t2 = Clock::now();
        const double load = std::chrono::duration<double>(t1 - t0).count();
        loadSeconds += load;
        bareSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(load);
    }
    const auto n = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["bare_ms"] = 1e3 * bareSeconds / n;
    state.counters["faults"] = static_cast<double>(faults) / n;
    state.counters["ratio"] = bareSeconds > 0 ? loadSeconds / bareSeconds : 0;
}

void BM_LoadFreshMemory(benchmark::State& state) {
    const std::string& path = Files().Get(static_cast<std::size_t>(state.range(0)));
    const std::size_t size = FileSize(path);
    std::unique_ptr<kp::BYTE[]> reused(new kp::BYTE[size]);
    std::fill_n(reused.get(), size, 0);
    kp::sim::PosixFileSystem fs;
    double loadSeconds = 0;
    double freshSeconds = 0;
    double preallocSeconds = 0;
    long faults = 0;
    for (auto _ : state) {
        ::malloc_trim(0); // freed memory goes back to the system: the next block is fresh pages
        const long f0 = MinorFaults();
        const auto t0 = Clock::now();
        if (!LoaderPath(fs, path))
            state.SkipWithError("the loader refused the file");
        const auto t1 = Clock::now();
        faults += MinorFaults() - f0;
        ::malloc_trim(0);
        const auto t2 = Clock::now();
        {
            std::unique_ptr<kp::BYTE[]> fresh(new kp::BYTE[size]);
            BareRead(path, fresh.get(), size);
            benchmark::DoNotOptimize(fresh.get());
        }
        const auto t3 = Clock::now();
        BareRead(path, reused.get(), size);
        const auto t4 = Clock::now();
        const double load = std::chrono::duration<double>(t1 - t0).count();
        loadSeconds += load;
        freshSeconds += std::chrono::duration<double>(t3 - t2).count();
        preallocSeconds += std::chrono::duration<double>(t4 - t3).count();
        state.SetIterationTime(load);
    }
    const auto n = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["faults"] = static_cast<double>(faults) / n;
    state.counters["ratio"] = preallocSeconds > 0 ? loadSeconds / preallocSeconds : 0;
    state.counters["ratio_fresh_bare"] = freshSeconds > 0 ? loadSeconds / freshSeconds : 0;
}

void BM_Checks(benchmark::State& state) {
    const std::string& path = Files().Get(static_cast<std::size_t>(state.range(0)));
    kp::sim::PosixFileSystem fs;
    kp::ByteBlock block;
    fs.ReadWholeFile(path, block);
    const kp::ImageView image(block.data.get(), block.size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kp::CheckImage(image));
        benchmark::DoNotOptimize(kp::CheckStructure(image));
    }
}

BENCHMARK(BM_BareRead)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Load)->Arg(1)->Arg(20)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadFreshMemory)->Arg(1)->Arg(20)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Checks)->Arg(1)->Arg(20)->Unit(benchmark::kNanosecond);

// The console table, and the ratios kept for the summary.
class Reporter : public benchmark::ConsoleReporter {
public:
    Reporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto it = run.counters.find("ratio");
            if (it != run.counters.end() && !run.error_occurred)
                m_ratios.emplace_back(run.benchmark_name(), it->second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    const std::vector<std::pair<std::string, double>>& Ratios() const { return m_ratios; }

private:
    std::vector<std::pair<std::string, double>> m_ratios;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    constexpr double kLimit = 1.2;
    std::cout << "\nloader path / bare read (limit " << kLimit << "x):\n";
    for (const auto& [name, ratio] : reporter.Ratios()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-40s %6.2fx  %s\n", name.c_str(), ratio,
                      ratio <= kLimit ? "within" : "OVER");
        std::cout << line;
    }
    return 0;
}
