// Queries and changes of the desktop's top-level windows: what the placement code asks of the
// window system to put the character on its target, keep it in the always-on-top band, shape
// its translucency and hand activation on when a dialog closes. Win32 implements it with real
// window calls (src/win32/Win32Desktop.h), the simulated desktop in memory (src/sim).
#pragma once

#include "platform/Canvas.h"
#include "platform/Types.h"

namespace kp {

// Where SetWindowPos puts a window in the z-order (the platform's HWND_TOP, HWND_BOTTOM,
// HWND_TOPMOST and HWND_NOTOPMOST).
enum class InsertAfter { Top, Bottom, Topmost, NoTopmost };

// Flags of SetWindowPos, bit for bit the platform's SWP_ values.
namespace swp {
constexpr unsigned kNoSize = 0x0001;
constexpr unsigned kNoMove = 0x0002;
constexpr unsigned kNoZOrder = 0x0004;
constexpr unsigned kNoActivate = 0x0010;
constexpr unsigned kShowWindow = 0x0040;
constexpr unsigned kHideWindow = 0x0080;
} // namespace swp

// Flags of the layered attributes, bit for bit the platform's LWA_ values.
namespace lwa {
constexpr DWORD kColorKey = 1; // the key colour is fully transparent
constexpr DWORD kAlpha = 2;    // the constant opacity applies
} // namespace lwa

// A core colour (0x00RRGGBB) as a Win32 COLORREF (0x00BBGGRR).
constexpr DWORD ColorRefOf(Color c) {
    return static_cast<DWORD>(RedOf(c)) | (static_cast<DWORD>(GreenOf(c)) << 8) |
           (static_cast<DWORD>(BlueOf(c)) << 16);
}

// Every call takes windows by id; an id that names no window (0, or a window that has gone)
// gives the "nothing" answer of each query and is ignored by each change.
class IDesktop {
public:
    virtual ~IDesktop() = default;

    // The foreground (active) top-level window, or 0.
    virtual WindowId ForegroundWindow() = 0;
    // The first top-level window of a class, visible or not, whatever its title; 0 for none.
    virtual WindowId FindWindowByClass(const AnsiString& className) = 0;
    // The window's rectangle in screen coordinates; false when there is no such window.
    virtual bool GetWindowRect(WindowId window, Rect& rect) = 0;
    // The whole title text (ANSI bytes), of any length; empty for none.
    virtual AnsiString WindowTitle(WindowId window) = 0;
    // The window's class name (ANSI bytes); empty for none.
    virtual AnsiString WindowClass(WindowId window) = 0;
    virtual bool IsVisible(WindowId window) = 0;
    virtual bool IsMinimized(WindowId window) = 0;
    // The screen rectangle of the monitor that holds the window: the one it overlaps most, else
    // the nearest. A system without several monitors answers the primary screen, at (0, 0).
    virtual Rect MonitorRect(WindowId window) = 0;
    // The mouse cursor in screen coordinates.
    virtual Point CursorPos() = 0;

    // The z-order, walked downward: the top-level window right below `window`, or 0.
    virtual WindowId WindowBelow(WindowId window) = 0;
    // Brings a window to the top of its band and activates it.
    virtual void BringToTop(WindowId window) = 0;

    // Moves, sizes and orders a window as SetWindowPos does; `flags` are swp:: values.
    virtual void SetWindowPos(WindowId window, InsertAfter after, int x, int y, int cx, int cy,
                              unsigned flags) = 0;
    virtual void HideWindow(WindowId window) = 0;
    // Asks a character window to re-place itself (the private message WM_TRACK, posted).
    virtual void PostTrack(WindowId window) = 0;
    // Posts WM_CLOSE (wParam 0, lParam 0) to a window, without waiting.
    virtual void PostClose(WindowId window) = 0;

    // Adds the layered style to a window's extended style (it is never taken away).
    virtual void AddLayeredStyle(WindowId window) = 0;
    // Sets a layered window's transparent key colour, constant opacity (0..255) and lwa:: flags.
    // False when the system has no such operation (systems before Windows 2000); true when it
    // has, whatever the operation itself answered.
    virtual bool SetLayeredAttributes(WindowId window, Color key, BYTE alpha, DWORD flags) = 0;
};

} // namespace kp
