// The character window on Win32: a hidden borderless popup tool window, its timers, its popup
// menu and move loop, and its window procedure, which turns each message into one call of the
// IWindowEvents the core has set and knows nothing else of the core.
#pragma once

#include "app/Commands.h"
#include "platform/Services.h"

#include <windows.h>

namespace kp::win32 {

// The title and the window class of every instance, as the wide-character API takes them.
// Other instances find each other by the two.
inline constexpr wchar_t kAppTitleW[] = L"" KP_APP_TITLE;
inline constexpr wchar_t kWindowClassW[] = L"" KP_WINDOW_CLASS;

class Win32CharacterWindow : public ICharacterWindow {
public:
    explicit Win32CharacterWindow(HINSTANCE instance);
    // The window handle; null before the window exists and after it is gone.
    HWND Handle() const { return m_hwnd; }

    void SetEvents(IWindowEvents* events) override { m_events = events; }
    bool Create(const WindowCreateParams& params) override;
    bool Exists() const override { return m_hwnd != nullptr; }
    WindowId Id() const override { return reinterpret_cast<WindowId>(m_hwnd); }
    // A Win32Canvas compatible with the window's DC.
    std::unique_ptr<ICanvas> CreateFrame(int width, int height) override;
    void Repaint() override;
    void Destroy() override;
    void SetTimer(int id, unsigned milliseconds) override;
    void KillTimer(int id) override;
    void PostClose() override;
    void Hide() override;
    void SetWindowRegion(const RectRegion& region) override;
    Point CursorInClient() override;
    void TrackPopupMenu(const PopupMenu& menu, Point screenPoint) override;
    void RunMoveLoop(Point clientPoint) override;
    // The DPI of the window's monitor (before the window exists, the system's).
    int Dpi() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    // A mouse message for the core, then the platform's default processing when `byDefault`.
    LRESULT OnMouse(UINT msg, WPARAM wParam, LPARAM lParam, bool byDefault);

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    IWindowEvents* m_events = nullptr;
};

} // namespace kp::win32
