// The runs of the balls' boxes: the first time a ball box of a given size
// is met, the platform's own Ellipse draws it once into a small surface, with
// the frame's pen and a filled brush, and each row is kept as outline, fill,
// outline. So the running frame shows exactly the pixels that Windows
// itself draws, on every version of it, without tracing an ellipse every
// tick.
#include <algorithm>
#include <cstring>

#include "animation/scene.h"
#include "animation/spans.h"
#include "platform/platform.h"

namespace {

// A slot whose box is drawn with GDI: asked once, never again.
const RowRuns NoRuns[1] = {};

// The drawing's three colours, as DIB words: what lies around the ellipse,
// the pen's black and the brush's white.
constexpr uint32_t Background = 0x000000FF;
constexpr uint32_t Outline = 0x00000000;
constexpr uint32_t Fill = 0x00FFFFFF;

// Round and squashed boxes of each width have a slot each; other boxes
// (none a ball draws) have none.
int SlotOf(int width, int height)
{
    if (width <= 0 || height <= 0 || width > 0xFFFF)
        return -1;
    if (height == width)
        return 2 * width;
    if (height == width / 2)
        return 2 * width + 1;
    return -1;
}

bool MakeSlots(BallRunCache& cache)
{
    const int count = 2 * (gScene.maxBallSize + 1);
    void* slots = gPlatform.allocateRuns(sizeof(RowRuns*) * static_cast<size_t>(count));
    if (!slots)
        return false;
    std::memset(slots, 0, sizeof(RowRuns*) * static_cast<size_t>(count));
    cache.slots = static_cast<const RowRuns**>(slots);
    cache.slotCount = count;
    return true;
}

// Draws the box once and reads its rows; none when GDI must draw it. The
// surface it is drawn on is made once, at the largest ball's size, and kept
// with the cache: a new DIB section for every size costs more than the
// drawing (under Wine, the first write to each of its pages most of all).
const RowRuns* MeasureEllipse(BallRunCache& cache, int width, int height)
{
    Surface& scratch = cache.scratch;
    const int side = gScene.maxBallSize;
    if (!scratch.dc && !CreateSurface(scratch, gScene.frame.dc, side, side))
        return nullptr;
    if (!scratch.bits || width > side || height > side)
        return nullptr;
    GdiFlush();
    for (int y = 0; y < height; ++y)
        std::fill(scratch.bits + static_cast<size_t>(y) * side, scratch.bits + static_cast<size_t>(y) * side + width,
                  Background);
    // A new context's pen is the frame's: black, one pixel.
    const HGDIOBJ brush = SelectObject(scratch.dc, GetStockObject(WHITE_BRUSH));
    Ellipse(scratch.dc, 0, 0, width, height);
    SelectObject(scratch.dc, brush);
    GdiFlush();
    RowRuns* rows = static_cast<RowRuns*>(gPlatform.allocateRuns(sizeof(RowRuns) * static_cast<size_t>(height)));
    if (rows && !ReadEllipseRows(scratch.bits, side, width, height, Background, rows)) {
        gPlatform.release(rows);
        rows = nullptr;
    }
    if (rows)
        cache.bytes += sizeof(RowRuns) * static_cast<size_t>(height);
    return rows;
}

} // namespace

bool ReadEllipseRows(const uint32_t* pixels, int stride, int width, int height, uint32_t background, RowRuns rows[])
{
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = pixels + static_cast<size_t>(y) * stride;
        int x = 0;
        auto skip = [&](uint32_t word) {
            while (x < width && (row[x] & 0xFFFFFF) == word)
                ++x;
            return x;
        };
        RowRuns& r = rows[y];
        r.left = static_cast<uint16_t>(skip(background));
        r.fillLeft = static_cast<uint16_t>(skip(Outline));
        r.fillRight = static_cast<uint16_t>(skip(Fill));
        r.right = static_cast<uint16_t>(skip(Outline));
        // Background to the end, and a fill only between two outlines.
        if (skip(background) != width)
            return false;
        if (r.fillLeft < r.fillRight && (r.left == r.fillLeft || r.fillRight == r.right))
            return false;
        if (r.left == width)
            r.left = r.fillLeft = r.fillRight = r.right = 0;
    }
    return true;
}

const RowRuns* BallRuns(BallRunCache& cache, int width, int height)
{
    const int slot = SlotOf(width, height);
    if (slot < 0)
        return nullptr;
    if (!cache.slots && !MakeSlots(cache))
        return nullptr;
    if (slot >= cache.slotCount)
        return nullptr;
    if (!cache.slots[slot]) {
        const RowRuns* rows = MeasureEllipse(cache, width, height);
        cache.slots[slot] = rows ? rows : NoRuns;
    }
    return cache.slots[slot] == NoRuns ? nullptr : cache.slots[slot];
}

void ReleaseBallRuns(BallRunCache& cache)
{
    for (int i = 0; i < cache.slotCount; ++i) {
        if (cache.slots[i] != NoRuns)
            gPlatform.release(const_cast<RowRuns*>(cache.slots[i]));
    }
    gPlatform.release(cache.slots);
    DestroySurface(cache.scratch);
    cache = {};
}
