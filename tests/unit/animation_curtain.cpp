// The curtain: its three phases and the insets they outline, checked as
// numbers and as pixels of a real frame buffer.
#include <set>

#include "unit/animation_fixture.h"

namespace {

struct CurtainRun {
    int phaseTicks[4] = {};  // ticks spent in phases 1, 2, 3
    int ticks = 0;
    int lastA = -1;
    int lastB = -1;
    std::set<int> insets;
};

CurtainRun RunCurtain(int height)
{
    UseScreen(height * 4 / 3, height);
    gScene.phase = 1;
    gScene.insetA = 0;
    gScene.insetB = 2;
    gScene.insetC = 1;
    CurtainRun run;
    while (gScene.phase != RunningPhase && run.ticks < 10000) {
        const int phase = gScene.phase;
        ++run.phaseTicks[phase];
        ++run.ticks;
        const int aBefore = gScene.insetA;
        const int bBefore = gScene.insetB;
        int insets[7];
        const int drawn = AdvanceCurtain(insets);
        run.insets.insert(insets, insets + drawn);
        run.lastA = aBefore;
        if (phase >= 2)
            run.lastB = bBefore + 4;
        // a once, then b twice from phase 2, then c three times in phase 3.
        EXPECT_EQ(drawn, phase == 1 ? 1 : phase == 2 ? 3 : 6);
    }
    return run;
}

TEST(Curtain, PhasesAtHeight600)
{
    const CurtainRun run = RunCurtain(600);
    EXPECT_EQ(run.phaseTicks[1], 38);
    EXPECT_EQ(run.phaseTicks[2], 19);
    EXPECT_EQ(run.phaseTicks[3], 50);
    EXPECT_EQ(run.ticks, 107);
    EXPECT_EQ(run.lastA, 424);
    EXPECT_EQ(run.lastB, 550);
    EXPECT_GT(gScene.insetC, 300);
}

TEST(Curtain, EveryInsetUpToHalfTheHeightIsOutlined)
{
    for (int height : {600, 768, 601, 2160}) {
        SCOPED_TRACE(height);
        const CurtainRun run = RunCurtain(height);
        for (int k = 0; k <= height / 2; ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(run.insets.count(k), 1u);
        }
    }
}

class CurtainPixels : public SceneTest {};

TEST_F(CurtainPixels, ClosesInOverTheSnapshotWithoutClearingIt)
{
    Build(Standard, 3);
    Pixels before = Frame();
    ASSERT_EQ(before.values, snapshot_.values);
    int ticks = 0;
    while (gScene.phase != RunningPhase) {
        SCOPED_TRACE(ticks);
        TickScene();
        ++ticks;
        const Pixels now = Frame();
        size_t blackened = 0;
        size_t wrong = 0;
        for (size_t i = 0; i < now.values.size(); ++i) {
            // A pixel is either still the snapshot or turned black, and
            // black stays black: outlines accumulate.
            if (now.values[i] == before.values[i])
                continue;
            if (now.values[i] == 0 && before.values[i] == snapshot_.values[i])
                ++blackened;
            else
                ++wrong;
        }
        ASSERT_EQ(wrong, 0u);
        ASSERT_GT(blackened, 0u);
        before = now;
    }
    EXPECT_EQ(ticks, 107);
    // Every inset from each edge to the middle is outlined: all black.
    for (size_t i = 0; i < before.values.size(); ++i)
        ASSERT_EQ(before.values[i], 0u) << "pixel " << i % 800 << "," << i / 800;
    // The end of the curtain selects the white brush for the shapes and
    // keeps the hollow one it replaced.
    EXPECT_EQ(GetCurrentObject(gScene.frame.dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(gScene.hollowBrush, GetStockObject(NULL_BRUSH));
}

TEST_F(CurtainPixels, FirstTickOutlinesTheScreenEdge)
{
    Build(Standard, 1);
    TickScene();
    const Pixels frame = Frame();
    struct Probe {
        const char* name;
        int x, y;
        bool black;
    } probes[] = {
        {"top-left", 0, 0, true},          {"top edge", 400, 0, true},   {"bottom edge", 400, 599, true},
        {"left edge", 0, 300, true},       {"right edge", 799, 300, true}, {"just inside", 1, 1, false},
        {"middle", 400, 300, false},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(frame.at(p.x, p.y) == 0, p.black);
        if (!p.black) {
            EXPECT_EQ(frame.at(p.x, p.y), snapshot_.at(p.x, p.y));
        }
    }
}

} // namespace
