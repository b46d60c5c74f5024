// The simulated desktop's top-level windows: rectangles, titles, classes, visibility, a z-order
// with its always-on-top band, the foreground window, monitors and the cursor, with a record of
// every change the program asks for (window placements, hiding, layered attributes, activation).
#pragma once

#include "platform/Desktop.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kp::sim {

class SimDesktopWindows : public IDesktop {
public:
    struct Window {
        WindowId id = 0;
        AnsiString title;
        AnsiString className;
        Rect rect;
        bool visible = true;
        bool minimized = false;
        // The visible frame the compositor reports (without invisible borders); empty: the
        // whole rectangle, as for a window without such borders.
        Rect frame = Rect{};
        // Kept out of sight by the compositor (another virtual desktop, a suspended app).
        bool cloaked = false;
        bool topmost = false;
        bool layered = false; // has the layered style
        // The layered attributes last set (meaningful once hasAttributes is set).
        bool hasAttributes = false;
        Color key = 0;
        BYTE alpha = 0;
        DWORD layeredFlags = 0;
    };

    // One 1024 x 768 monitor until a test says otherwise.
    SimDesktopWindows();

    // Adds a window at the top of its band (topmost windows above the others) and returns its
    // id; ids count up from 1 and are never reused.
    WindowId Add(const Window& window);
    // A visible always-on-top window of the taskbar's class.
    WindowId AddTaskbar(const Rect& rect);
    void Remove(WindowId window);
    // The window's record (it stays valid until the window is removed); nullptr for none.
    Window* Find(WindowId window);
    // Makes a window the foreground window (0 for none), as the user's click would.
    void SetForeground(WindowId window) { m_foreground = window; }
    // Top-level windows from the top of the z-order down.
    const std::vector<WindowId>& ZOrder() const { return m_zorder; }

    WindowId ForegroundWindow() override;
    WindowId FindWindowByClass(const AnsiString& className) override;
    bool GetWindowRect(WindowId window, Rect& rect) override;
    AnsiString WindowTitle(WindowId window) override;
    AnsiString WindowClass(WindowId window) override;
    bool IsVisible(WindowId window) override;
    bool IsMinimized(WindowId window) override;
    Rect MonitorRect(WindowId window) override;
    Rect MonitorRectOf(const Rect& rect) override;
    Point CursorPos() override { return m_cursor; }
    bool GetVisibleFrame(WindowId window, Rect& rect) override;
    bool IsCloaked(WindowId window) override;
    NotificationState UserNotificationState() override { return m_notificationState; }
    WindowId WindowBelow(WindowId window) override;
    void BringToTop(WindowId window) override;
    void SetWindowPos(WindowId window, InsertAfter after, int x, int y, int cx, int cy,
                      unsigned flags) override;
    void HideWindow(WindowId window) override;
    void PostTrack(WindowId window) override;
    // Recorded in m_calls and in m_closePosted; the window stays until a test removes it.
    void PostClose(WindowId window) override;
    void AddLayeredStyle(WindowId window) override;
    bool SetLayeredAttributes(WindowId window, Color key, BYTE alpha, DWORD flags) override;

    // The pixel density (dots per inch) of the monitor that holds the window, as MonitorRect
    // finds it; the primary monitor's for no window.
    int MonitorDpi(WindowId window);

    // Monitor rectangles, the primary one first.
    std::vector<Rect> m_monitors;
    // Their pixel densities, in the same order; a monitor without an entry has 96.
    std::vector<int> m_monitorDpi;
    // Unplugs monitor `index` (not the primary one): as Windows does, every window that stood
    // mostly on it moves to the primary monitor, at the same place relative to its top-left.
    void RemoveMonitor(std::size_t index);
    // Runs before every query, with the window asked about (0 for the foreground window and a
    // search by class): the desktop may change between any two of the program's queries, as
    // windows open, die and take the foreground on their own.
    std::function<void(WindowId)> m_beforeQuery;
    Point m_cursor;
    // False: no desktop compositor (composition off, a system before Windows Vista, or one that
    // does not implement the queries): neither visible frames nor cloaking can be asked.
    bool m_hasCompositor = true;
    // What the shell reports; Unknown stands for a system without the query.
    NotificationState m_notificationState = NotificationState::AcceptsNotifications;
    // False: a system before Windows 2000, without the layered-attributes operation.
    bool m_hasLayeredAttributes = true;
    // Called after each SetWindowPos with the window moved, as the platform's messages to it
    // during the call (WM_DPICHANGED on a move to a monitor of another DPI).
    std::function<void(WindowId)> m_afterSetWindowPos;
    // Every change in order: "SetWindowPos ID topmost X,Y CXxCY 0xFLAGS", "Hide ID",
    // "PostTrack ID", "PostClose ID", "BringToTop ID", "Layered ID", "LayeredAttributes ID key=0xRRGGBB
    // alpha=A flags=F" (only when the operation exists).
    std::vector<std::string> m_calls;
    // The windows asked to close, in order.
    std::vector<WindowId> m_closePosted;

private:
    void Raise(WindowId window); // to the top of its band
    // The index in m_monitors of the monitor that holds the window (0 for none).
    std::size_t MonitorIndex(WindowId window);
    std::size_t MonitorIndexOf(const Rect& rect) const; // m_monitors is not empty
    void Query(WindowId window);
    std::map<WindowId, Window> m_windows;
    std::vector<WindowId> m_zorder;
    WindowId m_foreground = 0;
    WindowId m_nextId = 1;
};

} // namespace kp::sim
