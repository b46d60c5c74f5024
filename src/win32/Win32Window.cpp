// The canvas header first: it keeps the API's TextOut macro away from ICanvas::TextOut.
#include "win32/Win32Canvas.h"

#include "win32/Win32Window.h"

#include "placement/Placement.h"
#include "win32/MenuFlags.h"
#include "win32/Win32Desktop.h"
#include "win32/Win32Dpi.h"
#include "win32/Win32Text.h"
#include "win32/res/resource.h"

#include <windowsx.h>

namespace kp::win32 {

static_assert(mf::kString == MF_STRING && mf::kGrayed == MF_GRAYED && mf::kChecked == MF_CHECKED &&
                  mf::kPopup == MF_POPUP && mf::kMenuBarBreak == MF_MENUBARBREAK &&
                  mf::kSeparator == MF_SEPARATOR,
              "the menu flags are the platform's MF_ values");

namespace {

// The window's paint DC as the core's OnPaint sees it.
class Win32WindowDc final : public IWindowDc {
public:
    explicit Win32WindowDc(HDC dc) : m_dc(dc) {}
    ~Win32WindowDc() override {
        if (m_hadPalette)
            ::SelectPalette(m_dc, m_oldPalette, FALSE);
    }
    Win32WindowDc(const Win32WindowDc&) = delete;
    Win32WindowDc& operator=(const Win32WindowDc&) = delete;

    void CopyFrame(ICanvas& frame, int scale) override {
        // Every frame is made by CreateFrame, so it is a Win32Canvas.
        auto& canvas = static_cast<Win32Canvas&>(frame);
        if (HPALETTE palette = canvas.Palette()) {
            const HPALETTE old = ::SelectPalette(m_dc, palette, TRUE);
            if (!m_hadPalette) {
                m_oldPalette = old;
                m_hadPalette = true;
            }
            RealizePalette(m_dc);
        }
        const int w = canvas.Width();
        const int h = canvas.Height();
        if (scale <= 1) {
            BitBlt(m_dc, 0, 0, w, h, canvas.Dc(), 0, 0, SRCCOPY);
            return;
        }
        // Each pixel repeated scale x scale times: no smoothing, so pixel art stays crisp.
        const int oldMode = SetStretchBltMode(m_dc, COLORONCOLOR);
        StretchBlt(m_dc, 0, 0, w * scale, h * scale, canvas.Dc(), 0, 0, w, h, SRCCOPY);
        SetStretchBltMode(m_dc, oldMode);
    }
    void FillRegion(const RectRegion& region, Color color) override {
        const GdiRegion rgn = CreateGdiRegion(region);
        const GdiBrush brush(CreateSolidBrush(ColorRefOf(color)));
        if (rgn && brush)
            FillRgn(m_dc, rgn.Get(), brush.Get());
    }

private:
    HDC m_dc;
    HPALETTE m_oldPalette = nullptr;
    bool m_hadPalette = false;
};

// A popup menu of the items, submenus included; null when USER refuses the menu itself. An
// item USER refuses is left out. DestroyMenu of the result destroys its submenus with it.
HMENU BuildMenu(const std::vector<MenuItem>& items) {
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;
    for (const MenuItem& item : items) {
        UINT_PTR idOrSubmenu = item.id;
        HMENU submenu = nullptr;
        if (item.kind == MenuItem::Kind::Popup) {
            submenu = BuildMenu(item.items);
            if (!submenu)
                continue;
            idOrSubmenu = reinterpret_cast<UINT_PTR>(submenu);
        }
        const std::wstring text = item.textIsCp932 ? AnsiToWide(item.text) : Utf8ToWide(item.text);
        const bool separator = item.kind == MenuItem::Kind::Separator;
        if (!AppendMenuW(menu, MenuItemFlags(item), idOrSubmenu, separator ? nullptr : text.c_str()) &&
            submenu)
            DestroyMenu(submenu);
    }
    return menu;
}

// Sent when the window's monitor has another DPI (the headers name it only for Windows 7 and later).
constexpr UINT kWmDpiChanged = 0x02E0;

Point ClientPoint(LPARAM lParam) {
    return Point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

} // namespace

Win32CharacterWindow::Win32CharacterWindow(HINSTANCE instance) : m_instance(instance) {}

bool Win32CharacterWindow::Create(const WindowCreateParams& params) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = m_instance;
    wc.hIcon = LoadIconW(m_instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kWindowClassW;
    RegisterClassW(&wc); // fails harmlessly when already registered

    const ::DWORD exStyle = WS_EX_TOOLWINDOW | (params.layered ? WS_EX_LAYERED : 0);
    HWND hwnd = CreateWindowExW(exStyle, kWindowClassW, AnsiToWide(params.title).c_str(), WS_POPUP, 0, 0,
                                params.width, params.height, nullptr, nullptr, m_instance, this);
    return hwnd != nullptr;
}

std::unique_ptr<ICanvas> Win32CharacterWindow::CreateFrame(int width, int height) {
    HDC dc = m_hwnd ? GetDC(m_hwnd) : nullptr;
    auto frame = std::make_unique<Win32Canvas>(dc, width, height);
    if (dc)
        ReleaseDC(m_hwnd, dc);
    if (!frame->IsReady())
        return nullptr;
    return frame;
}

void Win32CharacterWindow::Repaint() {
    if (!m_hwnd)
        return;
    InvalidateRect(m_hwnd, nullptr, FALSE);
    UpdateWindow(m_hwnd);
}

void Win32CharacterWindow::Destroy() {
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

void Win32CharacterWindow::SetTimer(int id, unsigned milliseconds) {
    // SetTimer without a window makes a thread timer with an id of the system's choosing, which
    // no handler expects: before the window exists and after it is gone, nothing is set.
    if (!m_hwnd)
        return;
    ::SetTimer(m_hwnd, static_cast<UINT_PTR>(id), milliseconds, nullptr);
}

void Win32CharacterWindow::KillTimer(int id) {
    if (!m_hwnd)
        return;
    ::KillTimer(m_hwnd, static_cast<UINT_PTR>(id));
}

void Win32CharacterWindow::PostClose() {
    PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
}

void Win32CharacterWindow::Hide() {
    ShowWindow(m_hwnd, SW_HIDE);
}

void Win32CharacterWindow::SetWindowRegion(const RectRegion& region) {
    GdiRegion rgn = CreateGdiRegion(region);
    if (!rgn)
        return;
    // The window owns the region from here on, and releases it with the next one.
    if (SetWindowRgn(m_hwnd, rgn.Get(), TRUE))
        rgn.HandOver();
}

// The cursor for the scripts' cursor values: screen position made relative to the client area.
Point Win32CharacterWindow::CursorInClient() {
    POINT pt = {};
    GetCursorPos(&pt);
    if (m_hwnd)
        ScreenToClient(m_hwnd, &pt);
    return Point{pt.x, pt.y};
}

void Win32CharacterWindow::TrackPopupMenu(const PopupMenu& menu, Point screenPoint) {
    if (!m_hwnd)
        return;
    HMENU popup = BuildMenu(menu.items);
    if (!popup)
        return;
    // A menu whose owner is not the foreground window may stay open when the user clicks
    // elsewhere. A click on the character has made it the foreground window already; a menu
    // opened otherwise (a posted button message) makes it so here. The empty message after the
    // menu lets the next menu open normally, as Microsoft documents for TrackPopupMenu.
    if (GetForegroundWindow() != m_hwnd)
        SetForegroundWindow(m_hwnd);
    // Without TPM_RETURNCMD: the chosen command arrives as WM_COMMAND after this returns.
    ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screenPoint.x, screenPoint.y, 0, m_hwnd,
                     nullptr);
    PostMessageW(m_hwnd, WM_NULL, 0, 0);
    DestroyMenu(popup);
}

void Win32CharacterWindow::RunMoveLoop(Point clientPoint) {
    if (m_hwnd)
        SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, MAKELPARAM(clientPoint.x, clientPoint.y));
}

int Win32CharacterWindow::Dpi() {
    return WindowDpi(m_hwnd);
}

void Win32CharacterWindow::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    if (dc && m_events) {
        Win32WindowDc windowDc(dc);
        m_events->OnPaint(windowDc);
    }
    EndPaint(m_hwnd, &ps);
}

LRESULT CALLBACK Win32CharacterWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32CharacterWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<Win32CharacterWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    }
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->OnMessage(msg, wParam, lParam);
}

LRESULT Win32CharacterWindow::OnMouse(UINT msg, WPARAM wParam, LPARAM lParam, bool byDefault) {
    if (m_events) {
        const auto flags = static_cast<unsigned>(wParam);
        const Point point = ClientPoint(lParam);
        switch (msg) {
        case WM_LBUTTONDOWN:
            m_events->OnLButtonDown(flags, point);
            break;
        case WM_LBUTTONUP:
            m_events->OnLButtonUp(flags, point);
            break;
        case WM_MOUSEMOVE:
            m_events->OnMouseMove(flags, point);
            break;
        case WM_RBUTTONDOWN:
            m_events->OnRButtonDown(flags, point);
            break;
        default:
            break;
        }
    }
    // The default processing needs the window: it is skipped should the handler have destroyed it.
    return byDefault && m_hwnd ? DefWindowProcW(m_hwnd, msg, wParam, lParam) : 0;
}

// The message map: each message becomes one call into the core.
LRESULT Win32CharacterWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // A test's question: how many GDI objects does the program hold now?
    static const UINT balanceMessage = RegisterWindowMessageW(kGdiBalanceMessageName);
    if (msg == balanceMessage && balanceMessage)
        return static_cast<LRESULT>(GdiObjectBalance());
    switch (msg) {
    case WM_CLOSE:
        if (m_events)
            m_events->OnClose();
        else
            DestroyWindow(m_hwnd);
        return 0;
    case WM_QUERYENDSESSION:
        return m_events ? m_events->OnQueryEndSession() : TRUE;
    case WM_ENDSESSION:
        if (m_events)
            m_events->OnEndSession(wParam != 0);
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return m_events ? m_events->OnEraseBkgnd() : TRUE;
    case WM_TIMER:
        if (m_events)
            m_events->OnTimer(static_cast<unsigned>(wParam));
        return 0;
    case WM_TRACK:
        if (m_events)
            m_events->OnTrack();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
        return OnMouse(msg, wParam, lParam, true);
    case WM_MOUSEMOVE:
        return OnMouse(msg, wParam, lParam, false);
    case WM_COMMAND:
        if (m_events && m_events->OnCommand(LOWORD(wParam)))
            return 0;
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    case kWmDpiChanged:
        // The core chooses the size itself (a whole multiple of the character's); the suggested
        // rectangle is not used.
        if (m_events)
            m_events->OnDpiChanged(LOWORD(wParam));
        return 0;
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_NCCALCSIZE:
        // The whole window is client area, and no WM_MOVE or WM_SIZE follows a change.
        return 0;
    case WM_DISPLAYCHANGE:
    case WM_SETTINGCHANGE:
        // A monitor added, removed or resized, or the work area changed: monitors are asked anew.
        NoteDisplayChange();
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        return 0;
    default:
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    }
}

} // namespace kp::win32
