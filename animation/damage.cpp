// Damage tracking of the frame: the previous and current shape boxes, the
// cell grid they are marked on, the choice between the damaged part and the
// whole frame, the clips that leave out what later balls certainly fill,
// and the window's side (what is invalidated, what a paint copies).
#include "animation/damage.h"

#include <algorithm>
#include <cmath>

Damage gDamage = {};
bool gStraightforwardFrames = false;

namespace {

// Ellipse() rasterises inside its box; the slack of one and a half pixels
// around the ideal ellipse holds the outline and any rounding of GDI's
// own stepping.
constexpr double EllipseSlack = 1.5;
// How far inside the ideal ellipse a pixel must lie to be certainly filled
// with the brush rather than the one-pixel outline.
constexpr double FillMargin = 2.0;

} // namespace

void ClearGrid(DamageGrid& grid, int width, int height)
{
    grid.columns = (width + DamageCellSize - 1) / DamageCellSize;
    grid.rows = (height + DamageCellSize - 1) / DamageCellSize;
    grid.cells.assign(static_cast<size_t>(grid.columns) * grid.rows, 0);
}

namespace {

void MarkCells(DamageGrid& grid, int row, int left, int right, int width)
{
    left = std::max(left, 0);
    right = std::min(right, width);
    if (left >= right)
        return;
    unsigned char* cells = grid.cells.data() + static_cast<size_t>(row) * grid.columns;
    std::fill(cells + left / DamageCellSize, cells + (right - 1) / DamageCellSize + 1, 1);
}

} // namespace

void MarkRect(DamageGrid& grid, const RECT& rect, int width, int height)
{
    const int top = std::max<int>(rect.top, 0);
    const int bottom = std::min<int>(rect.bottom, height);
    for (int y = top; y < bottom; y = (y / DamageCellSize + 1) * DamageCellSize)
        MarkCells(grid, y / DamageCellSize, rect.left, rect.right, width);
}

bool EllipseRowSpan(const RECT& box, int top, int bottom, int& left, int& right)
{
    const double cx = (box.left + box.right) / 2.0;
    const double cy = (box.top + box.bottom) / 2.0;
    const double a = (box.right - box.left) / 2.0 + EllipseSlack;
    const double b = (box.bottom - box.top) / 2.0 + EllipseSlack;
    // The row of the band nearest the middle is the widest.
    const double nearest = std::clamp(cy, static_cast<double>(top), static_cast<double>(bottom));
    const double d = (nearest - cy) / b;
    if (d >= 1.0 || top >= bottom)
        return false;
    const double half = a * std::sqrt(1.0 - d * d);
    left = std::max<int>(box.left, static_cast<int>(std::floor(cx - half)));
    right = std::min<int>(box.right, static_cast<int>(std::ceil(cx + half)) + 1);
    return left < right;
}

void MarkEllipse(DamageGrid& grid, const RECT& box, int width, int height)
{
    const int top = std::max<int>(box.top, 0);
    const int bottom = std::min<int>(box.bottom, height);
    for (int y = top; y < bottom;) {
        const int next = std::min(bottom, (y / DamageCellSize + 1) * DamageCellSize);
        int left = 0;
        int right = 0;
        if (EllipseRowSpan(box, y, next, left, right))
            MarkCells(grid, y / DamageCellSize, left, right, width);
        y = next;
    }
}

long long GridRects(const DamageGrid& grid, int width, int height, std::vector<RECT>& rects)
{
    rects.clear();
    long long area = 0;
    size_t bandStart = 0;  // the rectangles of the band above, to extend
    for (int row = 0; row < grid.rows; ++row) {
        const unsigned char* cells = grid.cells.data() + static_cast<size_t>(row) * grid.columns;
        const int top = row * DamageCellSize;
        const int bottom = std::min(height, top + DamageCellSize);
        const size_t rowStart = rects.size();
        for (int c = 0; c < grid.columns;) {
            if (!cells[c]) {
                ++c;
                continue;
            }
            int end = c;
            while (end < grid.columns && cells[end])
                ++end;
            rects.push_back(RECT{c * DamageCellSize, top, std::min(width, end * DamageCellSize), bottom});
            c = end;
        }
        // A row with the same runs as the band above extends it.
        const size_t above = rowStart - bandStart;
        bool same = above > 0 && above == rects.size() - rowStart && rects[bandStart].bottom == top;
        for (size_t i = 0; same && i < above; ++i)
            same = rects[bandStart + i].left == rects[rowStart + i].left &&
                   rects[bandStart + i].right == rects[rowStart + i].right;
        if (same) {
            for (size_t i = 0; i < above; ++i)
                rects[bandStart + i].bottom = bottom;
            rects.resize(rowStart);
        } else {
            bandStart = rowStart;
        }
        for (size_t i = rowStart; i < rects.size(); ++i)
            area += static_cast<long long>(rects[i].right - rects[i].left) * (bottom - top);
        if (same) {
            for (size_t i = bandStart; i < rects.size(); ++i)
                area += static_cast<long long>(rects[i].right - rects[i].left) * (bottom - top);
        }
    }
    return area;
}

void MarkShapes(DamageGrid& grid, const ShapeBoxes& shapes, int width, int height)
{
    for (int i = 0; i < shapes.pairs; ++i) {
        MarkEllipse(grid, shapes.balls[i], width, height);
        for (const RECT& box : shapes.squares[i])
            MarkRect(grid, box, width, height);
    }
}

RECT CertainFill(const RECT& box)
{
    const double cx = (box.left + box.right) / 2.0;
    const double cy = (box.top + box.bottom) / 2.0;
    const double a = (box.right - box.left) / 2.0 - FillMargin;
    const double b = (box.bottom - box.top) / 2.0 - FillMargin;
    if (a <= 0 || b <= 0)
        return RECT{0, 0, 0, 0};
    // The rectangle inscribed in the ellipse shrunk by the margin: its
    // corners lie on that smaller ellipse.
    const double hx = a * 0.70710678;
    const double hy = b * 0.70710678;
    RECT fill = {static_cast<LONG>(std::ceil(cx - hx)), static_cast<LONG>(std::ceil(cy - hy)),
                 static_cast<LONG>(std::floor(cx + hx)), static_cast<LONG>(std::floor(cy + hy))};
    if (fill.left >= fill.right || fill.top >= fill.bottom)
        return RECT{0, 0, 0, 0};
    return fill;
}

bool WholeFrameIsCheaper(long long damagedArea, int pairs, int width, int height)
{
    return pairs >= WholeFrameFromPairs ||
           damagedArea * 100 > static_cast<long long>(WholeFramePercent) * width * height;
}

int CurtainEdges(const int insets[], int count, int width, int height, RECT edges[])
{
    int made = 0;
    for (int i = 0; i < count; ++i) {
        const int k = insets[i];
        // Corners past half the size swap; GDI orders them, so do we.
        const int left = std::min(k, width - k);
        const int right = std::max(k, width - k);
        const int top = std::min(k, height - k);
        const int bottom = std::max(k, height - k);
        // Bands three pixels deep around each side's line.
        edges[made++] = RECT{left - 1, top - 1, right + 1, top + 2};
        edges[made++] = RECT{left - 1, bottom - 2, right + 1, bottom + 1};
        edges[made++] = RECT{left - 1, top - 1, left + 2, bottom + 1};
        edges[made++] = RECT{right - 2, top - 1, right + 1, bottom + 1};
    }
    for (int i = 0; i < made; ++i) {
        edges[i].left = std::max<LONG>(edges[i].left, 0);
        edges[i].top = std::max<LONG>(edges[i].top, 0);
        edges[i].right = std::min<LONG>(edges[i].right, width);
        edges[i].bottom = std::min<LONG>(edges[i].bottom, height);
    }
    return made;
}

void ResetDamage()
{
    gDamage.havePrevious = false;
    gDamage.previous.pairs = 0;
    gDamage.current.pairs = 0;
    gDamage.wholeFrame = true;
    gDamage.rects.clear();
    gDamage.area = 0;
}

void ReleaseDamage()
{
    ResetDamage();
    // Gives the memory back: a later scene may be much smaller.
    std::vector<unsigned char>().swap(gDamage.grid.cells);
    std::vector<RECT>().swap(gDamage.rects);
}

HRGN PlanRunningFrame()
{
    const int width = gScene.width;
    const int height = gScene.height;
    ClearGrid(gDamage.grid, width, height);
    if (gDamage.havePrevious)
        MarkShapes(gDamage.grid, gDamage.previous, width, height);
    MarkShapes(gDamage.grid, gDamage.current, width, height);
    gDamage.area = GridRects(gDamage.grid, width, height, gDamage.rects);
    // The first running tick follows the curtain, whose picture is not
    // black outside the shapes.
    gDamage.wholeFrame =
        gStraightforwardFrames || !gDamage.havePrevious || WholeFrameIsCheaper(gDamage.area, gDamage.current.pairs, width, height);
    if (gDamage.wholeFrame)
        return nullptr;
    return CreateSceneRegion(gDamage.rects.data(), static_cast<int>(gDamage.rects.size()));
}

bool PlanPairClips(HRGN frameClip, HRGN clips[])
{
    const ShapeBoxes& shapes = gDamage.current;
    if (gStraightforwardFrames || shapes.pairs < SkipCoveredFromPairs || gScene.minBallSize < SkipCoveredFromBallSize)
        return false;
    const RECT whole = {0, 0, gScene.width, gScene.height};
    HRGN covered = CreateSceneRegion(nullptr, 0);
    HRGN fill = CreateSceneRegion(nullptr, 0);
    // From the last pair back: each pair's clip leaves out what the balls
    // drawn after it certainly fill; a later ball's outline and its edge
    // beyond the inscribed rectangle are not left out.
    for (int i = shapes.pairs - 1; i >= 0; --i) {
        clips[i] = frameClip ? CreateSceneRegion(nullptr, 0) : CreateSceneRegion(&whole, 1);
        if (frameClip)
            CombineRgn(clips[i], frameClip, covered, RGN_DIFF);
        else
            CombineRgn(clips[i], clips[i], covered, RGN_DIFF);
        if (shapes.hollow[i])
            continue;
        const RECT inside = CertainFill(shapes.balls[i]);
        if (inside.left < inside.right) {
            SetRectRgn(fill, inside.left, inside.top, inside.right, inside.bottom);
            CombineRgn(covered, covered, fill, RGN_OR);
        }
    }
    DeleteSceneRegion(fill);
    DeleteSceneRegion(covered);
    return true;
}

void FinishRunningFrame()
{
    gDamage.previous = gDamage.current;
    gDamage.havePrevious = true;
}

void RecordCurtainDamage(const int insets[], int count)
{
    RECT edges[4 * 7];
    const int made = CurtainEdges(insets, std::min(count, 7), gScene.width, gScene.height, edges);
    gDamage.wholeFrame = false;
    gDamage.rects.assign(edges, edges + made);
    gDamage.area = 0;
    for (const RECT& r : gDamage.rects)
        gDamage.area += static_cast<long long>(std::max<LONG>(0, r.right - r.left)) * std::max<LONG>(0, r.bottom - r.top);
}

HRGN CreateChangedRegion()
{
    if (gDamage.wholeFrame)
        return nullptr;
    return CreateSceneRegion(gDamage.rects.data(), static_cast<int>(gDamage.rects.size()));
}

void InvalidateChanges(HWND window)
{
    HRGN changed = CreateChangedRegion();
    if (changed)
        InvalidateRgn(window, changed, FALSE);
    else
        InvalidateRect(window, nullptr, FALSE);
    DeleteSceneRegion(changed);
}

void CopyFrameToWindow(HDC target, HRGN region)
{
    RECT box = {0, 0, gScene.width, gScene.height};
    if (region) {
        if (GetRgnBox(region, &box) == NULLREGION)
            return;
        SelectClipRgn(target, region);
    }
    BitBlt(target, box.left, box.top, box.right - box.left, box.bottom - box.top, gScene.frame.dc, box.left,
           box.top, SRCCOPY);
    if (region)
        SelectClipRgn(target, nullptr);
}
