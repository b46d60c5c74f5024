#include "platform/Region.h"

#include <algorithm>

namespace kp {

RectRegion::RectRegion(const Rect& r) {
    if (!r.IsEmpty()) {
        const Span s{r.left, r.right};
        AppendBandSpans(r.top, r.bottom, &s, 1);
    }
}

std::vector<Rect> RectRegion::Rects() const {
    std::vector<Rect> rects;
    rects.reserve(m_spans.size());
    for (const Band& b : m_bands)
        for (std::size_t i = 0; i < b.count; ++i) {
            const Span& s = m_spans[b.first + i];
            rects.push_back(Rect{s.left, b.top, s.right, b.bottom});
        }
    return rects;
}

Rect RectRegion::Bounds() const {
    if (m_bands.empty())
        return Rect{};
    Rect r{m_spans.front().left, m_bands.front().top, m_spans.front().right, m_bands.back().bottom};
    for (const Band& b : m_bands) {
        r.left = std::min(r.left, m_spans[b.first].left);
        r.right = std::max(r.right, m_spans[b.first + b.count - 1].right);
    }
    return r;
}

bool RectRegion::Contains(int x, int y) const {
    const auto band = std::upper_bound(m_bands.begin(), m_bands.end(), y,
                                       [](int v, const Band& b) { return v < b.bottom; });
    if (band == m_bands.end() || y < band->top)
        return false;
    const Span* first = m_spans.data() + band->first;
    const Span* last = first + band->count;
    const Span* s = std::upper_bound(first, last, x, [](int v, const Span& sp) { return v < sp.right; });
    return s != last && x >= s->left;
}

void RectRegion::AppendBand(int top, int bottom, const std::vector<Span>& spans) {
    AppendBandSpans(top, bottom, spans.data(), spans.size());
}

void RectRegion::AppendBandSpans(int top, int bottom, const Span* spans, std::size_t n) {
    if (bottom <= top || (!m_bands.empty() && top < m_bands.back().bottom))
        return;
    // Normalise into the tail of m_spans: drop empty spans, merge touching or overlapping ones,
    // ignore spans out of order.
    const std::size_t first = m_spans.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Span& s = spans[i];
        if (s.right <= s.left)
            continue;
        if (m_spans.size() > first) {
            Span& last = m_spans.back();
            if (s.left < last.left)
                continue;
            if (s.left <= last.right) {
                last.right = std::max(last.right, s.right);
                continue;
            }
        }
        m_spans.push_back(s);
    }
    const std::size_t count = m_spans.size() - first;
    if (count == 0)
        return;
    if (!m_bands.empty()) {
        Band& prev = m_bands.back();
        if (prev.bottom == top && prev.count == count &&
            std::equal(m_spans.begin() + static_cast<std::ptrdiff_t>(prev.first),
                       m_spans.begin() + static_cast<std::ptrdiff_t>(prev.first + prev.count),
                       m_spans.begin() + static_cast<std::ptrdiff_t>(first))) {
            prev.bottom = bottom;
            m_spans.resize(first);
            return;
        }
    }
    m_bands.push_back(Band{top, bottom, first, count});
}

namespace {

// The spans of one band of a region, or none where the region has no band.
struct BandCursor {
    const Span* spans = nullptr;
    std::size_t count = 0;
};

template <typename InFn>
void CombineSpans(const BandCursor& a, const BandCursor& b, InFn in, std::vector<Span>& out) {
    out.clear();
    std::vector<int> xs;
    xs.reserve(2 * (a.count + b.count));
    for (std::size_t i = 0; i < a.count; ++i)
        xs.insert(xs.end(), {a.spans[i].left, a.spans[i].right});
    for (std::size_t i = 0; i < b.count; ++i)
        xs.insert(xs.end(), {b.spans[i].left, b.spans[i].right});
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::size_t i = 0, j = 0;
    for (std::size_t k = 0; k + 1 < xs.size(); ++k) {
        const int x0 = xs[k];
        const int x1 = xs[k + 1];
        while (i < a.count && a.spans[i].right <= x0)
            ++i;
        while (j < b.count && b.spans[j].right <= x0)
            ++j;
        const bool inA = i < a.count && a.spans[i].left <= x0;
        const bool inB = j < b.count && b.spans[j].left <= x0;
        if (!in(inA, inB))
            continue;
        if (!out.empty() && out.back().right == x0)
            out.back().right = x1;
        else
            out.push_back(Span{x0, x1});
    }
}

} // namespace

RectRegion RectRegion::Combine(const RectRegion& a, const RectRegion& b, Op op) {
    std::vector<int> ys;
    ys.reserve(2 * (a.m_bands.size() + b.m_bands.size()));
    for (const Band& band : a.m_bands)
        ys.insert(ys.end(), {band.top, band.bottom});
    for (const Band& band : b.m_bands)
        ys.insert(ys.end(), {band.top, band.bottom});
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    const auto in = [op](bool inA, bool inB) {
        switch (op) {
        case Op::Union:
            return inA || inB;
        case Op::Difference:
            return inA && !inB;
        case Op::Intersection:
            return inA && inB;
        }
        return false;
    };
    const auto cursor = [](const RectRegion& r, std::size_t& i, int y) {
        while (i < r.m_bands.size() && r.m_bands[i].bottom <= y)
            ++i;
        if (i < r.m_bands.size() && r.m_bands[i].top <= y)
            return BandCursor{r.m_spans.data() + r.m_bands[i].first, r.m_bands[i].count};
        return BandCursor{};
    };

    RectRegion result;
    std::vector<Span> spans;
    std::size_t ia = 0, ib = 0;
    for (std::size_t k = 0; k + 1 < ys.size(); ++k) {
        const int y0 = ys[k];
        const BandCursor ca = cursor(a, ia, y0);
        const BandCursor cb = cursor(b, ib, y0);
        if (!ca.count && !cb.count)
            continue;
        CombineSpans(ca, cb, in, spans);
        result.AppendBandSpans(y0, ys[k + 1], spans.data(), spans.size());
    }
    return result;
}

RectRegion RectRegion::Union(const RectRegion& a, const RectRegion& b) {
    return Combine(a, b, Op::Union);
}
RectRegion RectRegion::Difference(const RectRegion& a, const RectRegion& b) {
    return Combine(a, b, Op::Difference);
}
RectRegion RectRegion::Intersection(const RectRegion& a, const RectRegion& b) {
    return Combine(a, b, Op::Intersection);
}

} // namespace kp
