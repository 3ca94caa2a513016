// The scene's lifecycle and AnimationProc: builds the scene when the saver
// window is created (shapes, overlay, frame buffer, the snapshot, the
// timer), advances it on every tick, presents what a tick changed and
// copies the frame buffer to the window on paint, rests it while the
// display is off, and releases everything when the window is destroyed.
#include "animation/animation.h"

#include <cstring>

#include "animation/damage.h"
#include "animation/scene.h"
#include "animation/spans.h"
#include "config/settings.h"
#include "shell/shell.h"

// The wave starts growing when the process starts; creation leaves it be.
Scene gScene = {};

namespace {

SceneSize PrimaryScreenSize()
{
    return SceneSize{gPlatform.getSystemMetrics(SM_CXSCREEN), gPlatform.getSystemMetrics(SM_CYSCREEN)};
}

template <typename Record>
Record* AllocateRecord()
{
    void* memory = gPlatform.allocateRecord(sizeof(Record));
    if (!memory)
        ExitProcess(OutOfMemoryExitCode);
    std::memset(memory, 0, sizeof(Record));
    return static_cast<Record*>(memory);
}

// Builds the scene the window's creator asked for (none: a blank scene).
void CreateScene(HWND window, const SceneRequest* request)
{
    SceneSize size = request ? SceneSize{request->width, request->height} : SceneSize{0, 0};
    // A preview with no room draws nothing at all: a blank scene.
    RECT client = {};
    if (request && request->preview &&
        (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0))
        size = SceneSize{0, 0};
    HDC windowDC = gPlatform.getDC(window);
    BuildScene(windowDC, size.width, size.height, request ? request->colorMode : Standard,
               request ? request->count : 1);
    TakeSnapshot(window);
    CopySnapshotToFrame();
    if (windowDC)
        ReleaseDC(window, windowDC);
    // A blank scene has nothing to animate.
    if (!SceneIsBlank())
        gScene.timerId = StartAnimationTimer(window);
}

void PaintScene(HWND window)
{
    if (SceneIsBlank()) {
        // A plain black blanker keeps no context: each paint blanks the
        // window as it is then, whatever size it was created at and
        // whatever the first paint's context was clipped to (Wine's 32-bit
        // loader creates it at two thirds at 144 DPI and it is placed anew).
        PAINTSTRUCT paint = {};
        HDC dc = BeginPaint(window, &paint);
        RECT client = {};
        GetClientRect(window, &client);
        SelectClipRgn(dc, nullptr);
        PatBlt(dc, 0, 0, client.right, client.bottom, BLACKNESS);
        EndPaint(window, &paint);
        return;
    }
    // Only what was invalidated is copied: what the ticks since the last
    // paint changed, or what the system asks for. Read before the first
    // BeginPaint, which validates it.
    HRGN update = CreateSceneRegion(nullptr, 0);
    const int kind = GetUpdateRgn(window, update, FALSE);
    // The class has its own context (CS_OWNDC), so the one from the first
    // BeginPaint stays valid and is reused; the default handling validates
    // the update region of every later paint.
    if (!gScene.paintDC)
        gScene.paintDC = BeginPaint(window, &gScene.paint);
    // A paint with nothing invalid (sent, not posted) copies everything.
    CopyFrameToWindow(gScene.paintDC, kind == NULLREGION || kind == ERROR ? nullptr : update);
    DeleteSceneRegion(update);
}

} // namespace

UINT_PTR StartAnimationTimer(HWND window)
{
    // A refused timer leaves the frame frozen; one more try, and after
    // that the saver stays as it is (it still closes as always).
    UINT_PTR id = gPlatform.setTimer(window, AnimationTimerId, AnimationIntervalMs, nullptr);
    if (!id)
        id = gPlatform.setTimer(window, AnimationTimerId, AnimationIntervalMs, nullptr);
    return id;
}

void RestScene(HWND window)
{
    if (gScene.resting)
        return;
    gScene.resting = true;
    if (gScene.timerId)
        KillTimer(window, gScene.timerId);
    gScene.timerId = 0;
}

void WakeScene(HWND window)
{
    if (!gScene.resting)
        return;
    gScene.resting = false;
    // A timer refused before the rest is asked for again: the display
    // coming back is as good a moment as the start.
    if (!SceneIsBlank())
        gScene.timerId = StartAnimationTimer(window);
    // Paints were only validated while resting.
    InvalidateRect(window, nullptr, FALSE);
}

HRGN CreateChangedRegion(const DamageRects& changed)
{
    return changed.wholeFrame ? nullptr : CreateSceneRegion(changed.rects, changed.count);
}

void PresentChanges(HWND window, const DamageRects& changed)
{
    if (!window)
        return;
    // No region (the whole frame, or none to be had) invalidates it all.
    HRGN region = CreateChangedRegion(changed);
    InvalidateRgn(window, region, FALSE);
    DeleteSceneRegion(region);
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

void SizeScene(int width, int height)
{
    gScene.width = width;
    gScene.height = height;
    gScene.minBallSize = height / 8;
    gScene.maxBallSize = height / 3;
}

bool IsColorful()
{
    return gScene.colorMode == Colorful;
}

void BuildScene(HDC reference, int width, int height, int colorMode, int count)
{
    gScene.colorMode = colorMode;
    gScene.count = count;
    // No hollow brush yet: the shapes' first brushes are simply created.
    gScene.hollowBrush = nullptr;
    gScene.paintDC = nullptr;
    gScene.paint = {};
    gScene.timerId = 0;
    gScene.resting = false;
    // The surfaces decide the size the shapes move in, so they come first.
    const SceneSize size =
        AcquireSceneSurfaces(reference, SceneSize{width, height}, PrimaryScreenSize(), gScene.frame, gScene.snapshot);
    SizeScene(size.width, size.height);
    gScene.capture = {};
    gScene.captured = RECT{0, 0, size.width, size.height};
    // The curtain outlines its rectangles without filling them.
    if (gScene.frame.dc)
        SelectObject(gScene.frame.dc, GetStockObject(NULL_BRUSH));
    // The first running tick follows the curtain: it draws the whole frame.
    gScene.tick.haveDrawn = false;
    for (int i = 0; i < count; ++i) {
        gScene.balls[i] = AllocateRecord<Ball>();
        gScene.squares[i] = AllocateRecord<Square>();
        InitSquare(*gScene.squares[i]);
        InitBall(*gScene.balls[i]);
    }
    gScene.overlay = AllocateRecord<Overlay>();
    ResetOverlay(*gScene.overlay);
    StartCurtain();
}

int SceneSizesToTry(SceneSize asked, SceneSize primary, SceneSize sizes[2])
{
    // An empty size is no scene at all, whatever the primary screen is.
    if (asked.width <= 0 || asked.height <= 0)
        return 0;
    int n = 0;
    sizes[n++] = asked;
    const bool primarySmaller = primary.width < asked.width || primary.height < asked.height;
    if (primary.width > 0 && primary.height > 0 && primarySmaller)
        sizes[n++] = primary;
    return n;
}

SceneSize AcquireSceneSurfaces(HDC reference, SceneSize asked, SceneSize primary, Surface& frame, Surface& snapshot)
{
    SceneSize sizes[2];
    const int n = SceneSizesToTry(asked, primary, sizes);
    for (int i = 0; i < n; ++i) {
        if (CreateSurface(frame, reference, sizes[i].width, sizes[i].height) &&
            CreateSurface(snapshot, reference, sizes[i].width, sizes[i].height))
            return sizes[i];
        DestroySurface(frame);
        DestroySurface(snapshot);
    }
    return SceneSize{0, 0};
}

int FirstTileAt(int at, int period)
{
    const int offset = at % period;
    return offset > 0 ? offset - period : offset;
}

void ResizeScene(HDC reference, int width, int height, POINT at)
{
    // Nothing was captured that a new scene could show.
    if (SceneIsBlank())
        return;
    // The capture, and where it lies in the new scene. The old frame and a
    // snapshot that is not the capture go first, so that no more than the
    // capture and the new pair are held at once. The runs' sizes follow the
    // height, and their surface was made for the old frame.
    Surface capture = gScene.capture.dc ? gScene.capture : gScene.snapshot;
    if (gScene.capture.dc)
        DestroySurface(gScene.snapshot);
    gScene.capture = {};
    gScene.snapshot = {};
    RECT& captured = gScene.captured;
    captured = RECT{captured.left + at.x, captured.top + at.y, captured.right + at.x, captured.bottom + at.y};
    ReleaseTickMemory(gScene.tick);
    DestroySurface(gScene.frame);
    SceneSize size = {width, height};
    const RECT whole = {0, 0, width, height};
    if (EqualRect(&captured, &whole) && CreateSurface(gScene.frame, reference, width, height)) {
        // Back where it started: the capture is the snapshot again, and
        // only a frame is made.
        gScene.snapshot = capture;
    } else {
        size = AcquireSceneSurfaces(reference, size, PrimaryScreenSize(), gScene.frame, gScene.snapshot);
        if (SceneIsBlank()) {
            SizeScene(0, 0);
            DestroySurface(capture);
            return;
        }
        // The desktop as it was captured, where it lay, and again beside it
        // wherever the screen reaches beyond it.
        const int tileWidth = captured.right - captured.left;
        const int tileHeight = captured.bottom - captured.top;
        for (int y = FirstTileAt(captured.top, tileHeight); y < size.height; y += tileHeight) {
            for (int x = FirstTileAt(captured.left, tileWidth); x < size.width; x += tileWidth)
                BitBlt(gScene.snapshot.dc, x, y, tileWidth, tileHeight, capture.dc, 0, 0, SRCCOPY);
        }
        gScene.capture = capture;
    }
    SizeScene(size.width, size.height);
    if (gScene.phase == RunningPhase) {
        // Black, as between running ticks, with the brush the curtain's end
        // left; with no last tick on record, the next one draws the whole
        // frame.
        PatBlt(gScene.frame.dc, 0, 0, size.width, size.height, BLACKNESS);
        SelectObject(gScene.frame.dc, GetStockObject(WHITE_BRUSH));
    } else {
        SelectObject(gScene.frame.dc, GetStockObject(NULL_BRUSH));
        CopySnapshotToFrame();
        RedrawCurtain();
    }
    for (int i = 0; i < gScene.count; ++i) {
        FitBall(*gScene.balls[i]);
        FitSquare(*gScene.squares[i]);
    }
    FitOverlay(*gScene.overlay);
}

void FollowScreen(HWND window, int width, int height, POINT at)
{
    if (!SceneIsBlank() && (width != gScene.width || height != gScene.height)) {
        HDC windowDC = gPlatform.getDC(window);
        ResizeScene(windowDC, width, height, at);
        if (windowDC)
            ReleaseDC(window, windowDC);
        // Without surfaces at any size the saver goes on as a blanker.
        if (SceneIsBlank() && gScene.timerId) {
            KillTimer(window, gScene.timerId);
            gScene.timerId = 0;
        }
    }
    // The context kept from the first paint was clipped to the window as it
    // was then: the next paint begins anew, and copies everything.
    if (gScene.paintDC) {
        EndPaint(window, &gScene.paint);
        gScene.paintDC = nullptr;
        gScene.paint = {};
    }
    InvalidateRect(window, nullptr, FALSE);
}

bool SceneIsBlank()
{
    return !gScene.frame.dc;
}

void TakeSnapshot(HWND window)
{
    if (SceneIsBlank())
        return;
    // Not the window's own context: a window that has not painted yet reads
    // back black under a desktop compositor and under Wine. The screen's
    // context at the window's place holds what the user was looking at: for
    // the full-screen window, placed over the virtual screen, that is every
    // monitor from the virtual screen's top-left corner, which may lie at
    // negative coordinates; for a preview, what lay under the preview's
    // area.
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HDC screen = gPlatform.getDC(nullptr);
    const bool captured =
        screen && BitBlt(gScene.snapshot.dc, 0, 0, gScene.width, gScene.height, screen, origin.x, origin.y, SRCCOPY);
    if (screen)
        ReleaseDC(nullptr, screen);
    // A screen that cannot be read (no context for it, or another desktop
    // has the input) leaves a black snapshot, never the surface's leftovers:
    // a DIB section starts black, a compatible bitmap holds whatever its
    // memory held.
    if (!captured)
        PatBlt(gScene.snapshot.dc, 0, 0, gScene.width, gScene.height, BLACKNESS);
}

void CopySnapshotToFrame()
{
    if (SceneIsBlank())
        return;
    BitBlt(gScene.frame.dc, 0, 0, gScene.width, gScene.height, gScene.snapshot.dc, 0, 0, SRCCOPY);
}

void ReleaseScene(HWND window)
{
    if (window && gScene.timerId)
        KillTimer(window, gScene.timerId);
    gScene.timerId = 0;
    // No shape brush may stay selected when the brushes are deleted. Before
    // the curtain has ended no shape brush was ever selected.
    if (IsColorful() && gScene.hollowBrush)
        SelectObject(gScene.frame.dc, gScene.hollowBrush);
    for (int i = 0; i < gScene.count; ++i) {
        if (gScene.balls[i])
            DeleteShapeBrush(gScene.balls[i]->brush);
        if (gScene.squares[i])
            DeleteShapeBrush(gScene.squares[i]->brush);
        gPlatform.release(gScene.balls[i]);
        gPlatform.release(gScene.squares[i]);
        gScene.balls[i] = nullptr;
        gScene.squares[i] = nullptr;
    }
    gPlatform.release(gScene.overlay);
    gScene.overlay = nullptr;
    // The brushes the frame held between shapes are stock ones, which need
    // no deleting.
    gScene.hollowBrush = nullptr;
    // EndPaint only pairs a BeginPaint that happened: a window destroyed
    // before its first paint has nothing to end.
    if (window && gScene.paintDC)
        EndPaint(window, &gScene.paint);
    gScene.paintDC = nullptr;
    ReleaseTickMemory(gScene.tick);
    DestroySurface(gScene.capture);
    DestroySurface(gScene.snapshot);
    DestroySurface(gScene.frame);
}

void ReleaseTickMemory(TickMemory& tick)
{
    FreeGrid(tick.grid);
    FreeRects(tick.rects);
    ReleaseBallRuns(tick.ballRuns);
    ReleaseSpanBuffers(tick.spans);
    tick = {};
}

LRESULT AnimationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CreateScene(window,
                    static_cast<const SceneRequest*>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams));
        break;
    case WM_PAINT:
        // Resting, the default handling only validates: nobody sees the
        // display, and waking asks for the whole frame.
        if (!gScene.resting)
            PaintScene(window);
        break;
    case WM_TIMER:
        // Any timer id advances the scene: the window has only this one. A
        // tick already queued when the scene came to rest is dropped.
        if (!gScene.resting)
            TickScene(window);
        break;
    case WM_DESTROY:
        ReleaseScene(window);
        PostQuitMessage(0);
        break;
    default:
        break;
    }
    return DefaultSaverProc(window, message, wParam, lParam);
}
