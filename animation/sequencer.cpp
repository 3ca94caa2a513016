// The frame sequencer: one tick of the scene. First the curtain (black
// outlines from three interleaved inset series closing in over the
// snapshot), then for good the running frame: the shapes pair by pair on
// black with the snapshot ANDed over them, written within the damage from
// runs or drawn with GDI as the frame's plan says, and the wave of active
// pairs.
#include "animation/damage.h"
#include "animation/scene.h"
#include "animation/spans.h"

namespace {

// The curtain's three inset series. Series a: insets 0, 4, 8, ...; b: 2,
// 6, 10, ... (twice per tick once it runs); c: 1, 3, 5, ... (three times
// per tick). Together every inset up to half the height gets an outline.
// A series ends its phase once it passes the height over its divisor.
struct InsetSeries {
    int start, step, times, limitDivisor;
};
constexpr InsetSeries CurtainSeries[3] = {{0, 4, 1, 4}, {2, 4, 2, 4}, {1, 2, 3, 2}};

int& SeriesInset(int s)
{
    return s == 0 ? gScene.insetA : s == 1 ? gScene.insetB : gScene.insetC;
}

} // namespace

void StartCurtain()
{
    for (int s = 0; s < 3; ++s)
        SeriesInset(s) = CurtainSeries[s].start;
    gScene.active = 1;
    gScene.phase = 1;
}

int AdvanceCurtain(int insets[7])
{
    // Phase p draws the first p series, and ends when the newest one passes
    // its limit.
    int drawn = 0;
    for (int s = 0; s < gScene.phase; ++s) {
        int& inset = SeriesInset(s);
        for (int k = 0; k < CurtainSeries[s].times; ++k, inset += CurtainSeries[s].step)
            insets[drawn++] = inset;
    }
    const int newest = gScene.phase - 1;
    if (SeriesInset(newest) > gScene.height / CurtainSeries[newest].limitDivisor)
        gScene.phase = gScene.phase == 3 ? RunningPhase : gScene.phase + 1;
    return drawn;
}

void UpdateWave()
{
    const Ball& last = *gScene.balls[gScene.active - 1];
    if (gScene.wave == Wave::Growing && gScene.active < gScene.count && last.x >= gScene.width - last.size) {
        ++gScene.active;
        if (gScene.active == gScene.count)
            gScene.wave = Wave::Shrinking;
    } else if (gScene.wave == Wave::Shrinking && gScene.active > 1 && last.x <= -last.size) {
        --gScene.active;
        InitSquare(*gScene.squares[gScene.active]);
        if (gScene.active == 1) {
            gScene.wave = Wave::Growing;
            InitSquare(*gScene.squares[0]);
        }
    }
}

namespace {

// The black outline, without filling, at inset k.
void OutlineInset(int k)
{
    // Past half the height the corners swap; GDI draws such a rectangle as
    // if they were ordered.
    Rectangle(gScene.frame.dc, k, k, gScene.width - k, gScene.height - k);
}

// Black outlines at the insets the curtain reached.
void DrawCurtain(const int insets[], int count)
{
    HDC frame = gScene.frame.dc;
    for (int i = 0; i < count; ++i)
        OutlineInset(insets[i]);
    if (gScene.phase == RunningPhase) {
        // From now on shapes are filled; the brush the curtain used is the
        // hollow one that colourful drawing goes back to after each shape.
        gScene.hollowBrush = static_cast<HBRUSH>(SelectObject(frame, GetStockObject(WHITE_BRUSH)));
    }
}

TickResult CurtainTick(HWND window)
{
    int insets[7];
    const int count = AdvanceCurtain(insets);
    DrawCurtain(insets, count);
    const DamageRects changed = CurtainDamage(insets, count, gScene.tick.rects);
    PresentChanges(window, changed);
    return TickResult{changed.wholeFrame ? FramePath::GdiWhole : FramePath::GdiDamage, changed};
}

// Every active pair's motion first, recording what each draws: no drawing
// takes a random number, so the sequence is the one of moving and drawing
// pair by pair.
ShapeBoxes MoveShapes()
{
    ShapeBoxes shapes;
    shapes.pairs = gScene.active;
    for (int i = 0; i < gScene.active; ++i) {
        Ball& ball = *gScene.balls[i];
        const bool wasReturning = ball.returning;
        shapes.balls[i] = MoveBall(ball);
        shapes.hollow[i] = IsColorful() && wasReturning && !ball.returning;
        MoveSquare(*gScene.squares[i], shapes.squares[i]);
    }
    return shapes;
}

// Whether any of box lies within clip (none: the whole frame).
bool Visible(const RECT& box, HRGN clip)
{
    if (clip)
        return RectInRegion(clip, &box) != FALSE;
    const RECT frame = {0, 0, gScene.width, gScene.height};
    RECT both;
    return IntersectRect(&both, &box, &frame) != FALSE;
}

// Clear, shapes pair by pair, the overlay: GDI within clip (none: the whole
// frame). A shape wholly outside the clip is not drawn: GDI would change no
// pixel, yet it traces a ball's whole outline first (balls that have sunk
// below the floor cost as much as visible ones).
void DrawFrameWithGdi(const ShapeBoxes& shapes, const OverlayTiles& tiles, HRGN clip)
{
    SelectClipRgn(gScene.frame.dc, clip);
    PatBlt(gScene.frame.dc, 0, 0, gScene.width, gScene.height, BLACKNESS);
    for (int i = 0; i < shapes.pairs; ++i) {
        if (Visible(shapes.balls[i], clip))
            DrawBall(*gScene.balls[i], shapes.balls[i], shapes.hollow[i]);
        const RECT* steps = shapes.squares[i];
        RECT trail;
        UnionRect(&trail, &steps[0], &steps[1]);
        UnionRect(&trail, &trail, &steps[2]);
        if (Visible(trail, clip))
            DrawSquare(*gScene.squares[i], steps);
    }
    LayOverlay(tiles);
    SelectClipRgn(gScene.frame.dc, nullptr);
}

// What the next tick's damage starts from: what this one drew.
void RecordFrame(const ShapeBoxes& shapes, TickMemory& tick)
{
    tick.drawn = shapes;
    tick.haveDrawn = true;
}

TickResult RunningTick(HWND window)
{
    TickMemory& memory = gScene.tick;
    const ShapeBoxes shapes = MoveShapes();
    const OverlayTiles tiles = StepOverlay(*gScene.overlay);
    const DamageRects damage =
        FindDamage(memory.haveDrawn ? &memory.drawn : nullptr, shapes, memory.grid, memory.rects);
    const PreparedRuns prepared = PrepareRuns(shapes, memory.spans, memory.ballRuns);
    FramePlan plan = ChoosePath(damage, shapes.pairs, prepared.ready);
    if (plan.path == FramePath::Spans)
        WriteSpanFrame(prepared, plan.changed, memory.spans);
    else
        DrawFrameWithGdi(shapes, tiles, plan.clip);
    DeleteSceneRegion(plan.clip);
    RecordFrame(shapes, memory);
    UpdateWave();
    PresentChanges(window, plan.changed);
    return TickResult{plan.path, plan.changed};
}

} // namespace

void RedrawCurtain()
{
    // Each series has drawn every inset from its start, in its steps, up to
    // the one it stands at now (a series that has not begun stands at its
    // start).
    for (int s = 0; s < 3; ++s) {
        for (int k = CurtainSeries[s].start; k < SeriesInset(s); k += CurtainSeries[s].step)
            OutlineInset(k);
    }
}

TickResult TickScene(HWND window)
{
    // A blank scene changes nothing.
    if (SceneIsBlank())
        return TickResult{FramePath::GdiDamage, DamageRects{false, nullptr, 0, 0}};
    return gScene.phase == RunningPhase ? RunningTick(window) : CurtainTick(window);
}

TickResult TickSceneWholeFrame()
{
    // The curtain has one way only.
    if (SceneIsBlank() || gScene.phase != RunningPhase)
        return TickScene();
    const ShapeBoxes shapes = MoveShapes();
    const OverlayTiles tiles = StepOverlay(*gScene.overlay);
    PatBlt(gScene.frame.dc, 0, 0, gScene.width, gScene.height, BLACKNESS);
    for (int i = 0; i < shapes.pairs; ++i) {
        DrawBall(*gScene.balls[i], shapes.balls[i], shapes.hollow[i]);
        DrawSquare(*gScene.squares[i], shapes.squares[i]);
    }
    LayOverlay(tiles);
    RecordFrame(shapes, gScene.tick);
    UpdateWave();
    return TickResult{FramePath::GdiWhole, DamageRects{true, nullptr, 0, 0}};
}
