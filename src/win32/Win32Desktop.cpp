#include "win32/Win32Desktop.h"

#include "placement/Placement.h"
#include "win32/Win32Proc.h"
#include "win32/Win32Text.h"

#include <string>

namespace kp::win32 {

static_assert(swp::kNoSize == SWP_NOSIZE && swp::kNoMove == SWP_NOMOVE && swp::kNoZOrder == SWP_NOZORDER &&
                  swp::kNoActivate == SWP_NOACTIVATE && swp::kShowWindow == SWP_SHOWWINDOW &&
                  swp::kHideWindow == SWP_HIDEWINDOW,
              "the placement flags are the platform's SWP_ values");
static_assert(lwa::kColorKey == LWA_COLORKEY && lwa::kAlpha == LWA_ALPHA,
              "the layered flags are the platform's LWA_ values");
static_assert(WM_TRACK == WM_USER + 32, "WM_TRACK is WM_USER + 32");

namespace {

using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, ::DWORD);

Rect FromRect(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}

// Display changes the window procedure has seen; the program's one thread counts and reads it.
unsigned g_displayChanges = 0;

} // namespace

void NoteDisplayChange() {
    ++g_displayChanges;
}

Win32Desktop::Win32Desktop() {
    // user32 stays loaded for the life of the process, so these addresses stay good.
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    m_monitorFromWindow = ProcAddress<MonitorFromWindowFn>(user32, "MonitorFromWindow");
    m_getMonitorInfo = ProcAddress<GetMonitorInfoFn>(user32, "GetMonitorInfoW");
}

WindowId Win32Desktop::ForegroundWindow() {
    return ToId(GetForegroundWindow());
}

WindowId Win32Desktop::FindWindowByClass(const AnsiString& className) {
    return ToId(FindWindowW(AnsiToWide(className).c_str(), nullptr));
}

bool Win32Desktop::GetWindowRect(WindowId window, Rect& rect) {
    RECT r;
    if (!window || !::GetWindowRect(ToHwnd(window), &r))
        return false;
    rect = FromRect(r);
    return true;
}

AnsiString Win32Desktop::WindowTitle(WindowId window) {
    if (!window)
        return {};
    // Most titles fit a small buffer: one question to the system instead of two (the length, then
    // the text), which counts on the placement tick. Only a title that fills it is asked again.
    wchar_t small[257];
    const int fits = GetWindowTextW(ToHwnd(window), small, 257);
    if (fits < 256)
        return fits > 0 ? WideToAnsi(std::wstring(small, static_cast<std::size_t>(fits))) : AnsiString();
    // The length may be larger than the text (it may count a multibyte form); the copy tells.
    const int length = GetWindowTextLengthW(ToHwnd(window));
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(ToHwnd(window), &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return WideToAnsi(text);
}

AnsiString Win32Desktop::WindowClass(WindowId window) {
    if (!window)
        return {};
    wchar_t name[257]; // class names have at most 256 characters
    const int copied = GetClassNameW(ToHwnd(window), name, 257);
    return copied > 0 ? WideToAnsi(std::wstring(name, static_cast<std::size_t>(copied))) : AnsiString();
}

bool Win32Desktop::IsVisible(WindowId window) {
    // Every window asked about here is a top-level one, whose only parent is the desktop: it is
    // visible exactly when its own style says so. IsWindowVisible would also ask the system for
    // its chain of parents, a question more on every placement tick.
    return window && (GetWindowLongW(ToHwnd(window), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool Win32Desktop::IsMinimized(WindowId window) {
    return window && IsIconic(ToHwnd(window));
}

Rect Win32Desktop::MonitorRect(WindowId window) {
    if (m_monitorFromWindow && m_getMonitorInfo) {
        // The window's rectangle and state decide which monitor holds it: while they stay as they
        // were, the last answer holds (see MonitorMemo).
        HWND hwnd = ToHwnd(window);
        RECT r;
        const bool haveRect = ::GetWindowRect(hwnd, &r) != FALSE;
        const bool minimized = IsIconic(hwnd) != FALSE;
        const ::DWORD now = GetTickCount();
        Rect kept;
        if (haveRect && m_monitorMemo.Find(window, FromRect(r), minimized, now, g_displayChanges, kept))
            return kept;
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        HMONITOR monitor = m_monitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST);
        if (monitor && m_getMonitorInfo(monitor, &info)) {
            const Rect found = FromRect(info.rcMonitor);
            if (haveRect)
                m_monitorMemo.Keep(window, FromRect(r), minimized, now, g_displayChanges, found);
            return found;
        }
    }
    return Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

Point Win32Desktop::CursorPos() {
    POINT p = {};
    if (!GetCursorPos(&p))
        return Point{};
    return Point{p.x, p.y};
}

WindowId Win32Desktop::WindowBelow(WindowId window) {
    return window ? ToId(GetWindow(ToHwnd(window), GW_HWNDNEXT)) : 0;
}

void Win32Desktop::BringToTop(WindowId window) {
    if (window)
        BringWindowToTop(ToHwnd(window));
}

void Win32Desktop::SetWindowPos(WindowId window, InsertAfter after, int x, int y, int cx, int cy,
                                unsigned flags) {
    if (!window)
        return;
    HWND insertAfter = HWND_TOP;
    switch (after) {
    case InsertAfter::Top:
        insertAfter = HWND_TOP;
        break;
    case InsertAfter::Bottom:
        insertAfter = HWND_BOTTOM;
        break;
    case InsertAfter::Topmost:
        insertAfter = HWND_TOPMOST;
        break;
    case InsertAfter::NoTopmost:
        insertAfter = HWND_NOTOPMOST;
        break;
    }
    ::SetWindowPos(ToHwnd(window), insertAfter, x, y, cx, cy, flags);
}

void Win32Desktop::HideWindow(WindowId window) {
    if (window)
        ShowWindow(ToHwnd(window), SW_HIDE);
}

void Win32Desktop::PostTrack(WindowId window) {
    if (window)
        PostMessageW(ToHwnd(window), WM_TRACK, 0, 0);
}

void Win32Desktop::PostClose(WindowId window) {
    if (window)
        PostMessageW(ToHwnd(window), WM_CLOSE, 0, 0);
}

void Win32Desktop::AddLayeredStyle(WindowId window) {
    if (!window)
        return;
    HWND hwnd = ToHwnd(window);
    const LONG exStyle = GetWindowLongW(hwnd, GWL_EXSTYLE);
    SetWindowLongW(hwnd, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
}

bool Win32Desktop::SetLayeredAttributes(WindowId window, Color key, BYTE alpha, DWORD flags) {
    // Looked up by name on every use: systems before Windows 2000 do not have it, and a program
    // that imported it would not start there.
    HMODULE user32 = LoadLibraryA("user32");
    const auto setAttributes =
        ProcAddress<SetLayeredWindowAttributesFn>(user32, "SetLayeredWindowAttributes");
    if (setAttributes)
        setAttributes(ToHwnd(window), ColorRefOf(key), alpha, flags);
    if (user32)
        FreeLibrary(user32);
    return setAttributes != nullptr;
}

} // namespace kp::win32
