// The rectangle the full-screen saver covers, chosen from the system's screen
// metrics alone: every monitor where the system knows a virtual screen, the
// primary screen at (0, 0) where it does not (Windows 95, NT 4.0).
#include <gtest/gtest.h>

#include "shell/shell.h"

namespace {

struct AreaCase {
    const char* name;
    ScreenMetrics metrics;  // virtual left, top, width, height; primary width, height
    RECT expected;
};

const AreaCase AreaCases[] = {
    // A second monitor left of the primary: the virtual screen, and so the
    // window, starts at a negative x.
    {"two monitors, primary on the right", {-800, 0, 1600, 600, 800, 600}, {-800, 0, 800, 600}},
    {"two monitors, primary on the left", {0, 0, 1600, 600, 800, 600}, {0, 0, 1600, 600}},
    // A smaller monitor above and to the right of the primary: the box
    // around both, starting above the primary.
    {"stacked, the second above", {0, -1024, 1920, 2104, 1920, 1080}, {0, -1024, 1920, 1080}},
    {"stacked, the second below and left", {-200, 0, 1480, 1792, 1280, 768}, {-200, 0, 1280, 1792}},
    {"one monitor", {0, 0, 1024, 768, 1024, 768}, {0, 0, 1024, 768}},
    // GetSystemMetrics answers 0 for metrics the system does not know.
    {"no virtual screen (Windows 95, NT 4.0)", {0, 0, 0, 0, 640, 480}, {0, 0, 640, 480}},
};

TEST(SaverScreenArea, CoversEveryMonitorOrThePrimaryScreen)
{
    for (const AreaCase& c : AreaCases) {
        SCOPED_TRACE(c.name);
        const RECT area = SaverScreenArea(c.metrics);
        EXPECT_EQ(area.left, c.expected.left);
        EXPECT_EQ(area.top, c.expected.top);
        EXPECT_EQ(area.right, c.expected.right);
        EXPECT_EQ(area.bottom, c.expected.bottom);
    }
}

// The awareness a thread states for its windows: the system's own handles
// for the three awarenesses (DPI_AWARENESS_CONTEXT_UNAWARE -1,
// _SYSTEM_AWARE -2, _PER_MONITOR_AWARE -3), nothing for what is none of
// them (DPI_AWARENESS_INVALID -1, or a value from a newer system).
TEST(DpiContextForAwareness, StatesOnlyTheThreeAwarenesses)
{
    const struct {
        int awareness;
        INT_PTR context;
    } cases[] = {{0, -1}, {1, -2}, {2, -3}, {-1, 0}, {3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.awareness);
        EXPECT_EQ(DpiContextForAwareness(c.awareness), c.context);
    }
}

} // namespace
