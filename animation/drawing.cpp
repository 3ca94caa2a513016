// Drawing services: creation and release of the scene's surfaces and shape
// brushes, with a count of what is alive. The count exists because Wine's
// GetGuiResources does not report GDI objects, and a screen saver that
// leaks one brush per rebirth runs out of handles overnight.
#include "animation/drawing.h"

namespace {

int gLiveObjects = 0;

} // namespace

void CreateSurface(Surface& surface, HDC reference, int width, int height)
{
    surface = {};
    surface.dc = CreateCompatibleDC(reference);
    if (surface.dc)
        ++gLiveObjects;
    // Compatible with the reference, not with the new memory context: a new
    // memory context holds a one-pixel monochrome bitmap.
    surface.bitmap = CreateCompatibleBitmap(reference, width, height);
    if (surface.bitmap)
        ++gLiveObjects;
    if (surface.dc && surface.bitmap)
        surface.originalBitmap = SelectObject(surface.dc, surface.bitmap);
}

void DestroySurface(Surface& surface)
{
    // A bitmap still selected into a context cannot be deleted.
    if (surface.dc && surface.originalBitmap)
        SelectObject(surface.dc, surface.originalBitmap);
    if (surface.bitmap && DeleteObject(surface.bitmap))
        --gLiveObjects;
    if (surface.dc && DeleteDC(surface.dc))
        --gLiveObjects;
    surface = {};
}

HBRUSH CreateShapeBrush(COLORREF color)
{
    HBRUSH brush = CreateSolidBrush(color);
    if (brush)
        ++gLiveObjects;
    return brush;
}

void DeleteShapeBrush(HBRUSH& brush)
{
    if (brush && DeleteObject(brush))
        --gLiveObjects;
    brush = nullptr;
}

int LiveSceneGdiObjects()
{
    return gLiveObjects;
}
