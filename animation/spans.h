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

// The runs of every ball box met so far, one slot per ball size and shape
// (round, or squashed to half the height): a ball's box is always the same
// set of pixels wherever it lies. Bounded by the sizes a scene's balls can
// have, H / 8 to H / 3, at 8 bytes a row: 12 bytes per pixel of a size's
// diameter for its two boxes, 10.7 MB at 4320 lines if every size is met,
// beside the surface new sizes are drawn on (the largest ball's box, 8.3 MB
// there).
struct BallRunCache {
    int slotCount;
    const RowRuns** slots;
    size_t bytes;     // the rows held
    Surface scratch;  // where a new size is drawn: the largest ball's box
};

extern BallRunCache gBallRuns;

// The rows of a ball's box of width x height, made the first time the size
// is met; none when that box is to be drawn with GDI (a box no ball has, a
// size wider than the runs can say, a row that is not outline, fill,
// outline, or no memory or surface to find out with).
const RowRuns* BallRuns(int width, int height);
// Reads rows off a top-down drawing (stride words a row) of
// Ellipse(0, 0, width, height) drawn with a black pen and a white brush
// over background; false when a row is not background, outline, fill,
// outline, background.
bool ReadEllipseRows(const uint32_t* pixels, int stride, int width, int height, uint32_t background,
                     RowRuns rows[]);
void ReleaseBallRuns();

// --- the running frame ---
// Gives every shape the tick draws its runs, a ball size met for the first
// time read once off GDI (BallRuns). False, and the tick goes to GDI, when
// a surface's pixels are not at hand or a shape has no runs.
bool PrepareRuns(const ShapeBoxes& shapes);
// Writes the frame within the damage from the shapes PrepareRuns accepted
// and the overlay's current offsets; outside it nothing is touched.
void WriteSpanFrame(const DamageRects& damage);
void ReleaseSpanBuffers();
