// The overlay: the snapshot, tiled and drifting (left by one pixel
// per tick with wrap, up and down by one turning at the ends), ANDed over
// the frame so the black background stays black and the snapshot
// shows through the shapes.
#include "animation/scene.h"

void ResetOverlay(Overlay& overlay)
{
    overlay.horizontalOffset = 0;
    overlay.verticalOffset = 0;
    overlay.tileX = 0;
    overlay.tileY = 0;
    overlay.verticalStep = 1;
}

OverlayTiles StepOverlay(Overlay& overlay)
{
    const int width = gScene.width;
    const int height = gScene.height;
    OverlayTiles tiles = {};
    // An empty scene has nothing to lay (and no width to wrap at).
    if (width <= 0 || height <= 0)
        return tiles;
    overlay.horizontalOffset = (overlay.horizontalOffset + 1) % width;
    overlay.verticalOffset += overlay.verticalStep;
    // The offset is not clamped: it reaches H at the bottom turn and -1 at
    // the top one, so the period is 2H + 2 ticks.
    if (overlay.verticalOffset >= height || overlay.verticalOffset < 0)
        overlay.verticalStep = -overlay.verticalStep;
    for (overlay.tileY = -overlay.verticalOffset; overlay.tileY < height; overlay.tileY += height) {
        for (overlay.tileX = -overlay.horizontalOffset; overlay.tileX < width; overlay.tileX += width)
            tiles.at[tiles.count++] = POINT{overlay.tileX, overlay.tileY};
    }
    return tiles;
}

void LayOverlay(const OverlayTiles& tiles)
{
    for (int i = 0; i < tiles.count; ++i)
        BitBlt(gScene.frame.dc, tiles.at[i].x, tiles.at[i].y, gScene.width, gScene.height, gScene.snapshot.dc, 0, 0,
               SRCAND);
}

void FitOverlay(Overlay& overlay)
{
    if (gScene.width <= 0 || gScene.height <= 0)
        return;
    overlay.horizontalOffset %= gScene.width;
    // Below the new bottom the picture turns, as it would have there.
    if (overlay.verticalOffset >= gScene.height) {
        overlay.verticalOffset = gScene.height;
        overlay.verticalStep = -1;
    }
}
