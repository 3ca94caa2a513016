// Running frames in real memory surfaces: what every pixel may be in either
// colour mode, over one monitor and over two, and the wave of active pairs.
#include <vector>

#include "shell/shell.h"
#include "unit/animation_fixture.h"

namespace {

class RunningFrames : public SceneTest {
protected:
    COLORREF SnapshotUnder(int x, int y) const
    {
        const Overlay& o = *gScene.overlay;
        return snapshot_.at((x + o.horizontalOffset) % gScene.width, (y + o.verticalOffset) % gScene.height);
    }

    static COLORREF BrushColor(HBRUSH brush)
    {
        LOGBRUSH info = {};
        GetObjectA(brush, sizeof info, &info);
        return info.lbColor;
    }

    // Checks every pixel of the frame; returns how many show the desktop.
    size_t CheckFrame(const std::vector<COLORREF>& colors)
    {
        const Pixels frame = Frame();
        EXPECT_GE(gScene.overlay->verticalOffset, 0) << "the top row is unfiltered at -1";
        size_t lit = 0;
        for (int y = 0; y < gScene.height; ++y) {
            for (int x = 0; x < gScene.width; ++x) {
                const COLORREF pixel = frame.at(x, y);
                if (pixel == 0)
                    continue;
                ++lit;
                const COLORREF under = SnapshotUnder(x, y);
                bool explained = false;
                for (COLORREF c : colors)
                    explained = explained || pixel == (c & under);
                if (!explained) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << pixel << " over "
                                  << under;
                    return lit;
                }
            }
        }
        return lit;
    }

    // The newest ball, drawn after every other ball: when it lies wholly on
    // the screen and its square is elsewhere, its middle shows the snapshot
    // through its colour and its leftmost point is its black outline.
    void CheckNewestBall(COLORREF color)
    {
        const Ball& ball = *gScene.balls[gScene.active - 1];
        const Square& square = *gScene.squares[gScene.active - 1];
        if (ball.x < 0 || ball.y < 0 || ball.x + ball.size > gScene.width || ball.y + ball.size > gScene.height)
            return;
        const int cx = ball.x + ball.size / 2;
        const int cy = ball.y + ball.size / 2;
        if (std::abs(square.x - cx) < 80 && std::abs(square.y - cy) < 80)
            return;
        const Pixels frame = Frame();
        EXPECT_EQ(frame.at(cx, cy), color & SnapshotUnder(cx, cy));
        EXPECT_EQ(frame.at(ball.x, cy), 0u);
        ++ballsChecked_;
    }

    int ballsChecked_ = 0;
};

TEST_F(RunningFrames, StandardModeShowsTheSnapshotOrBlack)
{
    Build(Standard, 4);
    FinishCurtain();
    size_t lit = 0;
    for (int tick = 0; tick < 400; ++tick) {
        TickScene();
        if (tick % 20 == 0) {
            SCOPED_TRACE(tick);
            lit += CheckFrame({RGB(255, 255, 255)});
            CheckNewestBall(RGB(255, 255, 255));
        }
    }
    EXPECT_GT(lit, 10000u);
    EXPECT_GT(ballsChecked_, 0);
}

TEST_F(RunningFrames, ColourfulModeTintsTheSnapshotByEachShapesColour)
{
    Build(Colorful, 4);
    FinishCurtain();
    size_t lit = 0;
    for (int tick = 0; tick < 400; ++tick) {
        TickScene();
        if (tick % 20 == 0) {
            SCOPED_TRACE(tick);
            std::vector<COLORREF> colors;
            for (int i = 0; i < gScene.active; ++i) {
                colors.push_back(BrushColor(gScene.balls[i]->brush));
                colors.push_back(BrushColor(gScene.squares[i]->brush));
            }
            lit += CheckFrame(colors);
            CheckNewestBall(BrushColor(gScene.balls[gScene.active - 1]->brush));
            // No shape brush stays selected between ticks (whichever path
            // drew: GDI puts the hollow one back, runs select nothing).
            const HGDIOBJ selected = GetCurrentObject(gScene.frame.dc, OBJ_BRUSH);
            EXPECT_TRUE(selected == GetStockObject(NULL_BRUSH) || selected == GetStockObject(WHITE_BRUSH));
        }
    }
    EXPECT_GT(lit, 10000u);
    EXPECT_GT(ballsChecked_, 0);
}

TEST_F(RunningFrames, ColourfulShapesGetANewBrushAtEveryRebirth)
{
    Build(Colorful, 1);
    FinishCurtain();
    const HBRUSH first = gScene.balls[0]->brush;
    // The first running tick makes the surface ball sizes are measured on.
    TickScene();
    const int live = LiveSceneGdiObjects();
    int rebirths = 0;
    for (int tick = 0; tick < 2000 && rebirths < 3; ++tick) {
        const HBRUSH before = gScene.balls[0]->brush;
        TickScene();
        if (gScene.balls[0]->brush != before) {
            ++rebirths;
            EXPECT_EQ(gScene.balls[0]->returning, 0);
            EXPECT_EQ(GetObjectType(gScene.balls[0]->brush), static_cast<DWORD>(OBJ_BRUSH));
        }
        ASSERT_EQ(LiveSceneGdiObjects(), live) << "the old brush is deleted";
    }
    EXPECT_EQ(rebirths, 3);
    EXPECT_NE(gScene.balls[0]->brush, first);
}

// Two monitors of 800 x 600, the primary on the right: the scene spans both,
// 1600 x 600, and the shapes must cover both while every pixel keeps the
// rules above.
TEST_F(RunningFrames, OverTwoMonitorsShapesRunOnBothAndShowTheSnapshot)
{
    const ScreenMetrics twoMonitors = {-800, 0, 1600, 600, 800, 600};
    const RECT area = SaverScreenArea(twoMonitors);
    for (int mode : {Standard, Colorful}) {
        SCOPED_TRACE(mode);
        Build(mode, 10, area.right - area.left, area.bottom - area.top);
        EXPECT_EQ(gScene.minBallSize, 75);
        EXPECT_EQ(gScene.maxBallSize, 200);
        FinishCurtain();
        size_t litLeft = 0;
        size_t litRight = 0;
        for (int tick = 0; tick < 400; ++tick) {
            TickScene();
            if (tick % 25 != 0)
                continue;
            SCOPED_TRACE(tick);
            std::vector<COLORREF> colors = {RGB(255, 255, 255)};
            if (mode == Colorful) {
                colors.clear();
                for (int i = 0; i < gScene.active; ++i) {
                    colors.push_back(BrushColor(gScene.balls[i]->brush));
                    colors.push_back(BrushColor(gScene.squares[i]->brush));
                }
            }
            CheckFrame(colors);
            const Pixels frame = Frame();
            for (int y = 0; y < frame.height; ++y) {
                for (int x = 0; x < frame.width; ++x) {
                    if (frame.at(x, y) != 0)
                        ++(x < 800 ? litLeft : litRight);
                }
            }
        }
        EXPECT_GT(litLeft, 10000u) << "shapes on the left monitor";
        EXPECT_GT(litRight, 10000u) << "shapes on the right monitor";
        Release();
    }
}

class WaveTest : public SceneTest {};

TEST_F(WaveTest, ASinglePairNeverChanges)
{
    Build(Standard, 1);
    FinishCurtain();
    const Square square = *gScene.squares[0];
    for (int tick = 0; tick < 3000; ++tick) {
        TickScene();
        ASSERT_EQ(gScene.active, 1);
        ASSERT_EQ(gScene.wave, Wave::Growing);
    }
    // Square 0 was only moved, never re-initialised: same size throughout.
    EXPECT_EQ(gScene.squares[0]->size, square.size);
}

TEST_F(WaveTest, TwoPairsJoinAtTheRightEdgeAndDropAtTheLeftExit)
{
    Build(Standard, 2);
    FinishCurtain();
    int joins = 0;
    int drops = 0;
    for (int tick = 0; tick < 5000 && (joins < 2 || drops < 2); ++tick) {
        SCOPED_TRACE(tick);
        // Predict the tick's motion on copies; the generator is put back so
        // that a rebirth in the prediction does not change the real tick.
        const int active = gScene.active;
        const Wave wave = gScene.wave;
        const uint32_t state = gRandomState;
        Ball newest = *gScene.balls[active - 1];
        MoveBall(newest);
        Square moved[2] = {*gScene.squares[0], *gScene.squares[1]};
        RECT boxes[3];
        for (int i = 0; i < active; ++i)
            MoveSquare(moved[i], boxes);
        gRandomState = state;

        TickScene();

        // The newest ball as the wave saw it (a rebirth in the real tick
        // may have drawn other sizes than the prediction).
        const Ball& real = *gScene.balls[active - 1];
        if (newest.returning || real.returning) {
            ASSERT_EQ(real.x, newest.x);
        }
        const bool atRight = real.x >= gScene.width - real.size;
        const bool leftGone = real.x <= -real.size;
        if (wave == Wave::Growing && atRight) {
            ++joins;
            // The joining tick is the tick of the clamp.
            EXPECT_EQ(real.x, gScene.width - real.size);
            EXPECT_EQ(real.returning, 1);
            EXPECT_EQ(gScene.active, 2);
            EXPECT_EQ(gScene.wave, Wave::Shrinking);
        } else if (wave == Wave::Shrinking && leftGone) {
            ++drops;
            EXPECT_EQ(gScene.active, 1);
            EXPECT_EQ(gScene.wave, Wave::Growing);
            // Both squares were re-initialised: a new square moves down.
            for (int i = 0; i < 2; ++i) {
                SCOPED_TRACE(i);
                EXPECT_GT(gScene.squares[i]->vy, 0);
                EXPECT_FALSE(gScene.squares[i]->x == moved[i].x && gScene.squares[i]->y == moved[i].y &&
                             gScene.squares[i]->size == moved[i].size);
            }
        } else {
            EXPECT_EQ(gScene.active, active);
            EXPECT_EQ(gScene.wave, wave);
            for (int i = 0; i < 2; ++i) {
                SCOPED_TRACE(i);
                EXPECT_EQ(gScene.squares[i]->x, moved[i].x);
                EXPECT_EQ(gScene.squares[i]->y, moved[i].y);
            }
        }
    }
    EXPECT_EQ(joins, 2);
    EXPECT_EQ(drops, 2);
}

TEST_F(WaveTest, RisesOneByOneToTheCountAndFallsBackToOne)
{
    Build(Standard, 5);
    FinishCurtain();
    std::vector<int> changes = {1};
    for (int tick = 0; tick < 20000 && changes.size() < 10; ++tick) {
        TickScene();
        if (gScene.active != changes.back()) {
            ASSERT_EQ(std::abs(gScene.active - changes.back()), 1) << "one pair per tick";
            changes.push_back(gScene.active);
        }
    }
    EXPECT_EQ(changes, (std::vector<int>{1, 2, 3, 4, 5, 4, 3, 2, 1, 2}));
}

} // namespace
