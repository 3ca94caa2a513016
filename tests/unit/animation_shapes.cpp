// Balls and squares: births, motion, the bounce and squash, the right-edge
// clamp, the strict rebirth test, and the squares' three sub-steps.
#include <vector>

#include "unit/animation_fixture.h"

namespace {

class Shapes : public FrozenRandomTest {
protected:
    void SetUp() override
    {
        FrozenRandomTest::SetUp();
        UseScreen(800, 600);
    }
};

Ball NewBall(int size, int speed)
{
    return Ball{-size, speed, -size, 0, 0, size, nullptr, 0};
}

bool IsSquash(const RECT& box, const Ball& ball)
{
    return box.left == ball.x && box.right == ball.x + ball.size && box.top == gScene.height - ball.size / 2 &&
           box.bottom == gScene.height;
}

TEST_F(Shapes, ABallIsBornOutsideTheTopLeftCorner)
{
    for (int i = 0; i < 20000; ++i) {
        Ball ball = {};
        InitBall(ball);
        ASSERT_GE(ball.size, 75);
        ASSERT_LE(ball.size, 200);
        ASSERT_GE(ball.speed, 10);
        ASSERT_LE(ball.speed, 25);
        ASSERT_EQ(ball.x, -ball.size);
        ASSERT_EQ(ball.y, -ball.size);
        ASSERT_EQ(ball.vy, 0);
        ASSERT_EQ(ball.returning, 0);
        ASSERT_EQ(ball.brush, nullptr) << "standard mode owns no brush";
    }
}

TEST_F(Shapes, BallSizesSpanAnEighthToAThirdOfTheHeight)
{
    int smallest = 10000;
    int largest = 0;
    for (int i = 0; i < 20000; ++i) {
        Ball ball = {};
        InitBall(ball);
        smallest = std::min(smallest, ball.size);
        largest = std::max(largest, ball.size);
    }
    EXPECT_EQ(smallest, 75);
    EXPECT_EQ(largest, 200);
}

TEST_F(Shapes, FirstStepFallsBySix)
{
    Ball ball = NewBall(100, 10);
    const RECT box = MoveBall(ball);
    EXPECT_EQ(ball.vy, 6);
    EXPECT_EQ(ball.y, -100 + 6);
    EXPECT_EQ(ball.x, -90);
    EXPECT_EQ(box.left, -90);
    EXPECT_EQ(box.top, -94);
    EXPECT_EQ(box.right, 10);
    EXPECT_EQ(box.bottom, 6);
}

TEST_F(Shapes, LandingSpeedsDieDownBySix)
{
    struct Case {
        int height;
        int size;
        std::vector<int> speeds;
    } cases[] = {
        {600, 75, {84, 78, 72}},
        {600, 200, {84, 78, 72}},
        {768, 96, {96, 90, 84}},
        {768, 256, {96, 90, 84}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "H=" << c.height << " size=" << c.size);
        // Wide enough that the right edge is never reached.
        UseScreen(1000000, c.height);
        Ball ball = NewBall(c.size, 10);
        std::vector<int> landings;
        for (int tick = 0; tick < 200 && landings.size() < c.speeds.size(); ++tick) {
            const Ball before = ball;
            const RECT box = MoveBall(ball);
            const bool bounced = ball.vy < 0 && before.vy + Gravity > 0;
            EXPECT_EQ(IsSquash(box, ball), bounced) << "tick " << tick;
            if (bounced) {
                landings.push_back(-ball.vy);
                // Only the velocity turns; the ball stays below the floor
                // line this tick.
                EXPECT_EQ(ball.y, before.y + before.vy + Gravity);
            }
        }
        EXPECT_EQ(landings, c.speeds);
    }
}

TEST_F(Shapes, TheSquashSitsOnTheFloorForOneTick)
{
    Ball ball = NewBall(101, 10);
    RECT box = {};
    int tick = 0;
    while (!IsSquash(box, ball) && tick < 100) {
        box = MoveBall(ball);
        ++tick;
    }
    ASSERT_EQ(tick, 14);
    // Half as tall (101 / 2 = 50) and as wide as the ball, on the bottom edge.
    EXPECT_EQ(box.bottom - box.top, 50);
    EXPECT_EQ(box.right - box.left, 101);
    box = MoveBall(ball);
    EXPECT_FALSE(IsSquash(box, ball));
    EXPECT_EQ(box.bottom - box.top, 101);
}

TEST_F(Shapes, AtRestTheBallAlternatesSquashAndFullBall)
{
    UseScreen(1000000, 600);
    Ball ball = NewBall(100, 10);
    for (int tick = 0; tick < 400; ++tick)
        MoveBall(ball);
    bool squashes[4];
    for (bool& squash : squashes) {
        const RECT box = MoveBall(ball);
        squash = IsSquash(box, ball);
    }
    EXPECT_NE(squashes[0], squashes[1]);
    EXPECT_EQ(squashes[0], squashes[2]);
    EXPECT_EQ(squashes[1], squashes[3]);
}

TEST_F(Shapes, RightEdgeClampsAndSpeedsUp)
{
    struct Case {
        const char* name;
        int x;
        int returning;
        int expectX;
        int expectReturning;
        int expectSpeed;
    } cases[] = {
        {"overshoot is clamped", 800 - 100 - 5, 0, 700, 1, 13},
        {"exactly at the edge is no hit", 800 - 100 - 12, 0, 700, 0, 12},
        {"short of the edge", 500, 0, 512, 0, 12},
        {"moving left goes on", 700, 1, 688, 1, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Ball ball = {c.x, 12, 100, 0, c.returning, 100, nullptr, 0};
        MoveBall(ball);
        EXPECT_EQ(ball.x, c.expectX);
        EXPECT_EQ(ball.returning, c.expectReturning);
        EXPECT_EQ(ball.speed, c.expectSpeed);
    }
}

TEST_F(Shapes, RebirthNeedsToBeStrictlyBeyondTheLeftEdge)
{
    Ball ball = {-100 + 15, 15, 300, 0, 1, 100, nullptr, 0};
    MoveBall(ball);
    // Exactly at -size: still the same ball, still returning.
    EXPECT_EQ(ball.x, -100);
    EXPECT_EQ(ball.returning, 1);
    EXPECT_EQ(ball.size, 100);
    EXPECT_EQ(ball.speed, 15);
    MoveBall(ball);
    // Reborn at once; the rest of the step runs on the new ball.
    EXPECT_EQ(ball.returning, 0);
    EXPECT_EQ(ball.x, -ball.size);
    EXPECT_EQ(ball.vy, 6);
    EXPECT_EQ(ball.y, -ball.size + 6);
    EXPECT_GE(ball.speed, 10);
    EXPECT_LE(ball.speed, 25);
}

TEST_F(Shapes, SquaresAreBornAwayFromTheRightAndBottomEdges)
{
    for (int i = 0; i < 20000; ++i) {
        Square square = {};
        InitSquare(square);
        ASSERT_GE(square.size, 16);
        ASSERT_LE(square.size, 32);
        ASSERT_GE(square.x, 0);
        ASSERT_LE(square.x, 800 - 2 * square.size);
        ASSERT_GE(square.y, 0);
        ASSERT_LE(square.y, 600 - 2 * square.size);
        ASSERT_NE(square.vx, 0);
        ASSERT_GE(square.vx, -10);
        ASSERT_LE(square.vx, 10);
        ASSERT_GE(square.vy, 2);
        ASSERT_LE(square.vy, 10);
    }
}

TEST_F(Shapes, SquareSubSteps)
{
    struct Case {
        const char* name;
        Square start;
        int lefts[3];
        int tops[3];
        Square end;
    } cases[] = {
        {"three steps of ten", {100, 10, 100, 2, 20, nullptr, 0}, {100, 110, 120}, {100, 102, 104},
         {130, 10, 106, 2, 20, nullptr, 0}},
        {"right edge flips in the same sub-step", {780, 5, 100, 2, 20, nullptr, 0}, {780, 775, 770}, {100, 102, 104},
         {765, -5, 106, 2, 20, nullptr, 0}},
        {"overshoot is not corrected", {777, 10, 100, 2, 20, nullptr, 0}, {777, 787, 777}, {100, 102, 104},
         {767, -10, 106, 2, 20, nullptr, 0}},
        {"left edge", {3, -7, 100, 2, 20, nullptr, 0}, {3, -4, 3}, {100, 102, 104}, {10, 7, 106, 2, 20, nullptr, 0}},
        {"bottom edge", {100, 1, 575, 6, 20, nullptr, 0}, {100, 101, 102}, {575, 581, 575},
         {103, 1, 569, -6, 20, nullptr, 0}},
        {"top edge", {100, 1, 2, -4, 20, nullptr, 0}, {100, 101, 102}, {2, -2, 2}, {103, 1, 6, 4, 20, nullptr, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Square square = c.start;
        RECT boxes[3];
        MoveSquare(square, boxes);
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(boxes[i].left, c.lefts[i]);
            EXPECT_EQ(boxes[i].top, c.tops[i]);
            EXPECT_EQ(boxes[i].right - boxes[i].left, c.start.size);
            EXPECT_EQ(boxes[i].bottom - boxes[i].top, c.start.size);
        }
        EXPECT_EQ(square.x, c.end.x);
        EXPECT_EQ(square.vx, c.end.vx);
        EXPECT_EQ(square.y, c.end.y);
        EXPECT_EQ(square.vy, c.end.vy);
    }
}

TEST_F(Shapes, SquaresStayNearTheScreen)
{
    // Over a long run a square never strays more than one step outside.
    Square square = {};
    InitSquare(square);
    for (int tick = 0; tick < 20000; ++tick) {
        RECT boxes[3];
        MoveSquare(square, boxes);
        for (const RECT& box : boxes) {
            ASSERT_GT(box.left, -10);
            ASSERT_LT(box.right, 800 + 10);
            ASSERT_GT(box.top, -10);
            ASSERT_LT(box.bottom, 600 + 10);
        }
    }
}

} // namespace
