// A window shape as a plain value: a set of pixels kept as rectangles in bands, the way GDI keeps
// its regions. The core computes every shape with it (mask cells, the colour-key area) and the
// platform only turns the final rectangles into its own region or fills them.
#pragma once

#include "platform/Types.h"

#include <cstddef>
#include <vector>

namespace kp {

// A horizontal run of pixels [left, right) inside one band.
struct Span {
    int left = 0;
    int right = 0;
    friend bool operator==(const Span& a, const Span& b) { return a.left == b.left && a.right == b.right; }
};

// The rectangles are kept in one canonical form, so that two regions covering the same pixels
// compare equal and have the same rectangle list:
//  - bands of rows [top, bottom), sorted from the top, never overlapping;
//  - inside a band, spans sorted from the left, neither overlapping nor touching;
//  - two touching bands never hold the same spans (they are one band).
// That is also the order and form of GDI's own region data, so the list can be handed to
// ExtCreateRegion unchanged.
class RectRegion {
public:
    RectRegion() = default;
    // One rectangle (nothing when it is empty).
    explicit RectRegion(const Rect& r);

    bool IsEmpty() const { return m_bands.empty(); }
    // The rectangles, band by band from the top, left to right within a band.
    std::vector<Rect> Rects() const;
    std::size_t RectCount() const { return m_spans.size(); }
    // The smallest rectangle holding every pixel; empty for an empty region.
    Rect Bounds() const;
    bool Contains(int x, int y) const;

    // Set operations, each giving a canonical region.
    static RectRegion Union(const RectRegion& a, const RectRegion& b);
    static RectRegion Difference(const RectRegion& a, const RectRegion& b);
    static RectRegion Intersection(const RectRegion& a, const RectRegion& b);

    // Building row by row from the top: appends the band [top, bottom) with sorted, disjoint
    // spans. Bands must come in order (top at or below the previous bottom); a band with the
    // same spans as a touching previous band extends it. Spans that touch are merged; empty
    // spans are dropped. Out-of-order bands are ignored.
    void AppendBand(int top, int bottom, const std::vector<Span>& spans);

    friend bool operator==(const RectRegion& a, const RectRegion& b) {
        return a.m_bands == b.m_bands && a.m_spans == b.m_spans;
    }
    friend bool operator!=(const RectRegion& a, const RectRegion& b) { return !(a == b); }

private:
    struct Band {
        int top = 0;
        int bottom = 0;
        std::size_t first = 0; // index of its first span in m_spans
        std::size_t count = 0;
        friend bool operator==(const Band& a, const Band& b) {
            return a.top == b.top && a.bottom == b.bottom && a.first == b.first && a.count == b.count;
        }
    };
    enum class Op { Union, Difference, Intersection };
    static RectRegion Combine(const RectRegion& a, const RectRegion& b, Op op);
    void AppendBandSpans(int top, int bottom, const Span* spans, std::size_t n);

    std::vector<Band> m_bands;
    std::vector<Span> m_spans;
};

} // namespace kp
