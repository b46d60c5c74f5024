#include "TraceCommand.h"

#include "Cp932Text.h"
#include "Verdict.h"

#include <cstdio>
#include <cstdlib>

namespace kp::tool {

namespace {

const char* const kOptionNames[] = {"--pattern", "--duration", "--seed", "--clock",
                                    "--cursor",  "--clicks",   "--auto", "--position"};

// A whole decimal number (a leading minus when `allowNegative`) within [lo, hi].
bool ParseNumber(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty() || text.size() > 18)
        return false;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return false;
    for (std::size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9')
            return false;
    out = std::strtoll(text.c_str(), nullptr, 10);
    return out >= lo && out <= hi;
}

bool SplitAt(const std::string& text, char sep, std::vector<std::string>& parts) {
    parts.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return true;
        start = at + 1;
    }
}

// Day of the week (0 Sunday) of a Gregorian date.
WORD DayOfWeek(int y, int m, int d) {
    static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (m < 3)
        --y;
    return static_cast<WORD>((y + y / 4 - y / 100 + y / 400 + kOffsets[m - 1] + d) % 7);
}

// "YYYY-MM-DDTHH:MM:SS" with an optional ".mmm"; a blank may stand for the T.
bool ParseClock(const std::string& text, LocalTime& out) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0, used = 0;
    char sep = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &sep, &h, &mi, &s, &used) != 7)
        return false;
    if (sep != 'T' && sep != ' ')
        return false;
    // An optional fraction of a second, of one to three digits.
    std::size_t i = static_cast<std::size_t>(used);
    if (i != text.size()) {
        if (text[i] != '.' || text.size() - i < 2 || text.size() - i > 4)
            return false;
        int scale = 100;
        for (++i; i < text.size(); ++i, scale /= 10) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            ms += (text[i] - '0') * scale;
        }
    }
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || h > 23 || mi > 59 ||
        s > 59 || ms < 0 || ms > 999)
        return false;
    if (mo == 2 && d == 29 && !((y % 4 == 0 && y % 100 != 0) || y % 400 == 0))
        return false;
    out = LocalTime{static_cast<WORD>(y), static_cast<WORD>(mo), DayOfWeek(y, mo, d),  static_cast<WORD>(d),
                    static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), static_cast<WORD>(ms)};
    return true;
}

} // namespace

const char* const* TraceOptionNames(std::size_t* count) {
    *count = sizeof kOptionNames / sizeof kOptionNames[0];
    return kOptionNames;
}

bool SetTraceOption(const std::string& name, const std::string& value, sim::RunOptions& options,
                    std::string& error) {
    long long n = 0;
    std::vector<std::string> parts;
    if (name == "--pattern") {
        if (!ParseNumber(value, 0, 65535, n)) {
            error = "--pattern takes a pattern number (0 for a random choice)";
            return false;
        }
        options.pattern = static_cast<int>(n);
    } else if (name == "--position") {
        if (!ParseNumber(value, 0, 100, n)) {
            error = "--position takes a percent 0..100";
            return false;
        }
        options.position = static_cast<int>(n);
    } else if (name == "--duration") {
        if (!ParseNumber(value, 0, 0xFFFFFFFFLL, n)) {
            error = "--duration takes milliseconds";
            return false;
        }
        options.duration = static_cast<unsigned>(n);
    } else if (name == "--seed") {
        if (!ParseNumber(value, 0, 0xFFFFFFFFLL, n)) {
            error = "--seed takes a number 0..4294967295";
            return false;
        }
        options.seed = static_cast<std::uint32_t>(n);
    } else if (name == "--clock") {
        if (!ParseClock(value, options.clock)) {
            error = "--clock takes a local time as YYYY-MM-DDTHH:MM:SS[.mmm]";
            return false;
        }
    } else if (name == "--cursor") {
        long long x = 0;
        long long y = 0;
        SplitAt(value, ',', parts);
        if (parts.size() != 2 || !ParseNumber(parts[0], -100000, 100000, x) ||
            !ParseNumber(parts[1], -100000, 100000, y)) {
            error = "--cursor takes X,Y in the window's client coordinates";
            return false;
        }
        options.cursor = Point{static_cast<int>(x), static_cast<int>(y)};
    } else if (name == "--clicks") {
        SplitAt(value, ',', parts);
        std::vector<unsigned> clicks;
        for (const std::string& p : parts) {
            if (!ParseNumber(p, 0, 0xFFFFFFFFLL, n)) {
                error = "--clicks takes times in milliseconds, separated by commas";
                return false;
            }
            clicks.push_back(static_cast<unsigned>(n));
        }
        options.clicks = clicks;
    } else if (name == "--auto") {
        if (value != "on" && value != "off") {
            error = "--auto takes on or off";
            return false;
        }
        options.autoAnimation = value == "on";
    } else {
        error = "unknown trace option " + name;
        return false;
    }
    return true;
}

int TraceImage(const std::vector<BYTE>& image, const sim::RunOptions& options, std::ostream& out) {
    sim::HeadlessRunner runner(
        [&out](unsigned ms, const std::string& text) {
            char time[16];
            std::snprintf(time, sizeof time, "%8u", ms);
            // Every event on one line; the program's load messages with their gloss.
            static const std::string kMessage = "message: ";
            out << time << "  "
                << (text.compare(0, kMessage.size(), kMessage) == 0
                        ? kMessage + GlossMessageText(text.substr(kMessage.size()))
                        : GlossMessageText(text))
                << '\n';
        },
        [](const AnsiString& text) { return Cp932ToUtf8(text); });
    if (!runner.Load(image, options)) {
        const Verdict v = JudgeImage(ImageView(image.data(), image.size()));
        return v.message == LoadMessage::None ? static_cast<int>(LoadMessage::Corrupted)
                                              : static_cast<int>(v.message);
    }
    runner.Run();
    return 0;
}

int RunTrace(IFileSystem& files, const AnsiString& path, const sim::RunOptions& options, std::ostream& out) {
    ByteBlock block;
    if (!files.ReadWholeFile(path, block)) {
        out << "kptool: " << path << ": " << VerdictText(LoadMessage::Unreadable) << '\n';
        return static_cast<int>(LoadMessage::Unreadable);
    }
    const std::vector<BYTE> image(block.data.get(), block.data.get() + block.size);
    return TraceImage(image, options, out);
}

} // namespace kp::tool
