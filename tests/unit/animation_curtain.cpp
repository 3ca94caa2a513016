// The curtain: its three phases and the insets they outline, checked as
// numbers and as pixels of a real frame buffer.
#include <set>
#include <vector>

#include "unit/animation_fixture.h"

namespace {

// What a curtain from its start draws at a screen height. Each tick draws
// series a once, then from phase 2 series b twice, then in phase 3 series c
// three times, in that order, so the insets' places tell their series.
struct CurtainRun {
    int phaseTicks[4] = {};  // ticks spent in phases 1, 2, 3
    int ticks = 0;
    std::vector<int> phaseOneInsets;  // what a drew in phase 1
    int aAfterPhaseOne = -1;
    int lastA = -1;  // the last insets a and b drew
    int lastB = -1;
    std::set<int> insets;
};

CurtainRun RunCurtain(int height)
{
    UseScreen(height * 4 / 3, height);
    StartCurtain();
    CurtainRun run;
    while (gScene.phase != RunningPhase && run.ticks < 10000) {
        const int phase = gScene.phase;
        ++run.phaseTicks[phase];
        ++run.ticks;
        int insets[7];
        const int drawn = AdvanceCurtain(insets);
        const int drawnInPhase[4] = {0, 1, 1 + 2, 1 + 2 + 3};
        EXPECT_EQ(drawn, drawnInPhase[phase]) << "phase " << phase;
        run.insets.insert(insets, insets + drawn);
        run.lastA = insets[0];
        if (drawn >= 3)
            run.lastB = insets[2];
        if (phase == 1)
            run.phaseOneInsets.push_back(insets[0]);
        if (phase == 1 && gScene.phase != 1)
            run.aAfterPhaseOne = gScene.insetA;
    }
    return run;
}

TEST(Curtain, StartsAtPhaseOneWithInsetsZeroTwoAndOne)
{
    UseScreen(800, 600);
    gScene.phase = RunningPhase;
    gScene.active = 7;
    StartCurtain();
    EXPECT_EQ(gScene.phase, 1);
    EXPECT_EQ(gScene.insetA, 0);
    EXPECT_EQ(gScene.insetB, 2);
    EXPECT_EQ(gScene.insetC, 1);
    EXPECT_EQ(gScene.active, 1);
}

// The design's figures at H = 600.
TEST(Curtain, PhasesAtHeight600)
{
    const CurtainRun run = RunCurtain(600);
    std::vector<int> aSteps;
    for (int a = 0; a <= 148; a += 4)
        aSteps.push_back(a);
    EXPECT_EQ(run.phaseOneInsets, aSteps);
    const struct {
        const char* name;
        int value, want;
    } figures[] = {
        {"ticks of phase 1", run.phaseTicks[1], 38},
        {"a when phase 1 ends", run.aAfterPhaseOne, 152},
        {"ticks of phase 2", run.phaseTicks[2], 19},
        {"ticks of phase 3", run.phaseTicks[3], 50},
        {"ticks of the whole curtain", run.ticks, 107},
        {"the last inset a drew", run.lastA, 424},
        {"the last inset b drew", run.lastB, 550},
    };
    for (const auto& f : figures) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.value, f.want);
    }
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
