// Shared by the animation tests: a frozen clock, a scene built at a size the
// test chooses with real memory surfaces, and whole-surface pixel access.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "animation/animation.h"
#include "animation/random.h"
#include "animation/scene.h"
#include "config/settings.h"
#include "platform/platform.h"
#include "shell/shell.h"

constexpr uint32_t FrozenSeconds = 1700000000u;

inline uint32_t FrozenClock()
{
    return FrozenSeconds;
}

// Pixels of a surface as COLORREF values, row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> values;
    COLORREF at(int x, int y) const { return values[static_cast<size_t>(y) * width + x]; }
};

inline BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// DIB words are 0x00RRGGBB; COLORREF is 0x00BBGGRR.
inline COLORREF SwapRedBlue(uint32_t v)
{
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

inline Pixels ReadSurface(const Surface& surface, int width, int height)
{
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    std::vector<uint32_t> words(static_cast<size_t>(width) * height);
    BITMAPINFO info = TopDown32(width, height);
    // The bitmap is read while not selected, as GetDIBits asks.
    SelectObject(surface.dc, surface.originalBitmap);
    GetDIBits(surface.dc, surface.bitmap, 0, height, words.data(), &info, DIB_RGB_COLORS);
    SelectObject(surface.dc, surface.bitmap);
    pixels.values.reserve(words.size());
    for (uint32_t w : words)
        pixels.values.push_back(SwapRedBlue(w & 0xFFFFFF));
    return pixels;
}

inline void WriteSurface(const Surface& surface, const Pixels& pixels)
{
    std::vector<uint32_t> words;
    words.reserve(pixels.values.size());
    for (COLORREF c : pixels.values)
        words.push_back(SwapRedBlue(c));
    BITMAPINFO info = TopDown32(pixels.width, pixels.height);
    SelectObject(surface.dc, surface.originalBitmap);
    SetDIBits(surface.dc, surface.bitmap, 0, pixels.height, words.data(), &info, DIB_RGB_COLORS);
    SelectObject(surface.dc, surface.bitmap);
}

// A snapshot in which every pixel differs from black and from every other
// pixel, so a pixel read back tells where in the snapshot it came from.
inline Pixels KnownSnapshot(int width, int height)
{
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            pixels.values.push_back(RGB(x & 0xFF, y & 0xFF, 0x80 | (x >> 8) | ((y >> 8) << 3)));
    }
    return pixels;
}

// Stand-ins for the bitmap calls of the drawing services that refuse, as a
// system out of memory or address space does.
inline HBITMAP WINAPI NoDibSection(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD)
{
    return nullptr;
}

inline HBITMAP WINAPI NoBitmap(HDC, int, int)
{
    return nullptr;
}

// The generator at state 0 under a frozen clock; every real platform call
// (the wall clock among them) back after.
class FrozenRandomTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gPlatform.clock = FrozenClock;
        gRandomState = 0;
    }
    void TearDown() override { ResetPlatform(); }
};

// Each test starts with a frozen generator, a growing wave, and no scene;
// the scene is released after it.
class SceneTest : public FrozenRandomTest {
protected:
    void SetUp() override
    {
        FrozenRandomTest::SetUp();
        gScene.wave = Wave::Growing;
        liveAtStart_ = LiveSceneGdiObjects();
    }

    void TearDown() override
    {
        if (built_)
            ReleaseScene(nullptr);
        FrozenRandomTest::TearDown();
    }

    // Builds the scene at width x height with surfaces compatible with the
    // screen, and gives it the known snapshot.
    void Build(int colorMode, int count, int width = 800, int height = 600)
    {
        HDC screen = GetDC(nullptr);
        BuildScene(screen, width, height, colorMode, count);
        ReleaseDC(nullptr, screen);
        built_ = true;
        snapshot_ = KnownSnapshot(width, height);
        WriteSurface(gScene.snapshot, snapshot_);
        CopySnapshotToFrame();
    }

    void Release()
    {
        ReleaseScene(nullptr);
        built_ = false;
    }

    // Ticks until the curtain is over; returns how many ticks it took.
    int FinishCurtain()
    {
        int ticks = 0;
        while (gScene.phase != RunningPhase && ticks < 100000) {
            TickScene();
            ++ticks;
        }
        return ticks;
    }

    Pixels Frame() const { return ReadSurface(gScene.frame, gScene.width, gScene.height); }

    Pixels snapshot_;
    int liveAtStart_ = 0;
    bool built_ = false;
};

// A window of our own whose procedure is AnimationProc, as the shell's would
// hand it on: a popup, or a child of parent. Its scene is asked for as the
// shell asks: the virtual screen's size, the settings of the test
// program's own settings file (none: the defaults), a preview when the
// shell is in preview mode, in which the default handling never closes it.
inline LRESULT CALLBACK AnimationTestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AnimationProc(window, message, wParam, lParam);
}

inline HWND CreateAnimationWindow(HWND parent, DWORD style, int width, int height)
{
    static const char className[] = "PlimzorAnimationTest";
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = AnimationTestWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = className;
        registered = RegisterClassA(&windowClass) != 0;
    }
    BuildSettingsPath(gSettingsPath);
    LoadSettings(gSettingsPath);
    SceneRequest scene = {GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
                          gSettings.colorMode, gSettings.count, gShell.isPreview};
    return CreateWindowExA(0, className, "", (parent ? WS_CHILD : WS_POPUP) | style, 0, 0, width, height, parent,
                           nullptr, GetModuleHandleA(nullptr), &scene);
}

// Sizes the scene as BuildScene does, without surfaces, for motion tests.
inline void UseScreen(int width, int height, int colorMode = Standard)
{
    SizeScene(width, height);
    gScene.colorMode = colorMode;
    gScene.frame = {};
    gScene.hollowBrush = nullptr;
}
