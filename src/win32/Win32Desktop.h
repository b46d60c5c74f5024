// The desktop's top-level windows on Win32: the window queries, z-order, placement and layered
// attributes that the placement code asks for, as real USER32 calls.
#pragma once

#include "platform/Desktop.h"
#include "platform/MonitorMemo.h"
#include "win32/Win32Proc.h"

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
    Rect MonitorRectOf(const Rect& rect) override;
    Point CursorPos() override;
    bool GetVisibleFrame(WindowId window, Rect& rect) override;
    bool IsCloaked(WindowId window) override;
    NotificationState UserNotificationState() override;
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
    using MonitorFromRectFn = HMONITOR(WINAPI*)(LPCRECT, ::DWORD);
    using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    MonitorFromWindowFn m_monitorFromWindow = nullptr;
    MonitorFromRectFn m_monitorFromRect = nullptr;
    GetMonitorInfoFn m_getMonitorInfo = nullptr;
    Rect MonitorRectOfHandle(HMONITOR monitor);

    // The compositor's window attributes (Windows Vista and later) and the shell's notification
    // state (likewise): both libraries are loaded at the first placement and kept, so each
    // placement costs a call, not a look-up.
    using DwmGetWindowAttributeFn = HRESULT(WINAPI*)(HWND, ::DWORD, PVOID, ::DWORD);
    using SHQueryUserNotificationStateFn = HRESULT(WINAPI*)(int*);
    // Windows Vista or later: before that there is neither a compositor nor the shell's query,
    // and loading the libraries only to learn so would cost the process their pages for nothing.
    bool m_vistaOrLater = false;
    LazyProc<DwmGetWindowAttributeFn> m_dwmGetWindowAttribute{L"dwmapi.dll", "DwmGetWindowAttribute"};
    LazyProc<SHQueryUserNotificationStateFn> m_queryNotificationState{L"shell32.dll",
                                                                      "SHQueryUserNotificationState"};
    MonitorMemo m_monitorMemo;
};

} // namespace kp::win32
