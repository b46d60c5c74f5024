// A character run without a screen: the real character window on the simulated desktop, a
// virtual clock that jumps from one timer expiry or click to the next, and a software canvas.
// Every effect of the scripts is reported as one event line with the virtual time, so kptool can
// print what a character does and tests can check it.
#pragma once

#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "chardata/SoftCanvas.h"
#include "sim/SimDesktop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kp::sim {

// The platform's shortest timer: a frame timer of less fires after this long.
constexpr unsigned kMinimumTimerInterval = 10;

// The default cursor coordinate, each way: 200 pixels left of and above the window's corner.
constexpr int kAwayFromWindow = -200;

struct RunOptions {
    // The first pattern, 0 (a random choice) .. count; unset: the file's default pattern.
    std::optional<int> pattern;
    unsigned duration = 10000;                   // milliseconds of virtual time
    std::uint32_t seed = 1;                      // the random generator's seed
    LocalTime clock{2001, 1, 1, 1, 12, 0, 0, 0}; // the local time at 0 ms (a Monday)
    // The mouse cursor in the window's client coordinates: by default away from the window, above
    // and to the left of it, so that no test of "over the window" holds.
    Point cursor{kAwayFromWindow, kAwayFromWindow};
    // The position setting (percent); unset: the file's default, as for a user who never moved it.
    std::optional<int> position;
    std::vector<unsigned> clicks; // virtual times of left clicks on the character
    bool autoAnimation = true;
};

// `time` plus `ms` milliseconds on the calendar (day of the week included).
LocalTime AddMilliseconds(const LocalTime& time, std::uint64_t ms);

class HeadlessRunner {
public:
    // Receives each event: the virtual time in milliseconds and its text.
    using EventSink = std::function<void(unsigned ms, const std::string& text)>;
    // Shows text from the file (code page 932) in the event lines.
    using TextShower = std::function<std::string(const AnsiString& text)>;

    HeadlessRunner(EventSink sink, TextShower showText = nullptr);
    ~HeadlessRunner();
    HeadlessRunner(const HeadlessRunner&) = delete;
    HeadlessRunner& operator=(const HeadlessRunner&) = delete;

    // Loads the file image as the program would (a question about a damaged file is answered
    // Yes); false, after a "load refused" event, when the program would not run it.
    bool Load(const std::vector<BYTE>& image, const RunOptions& options);
    // Runs from 0 ms to options.duration.
    void Run();

    // Called after every step that the window shows (the first step at 0 ms, each frame tick and
    // each click that reaches a click entry), with the frame in Canvas(); Now() is its time.
    using FrameShown = std::function<void()>;
    void SetFrameShown(FrameShown shown) { m_frameShown = std::move(shown); }

    CCharacterApp& App() { return *m_app; }
    SimWindow& Window();
    CMainFrame& Frame() { return *m_frame; }
    SoftCanvas& Canvas() { return *m_canvas; }
    SimDesktop& Desktop() { return m_desk; }
    unsigned Now() const { return m_now; }

    // Tracing host and window (HeadlessRunner.cpp).
    class TracingHost;
    class TimedWindow;

private:
    void Emit(const std::string& text) { m_sink(m_now, text); }
    void SetTime(unsigned ms);
    void FrameTick();
    void Click();

    EventSink m_sink;
    TextShower m_showText;
    FrameShown m_frameShown;
    RunOptions m_options;
    SimDesktop m_desk;
    std::unique_ptr<TimedWindow> m_window;
    std::unique_ptr<CCharacterApp> m_app;
    std::unique_ptr<CMainFrame> m_frame;
    SoftCanvas* m_canvas = nullptr; // the frame's frame, owned by it
    std::unique_ptr<TracingHost> m_host;
    unsigned m_now = 0;
};

} // namespace kp::sim
