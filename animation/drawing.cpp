// Drawing services: creation and release of the scene's surfaces, shape
// brushes and damage regions, with a count of what is alive. The count
// exists because Wine's GetGuiResources does not report GDI objects, and a
// screen saver that leaks one brush per rebirth runs out of handles
// overnight.
#include "animation/drawing.h"

#include "platform/platform.h"

namespace {

int gLiveObjects = 0;

// Deletes a bitmap, brush or region made here; the count drops only when it is gone.
void DeleteCounted(HGDIOBJ object)
{
    if (object && DeleteObject(object))
        --gLiveObjects;
}

} // namespace

bool CreateSurface(Surface& surface, HDC reference, int width, int height)
{
    surface = {};
    if (width <= 0 || height <= 0)
        return false;
    surface.dc = CreateCompatibleDC(reference);
    if (surface.dc) {
        ++gLiveObjects;
        // 32 bits a pixel whatever the display: the frame and the snapshot
        // are read and written word by word. A display of fewer
        // bits gets its own depth when the frame is copied to the window.
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down: row 0 first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        surface.bitmap = gPlatform.createDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (surface.bitmap && bits) {
            surface.bits = static_cast<uint32_t*>(bits);
        } else if (surface.bitmap) {
            DeleteObject(surface.bitmap);
            surface.bitmap = nullptr;
        }
    }
    // Compatible with the reference, not with the new memory context: a new
    // memory context holds a one-pixel monochrome bitmap, which is what the
    // context would keep, showing garbage, if the bitmap were not checked.
    if (surface.dc && !surface.bitmap)
        surface.bitmap = gPlatform.createCompatibleBitmap(reference, width, height);
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
    DeleteCounted(surface.bitmap);
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
    DeleteCounted(brush);
    brush = nullptr;
}

HRGN CreateSceneRegion(const RECT* rects, int count)
{
    HRGN region = nullptr;
    if (count <= 1) {
        region = count == 1 ? CreateRectRgn(rects[0].left, rects[0].top, rects[0].right, rects[0].bottom)
                            : CreateRectRgn(0, 0, 0, 0);
    } else {
        // One call for the whole list: a union per rectangle costs the
        // region's size every time.
        // No exceptions and no standard containers in the product: a
        // plain block, and no region when it cannot be had.
        const size_t size = sizeof(RGNDATAHEADER) + sizeof(RECT) * static_cast<size_t>(count);
        RGNDATA* data = static_cast<RGNDATA*>(gPlatform.allocateRegion(size));
        if (!data)
            return nullptr;
        data->rdh.dwSize = sizeof(RGNDATAHEADER);
        data->rdh.iType = RDH_RECTANGLES;
        data->rdh.nCount = static_cast<DWORD>(count);
        data->rdh.nRgnSize = static_cast<DWORD>(sizeof(RECT) * static_cast<size_t>(count));
        RECT bounds = rects[0];
        for (int i = 1; i < count; ++i)
            UnionRect(&bounds, &bounds, &rects[i]);
        data->rdh.rcBound = bounds;
        CopyMemory(data->Buffer, rects, sizeof(RECT) * static_cast<size_t>(count));
        region = ExtCreateRegion(nullptr, static_cast<DWORD>(size), data);
        gPlatform.release(data);
    }
    if (region)
        ++gLiveObjects;
    return region;
}

void DeleteSceneRegion(HRGN& region)
{
    DeleteCounted(region);
    region = nullptr;
}

int LiveSceneGdiObjects()
{
    return gLiveObjects;
}
