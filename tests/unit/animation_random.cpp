// The random source: reproducible under a frozen clock, RandomRange's edges
// and the colour pick's floor.
#include <algorithm>
#include <climits>

#include "unit/animation_fixture.h"

namespace {

class RandomTest : public FrozenRandomTest {};

uint32_t gClockValue = 0;
uint32_t SettableClock()
{
    return gClockValue;
}

TEST_F(RandomTest, FirstValuesFromStateZeroUnderAFrozenClock)
{
    // Worked out by hand from the six steps with the clock at 1700000000,
    // independently of the code under test.
    const uint32_t expected[] = {0xAAD95B07u, 0xAAE3316Du, 0xCFFA4535u, 0x2D374194u, 0x882DE1D4u};
    for (size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<uint32_t>(NextRandom()), expected[i]);
        EXPECT_EQ(gRandomState, expected[i]);
    }
}

TEST_F(RandomTest, TheClockIsReadAtEveryStep)
{
    gPlatform.clock = SettableClock;
    gClockValue = 1000;
    const uint32_t first = static_cast<uint32_t>(NextRandom());
    gRandomState = 0;
    gClockValue = 1001;
    const uint32_t other = static_cast<uint32_t>(NextRandom());
    // One second more is subtracted, then multiplied by the constant.
    EXPECT_EQ(first - other, 2438571u);
}

TEST_F(RandomTest, RandomRangeEdges)
{
    struct Case {
        const char* name;
        int32_t lo, hi;
        bool steps;  // whether the generator advances
    };
    const Case cases[] = {
        {"single value", 5, 5, true},
        {"empty range", 10, 3, false},
        {"empty by one", 0, -1, false},
        {"around zero", -10, 10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 200; ++i) {
            const uint32_t before = gRandomState;
            const int32_t r = RandomRange(c.lo, c.hi);
            if (c.hi < c.lo) {
                EXPECT_EQ(r, c.lo);
            } else {
                EXPECT_GE(r, c.lo);
                EXPECT_LE(r, c.hi);
            }
            EXPECT_EQ(gRandomState != before, c.steps);
        }
    }
}

TEST_F(RandomTest, AroundZeroCoversEveryValueZeroIncluded)
{
    bool seen[21] = {};
    for (int i = 0; i < 2000; ++i)
        seen[RandomRange(-10, 10) + 10] = true;
    for (int v = -10; v <= 10; ++v) {
        SCOPED_TRACE(v);
        EXPECT_TRUE(seen[v + 10]);
    }
}

TEST_F(RandomTest, TheWholeRangeReturnsTheRawWord)
{
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        const uint32_t state = gRandomState;
        const int32_t r = RandomRange(INT_MIN, INT_MAX);
        gRandomState = state;
        EXPECT_EQ(r, NextRandom());
    }
}

TEST_F(RandomTest, RangesWithRejectionStayUniformAndInBounds)
{
    // n = 2^31 + 1: nearly half of all words are rejected and drawn again.
    for (int i = 0; i < 1000; ++i) {
        const int32_t r = RandomRange(-1, INT_MAX);
        ASSERT_GE(r, -1);
    }
    int counts[3] = {};
    for (int i = 0; i < 30000; ++i)
        ++counts[RandomRange(0, 2)];
    for (int v = 0; v < 3; ++v) {
        SCOPED_TRACE(v);
        EXPECT_NEAR(counts[v], 10000, 600);
    }
}

TEST_F(RandomTest, ShapeColoursAreNeverNearlyBlack)
{
    int lowest = 765;
    for (int i = 0; i < 20000; ++i) {
        const COLORREF c = PickShapeColor();
        ASSERT_EQ(c >> 24, 0u);
        lowest = std::min(lowest, GetRValue(c) + GetGValue(c) + GetBValue(c));
    }
    EXPECT_GE(lowest, MinShapeColorSum);
    // Close to the floor: the pick draws again, it does not brighten.
    EXPECT_LT(lowest, 110);
}

} // namespace
