// Damage tracking of the frame: the cell grid the last tick's and this
// tick's shapes are marked on, the rectangles read off it, the frame's plan
// (the path that draws them) and the curtain's edges.
#include "animation/damage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/platform.h"

namespace {

bool PushRect(RectList& list, const RECT& rect)
{
    if (list.count == list.capacity) {
        const int capacity = list.capacity ? 2 * list.capacity : 64;
        void* grown = gPlatform.resize(list.items, sizeof(RECT) * static_cast<size_t>(capacity));
        if (!grown)
            return false;
        list.items = static_cast<RECT*>(grown);
        list.capacity = capacity;
    }
    list.items[list.count++] = rect;
    return true;
}

// Ellipse() rasterises inside its box; the slack of one and a half pixels
// around the ideal ellipse holds the outline and any rounding of GDI's
// own stepping.
constexpr double EllipseSlack = 1.5;

// The whole number at or below v, and at or above it, for values well
// inside int's range (pixels): the conversion truncates toward zero.
int FloorToInt(double v)
{
    const int i = static_cast<int>(v);
    return v < i ? i - 1 : i;
}

int CeilToInt(double v)
{
    const int i = static_cast<int>(v);
    return v > i ? i + 1 : i;
}

} // namespace

bool ClearGrid(DamageGrid& grid, int width, int height)
{
    const int columns = (width + DamageCellSize - 1) / DamageCellSize;
    const int rows = (height + DamageCellSize - 1) / DamageCellSize;
    const size_t size = static_cast<size_t>(std::max(columns, 0)) * std::max(rows, 0);
    if (size > grid.capacity) {
        void* grown = gPlatform.resize(grid.cells, size);
        if (!grown)
            return false;
        grid.cells = static_cast<unsigned char*>(grown);
        grid.capacity = size;
    }
    grid.columns = columns;
    grid.rows = rows;
    if (size)
        std::memset(grid.cells, 0, size);
    return true;
}

void FreeGrid(DamageGrid& grid)
{
    gPlatform.release(grid.cells);
    grid = {};
}

void FreeRects(RectList& rects)
{
    gPlatform.release(rects.items);
    rects = {};
}

namespace {

void MarkCells(DamageGrid& grid, int row, int left, int right, int width)
{
    left = std::max(left, 0);
    right = std::min(right, width);
    if (left >= right)
        return;
    unsigned char* cells = grid.cells + static_cast<size_t>(row) * grid.columns;
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

bool EllipseRowExtent(const RECT& box, int top, int bottom, int& left, int& right)
{
    const double cx = (box.left + box.right) / 2.0;
    const double cy = (box.top + box.bottom) / 2.0;
    const double a = (box.right - box.left) / 2.0 + EllipseSlack;
    const double b = (box.bottom - box.top) / 2.0 + EllipseSlack;
    // The row of the band nearest the middle is the widest.
    const double nearest = std::clamp(cy, static_cast<double>(top), static_cast<double>(bottom));
    const double d = (nearest - cy) / b;
    if (d >= 1.0 || d < -1.0 || top >= bottom)
        return false;
    const double half = a * std::sqrt(1.0 - d * d);
    left = std::max<int>(box.left, FloorToInt(cx - half));
    right = std::min<int>(box.right, CeilToInt(cx + half) + 1);
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
        if (EllipseRowExtent(box, y, next, left, right))
            MarkCells(grid, y / DamageCellSize, left, right, width);
        y = next;
    }
}

long long GridRects(const DamageGrid& grid, int width, int height, RectList& rects)
{
    rects.count = 0;
    long long area = 0;
    int bandStart = 0;  // the rectangles of the band above, to extend
    for (int row = 0; row < grid.rows; ++row) {
        const unsigned char* cells = grid.cells + static_cast<size_t>(row) * grid.columns;
        const int top = row * DamageCellSize;
        const int bottom = std::min(height, top + DamageCellSize);
        const int rowStart = rects.count;
        for (int c = 0; c < grid.columns;) {
            if (!cells[c]) {
                ++c;
                continue;
            }
            int end = c;
            while (end < grid.columns && cells[end])
                ++end;
            if (!PushRect(rects, RECT{c * DamageCellSize, top, std::min(width, end * DamageCellSize), bottom}))
                return -1;
            c = end;
        }
        // A row with the same stretches of marked cells as the band above
        // extends it.
        RECT* r = rects.items;
        const int above = rowStart - bandStart;
        bool same = above > 0 && above == rects.count - rowStart && r[bandStart].bottom == top;
        for (int i = 0; same && i < above; ++i)
            same = r[bandStart + i].left == r[rowStart + i].left && r[bandStart + i].right == r[rowStart + i].right;
        if (same) {
            for (int i = 0; i < above; ++i)
                r[bandStart + i].bottom = bottom;
            rects.count = rowStart;
        } else {
            bandStart = rowStart;
        }
        for (int i = bandStart; i < rects.count; ++i)
            area += static_cast<long long>(r[i].right - r[i].left) * (bottom - top);
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

DamageRects FindDamage(const ShapeBoxes* drawn, const ShapeBoxes& shapes, DamageGrid& grid, RectList& rects)
{
    const int width = gScene.width;
    const int height = gScene.height;
    // Without memory for the grid or its rectangles, the whole frame.
    const bool marked = ClearGrid(grid, width, height);
    if (marked) {
        if (drawn)
            MarkShapes(grid, *drawn, width, height);
        MarkShapes(grid, shapes, width, height);
    }
    const long long area = marked ? GridRects(grid, width, height, rects) : -1;
    return DamageRects{!drawn || area < 0, rects.items, area < 0 ? 0 : rects.count, area};
}

FramePlan ChoosePath(const DamageRects& damage, int pairs, bool runsReady)
{
    FramePlan plan = {runsReady ? FramePath::Spans : FramePath::GdiWhole, nullptr, damage};
    // Runs write every damaged pixel once whatever its share of the frame.
    if (runsReady) {
        if (damage.wholeFrame)
            plan.changed.area = static_cast<long long>(gScene.width) * gScene.height;
        return plan;
    }
    if (!damage.wholeFrame && !WholeFrameIsCheaper(damage.area, pairs, gScene.width, gScene.height))
        plan.clip = CreateSceneRegion(damage.rects, damage.count);
    // Without the region as well, the whole frame.
    plan.path = plan.clip ? FramePath::GdiDamage : FramePath::GdiWhole;
    plan.changed.wholeFrame = !plan.clip;
    return plan;
}

DamageRects CurtainDamage(const int insets[], int count, RectList& rects)
{
    RECT edges[4 * 7];
    const int made = CurtainEdges(insets, std::min(count, 7), gScene.width, gScene.height, edges);
    rects.count = 0;
    long long area = 0;
    for (int i = 0; i < made; ++i) {
        const RECT& r = edges[i];
        if (!PushRect(rects, r))
            return DamageRects{true, nullptr, 0, area};
        area += static_cast<long long>(std::max<LONG>(0, r.right - r.left)) * std::max<LONG>(0, r.bottom - r.top);
    }
    return DamageRects{false, rects.items, rects.count, area};
}
