// Instructions per second of RunScript on an arithmetic-and-jump script, next to a bare switch
// over the same bytes (no bounds checks, no host, literals and variables only). Figures are
// printed, never checked; after the table, the interpreter's time per instruction against the
// bare loop's, beside the aim of at most 1.5 times.
#include "Builder.h"
#include "engine/Interpreter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

using namespace kp;

constexpr WORD kIterations = 1000;

// One step: 1000 rounds of ADD, SUB, AND and a conditional jump back, then a reset and a wait.
build::Bytes MakeScript(std::size_t* instructions) {
    build::Bytes s{OP_NOTE, 1, 0, 0};
    const DWORD loop = static_cast<DWORD>(s.size());
    auto op = [&s](BYTE code, WORD a, WORD b) {
        s.push_back(code);
        build::AppendU16(s, a);
        build::AppendU16(s, b);
    };
    op(OP_ADD, 1, 1);
    op(OP_SUB, 2, 3);
    op(OP_AND, 2, 0x7FFF);
    s.push_back(OP_IF);
    build::AppendU16(s, 0x8001);
    s.push_back('<');
    build::AppendU16(s, kIterations);
    build::AppendU32(s, loop);
    op(OP_SET, 1, 0);
    s.push_back(OP_WAIT);
    build::AppendU16(s, 100);
    s.push_back(OP_GOTO);
    build::AppendU32(s, loop);
    *instructions = 4u * kIterations + 3;
    return s;
}

class NullHost : public IScriptHost {
public:
    explicit NullHost(const build::Bytes& image) : m_file(ImageView(image.data(), image.size())) {}
    const CharacterFile& ScriptFile() const override { return m_file; }
    void DrawCell(WORD) override {}
    WORD CreateMaskRgn(BYTE, WORD) override { return 0; }
    void SetShape(WORD) override {}
    void FreeMaskRegions() override {}
    void ReplacePalette(WORD) override {}
    void WriteText(int, int, const AnsiString&) override {}
    void UseFont(const FontSpec*) override {}
    void Track() override {}
    void HideWindow() override {}
    void SetFrameTimer(unsigned) override {}
    void KillFrameTimer() override {}
    void PlayWave(const BYTE*, std::size_t) override {}
    void PlaySoundFile(const AnsiString&) override {}
    void StartProgram(const AnsiString&) override {}
    int ReadSetting(const AnsiString&, int d) override { return d; }
    void WriteSetting(const AnsiString&, int) override {}
    Point CursorInClient() override { return {}; }
    LocalTime LocalNow() override { return {}; }
    BOOL AutoAnimation() override { return TRUE; }
    int Rand() override { return 0; }

private:
    CharacterFile m_file;
};

void BM_RunScript(benchmark::State& state) {
    std::size_t perStep = 0;
    build::Character c;
    c.cells.push_back(build::SolidCell8(1, 1, 0));
    build::Pattern p;
    p.raw = MakeScript(&perStep);
    c.patterns.push_back(p);
    const build::Bytes image = build::BuildCharacter(c);
    NullHost host(image);
    ScriptState st;
    CScriptEngine engine(st, host);
    engine.OnPatternMenu(1);
    engine.RunScript(); // the name instruction and the first round
    for (auto _ : state) {
        engine.RunScript();
        benchmark::DoNotOptimize(st.m_nVar[2]);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * perStep));
}

// The same bytes through a plain switch that trusts them.
void BM_BareSwitch(benchmark::State& state) {
    std::size_t perStep = 0;
    const build::Bytes s = MakeScript(&perStep);
    WORD var[100] = {};
    std::size_t pos = 4;
    auto word = [&s](std::size_t at) { return static_cast<WORD>(s[at] | (s[at + 1] << 8)); };
    auto value = [&](std::size_t at) {
        const WORD w = word(at);
        return (w & 0x8000) ? var[w & 0x3FFF] : w;
    };
    for (auto _ : state) {
        for (bool ended = false; !ended;) {
            const BYTE op = s[pos];
            switch (op) {
            case OP_ADD:
                var[word(pos + 1)] = static_cast<WORD>(var[word(pos + 1)] + value(pos + 3));
                pos += 5;
                break;
            case OP_SUB:
                var[word(pos + 1)] = static_cast<WORD>(var[word(pos + 1)] - value(pos + 3));
                pos += 5;
                break;
            case OP_AND:
                var[word(pos + 1)] = static_cast<WORD>(var[word(pos + 1)] & value(pos + 3));
                pos += 5;
                break;
            case OP_SET:
                var[word(pos + 1)] = value(pos + 3);
                pos += 5;
                break;
            case OP_IF: {
                const WORD a = value(pos + 1);
                const WORD b = value(pos + 4);
                const DWORD t = static_cast<DWORD>(word(pos + 6)) | (static_cast<DWORD>(word(pos + 8)) << 16);
                pos = a < b ? t : pos + 10;
                break;
            }
            case OP_WAIT:
                pos += 3;
                ended = true;
                break;
            case OP_GOTO:
                pos = static_cast<DWORD>(word(pos + 1)) | (static_cast<DWORD>(word(pos + 3)) << 16);
                break;
            default:
                ++pos;
                break;
            }
        }
        benchmark::DoNotOptimize(var[2]);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * perStep));
}

BENCHMARK(BM_RunScript);
BENCHMARK(BM_BareSwitch);

// The console table, and the CPU time per iteration of each benchmark for the summary.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean") {
                m_times[run.run_name.function_name] = run.GetAdjustedCPUTime();
            } else if (!run.error_occurred && run.iterations > 0 && run.run_type == Run::RT_Iteration) {
                // Repetitions: the mean of their times.
                Sum& sum = m_sums[run.run_name.function_name];
                sum.total += run.GetAdjustedCPUTime();
                ++sum.count;
                m_times[run.run_name.function_name] = sum.total / sum.count;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_times;

private:
    struct Sum {
        double total = 0;
        int count = 0;
    };
    std::map<std::string, Sum> m_sums;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto script = reporter.m_times.find("BM_RunScript");
    const auto bare = reporter.m_times.find("BM_BareSwitch");
    if (script != reporter.m_times.end() && bare != reporter.m_times.end() && bare->second > 0) {
        const double ratio = script->second / bare->second;
        std::printf("\nRunScript / bare switch over the same bytes: %.2fx (aim at most 1.5x: %s)\n", ratio,
                    ratio <= 1.5 ? "met" : "not met");
    }
    return 0;
}
