#include "win32/Win32Gdi.h"

#include <vector>

namespace kp::win32 {

namespace {
GdiCounts g_counts;
} // namespace

const wchar_t kGdiBalanceMessageName[] = L"Kelpo32.GdiObjectBalance";

GdiCounts GdiObjectCounts() {
    return g_counts;
}

long GdiObjectBalance() {
    return g_counts.Balance();
}

namespace gdicount {

void NoteCreated(HGDIOBJ h) {
    if (h)
        ++g_counts.created;
}

bool Delete(HGDIOBJ h) {
    if (!h || !DeleteObject(h))
        return false;
    // Windows refuses to delete an object still selected into a DC; Wine reports success but
    // keeps it until it is deselected. Either way it lives on, and is no deletion.
    if (GetObjectType(h) != 0)
        return false;
    ++g_counts.deleted;
    return true;
}

void NoteHandedOver() {
    ++g_counts.handedOver;
}

} // namespace gdicount

MemoryDc::MemoryDc(HDC reference) : m_dc(CreateCompatibleDC(reference)) {
    gdicount::NoteCreated(m_dc);
}

MemoryDc::~MemoryDc() {
    if (m_dc && DeleteDC(m_dc))
        ++g_counts.deleted;
}

GdiRegion CreateGdiRegion(const RectRegion& region) {
    const std::vector<Rect> rects = region.Rects();
    if (rects.empty())
        return GdiRegion(CreateRectRgn(0, 0, 0, 0));
    // The rectangles are already in GDI's own banded order.
    std::vector<BYTE> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* rd = reinterpret_cast<RGNDATA*>(data.data());
    rd->rdh.dwSize = sizeof(RGNDATAHEADER);
    rd->rdh.iType = RDH_RECTANGLES;
    rd->rdh.nCount = static_cast<::DWORD>(rects.size());
    rd->rdh.nRgnSize = static_cast<::DWORD>(rects.size() * sizeof(RECT));
    const Rect bounds = region.Bounds();
    rd->rdh.rcBound = RECT{bounds.left, bounds.top, bounds.right, bounds.bottom};
    auto* out = reinterpret_cast<RECT*>(rd->Buffer);
    for (std::size_t i = 0; i < rects.size(); ++i)
        out[i] = RECT{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom};
    if (GdiRegion rgn{ExtCreateRegion(nullptr, static_cast<::DWORD>(data.size()), rd)})
        return rgn;
    // Some systems refuse very long rectangle lists: combine them one by one instead.
    GdiRegion rgn{CreateRectRgn(0, 0, 0, 0)};
    if (!rgn)
        return rgn;
    for (const Rect& r : rects) {
        const GdiRegion part{CreateRectRgn(r.left, r.top, r.right, r.bottom)};
        if (part)
            CombineRgn(rgn.Get(), rgn.Get(), part.Get(), RGN_OR);
    }
    return rgn;
}

} // namespace kp::win32
