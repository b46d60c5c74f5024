// A remembered answer to "which monitor holds this rectangle": asking the system means locking
// its list of displays, the dearest of the questions the placement tick asks, while the answer only
// changes when the rectangle (a window's place, or its minimised state) or the displays change. The
// answer is used again for the same key, for at most kMonitorMemoMs, and never after the platform
// has seen the displays change. A caller asking by rectangle alone keys it with window 0.
#pragma once

#include "platform/Types.h"

namespace kp {

constexpr DWORD kMonitorMemoMs = 1000;

class MonitorMemo {
public:
    // True, with `monitor` set, when the answer kept for this window still holds. `now` is the
    // tick count in milliseconds (it may wrap), `displays` the count of display changes seen.
    bool Find(WindowId window, const Rect& windowRect, bool minimized, DWORD now, unsigned displays,
              Rect& monitor) const {
        if (!m_kept || window != m_window || windowRect != m_windowRect || minimized != m_minimized ||
            displays != m_displays || now - m_when >= kMonitorMemoMs)
            return false;
        monitor = m_monitor;
        return true;
    }
    void Keep(WindowId window, const Rect& windowRect, bool minimized, DWORD now, unsigned displays,
              const Rect& monitor) {
        m_kept = true;
        m_window = window;
        m_windowRect = windowRect;
        m_minimized = minimized;
        m_when = now;
        m_displays = displays;
        m_monitor = monitor;
    }

private:
    bool m_kept = false;
    WindowId m_window = 0;
    Rect m_windowRect;
    bool m_minimized = false;
    DWORD m_when = 0;
    unsigned m_displays = 0;
    Rect m_monitor;
};

} // namespace kp
