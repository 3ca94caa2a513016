// The desktop overlay: its drifting offsets, the tiles it lays, and what the
// AND leaves on the frame.
#include "unit/animation_fixture.h"

namespace {

class OverlayMotion : public ::testing::Test {
protected:
    void SetUp() override { UseScreen(800, 600); }
};

TEST_F(OverlayMotion, VerticalOffsetBouncesWithAPeriodOf2HPlus2)
{
    Overlay overlay;
    ResetOverlay(overlay);
    // 1, 2, ..., H, H - 1, ..., 0, -1, then 0 again.
    std::vector<int> expected;
    for (int v = 1; v <= 600; ++v)
        expected.push_back(v);
    for (int v = 599; v >= -1; --v)
        expected.push_back(v);
    expected.push_back(0);
    ASSERT_EQ(expected.size(), 2u * 600 + 2);
    for (size_t tick = 0; tick < expected.size(); ++tick) {
        SCOPED_TRACE(tick);
        StepOverlay(overlay);
        ASSERT_EQ(overlay.verticalOffset, expected[tick]);
    }
    EXPECT_EQ(overlay.verticalStep, 1);
}

TEST_F(OverlayMotion, HorizontalOffsetWrapsAfterWTicks)
{
    Overlay overlay;
    ResetOverlay(overlay);
    for (int tick = 1; tick < 800; ++tick) {
        StepOverlay(overlay);
        ASSERT_EQ(overlay.horizontalOffset, tick);
    }
    StepOverlay(overlay);
    EXPECT_EQ(overlay.horizontalOffset, 0);
}

TEST_F(OverlayMotion, TilesCoverTheFrame)
{
    struct Case {
        const char* name;
        int horizontal;  // offsets before the step
        int vertical;
        int step;
        std::vector<POINT> tiles;
    } cases[] = {
        {"at rest: one tile", 799, -1, 1, {{0, 0}}},
        {"scrolled: one row, two columns", 9, -1, 1, {{-10, 0}, {790, 0}}},
        {"slid: two rows, one column", 799, 4, 1, {{0, -5}, {0, 595}}},
        {"both: four tiles", 9, 4, 1, {{-10, -5}, {790, -5}, {-10, 595}, {790, 595}}},
        {"bottom turn: first row wholly above", 799, 599, 1, {{0, -600}, {0, 0}}},
        {"top turn: top row left out", 799, 0, -1, {{0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Overlay overlay = {c.horizontal, c.vertical, 0, 0, c.step};
        const OverlayTiles tiles = StepOverlay(overlay);
        ASSERT_EQ(static_cast<size_t>(tiles.count), c.tiles.size());
        for (int i = 0; i < tiles.count; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(tiles.at[i].x, c.tiles[i].x);
            EXPECT_EQ(tiles.at[i].y, c.tiles[i].y);
        }
    }
}

// Over a whole period the tiles, each a W x H copy of the snapshot, cover
// every pixel of the frame exactly once, but for the top row at the top
// turn, which none covers; and none lies wholly off the frame but the row
// wholly above it at the bottom turn.
TEST_F(OverlayMotion, TilesCoverEveryPixelOnceOverAFullPeriod)
{
    Overlay overlay;
    ResetOverlay(overlay);
    std::vector<int> columns, rows = {0, 1, 2, 598, 599};
    for (int x = 0; x < 800; x += 7)
        columns.push_back(x);
    columns.push_back(799);
    for (int y = 3; y < 598; y += 11)
        rows.push_back(y);
    for (int tick = 0; tick < 2 * 600 + 2; ++tick) {
        SCOPED_TRACE(tick);
        const OverlayTiles tiles = StepOverlay(overlay);
        ASSERT_GE(tiles.count, 1);
        for (int i = 0; i < tiles.count; ++i) {
            const RECT tile = {tiles.at[i].x, tiles.at[i].y, tiles.at[i].x + 800, tiles.at[i].y + 600};
            const RECT frame = {0, 0, 800, 600};
            RECT both;
            const bool above = tile.bottom == 0 && overlay.verticalOffset == 600;
            ASSERT_EQ(IntersectRect(&both, &tile, &frame) != FALSE, !above) << "tile " << i;
        }
        for (int y : rows) {
            for (int x : columns) {
                int covering = 0;
                for (int i = 0; i < tiles.count; ++i) {
                    const POINT& t = tiles.at[i];
                    covering += x >= t.x && x < t.x + 800 && y >= t.y && y < t.y + 600 ? 1 : 0;
                }
                const bool leftOut = y == 0 && overlay.verticalOffset == -1;
                ASSERT_EQ(covering, leftOut ? 0 : 1) << x << "," << y;
            }
        }
    }
}

class OverlayPixels : public SceneTest {};

TEST_F(OverlayPixels, TheAndShowsTheSnapshotUnderTheTilingOffset)
{
    Build(Standard, 1);
    struct Case {
        const char* name;
        Overlay before;
    } cases[] = {
        {"unscrolled", {799, -1, 0, 0, 1}},
        {"scrolled and slid", {122, 40, 0, 0, 1}},
        {"bottom turn", {0, 599, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PatBlt(gScene.frame.dc, 0, 0, 800, 600, WHITENESS);
        Overlay overlay = c.before;
        LayOverlay(StepOverlay(overlay));
        const int h = overlay.horizontalOffset;
        const int v = overlay.verticalOffset;
        const Pixels frame = Frame();
        for (int y = 0; y < 600; y += 7) {
            for (int x = 0; x < 800; x += 5) {
                ASSERT_EQ(frame.at(x, y), snapshot_.at((x + h) % 800, (y + v) % 600)) << x << "," << y;
            }
        }
    }
}

TEST_F(OverlayPixels, AtTheTopTurnTheTopRowIsLeftUnfiltered)
{
    Build(Standard, 1);
    PatBlt(gScene.snapshot.dc, 0, 0, 800, 600, BLACKNESS);
    PatBlt(gScene.frame.dc, 0, 0, 800, 600, WHITENESS);
    Overlay overlay = {0, 0, 0, 0, -1};
    LayOverlay(StepOverlay(overlay));
    ASSERT_EQ(overlay.verticalOffset, -1);
    const Pixels frame = Frame();
    for (int x = 0; x < 800; ++x) {
        ASSERT_EQ(frame.at(x, 0), RGB(255, 255, 255)) << x;
        ASSERT_EQ(frame.at(x, 1), 0u) << x;
        ASSERT_EQ(frame.at(x, 599), 0u) << x;
    }
}

} // namespace
