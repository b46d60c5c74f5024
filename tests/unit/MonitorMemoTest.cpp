// The remembered monitor of a window holds only while nothing that decides it has changed.
#include "platform/MonitorMemo.h"

#include <gtest/gtest.h>

namespace kp {
namespace {

TEST(MonitorMemo, HoldsOnlyForTheSameWindowRectangleStateAndDisplaysWithinASecond) {
    const Rect window{100, 200, 500, 400};
    const Rect monitor{0, 0, 1024, 768};
    struct Case {
        const char* what;
        WindowId id;
        Rect rect;
        bool minimized;
        DWORD now;
        unsigned displays;
        bool holds;
    };
    const DWORD kept = 0xFFFFFF00u; // close to the tick count's wrap
    const Case cases[] = {
        {"the same", 7, window, false, kept, 3, true},
        {"the same, 999 ms later across the wrap", 7, window, false, kept + 999, 3, true},
        {"a second later", 7, window, false, kept + 1000, 3, false},
        {"another window", 8, window, false, kept, 3, false},
        {"moved", 7, Rect{101, 200, 501, 400}, false, kept, 3, false},
        {"resized", 7, Rect{100, 200, 500, 401}, false, kept, 3, false},
        {"minimised", 7, window, true, kept, 3, false},
        {"the displays changed", 7, window, false, kept, 4, false},
    };
    MonitorMemo memo;
    Rect found;
    EXPECT_FALSE(memo.Find(7, window, false, kept, 3, found)); // nothing kept yet
    memo.Keep(7, window, false, kept, 3, monitor);
    for (const Case& c : cases) {
        found = Rect{};
        EXPECT_EQ(memo.Find(c.id, c.rect, c.minimized, c.now, c.displays, found), c.holds) << c.what;
        EXPECT_EQ(found, c.holds ? monitor : Rect{}) << c.what;
    }
}

} // namespace
} // namespace kp
