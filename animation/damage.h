// Damage tracking: which parts of the frame a tick can change, so that a
// running tick writes and copies only there. Outside the shapes the frame
// is black before a running tick and black after it, so a pixel can change
// only where a shape was drawn on the previous tick or is drawn on this
// one. Also the frame's plan, the path that draws the damage (pixel by
// pixel from runs, or GDI within the damage or over the whole frame), and
// the edges the curtain's outlines touch. Plain computations on boxes,
// callable without a window; the plan makes the clip region and no more.
#pragma once

#include <windows.h>

#include "animation/scene.h"

// The damage is kept on a grid of square cells: marking is cheap whatever
// the number of shapes, and the rectangles handed out stay few.
constexpr int DamageCellSize = 16;
// Above this share of the frame, a tick is done over the whole frame: past
// it the clipped work costs as much as the plain one.
constexpr int WholeFramePercent = 60;
// From this many active pairs on as well, on the GDI path: each ball
// clipped by a many-sided region costs more in GDI than the clear, AND and
// copy it saves (measured at 3840x2160: 0.8 of the whole frame's cost with
// 80 pairs, 1.0 with 160).
constexpr int WholeFrameFromPairs = 128;

struct FramePlan {
    FramePath path;
    HRGN clip;            // GdiDamage: the damage as a region
    DamageRects changed;  // what the tick changes
};

// --- decisions (no window, no GDI) ---
// False when the memory cannot be had (the tick then does the whole frame).
bool ClearGrid(DamageGrid& grid, int width, int height);
// Marks the cells a rectangle touches (clipped to the frame).
void MarkRect(DamageGrid& grid, const RECT& rect, int width, int height);
// Marks the cells every pixel of Ellipse(box) touches, outline included,
// band by band of cells.
void MarkEllipse(DamageGrid& grid, const RECT& box, int width, int height);
// Columns [left, right) that hold every pixel Ellipse(box) draws on the
// rows [top, bottom); false when it draws none there.
bool EllipseRowExtent(const RECT& box, int top, int bottom, int& left, int& right);
// The grid's marked cells as banded rectangles clipped to the frame;
// returns their area, or -1 when the list could not grow.
long long GridRects(const DamageGrid& grid, int width, int height, RectList& rects);
void FreeGrid(DamageGrid& grid);
void FreeRects(RectList& rects);
// Marks everything a tick's shapes draw.
void MarkShapes(DamageGrid& grid, const ShapeBoxes& shapes, int width, int height);
// Whether a tick whose damage covers damagedArea pixels and which draws
// pairs pairs is done over the whole frame.
bool WholeFrameIsCheaper(long long damagedArea, int pairs, int width, int height);
// The thin rectangles that hold the outlines of the curtain's insets;
// returns how many (four per inset).
int CurtainEdges(const int insets[], int count, int width, int height, RECT edges[]);

// --- the running frame's steps ---
// Where a running tick changes the frame: what the last running tick drew
// (none: the first one, which follows the curtain, whose frame is not
// black outside the shapes) and what shapes draws, marked on grid. The
// rectangles are rects' own, borrowed until rects is next written. The
// whole frame when there was no last tick, or no memory to mark the cells
// with.
DamageRects FindDamage(const ShapeBoxes* drawn, const ShapeBoxes& shapes, DamageGrid& grid, RectList& rects);
// The path that draws the damage: from runs when every shape has them
// (runsReady), else GDI within the damage, or over the whole frame where
// that costs no more.
FramePlan ChoosePath(const DamageRects& damage, int pairs, bool runsReady);
// What a curtain tick changes: its outlines' edges, put in rects and
// borrowed from it.
DamageRects CurtainDamage(const int insets[], int count, RectList& rects);
