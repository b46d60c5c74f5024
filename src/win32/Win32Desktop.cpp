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

// DwmGetWindowAttribute's attributes: DWMWA_EXTENDED_FRAME_BOUNDS (a RECT) and DWMWA_CLOAKED (a
// DWORD, not 0 when cloaked for any reason).
constexpr ::DWORD kDwmExtendedFrameBounds = 9;
constexpr ::DWORD kDwmCloaked = 14;

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
    m_monitorFromRect = ProcAddress<MonitorFromRectFn>(user32, "MonitorFromRect");
    m_getMonitorInfo = ProcAddress<GetMonitorInfoFn>(user32, "GetMonitorInfoW");
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    m_vistaOrLater = GetVersionExW(&version) && version.dwMajorVersion >= 6;
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

Rect Win32Desktop::MonitorRectOfHandle(HMONITOR monitor) {
    if (monitor && m_getMonitorInfo) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (m_getMonitorInfo(monitor, &info))
            return FromRect(info.rcMonitor);
    }
    return Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

Rect Win32Desktop::MonitorRect(WindowId window) {
    return MonitorRectOfHandle(
        m_monitorFromWindow ? m_monitorFromWindow(ToHwnd(window), MONITOR_DEFAULTTONEAREST) : nullptr);
}

Rect Win32Desktop::MonitorRectOf(const Rect& rect) {
    // The rectangle alone decides which monitor holds it: while it stays as it was, the last
    // answer holds (see MonitorMemo).
    const ::DWORD now = GetTickCount();
    Rect kept;
    if (m_monitorMemo.Find(0, rect, false, now, g_displayChanges, kept))
        return kept;
    const RECT r = {rect.left, rect.top, rect.right, rect.bottom};
    const Rect found =
        MonitorRectOfHandle(m_monitorFromRect ? m_monitorFromRect(&r, MONITOR_DEFAULTTONEAREST) : nullptr);
    m_monitorMemo.Keep(0, rect, false, now, g_displayChanges, found);
    return found;
}

Point Win32Desktop::CursorPos() {
    POINT p = {};
    if (!GetCursorPos(&p))
        return Point{};
    return Point{p.x, p.y};
}

bool Win32Desktop::GetVisibleFrame(WindowId window, Rect& rect) {
    const auto getAttribute = m_vistaOrLater ? m_dwmGetWindowAttribute.Get() : nullptr;
    RECT r = {};
    // Fails where composition is off (Vista and 7 may switch it off) and where the attribute is
    // not implemented; the caller then takes the window rectangle.
    if (!window || !getAttribute ||
        FAILED(getAttribute(ToHwnd(window), kDwmExtendedFrameBounds, &r, sizeof r)))
        return false;
    rect = FromRect(r);
    return true;
}

bool Win32Desktop::IsCloaked(WindowId window) {
    const auto getAttribute = m_vistaOrLater ? m_dwmGetWindowAttribute.Get() : nullptr;
    ::DWORD cloaked = 0;
    // Before Windows 8 the attribute does not exist and the call fails: nothing is cloaked.
    return window && getAttribute &&
           SUCCEEDED(getAttribute(ToHwnd(window), kDwmCloaked, &cloaked, sizeof cloaked)) && cloaked != 0;
}

NotificationState Win32Desktop::UserNotificationState() {
    const auto query = m_vistaOrLater ? m_queryNotificationState.Get() : nullptr;
    int state = 0;
    if (!query || FAILED(query(&state)) || state < static_cast<int>(NotificationState::NotPresent) ||
        state > static_cast<int>(NotificationState::App))
        return NotificationState::Unknown;
    return static_cast<NotificationState>(state);
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
