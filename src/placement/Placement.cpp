#include "placement/Placement.h"

#include <algorithm>
#include <climits>

namespace kp::placement {

namespace {

// The SetWindowPos flags of a placement: move without resizing or activating.
constexpr unsigned kPlaceFlags = swp::kNoSize | swp::kNoActivate;

// A z-order walk stops after this many windows, should the window list change under it so
// that the walk comes round again.
constexpr int kMaxWalk = 100000;

int ClampToInt(long long v) {
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

WindowId ChooseTarget(IDesktop& desktop, const TrackRequest& request) {
    switch (request.m_nFixed) {
    case kTrackTaskbar:
        return desktop.FindWindowByClass(kTaskbarClass);
    case kTrackOffTaskbar: {
        // With the taskbar in front the character stays where it is: its own window is the
        // target. No foreground window at all is no target, even when there is no taskbar.
        const WindowId foreground = desktop.ForegroundWindow();
        if (foreground && foreground == desktop.FindWindowByClass(kTaskbarClass))
            return request.hWnd;
        return foreground;
    }
    default:
        return desktop.ForegroundWindow();
    }
}

TrackOutcome Hide(IDesktop& desktop, WindowId self) {
    if (desktop.IsVisible(self))
        desktop.HideWindow(self);
    return TrackOutcome::Hidden;
}

} // namespace

bool IsCharacterWindow(IDesktop& desktop, WindowId window) {
    return desktop.WindowTitle(window) == kAppTitle && desktop.WindowClass(window) == kWindowClass;
}

int DragPosition(int position, int dx, const Rect& reference, int charWidth) {
    const long long freeWidth = static_cast<long long>(reference.right) - charWidth - reference.left;
    // C++ division truncates toward zero: -15 px over 1000 px is -1 %, 9 px is 0 %.
    const long long change = freeWidth > 0 ? static_cast<long long>(dx) * 100 / freeWidth : 0;
    return static_cast<int>(std::clamp<long long>(position + change, 0, 100));
}

bool TargetRect(IDesktop& desktop, WindowId window, Rect& rect) {
    Rect outer;
    if (!desktop.GetWindowRect(window, outer))
        return false;
    // The visible frame always lies inside the window rectangle. One that does not is in other
    // units (the system scales a program that is not DPI-aware, but reports the frame in
    // physical pixels) and would put the character somewhere else entirely.
    Rect frame;
    const bool inside = desktop.GetVisibleFrame(window, frame) && !frame.IsEmpty() &&
                        frame.left >= outer.left && frame.top >= outer.top && frame.right <= outer.right &&
                        frame.bottom <= outer.bottom;
    rect = inside ? frame : outer;
    return true;
}

bool IsFullScreenState(NotificationState state) {
    return state == NotificationState::Busy || state == NotificationState::RunningD3DFullScreen ||
           state == NotificationState::PresentationMode;
}

TrackOutcome Track(IDesktop& desktop, const TrackRequest& request, PlacementState& state) {
    const WindowId self = request.hWnd;
    // A topmost character must never cover a game or a presentation, whatever it stands on; it
    // comes back with the first placement after the screen is free again.
    if (request.m_bFullScreenHide && IsFullScreenState(desktop.UserNotificationState()))
        return Hide(desktop, self);
    const WindowId target = ChooseTarget(desktop, request);
    Rect rc;
    if (!target || !TargetRect(desktop, target, rc))
        return Hide(desktop, self);
    // No room above the target: it touches or crosses the top of its monitor (maximised
    // windows, a taskbar docked at the top or a side) or it is minimised. The monitor's top, not
    // 0, so that windows on a monitor above or beside the primary one carry the character too.
    // A cloaked window (another virtual desktop, a suspended app) is not shown at all.
    if (desktop.IsMinimized(target) || desktop.IsCloaked(target) || rc.top <= desktop.MonitorRectOf(rc).top)
        return Hide(desktop, self);

    if (target == self)
        return TrackOutcome::Unchanged;
    // Any window bearing the program's title is taken for another instance's character,
    // whatever its class.
    if (desktop.WindowTitle(target) == kAppTitle)
        return TrackOutcome::Unchanged;
    if (!desktop.IsVisible(target))
        return TrackOutcome::Unchanged;

    const long long freeWidth = std::max(0LL, static_cast<long long>(rc.right) - rc.left - request.nWidth);
    const int position = std::clamp(request.m_nPosition, 0, 100);
    const int x = ClampToInt(rc.left + position * freeWidth / 100);
    const int y = ClampToInt(static_cast<long long>(rc.top) - request.m_nOffsetY);

    // Every placement goes to the top of the always-on-top band; force topmost repeats it when
    // nothing moved, to come back above always-on-top windows that covered the character.
    if (request.m_bTopMost || x != state.m_nLastX || y != state.m_nLastY)
        desktop.SetWindowPos(self, InsertAfter::Topmost, x, y, 0, 0, kPlaceFlags);
    if (!desktop.IsVisible(self))
        desktop.SetWindowPos(self, InsertAfter::Topmost, x, y, 0, 0, kPlaceFlags | swp::kShowWindow);
    state.m_nLastX = x;
    state.m_nLastY = y;
    state.m_rcTarget = rc;
    return TrackOutcome::Placed;
}

BOOL SetTranslucency(IDesktop& desktop, WindowId hWnd, BOOL bWin2000, BOOL bOn, int nPercent, int& nTransMode,
                     int& nTransparency) {
    if (!bWin2000) {
        // No layered windows before Windows 2000: translucency can only be off.
        if (bOn)
            nTransMode = 0;
        return TRUE;
    }
    desktop.AddLayeredStyle(hWnd);
    if (bOn) {
        const int percent = std::clamp(nPercent, kMinOpacity, kMaxOpacity);
        if (desktop.SetLayeredAttributes(hWnd, TRANSPARENT_KEY, AlphaOfPercent(percent),
                                         lwa::kColorKey | lwa::kAlpha)) {
            nTransparency = percent;
            nTransMode = 1;
        }
    } else {
        // The window stays layered: the key colour transparent, everything else opaque.
        desktop.SetLayeredAttributes(hWnd, TRANSPARENT_KEY, 255, lwa::kColorKey);
        nTransMode = 0;
    }
    return TRUE;
}

BOOL ActivateNextWindow(IDesktop& desktop, WindowId hDialog) {
    WindowId w = hDialog;
    for (int i = 0; i < kMaxWalk; ++i) {
        w = desktop.WindowBelow(w);
        if (!w)
            return FALSE;
        // A minimised window would take the activation without showing anything, and a
        // character window in front would hold its own character still (it is its target).
        if (!desktop.IsVisible(w) || desktop.IsMinimized(w) || IsCharacterWindow(desktop, w))
            continue;
        desktop.BringToTop(w);
        return TRUE;
    }
    return FALSE;
}

} // namespace kp::placement
