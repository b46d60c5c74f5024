#include "sim/HeadlessRunner.h"

#include "chardata/Loader.h"

#include <algorithm>
#include <map>

namespace kp::sim {

namespace {

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[(m - 1) % 12];
}

// Text from the file as printable ASCII, other bytes as \xNN.
std::string EscapeText(const AnsiString& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x20 && b < 0x7F && b != '\\' && b != '"') {
            out.push_back(ch);
        } else {
            out += "\\x";
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        }
    }
    return out;
}

} // namespace

LocalTime AddMilliseconds(const LocalTime& time, std::uint64_t ms) {
    LocalTime t = time;
    std::uint64_t total = t.milliseconds + ms;
    t.milliseconds = static_cast<WORD>(total % 1000);
    total = total / 1000 + t.second;
    t.second = static_cast<WORD>(total % 60);
    total = total / 60 + t.minute;
    t.minute = static_cast<WORD>(total % 60);
    total = total / 60 + t.hour;
    t.hour = static_cast<WORD>(total % 24);
    std::uint64_t days = total / 24;
    t.dayOfWeek = static_cast<WORD>((t.dayOfWeek + days) % 7);
    int month = std::clamp<int>(t.month, 1, 12);
    int day = std::max<int>(t.day, 1);
    int year = t.year;
    while (days > 0) {
        const int left = DaysInMonth(year, month) - day; // days to the month's last day
        if (days <= static_cast<std::uint64_t>(left)) {
            day += static_cast<int>(days);
            break;
        }
        days -= static_cast<std::uint64_t>(left) + 1;
        day = 1;
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    t.year = static_cast<WORD>(year);
    t.month = static_cast<WORD>(month);
    t.day = static_cast<WORD>(day);
    return t;
}

// The simulated window, with the virtual time at which each pending timer expires.
class HeadlessRunner::TimedWindow : public SimWindow {
public:
    explicit TimedWindow(const unsigned& now) : m_now(now) {}
    void SetTimer(int id, unsigned milliseconds) override {
        SimWindow::SetTimer(id, milliseconds);
        m_due[id] = std::uint64_t{m_now} + std::max(milliseconds, kMinimumTimerInterval);
    }
    void KillTimer(int id) override {
        SimWindow::KillTimer(id);
        m_due.erase(id);
    }
    std::optional<std::uint64_t> Due(int id) const {
        const auto it = m_due.find(id);
        return it == m_due.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
    }

private:
    const unsigned& m_now;
    std::map<int, std::uint64_t> m_due;
};

// Passes every request on to the window's own host and reports it.
class HeadlessRunner::TracingHost final : public IScriptHost {
public:
    TracingHost(HeadlessRunner& runner, IScriptHost& inner) : m_runner(runner), m_inner(inner) {}

    const CharacterFile& ScriptFile() const override { return m_inner.ScriptFile(); }

    void DrawCell(WORD cell) override {
        bool ok = true;
        const WORD x = File().CellX(cell, &ok);
        const WORD y = File().CellY(cell, &ok);
        Emit("draw cell " + N(cell) +
             (ok ? " at " + N(x) + "," + N(y) : " (its record lies outside the file)"));
        m_inner.DrawCell(cell);
    }
    WORD CreateMaskRgn(BYTE kind, WORD cell) override {
        const WORD slot = m_inner.CreateMaskRgn(kind, cell);
        const std::string result = slot == kNoMaskSlot ? "no slot free" : "slot " + N(slot);
        if (kind == 'b')
            Emit("new shape from cell " + N(cell) + ": " + result);
        else
            Emit("new shape of kind " + N(kind) + " (none made): " + result);
        return slot;
    }
    void SetShape(WORD slot) override {
        Emit("set shape " + N(slot));
        m_inner.SetShape(slot);
    }
    void FreeMaskRegions() override { m_inner.FreeMaskRegions(); }
    void ReplacePalette(WORD cell) override {
        Emit("palette from cell " + N(cell));
        m_inner.ReplacePalette(cell);
    }
    void WriteText(int x, int y, const AnsiString& text) override {
        Emit("text at " + N(x) + "," + N(y) + " " + Quote(text));
        m_inner.WriteText(x, y, text);
    }
    void UseFont(const FontSpec* font) override {
        // A font the step selects again is no news; only a new one is reported.
        if (font && font != m_runner.Frame().m_pFont.get())
            Emit("font " + Quote(font->faceName) + " height " + N(-font->height) + " weight " +
                 N(font->weight) + " charset " + N(font->charSet));
        m_inner.UseFont(font);
    }

    void Track() override {
        Emit("position " + N(m_runner.Frame().m_nPosition));
        m_inner.Track();
    }
    void HideWindow() override {
        Emit("hide");
        m_inner.HideWindow();
    }
    void SetFrameTimer(unsigned ms) override {
        Emit("timer 1 set to " + N(ms) + " ms");
        m_inner.SetFrameTimer(ms);
    }
    void KillFrameTimer() override { m_inner.KillFrameTimer(); }

    void PlayWave(const BYTE* wave, std::size_t size) override {
        std::string which = "sound";
        for (WORD i = 0; i < File().SoundCount(); ++i) {
            bool ok = true;
            const FileOffset off = File().SoundOffset(i, &ok);
            if (ok && File().Image().Contains(off, 1) && File().Image().At(off) == wave) {
                which += " " + N(i);
                break;
            }
        }
        Emit(which + " (" + N(size) + " bytes)");
        m_inner.PlayWave(wave, size);
    }
    void PlaySoundFile(const AnsiString& name) override {
        Emit("sound file " + Quote(name));
        m_inner.PlaySoundFile(name);
    }
    void StartProgram(const AnsiString& commandLine) override {
        Emit("program " + Quote(commandLine) + " (not started)");
        m_inner.StartProgram(commandLine);
    }
    int ReadSetting(const AnsiString& entry, int defaultValue) override {
        const int value = m_inner.ReadSetting(entry, defaultValue);
        Emit("setting " + Quote(entry) + " read: " + N(value) + " (default " + N(defaultValue) + ")");
        return value;
    }
    void WriteSetting(const AnsiString& entry, int value) override {
        Emit("setting " + Quote(entry) + " written: " + N(value));
        m_inner.WriteSetting(entry, value);
    }

    Point CursorInClient() override { return m_inner.CursorInClient(); }
    LocalTime LocalNow() override { return m_inner.LocalNow(); }
    BOOL AutoAnimation() override { return m_inner.AutoAnimation(); }
    int Rand() override { return m_inner.Rand(); }

    void PatternStarted(int pattern, std::size_t index) override {
        AnsiString text = File().PatternName(index);
        text = text.substr(0, text.find('\0')); // the name instruction stores its zero byte too
        const std::string name = Quote(text);
        if (pattern == 0)
            Emit("pattern random: " + N(index + 1) + " " + name);
        else
            Emit("pattern " + N(pattern) + " " + name);
    }
    void OffsetYSet(int offsetY) override { Emit("offset y " + N(offsetY)); }
    void StepCutShort(StepCut why, int pos) override {
        if (why == StepCut::InstructionLimit)
            Emit("step cut short after " + N(kStepInstructionLimit) +
                 " instructions without a wait, at offset " + N(pos));
        else
            Emit("script stopped: the instruction at offset " + N(pos) + " lies outside the file");
    }

private:
    const CharacterFile& File() const { return m_inner.ScriptFile(); }
    template <typename T> static std::string N(T v) { return std::to_string(v); }
    std::string Quote(const AnsiString& text) const {
        return "\"" + (m_runner.m_showText ? m_runner.m_showText(text) : EscapeText(text)) + "\"";
    }
    void Emit(const std::string& text) { m_runner.Emit(text); }

    HeadlessRunner& m_runner;
    IScriptHost& m_inner;
};

HeadlessRunner::HeadlessRunner(EventSink sink, TextShower showText)
    : m_sink(std::move(sink)), m_showText(std::move(showText)),
      m_window(std::make_unique<TimedWindow>(m_now)) {
    m_app = std::make_unique<CCharacterApp>(AppServices{
        m_desk.settings, m_desk.files, m_desk.ui, m_desk.system, *m_window, &m_desk.sound, &m_desk.programs});
    m_frame = std::make_unique<CMainFrame>(*m_app);
    m_host = std::make_unique<TracingHost>(*this, m_frame->ScriptHost());
    m_frame->ScriptEngine().SetHost(*m_host);
}

HeadlessRunner::~HeadlessRunner() = default;

SimWindow& HeadlessRunner::Window() {
    return *m_window;
}

void HeadlessRunner::SetTime(unsigned ms) {
    m_now = ms;
    m_desk.system.m_tick = ms;
    m_desk.system.m_time = AddMilliseconds(m_options.clock, ms);
}

bool HeadlessRunner::Load(const std::vector<BYTE>& image, const RunOptions& options) {
    m_options = options;
    std::sort(m_options.clicks.begin(), m_options.clicks.end());
    SetTime(0);
    m_window->m_cursor = options.cursor;
    m_app->Random().Seed(options.seed);
    m_app->m_bAutoAnimation = options.autoAnimation ? TRUE : FALSE;

    const AnsiString path = "C:\\character.kp";
    m_desk.files.AddFile(path, image);
    m_desk.ui.QueueAnswer(MessageResult::Yes);
    const bool loaded = m_frame->LoadDataFile(path) != FALSE;
    for (const auto& shown : m_desk.ui.Messages())
        Emit("message: " + shown.text);
    if (!loaded) {
        Emit("load refused");
        return false;
    }
    const CharacterFile& file = m_frame->File();
    m_app->m_strCharName = file.Name();
    // The frame the window's ticks draw into is a software canvas, the runner's to read.
    auto canvas = std::make_unique<SoftCanvas>(file.CanvasWidth(), file.CanvasHeight());
    m_canvas = canvas.get();
    m_frame->m_pBitmap = std::move(canvas);
    return true;
}

void HeadlessRunner::FrameTick() {
    m_frame->OnTimer(kFrameTimer);
    if (m_frameShown)
        m_frameShown();
}

void HeadlessRunner::Click() {
    if (m_frame->m_nClickEntry == -1) {
        Emit("click (no click entry)");
        return;
    }
    Emit("click: the script goes on at offset " + std::to_string(m_frame->m_nClickEntry));
    // The window's own press handler runs the step from the click entry at once.
    m_frame->OnLButtonDown(0, m_window->m_cursor);
    m_frame->OnLButtonUp(0, m_window->m_cursor);
    if (m_frameShown)
        m_frameShown();
}

void HeadlessRunner::Run() {
    CMainFrame& frame = *m_frame;
    const CharacterFile& file = frame.File();
    const int count = file.PatternCount();
    if (count == 0) // nothing loaded
        return;
    // The first pattern as the window's creation chooses it, and its first step at once.
    const int pattern = std::clamp<int>(m_options.pattern.value_or(file.DefaultPattern()), 0, count);
    frame.m_nPattern = pattern;
    // The position as window creation sets it for a character with no stored settings.
    frame.m_nPosition = std::clamp<int>(m_options.position.value_or(file.DefaultPosition()), 0, 100);
    const std::size_t index = frame.StartFirstPattern();
    m_host->PatternStarted(pattern, index);
    frame.DrawFirstFrame();
    if (m_frameShown)
        m_frameShown();

    std::size_t nextClick = 0;
    for (;;) {
        const std::optional<std::uint64_t> due = m_window->Due(kFrameTimer);
        const bool haveClick = nextClick < m_options.clicks.size();
        if (!due && !haveClick)
            break;
        // At the same moment the timer comes first: its message was queued before the click.
        const bool click = haveClick && (!due || m_options.clicks[nextClick] < *due);
        const std::uint64_t at = click ? m_options.clicks[nextClick] : *due;
        if (at > m_options.duration)
            break;
        SetTime(static_cast<unsigned>(at));
        if (click) {
            ++nextClick;
            Click();
        } else {
            FrameTick();
        }
    }
    SetTime(m_options.duration);
    Emit("end");
}

} // namespace kp::sim
