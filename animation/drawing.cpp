// Drawing services: creation and release of the scene's surfaces and shape
// brushes, with a count of what is alive. The count exists because Wine's
// GetGuiResources does not report GDI objects, and a screen saver that
// leaks one brush per rebirth runs out of handles overnight.
#include "animation/drawing.h"

namespace {

int gLiveObjects = 0;

} // namespace

bool CreateSurface(Surface& surface, HDC reference, int width, int height)
{
    surface = {};
    if (width <= 0 || height <= 0)
        return false;
    surface.dc = CreateCompatibleDC(reference);
    if (surface.dc)
        ++gLiveObjects;
    // Compatible with the reference, not with the new memory context: a new
    // memory context holds a one-pixel monochrome bitmap, which is what the
    // context would keep, showing garbage, if the bitmap were not checked.
    if (surface.dc)
        surface.bitmap = CreateCompatibleBitmap(reference, width, height);
    if (surface.bitmap) {
        ++gLiveObjects;
        surface.originalBitmap = SelectObject(surface.dc, surface.bitmap);
    }
    if (!surface.originalBitmap) {
        DestroySurface(surface);
        return false;
    }
    return true;
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
