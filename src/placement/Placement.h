// Desktop placement: keeping the character window on the top edge of its target window (the
// foreground window or the taskbar) inside the always-on-top band, its translucency, and the
// hand-over of activation when one of the program's dialogs closes. Everything goes through
// IDesktop, so the same code runs on Win32 and on the simulated desktop.
#pragma once

#include "app/Commands.h"
#include "platform/Desktop.h"
#include "platform/Types.h"

namespace kp {

// The private message that makes a character window re-place itself (WM_USER + 32); wParam
// and lParam are ignored and the answer is 0.
constexpr unsigned WM_TRACK = 0x0420;
// The colour that the layered character window shows as fully transparent: red 0, green 250,
// blue 250 (COLORREF 0x00FAFA00).
constexpr Color TRANSPARENT_KEY = MakeColor(0, 250, 250);

// The taskbar is the top-level window of this class. Every instance's character window bears
// the title kAppTitle and the window class kWindowClass (app/Commands.h).
constexpr const char* kTaskbarClass = "Shell_TrayWnd";

// Tracking modes (the setting "Fixed"); any other value tracks as kTrackAllWindows.
constexpr int kTrackAllWindows = 0; // the foreground window, the taskbar included
constexpr int kTrackTaskbar = 1;    // always the taskbar
constexpr int kTrackOffTaskbar = 2; // the foreground window; with the taskbar in front, stay put

// Opacity limits of translucency, in percent.
constexpr int kMinOpacity = 10;
constexpr int kMaxOpacity = 100;

// The placement members of the character window. CMainFrame derives from this, as it does from
// ScriptState, so the window and the placement code share one set of members.
struct PlacementState {
    // While set, the placement tick calls Track; Track itself never reads it.
    BOOL m_bTracking = FALSE;
    // Where the window was last placed; -1 so that the first placement always moves it.
    int m_nLastX = -1;
    int m_nLastY = -1;
    // The target's rectangle at the last placement; all 0 before the first.
    Rect m_rcTarget;
};

// What one placement needs to know besides the remembered members.
struct TrackRequest {
    WindowId hWnd = 0;   // the character window
    int nWidth = 0;      // the character's width (the cell section's wWidth)
    int m_nPosition = 0; // percent of the target's free width, 0..100 (others are limited to it)
    int m_nOffsetY = 0;  // how far the window's top stands above the target's top
    int m_nFixed = 0;    // the tracking mode
    int m_bTopMost = 0;  // force topmost: re-place on every call even when nothing moved
    // Hide while a fullscreen program, a Direct3D game or a presentation holds the screen.
    int m_bFullScreenHide = 1;
};

namespace placement {

enum class TrackOutcome {
    Placed,    // the window stands on its target (moved or shown only where needed)
    Unchanged, // the target is this window, another character or invisible: nothing was done
    Hidden,    // no usable target: the window is hidden (if it was shown)
};

// The rectangle the character stands on and measures a drag against: the window's visible frame
// where the compositor reports one that lies inside the window rectangle, else the window
// rectangle itself. False when the window has no rectangle at all.
bool TargetRect(IDesktop& desktop, WindowId window, Rect& rect);

// Whether the shell's state means that something fullscreen holds the screen: a fullscreen
// program, a Direct3D game in exclusive mode or presentation settings.
bool IsFullScreenState(NotificationState state);

// Places the character window on its target. The target's top edge must lie below the top of
// the monitor that holds it, so that there is room for the character above it. A minimised or
// cloaked target, and (with m_bFullScreenHide) a fullscreen program in front, hide it.
TrackOutcome Track(IDesktop& desktop, const TrackRequest& request, PlacementState& state);

// Whether a window is the character window of a running instance (this one's included): its
// title and its class are the program's.
bool IsCharacterWindow(IDesktop& desktop, WindowId window);

// The position after a drag: the horizontal distance dragged (dx, screen pixels) as a percent of
// the reference window's free width (its width less the character's), truncated toward zero,
// added to `position` and limited to 0..100. A free width of 0 or less leaves the position.
int DragPosition(int position, int dx, const Rect& reference, int charWidth);

// The alpha of an opacity percent: percent x 255 / 100, the remainder dropped.
constexpr BYTE AlphaOfPercent(int percent) {
    return static_cast<BYTE>(percent * 255 / 100);
}

// Switches translucency of the character window on (bOn, with nPercent opacity, limited to
// 10..100) or off. Without Windows 2000 (bWin2000 clear) nothing layered is done: switching on
// only records in nTransMode that translucency is off, switching off changes nothing. On
// Windows 2000 and later the window becomes layered with TRANSPARENT_KEY transparent in either
// case. nTransMode and nTransparency are the application's settings. Always returns TRUE.
BOOL SetTranslucency(IDesktop& desktop, WindowId hWnd, BOOL bWin2000, BOOL bOn, int nPercent, int& nTransMode,
                     int& nTransparency);

// When a dialog closes: brings the first window below the dialog in the z-order that is visible,
// not minimised and not a character window to the top. FALSE when there is none.
BOOL ActivateNextWindow(IDesktop& desktop, WindowId hDialog);

} // namespace placement
} // namespace kp
