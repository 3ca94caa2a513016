// Damage tracking: which parts of the frame a tick can change, so that a
// running tick clears, draws, ANDs and copies only there. Outside the shapes
// the frame is black before a running tick and black after it, so a pixel
// can change only where a shape was drawn on the previous tick or is drawn
// on this one. Also: when the whole frame is the cheaper choice, which part
// of a ball its fill certainly covers (so earlier shapes need not be filled
// there), and the edges the curtain's outlines touch. The decisions are
// plain computations on boxes, callable without a window; the GDI side
// (regions, clips, invalidation, the paint copy) is in damage.cpp too.
#pragma once

#include <windows.h>

#include "animation/scene.h"

// The damage is kept on a grid of square cells: marking is cheap whatever
// the number of shapes, and the rectangles handed out stay few.
constexpr int DamageCellSize = 16;
// Above this share of the frame, a tick is done over the whole frame: past
// it the clipped work costs as much as the plain one.
constexpr int WholeFramePercent = 60;
// From this many active pairs on as well: each ball clipped by a many-sided
// region costs more in GDI than the clear, AND and copy it saves (measured at
// 3840x2160: 0.8 of the whole frame's cost with 80 pairs, 1.0 with 160).
constexpr int WholeFrameFromPairs = 128;
// From this many active pairs on, and when even the smallest ball is this
// large, each pair is drawn with a clip that leaves out what later balls
// certainly fill. With smaller balls the region work costs more than the
// fill it saves (measured: 1.2 of the plain cost with 255 pairs at
// 1920x1080, 0.93 at 7680x2160).
constexpr int SkipCoveredFromPairs = 3;
constexpr int SkipCoveredFromBallSize = 200;

// What a running tick draws, in drawing order, pair by pair.
struct ShapeBoxes {
    int pairs;
    RECT balls[MaxPairs];       // the ellipse, squashed on a bounce
    RECT squares[MaxPairs][3];  // the three sub-steps
    bool hollow[MaxPairs];      // a colourful ball reborn this tick: outline only
};

// Plain blocks that grow, never shrink until released: the product uses no
// standard containers (they would bring the exception runtime along).
struct DamageGrid {
    int columns;
    int rows;
    unsigned char* cells;
    size_t capacity;
};

struct RectList {
    RECT* items;
    int count;
    int capacity;
};

struct Damage {
    bool havePrevious;  // false until a running tick has drawn
    ShapeBoxes previous;
    ShapeBoxes current;
    DamageGrid grid;
    // What the last tick changed: the whole frame, or these rectangles
    // (banded, not overlapping).
    bool wholeFrame;
    RectList rects;
    long long area;  // pixels of the rectangles (of the damage even when the whole frame was done)
};

extern Damage gDamage;

// Tests and the benchmark: every running tick over the whole frame with
// every shape filled in full, the straightforward path the others must
// match pixel for pixel.
extern bool gStraightforwardFrames;

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
bool EllipseRowSpan(const RECT& box, int top, int bottom, int& left, int& right);
// The grid's marked cells as banded rectangles clipped to the frame;
// returns their area, or -1 when the list could not grow.
long long GridRects(const DamageGrid& grid, int width, int height, RectList& rects);
void FreeGrid(DamageGrid& grid);
void FreeRects(RectList& rects);
// Marks everything a tick's shapes draw.
void MarkShapes(DamageGrid& grid, const ShapeBoxes& shapes, int width, int height);
// A rectangle whose every pixel Ellipse(box) fills with the brush (empty
// when the ellipse is too small to be sure of any).
RECT CertainFill(const RECT& box);
// Whether a tick whose damage covers damagedArea pixels and which draws
// pairs pairs is done over the whole frame.
bool WholeFrameIsCheaper(long long damagedArea, int pairs, int width, int height);
// The thin rectangles that hold the outlines of the curtain's insets;
// returns how many (four per inset).
int CurtainEdges(const int insets[], int count, int width, int height, RECT edges[]);

// --- the GDI side ---
void ResetDamage();
void ReleaseDamage();
// After moving the shapes into gDamage.current: decides this tick's work
// and returns the clip for it (none: the whole frame).
HRGN PlanRunningFrame();
// The clip pair i is drawn with: the frame clip less what later balls
// certainly fill. Fills clips[0..pairs-1]; returns false when each pair
// just uses the frame clip.
bool PlanPairClips(HRGN frameClip, HRGN clips[]);
// After the tick: the current boxes become the previous ones.
void FinishRunningFrame();
// After a curtain tick: its outlines are what changed.
void RecordCurtainDamage(const int insets[], int count);
// The region the last tick changed, for the window (none: all of it).
HRGN CreateChangedRegion();
// Asks the window to repaint what the last tick changed.
void InvalidateChanges(HWND window);
// Copies the frame buffer to a window's context, within region (none: all).
void CopyFrameToWindow(HDC target, HRGN region);
