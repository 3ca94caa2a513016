// The random source: reproducible under a frozen clock, RandomRange's edges
// and the colour pick's floor.
#include <algorithm>
#include <climits>
#include <ctime>

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

TEST(WallClock, UnixSecondsCountsAsTheCRuntimesTimeDoes)
{
    struct Case {
        WORD year, month, day, hour, minute, second;
        uint32_t seconds;  // days * 86400 + the time of day, counted apart from the code
    };
    const Case cases[] = {
        {1970, 1, 1, 0, 0, 0, 0u},
        {1970, 1, 2, 0, 0, 1, 86401u},
        {1970, 3, 1, 0, 0, 0, 59u * 86400},                  // after a February of 28 days
        {1972, 3, 1, 0, 0, 0, (2 * 365 + 60u) * 86400},      // after 29 February 1972
        {1999, 12, 31, 23, 59, 59, 946684799u},
        {2000, 2, 29, 12, 0, 0, 951825600u},                 // 2000 divides by 400: a leap year
        {2000, 3, 1, 0, 0, 0, 951868800u},
        {2038, 1, 19, 3, 14, 8, 0x80000000u},                // past a signed 32-bit count
        {2100, 3, 1, 0, 0, 0, 4107542400u},                  // 2100 is no leap year
        {2106, 2, 7, 6, 28, 15, 0xFFFFFFFFu},                // the last second it can count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":"
                                        << c.minute << ":" << c.second);
        SYSTEMTIME t = {};
        t.wYear = c.year;
        t.wMonth = c.month;
        t.wDay = c.day;
        t.wHour = c.hour;
        t.wMinute = c.minute;
        t.wSecond = c.second;
        t.wMilliseconds = 999;  // never rounds up
        EXPECT_EQ(UnixSeconds(t), c.seconds);
    }
}

TEST(WallClock, ReadsTheSameSecondsAsTheCRuntime)
{
    // The two clocks are read a moment apart: at most a second's tick
    // between them.
    const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
    const uint32_t ours = WallClockSeconds();
    const uint32_t after = static_cast<uint32_t>(std::time(nullptr));
    EXPECT_GE(ours, before);
    EXPECT_LE(ours, after);
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
