// Drawing services: the GDI objects the scene owns (off-screen surfaces,
// shape brushes and the regions of one tick) are made and released only
// through here, so the scene's holdings can be counted, and a surface
// always gets its original bitmap back before its own is deleted.
#pragma once

#include <windows.h>

#include <cstdint>

// An off-screen drawing surface: a memory context with a bitmap selected.
// The bitmap is a 32-bit top-down DIB section whose pixels the running
// frame writes itself (bits, width words a row, 0x00RRGGBB), or, where
// the system refuses one, a bitmap compatible with the reference context,
// which only GDI can draw on (bits is none).
struct Surface {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ originalBitmap;  // what the new context held; selected back at release
    uint32_t* bits;
};

// Makes a width x height surface for reference's device: a DIB section
// when the system gives one, else a compatible bitmap. Returns false,
// holding nothing, when the context or both bitmaps cannot be had (a
// surface too big for the memory or the address space left) or the size is
// empty. A DIB section starts black.
bool CreateSurface(Surface& surface, HDC reference, int width, int height);
// Selects the original bitmap back, then deletes the bitmap and the context.
void DestroySurface(Surface& surface);

HBRUSH CreateShapeBrush(COLORREF color);
// Deletes brush (the caller made sure it is no longer selected) and sets it
// to none.
void DeleteShapeBrush(HBRUSH& brush);

// A region holding the given rectangles (none given: an empty one); they
// need not be disjoint. Released with DeleteSceneRegion.
HRGN CreateSceneRegion(const RECT* rects, int count);
void DeleteSceneRegion(HRGN& region);

// Contexts, bitmaps, brushes and regions made here and not yet released.
int LiveSceneGdiObjects();
