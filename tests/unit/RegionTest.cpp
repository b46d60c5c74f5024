#include "platform/Region.h"

#include <gtest/gtest.h>

#include <vector>

namespace kp {
namespace {

using Rects = std::vector<Rect>;

RectRegion Of(const Rects& rects) {
    RectRegion r;
    for (const Rect& rc : rects)
        r = RectRegion::Union(r, RectRegion(rc));
    return r;
}

TEST(RectRegion, SetOperationsGiveCanonicalBands) {
    enum Op { Or, Diff, And };
    struct Case {
        const char* what;
        Rects a;
        Rects b;
        Op op;
        Rects expected;
    };
    const Case cases[] = {
        {"overlapping union splits into bands",
         {{0, 0, 4, 4}},
         {{2, 2, 6, 6}},
         Or,
         {{0, 0, 4, 2}, {0, 2, 6, 4}, {2, 4, 6, 6}}},
        {"side by side touching rects merge", {{0, 0, 2, 3}}, {{2, 0, 5, 3}}, Or, {{0, 0, 5, 3}}},
        {"stacked equal rects merge", {{1, 0, 4, 2}}, {{1, 2, 4, 5}}, Or, {{1, 0, 4, 5}}},
        {"a hole cut from the middle",
         {{0, 0, 10, 10}},
         {{2, 3, 5, 6}},
         Diff,
         {{0, 0, 10, 3}, {0, 3, 2, 6}, {5, 3, 10, 6}, {0, 6, 10, 10}}},
        {"difference with nothing left", {{1, 1, 3, 3}}, {{0, 0, 5, 5}}, Diff, {}},
        {"difference with a disjoint rect", {{0, 0, 2, 2}}, {{5, 5, 6, 6}}, Diff, {{0, 0, 2, 2}}},
        {"intersection", {{0, 0, 4, 4}}, {{2, 2, 6, 6}}, And, {{2, 2, 4, 4}}},
        {"empty operands", {}, {}, Or, {}},
    };
    for (const Case& c : cases) {
        const RectRegion a = Of(c.a), b = Of(c.b);
        const RectRegion r = c.op == Or     ? RectRegion::Union(a, b)
                             : c.op == Diff ? RectRegion::Difference(a, b)
                                            : RectRegion::Intersection(a, b);
        EXPECT_EQ(r.Rects(), c.expected) << c.what;
        EXPECT_EQ(r.IsEmpty(), c.expected.empty()) << c.what;
    }
}

TEST(RectRegion, AppendBandMergesTouchingSpansAndEqualRows) {
    RectRegion r;
    r.AppendBand(0, 1, {{0, 2}, {2, 4}, {6, 6}}); // touching spans join; the empty one goes
    r.AppendBand(1, 2, {{0, 4}});                 // same spans as the row above: one band
    r.AppendBand(3, 4, {{1, 2}});                 // a gap row in between
    r.AppendBand(2, 3, {{9, 10}});                // out of order: ignored
    EXPECT_EQ(r.Rects(), (Rects{{0, 0, 4, 2}, {1, 3, 2, 4}}));
    // The same pixels built another way compare equal.
    EXPECT_EQ(r, Of({{1, 3, 2, 4}, {2, 0, 4, 2}, {0, 0, 2, 1}, {0, 1, 3, 2}}));
}

TEST(RectRegion, ContainsAndBounds) {
    const RectRegion r = RectRegion::Difference(RectRegion(Rect{0, 0, 10, 10}), RectRegion(Rect{2, 2, 8, 8}));
    EXPECT_TRUE(r.Contains(0, 0));
    EXPECT_TRUE(r.Contains(9, 5));
    EXPECT_FALSE(r.Contains(5, 5));
    EXPECT_FALSE(r.Contains(10, 0)); // right and bottom are exclusive
    EXPECT_FALSE(r.Contains(0, 10));
    EXPECT_EQ(r.Bounds(), (Rect{0, 0, 10, 10}));
    EXPECT_EQ(RectRegion().Bounds(), Rect{});
    EXPECT_TRUE(RectRegion(Rect{3, 3, 3, 9}).IsEmpty());
}

} // namespace
} // namespace kp
