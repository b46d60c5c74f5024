#include "sim/SimDesktopWindows.h"

#include <algorithm>
#include <cstdio>

namespace kp::sim {

namespace {

std::string Hex(unsigned long v, int digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*lX", digits, v);
    return buf;
}

const char* InsertAfterName(InsertAfter after) {
    switch (after) {
    case InsertAfter::Top:
        return "top";
    case InsertAfter::Bottom:
        return "bottom";
    case InsertAfter::Topmost:
        return "topmost";
    case InsertAfter::NoTopmost:
        return "notopmost";
    }
    return "?";
}

long long OverlapArea(const Rect& a, const Rect& b) {
    const long long w = static_cast<long long>(std::min(a.right, b.right)) - std::max(a.left, b.left);
    const long long h = static_cast<long long>(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
    return (w > 0 && h > 0) ? w * h : 0;
}

// How far apart two rectangles are (0 when they touch or overlap), as the square of the gap.
long long GapSquared(const Rect& a, const Rect& b) {
    const long long dx =
        std::max({0LL, static_cast<long long>(b.left) - a.right, static_cast<long long>(a.left) - b.right});
    const long long dy =
        std::max({0LL, static_cast<long long>(b.top) - a.bottom, static_cast<long long>(a.top) - b.bottom});
    return dx * dx + dy * dy;
}

} // namespace

SimDesktopWindows::SimDesktopWindows() : m_monitors{Rect{0, 0, 1024, 768}} {}

WindowId SimDesktopWindows::Add(const Window& window) {
    Window w = window;
    w.id = m_nextId++;
    m_windows[w.id] = w;
    m_zorder.push_back(w.id);
    Raise(w.id);
    return w.id;
}

WindowId SimDesktopWindows::AddTaskbar(const Rect& rect) {
    Window w;
    w.title = "";
    w.className = "Shell_TrayWnd";
    w.rect = rect;
    w.topmost = true;
    return Add(w);
}

void SimDesktopWindows::Remove(WindowId window) {
    m_windows.erase(window);
    m_zorder.erase(std::remove(m_zorder.begin(), m_zorder.end(), window), m_zorder.end());
    if (m_foreground == window)
        m_foreground = 0;
}

SimDesktopWindows::Window* SimDesktopWindows::Find(WindowId window) {
    const auto it = m_windows.find(window);
    return it == m_windows.end() ? nullptr : &it->second;
}

void SimDesktopWindows::Raise(WindowId window) {
    const Window* w = Find(window);
    if (!w)
        return;
    m_zorder.erase(std::remove(m_zorder.begin(), m_zorder.end(), window), m_zorder.end());
    auto at = m_zorder.begin();
    if (!w->topmost) {
        // Below every always-on-top window.
        while (at != m_zorder.end() && Find(*at)->topmost)
            ++at;
    }
    m_zorder.insert(at, window);
}

void SimDesktopWindows::RemoveMonitor(std::size_t index) {
    if (index == 0 || index >= m_monitors.size())
        return;
    const Rect gone = m_monitors[index];
    const Rect primary = m_monitors.front();
    for (auto& [id, w] : m_windows) {
        if (MonitorIndexOf(w.rect) != index)
            continue;
        const int dx = primary.left - gone.left;
        const int dy = primary.top - gone.top;
        w.rect = Rect{w.rect.left + dx, w.rect.top + dy, w.rect.right + dx, w.rect.bottom + dy};
    }
    m_monitors.erase(m_monitors.begin() + static_cast<std::ptrdiff_t>(index));
    if (index < m_monitorDpi.size())
        m_monitorDpi.erase(m_monitorDpi.begin() + static_cast<std::ptrdiff_t>(index));
}

void SimDesktopWindows::Query(WindowId window) {
    if (m_beforeQuery)
        m_beforeQuery(window);
}

WindowId SimDesktopWindows::ForegroundWindow() {
    Query(0);
    return Find(m_foreground) ? m_foreground : 0;
}

WindowId SimDesktopWindows::FindWindowByClass(const AnsiString& className) {
    Query(0);
    for (const WindowId id : m_zorder)
        if (Find(id)->className == className)
            return id;
    return 0;
}

bool SimDesktopWindows::GetWindowRect(WindowId window, Rect& rect) {
    Query(window);
    const Window* w = Find(window);
    if (!w)
        return false;
    rect = w->rect;
    return true;
}

AnsiString SimDesktopWindows::WindowTitle(WindowId window) {
    Query(window);
    const Window* w = Find(window);
    return w ? w->title : AnsiString();
}

AnsiString SimDesktopWindows::WindowClass(WindowId window) {
    Query(window);
    const Window* w = Find(window);
    return w ? w->className : AnsiString();
}

bool SimDesktopWindows::IsVisible(WindowId window) {
    Query(window);
    const Window* w = Find(window);
    return w && w->visible;
}

bool SimDesktopWindows::IsMinimized(WindowId window) {
    Query(window);
    const Window* w = Find(window);
    return w && w->minimized;
}

Rect SimDesktopWindows::MonitorRect(WindowId window) {
    Query(window);
    if (m_monitors.empty())
        return Rect{0, 0, 1024, 768};
    return m_monitors[MonitorIndex(window)];
}

Rect SimDesktopWindows::MonitorRectOf(const Rect& rect) {
    if (m_monitors.empty())
        return Rect{0, 0, 1024, 768};
    return m_monitors[MonitorIndexOf(rect)];
}

int SimDesktopWindows::MonitorDpi(WindowId window) {
    const std::size_t i = m_monitors.empty() ? 0 : MonitorIndex(window);
    return i < m_monitorDpi.size() ? m_monitorDpi[i] : 96;
}

std::size_t SimDesktopWindows::MonitorIndex(WindowId window) {
    const Window* w = Find(window);
    return w ? MonitorIndexOf(w->rect) : 0;
}

std::size_t SimDesktopWindows::MonitorIndexOf(const Rect& rect) const {
    // The monitor the rectangle overlaps most; with no overlap the nearest; ties go to the first.
    std::size_t best = 0;
    long long bestArea = -1;
    for (std::size_t i = 0; i < m_monitors.size(); ++i) {
        const long long area = OverlapArea(rect, m_monitors[i]);
        if (area > bestArea) {
            best = i;
            bestArea = area;
        }
    }
    if (bestArea > 0)
        return best;
    long long bestGap = -1;
    for (std::size_t i = 0; i < m_monitors.size(); ++i) {
        const long long gap = GapSquared(rect, m_monitors[i]);
        if (bestGap < 0 || gap < bestGap) {
            best = i;
            bestGap = gap;
        }
    }
    return best;
}

bool SimDesktopWindows::GetVisibleFrame(WindowId window, Rect& rect) {
    Query(window);
    const Window* w = Find(window);
    if (!m_hasCompositor || !w)
        return false;
    rect = w->frame.IsEmpty() ? w->rect : w->frame;
    return true;
}

bool SimDesktopWindows::IsCloaked(WindowId window) {
    Query(window);
    const Window* w = Find(window);
    return m_hasCompositor && w && w->cloaked;
}

WindowId SimDesktopWindows::WindowBelow(WindowId window) {
    Query(window);
    const auto it = std::find(m_zorder.begin(), m_zorder.end(), window);
    if (it == m_zorder.end() || it + 1 == m_zorder.end())
        return 0;
    return *(it + 1);
}

void SimDesktopWindows::BringToTop(WindowId window) {
    m_calls.push_back("BringToTop " + std::to_string(window));
    if (!Find(window))
        return;
    Raise(window);
    m_foreground = window;
}

void SimDesktopWindows::SetWindowPos(WindowId window, InsertAfter after, int x, int y, int cx, int cy,
                                     unsigned flags) {
    m_calls.push_back("SetWindowPos " + std::to_string(window) + " " + InsertAfterName(after) + " " +
                      std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(cx) + "x" +
                      std::to_string(cy) + " " + Hex(flags, 2));
    Window* w = Find(window);
    if (!w)
        return;
    Rect& r = w->rect;
    if (!(flags & swp::kNoMove))
        r = Rect{x, y, x + r.Width(), y + r.Height()};
    if (!(flags & swp::kNoSize))
        r = Rect{r.left, r.top, r.left + cx, r.top + cy};
    if (!(flags & swp::kNoZOrder)) {
        switch (after) {
        case InsertAfter::Topmost:
            w->topmost = true;
            Raise(window);
            break;
        case InsertAfter::NoTopmost:
            w->topmost = false;
            Raise(window);
            break;
        case InsertAfter::Top:
            Raise(window);
            break;
        case InsertAfter::Bottom:
            w->topmost = false;
            m_zorder.erase(std::remove(m_zorder.begin(), m_zorder.end(), window), m_zorder.end());
            m_zorder.push_back(window);
            break;
        }
    }
    if (flags & swp::kShowWindow)
        w->visible = true;
    if (flags & swp::kHideWindow)
        w->visible = false;
    if (!(flags & swp::kNoActivate) && w->visible)
        m_foreground = window;
    if (m_afterSetWindowPos)
        m_afterSetWindowPos(window);
}

void SimDesktopWindows::HideWindow(WindowId window) {
    m_calls.push_back("Hide " + std::to_string(window));
    if (Window* w = Find(window))
        w->visible = false;
}

void SimDesktopWindows::PostTrack(WindowId window) {
    m_calls.push_back("PostTrack " + std::to_string(window));
}

void SimDesktopWindows::PostClose(WindowId window) {
    m_calls.push_back("PostClose " + std::to_string(window));
    m_closePosted.push_back(window);
}

void SimDesktopWindows::AddLayeredStyle(WindowId window) {
    m_calls.push_back("Layered " + std::to_string(window));
    if (Window* w = Find(window))
        w->layered = true;
}

bool SimDesktopWindows::SetLayeredAttributes(WindowId window, Color key, BYTE alpha, DWORD flags) {
    if (!m_hasLayeredAttributes)
        return false;
    m_calls.push_back("LayeredAttributes " + std::to_string(window) + " key=" + Hex(key, 6) +
                      " alpha=" + std::to_string(alpha) + " flags=" + std::to_string(flags));
    // As on Windows, the attributes only take on a window that has the layered style.
    Window* w = Find(window);
    if (w && w->layered) {
        w->hasAttributes = true;
        w->key = key;
        w->alpha = alpha;
        w->layeredFlags = flags;
    }
    return true;
}

} // namespace kp::sim
