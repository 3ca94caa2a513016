// The scene: the animation's one process-wide record and the records it
// owns (balls, squares, the snapshot's overlay), and the steps that build,
// advance and release it. Motion and sequencing read W and H from gScene, so
// tests can set any screen size without a window.
#pragma once

#include <windows.h>

#include <cstddef>

#include "animation/drawing.h"

constexpr int MaxPairs = 255;  // the settings cap the count at 255
constexpr UINT_PTR AnimationTimerId = 1000;
constexpr UINT AnimationIntervalMs = 30;
constexpr int Gravity = 6;

struct Ball {
    int x;          // left edge of the bounding square
    int speed;      // horizontal speed, always positive
    int y;          // top edge of the bounding square
    int vy;         // positive downwards
    int returning;  // 1 once the right edge was hit
    int size;       // diameter
    HBRUSH brush;   // colourful mode only
    COLORREF color; // the brush's colour
};

struct Square {
    int x;
    int vx;  // -10..10, never 0
    int y;
    int vy;  // 2..10 at birth, then only its sign flips
    int size;
    HBRUSH brush;  // colourful mode only
    COLORREF color;
};

struct Overlay {
    int horizontalOffset;  // how far the snapshot has scrolled left, 0..W-1
    int verticalOffset;    // how far it has slid up, -1..H
    int tileX;             // cursors of the tile being laid
    int tileY;
    int verticalStep;      // +1 or -1
};

enum class Wave { Growing, Shrinking };

// --- the running tick's memory ---

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

struct RowRuns;    // a row of a ball's box (spans.h)
struct SpanShape;  // a shape as the span writer's rows see it (spans.cpp)
struct Interval;   // columns of a row (spans.cpp)
struct Piece;      // what a row gets at some columns (spans.cpp)

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

// The span writer's memory: the shapes a tick writes, front to back, and
// the rows of a chunk (spans.cpp).
struct SpanBuffers {
    SpanShape* shapes;
    Interval* open;     // each chunk row's columns not yet written, in order
    Piece* pieces;      // what each chunk row gets, in the order decided
    Interval* closed;   // the chunk's columns closed on every row
    int shapeCapacity;
    int openCapacity;   // per row (and of the closed columns)
    int pieceCapacity;  // per row
};

// What the running tick keeps and works in, the scene's own: made as the
// ticks need it, released with the scene (or when the screen changes size).
struct TickMemory {
    bool haveDrawn;          // false until a running tick has drawn
    ShapeBoxes drawn;        // what the last running tick drew
    DamageGrid grid;         // the cells the damage is marked on
    RectList rects;          // the damage (or the curtain's edges) as rectangles
    BallRunCache ballRuns;   // the balls' runs
    SpanBuffers spans;       // the span writer's
};

// phase values: 1, 2, 3 the curtain, 0 running.
constexpr int RunningPhase = 0;

struct Scene {
    int width;   // W and H: the area the saver covers, every monitor
    int height;  // (SaverScreenArea), whatever the window's size
    int minBallSize;
    int maxBallSize;
    int count;
    int colorMode;
    Ball* balls[MaxPairs];
    Square* squares[MaxPairs];
    Overlay* overlay;
    int active;
    Wave wave;
    int phase;
    int insetA;
    int insetB;
    int insetC;
    Surface frame;
    Surface snapshot;
    // The desktop as captured at the start, kept once the screen has
    // changed so that a part it covered shows it again when the screen
    // grows back; none while the snapshot is that very picture.
    Surface capture;
    RECT captured;  // where the capture lies in the scene's coordinates
    HDC paintDC;  // from the first BeginPaint; kept thanks to CS_OWNDC
    PAINTSTRUCT paint;
    HBRUSH hollowBrush;  // none until the curtain ends
    UINT_PTR timerId;
    bool resting;  // the display is off: no ticks, no paints
    TickMemory tick;
};

extern Scene gScene;

// Where a tick changes the frame: all of it, or the rectangles (banded,
// disjoint, on the frame).
struct DamageRects {
    bool wholeFrame;
    const RECT* rects;
    int count;
    long long area;  // the damage's pixels (the frame's when runs wrote it whole; -1: not marked)
};

// How a tick draws.
enum class FramePath {
    Spans,      // pixel by pixel from runs, within the damage
    GdiDamage,  // GDI, clipped to the damage (the curtain's outlines too)
    GdiWhole,   // GDI over the whole frame
};

// What a tick did: how it drew, and where it changed the frame (the
// rectangles borrowed from the scene's tick memory until its next tick).
struct TickResult {
    FramePath path;
    DamageRects changed;
};

// The top-left corners of the tiles the overlay lays this tick.
struct OverlayTiles {
    int count;  // one to four
    POINT at[4];
};

// Exit code of the process when the scene cannot get its records.
constexpr int OutOfMemoryExitCode = 1;

// --- lifecycle (scene.cpp) ---
// Builds everything but the snapshot's pixels: frame buffer and snapshot
// surfaces compatible with reference (at width x height, else at the
// primary screen's size, else none: a blank scene), the settings-derived
// fields, shapes (square then ball per pair), overlay and curtain start.
// Ends the process with exit code 1 when a record cannot be allocated.
void BuildScene(HDC reference, int width, int height, int colorMode, int count);
// Sets W and H, and the ball sizes they allow.
void SizeScene(int width, int height);
// The sizes the scene's surfaces are tried at, best first: the size asked
// for, then the primary screen's when it is smaller; nothing when the size
// asked for is empty. Returns how many (0 to 2).
struct SceneSize {
    int width;
    int height;
};
int SceneSizesToTry(SceneSize asked, SceneSize primary, SceneSize sizes[2]);
// Makes a frame buffer and a snapshot at the first of those sizes they can
// both be had at, and returns it; {0, 0}, with neither surface, when none.
SceneSize AcquireSceneSurfaces(HDC reference, SceneSize asked, SceneSize primary, Surface& frame, Surface& snapshot);
// A scene without surfaces: the saver is a plain black blanker.
bool SceneIsBlank();
// Starts the animation's timer, trying once more when it is refused; 0 when
// it could not be had.
UINT_PTR StartAnimationTimer(HWND window);
// Copies what the screen shows at the window's place into the snapshot;
// black when the screen cannot be read.
void TakeSnapshot(HWND window);
// Starts the curtain from the snapshot.
void CopySnapshotToFrame();
// The screen has changed size while the saver runs: the scene goes on at
// width x height (else at the primary screen's size, else as a blank
// scene, as at its start). The new snapshot is the desktop captured at the
// start, at its place (`at` is where the old scene's corner lies in the
// new one), and tile after tile of it beside wherever the screen reaches
// beyond it, so the desktop shows through the shapes as it was, never the
// saver's own picture, however often the screen shrinks and grows back.
// Only the capture is kept besides the scene's surfaces, and only while the
// snapshot is not the capture itself. The curtain goes on where it was,
// its outlines so far drawn anew at the new size; a running scene's next
// tick draws its whole frame. Shapes and the overlay are brought within the
// new size. A blank scene stays blank: it captured nothing to go on with.
void ResizeScene(HDC reference, int width, int height, POINT at);
// Where the first tile of a picture period pixels long lies when one of its
// tiles starts at `at`: in (-period, 0].
int FirstTileAt(int at, int period);
// Releases every record, brush, bitmap and context (the timer and the paint
// context too when window is given).
void ReleaseScene(HWND window);
// Gives back the tick's memory: the damage, the runs and the span writer's
// rows are made anew by the ticks that follow, and the next running tick
// draws the whole frame.
void ReleaseTickMemory(TickMemory& tick);
bool IsColorful();

// --- presenting (scene.cpp) ---
// The region a tick changed (none: all of it).
HRGN CreateChangedRegion(const DamageRects& changed);
// Asks the window to repaint what a tick changed; nothing without a window.
void PresentChanges(HWND window, const DamageRects& changed);
// Copies the frame buffer to a window's context, within region (none: all).
void CopyFrameToWindow(HDC target, HRGN region);

// --- frame sequencer (sequencer.cpp) ---
// Advances the scene by one tick and presents what changed to the window
// (none: tests and the benchmark copy what the result says themselves).
// Running, it draws only the damage (damage.h), from runs (spans.h) or with
// GDI.
TickResult TickScene(HWND window = nullptr);
// The reference the product's frames must equal pixel for pixel, for tests
// and the benchmark: every running frame by GDI, whole, every shape in full.
TickResult TickSceneWholeFrame();
// The curtain's start: phase 1, the insets' first values, one active pair.
void StartCurtain();
// Advances the curtain's insets and phase by one tick and stores the insets
// to outline, in drawing order; returns how many (at most 7).
int AdvanceCurtain(int insets[7]);
// Adds or drops a pair as the newest active ball demands.
void UpdateWave();
// Draws, on the frame, the outline of every inset the curtain has reached
// so far: the curtain's picture at the scene's present size.
void RedrawCurtain();

// --- balls (balls.cpp) ---
void InitBall(Ball& ball);
// Moves the ball one tick and returns the box of the ellipse to draw (the
// squashed ball on a bounce).
RECT MoveBall(Ball& ball);
// Draws the ellipse MoveBall gave, with the ball's brush in colourful mode
// (hollow: a ball reborn during its move, whose new brush its move left
// unselected, shows its outline only).
void DrawBall(const Ball& ball, const RECT& box, bool hollow);
// Brings a ball within a scene that has changed size: its size within the
// sizes the new height allows, and no lower than resting on the floor.
void FitBall(Ball& ball);

// --- squares (squares.cpp) ---
void InitSquare(Square& square);
// Moves the square its three sub-steps and stores the three boxes drawn.
void MoveSquare(Square& square, RECT boxes[3]);
void DrawSquare(const Square& square, const RECT boxes[3]);
// Brings a square within a scene that has changed size: a square left
// beyond an edge would turn back at every sub-step and never come in.
void FitSquare(Square& square);

// --- overlay (overlay.cpp) ---
void ResetOverlay(Overlay& overlay);
// Advances the offsets one tick, and returns the tiles to lay there.
OverlayTiles StepOverlay(Overlay& overlay);
// ANDs the snapshot over the frame at each tile.
void LayOverlay(const OverlayTiles& tiles);
// Brings the offsets within a scene that has changed size.
void FitOverlay(Overlay& overlay);

// In colourful mode: gives a shape a new brush of a new colour, deleting its
// old one after making sure it is not selected.
void ReplaceShapeBrush(HBRUSH& brush, COLORREF& color);
