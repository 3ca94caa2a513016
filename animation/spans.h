// The running frame written pixel by pixel: each shape becomes horizontal
// runs per row (outline, fill, outline), the rows are walked front to back
// so that every damaged pixel is written exactly once, and one small writer
// turns a run into pixels (black, or the shape's colour ANDed with the
// snapshot the overlay puts there). A ball's runs are read once per box
// size off what the platform's own Ellipse draws, so the frame holds exactly
// the pixels GDI would give; a square's are computed, being a rectangle.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "animation/damage.h"

// One row of a box, in columns from the box's left edge: the outline
// [left, fillLeft), the fill [fillLeft, fillRight), the outline
// [fillRight, right). A row the shape does not touch has left == right; a
// row of outline only has fillLeft == fillRight.
struct RowRuns {
    uint16_t left;
    uint16_t fillLeft;
    uint16_t fillRight;
    uint16_t right;
};

// The rows of a ball's box of width x height from cache, made the first
// time the size is met; none when that box is to be drawn with GDI (a box
// no ball has, a size wider than the runs can say, a row that is not
// outline, fill, outline, or no memory or surface to find out with).
const RowRuns* BallRuns(BallRunCache& cache, int width, int height);
// Reads rows off a top-down drawing (stride words a row) of
// Ellipse(0, 0, width, height) drawn with a black pen and a white brush
// over background; false when a row is not background, outline, fill,
// outline, background.
bool ReadEllipseRows(const uint32_t* pixels, int stride, int width, int height, uint32_t background,
                     RowRuns rows[]);
void ReleaseBallRuns(BallRunCache& cache);

// --- the running frame ---
// What PrepareRuns made: the tick's shapes as the rows see them, front to
// back, in the span buffers it was given; not ready when the tick goes to
// GDI.
struct PreparedRuns {
    bool ready;
    const SpanShape* shapes;
    int count;
};
// Gives every shape the tick draws its runs, in buffers, a ball size met
// for the first time read once off GDI into runs (BallRuns). Not ready
// when a surface's pixels are not at hand, the rows' memory cannot be had
// or a shape has no runs.
PreparedRuns PrepareRuns(const ShapeBoxes& shapes, SpanBuffers& buffers, BallRunCache& runs);
// Writes the frame within the damage from the prepared shapes and the
// overlay's current offsets, its rows worked out in buffers; outside the
// damage nothing is touched.
void WriteSpanFrame(const PreparedRuns& prepared, const DamageRects& damage, SpanBuffers& buffers);
void ReleaseSpanBuffers(SpanBuffers& buffers);
