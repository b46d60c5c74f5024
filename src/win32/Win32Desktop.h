// The desktop's top-level windows on Win32: the window queries, z-order, placement and layered
// attributes that the placement code asks for, as real USER32 calls.
#pragma once

#include "platform/Desktop.h"
#include "platform/MonitorMemo.h"

#include <windows.h>

namespace kp::win32 {

// The window procedure tells of every change of the displays (WM_DISPLAYCHANGE,
// WM_SETTINGCHANGE): a monitor remembered before it is asked again.
void NoteDisplayChange();

class Win32Desktop : public IDesktop {
public:
    Win32Desktop();

    static HWND ToHwnd(WindowId window) { return reinterpret_cast<HWND>(window); }
    static WindowId ToId(HWND hwnd) { return reinterpret_cast<WindowId>(hwnd); }

    WindowId ForegroundWindow() override;
    WindowId FindWindowByClass(const AnsiString& className) override;
    bool GetWindowRect(WindowId window, Rect& rect) override;
    AnsiString WindowTitle(WindowId window) override;
    AnsiString WindowClass(WindowId window) override;
    bool IsVisible(WindowId window) override;
    bool IsMinimized(WindowId window) override;
    Rect MonitorRect(WindowId window) override;
    Point CursorPos() override;
    WindowId WindowBelow(WindowId window) override;
    void BringToTop(WindowId window) override;
    void SetWindowPos(WindowId window, InsertAfter after, int x, int y, int cx, int cy,
                      unsigned flags) override;
    void HideWindow(WindowId window) override;
    void PostTrack(WindowId window) override;
    void PostClose(WindowId window) override;
    void AddLayeredStyle(WindowId window) override;
    bool SetLayeredAttributes(WindowId window, Color key, BYTE alpha, DWORD flags) override;

private:
    // The monitor functions arrived with Windows 2000 (in the NT family this program runs on); on
    // NT 4 they are missing and the whole screen is the one monitor.
    using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, ::DWORD);
    using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    MonitorFromWindowFn m_monitorFromWindow = nullptr;
    GetMonitorInfoFn m_getMonitorInfo = nullptr;
    MonitorMemo m_monitorMemo;
};

} // namespace kp::win32
