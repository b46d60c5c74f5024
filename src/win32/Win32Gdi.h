// Owners of GDI objects, and the count of what the program holds. Every GDI object Kelpo32
// makes goes through these wrappers: each owns exactly one handle and deletes it when it is
// destroyed or replaced. Wine has no GetGuiResources, so the wrappers count their own creations,
// deletions and hand-overs (a region given to SetWindowRgn belongs to the window from then on),
// and the running program answers a registered window message with the balance.
#pragma once

#include "platform/Region.h"

#include <windows.h>

#include <utility>

namespace kp::win32 {

struct GdiCounts {
    long created = 0;
    long deleted = 0;
    long handedOver = 0;
    // What the program holds now. A DeleteObject that fails (an object still selected into a DC)
    // is not counted as a deletion, so a leak of that kind shows here too.
    long Balance() const { return created - deleted - handedOver; }
};

// Since the start of the process. The program has one user-interface thread; nothing else
// touches GDI.
GdiCounts GdiObjectCounts();
long GdiObjectBalance();

// The registered window message that the character window answers with GdiObjectBalance().
extern const wchar_t kGdiBalanceMessageName[];

namespace gdicount {
void NoteCreated(HGDIOBJ h); // counts only a non-null handle
bool Delete(HGDIOBJ h);      // DeleteObject, counted when it succeeds
void NoteHandedOver();
} // namespace gdicount

// Sole owner of one GDI object (a pen, brush, font, bitmap, region or palette).
template <class H> class GdiObject {
public:
    GdiObject() = default;
    // Takes a freshly made handle (null allowed: then it holds nothing).
    explicit GdiObject(H h) : m_h(h) { gdicount::NoteCreated(m_h); }
    ~GdiObject() { Reset(); }
    GdiObject(GdiObject&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) {
            Reset();
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    H Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    // Deletes the object held, if any. It must not be selected into a DC any more.
    void Reset() {
        if (m_h)
            gdicount::Delete(m_h);
        m_h = nullptr;
    }
    // Gives the object to an owner outside the program (SetWindowRgn) and forgets it.
    H HandOver() {
        if (m_h)
            gdicount::NoteHandedOver();
        return std::exchange(m_h, nullptr);
    }

private:
    H m_h = nullptr;
};

using GdiBitmap = GdiObject<HBITMAP>;
using GdiBrush = GdiObject<HBRUSH>;
using GdiFont = GdiObject<HFONT>;
using GdiPalette = GdiObject<HPALETTE>;
using GdiRegion = GdiObject<HRGN>;

// Sole owner of a memory device context (CreateCompatibleDC / DeleteDC), counted like the rest.
class MemoryDc {
public:
    // Compatible with `reference`; null: with the screen.
    explicit MemoryDc(HDC reference);
    ~MemoryDc();
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return m_dc; }

private:
    HDC m_dc = nullptr;
};

// A region holding exactly the region's pixels (an empty one for an empty region), made with one
// ExtCreateRegion from the banded rectangles. Holds nothing only when GDI cannot make one.
GdiRegion CreateGdiRegion(const RectRegion& region);

} // namespace kp::win32
