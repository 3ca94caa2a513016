// Frames drawn only where shapes were or are: GDI's own rasterisation held
// against the boxes the damage is built from, the damage grid's rectangles,
// and the contract that matters, every frame and every window picture equal
// bit for bit to the straightforward whole-frame path, tick by tick.
#include <cstdlib>
#include <cstring>
#include <utility>

#include "animation/damage.h"
#include "animation/spans.h"
#include "shell/shell.h"
#include "unit/animation_fixture.h"
#include "unit/animation_spread.h"

namespace {

constexpr COLORREF White = RGB(255, 255, 255);

// The frame's bitmap as raw 32-bit words, read into a buffer kept between
// calls (frames of 7681 x 2161 are 66 MB).
void ReadWords(const Surface& surface, int width, int height, std::vector<uint32_t>& words)
{
    words.resize(static_cast<size_t>(width) * height);
    BITMAPINFO info = TopDown32(width, height);
    SelectObject(surface.dc, surface.originalBitmap);
    GetDIBits(surface.dc, surface.bitmap, 0, height, words.data(), &info, DIB_RGB_COLORS);
    SelectObject(surface.dc, surface.bitmap);
}

// Boxes of every kind a ball draws: round, squashed (twice as wide as
// tall), odd and even sides, tiny, and lying partly off the surface.
std::vector<RECT> BallBoxes()
{
    std::vector<RECT> boxes;
    for (int size : {1, 2, 3, 5, 8, 13, 30, 31, 75, 96, 127, 200, 257}) {
        for (int shift : {0, 1}) {
            boxes.push_back(RECT{10 + shift, 7, 10 + shift + size, 7 + size});
            boxes.push_back(RECT{10 + shift, 7, 10 + shift + size, 7 + size / 2});
        }
    }
    boxes.push_back(RECT{-40, -25, 60, 75});
    boxes.push_back(RECT{250, 200, 350, 300});
    return boxes;
}

class DamageRules : public ::testing::Test {
protected:
    static constexpr int Width = 300;
    static constexpr int Height = 260;
    void SetUp() override
    {
        HDC screen = GetDC(nullptr);
        CreateSurface(surface_, screen, Width, Height);
        ReleaseDC(nullptr, screen);
    }
    void TearDown() override { DestroySurface(surface_); }

    Surface surface_ = {};
};

// Drawn in red with the default black pen over white, every pixel the
// ellipse touches shows as non-white: the row extents and the marked grid must
// hold each of them. And wherever the box lies, even partly off the surface,
// every pixel is what the runs read once off the box at the origin say:
// black outline, red fill, white around.
TEST_F(DamageRules, EllipsePixelsLieInTheirRowExtentsAndAreThoseOfTheBoxsRuns)
{
    gScene.maxBallSize = 300;
    BallRunCache cache = {};
    for (const RECT& box : BallBoxes()) {
        SCOPED_TRACE(testing::Message() << box.left << "," << box.top << "," << box.right << "," << box.bottom);
        PatBlt(surface_.dc, 0, 0, Width, Height, WHITENESS);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        const HGDIOBJ previous = SelectObject(surface_.dc, red);
        Ellipse(surface_.dc, box.left, box.top, box.right, box.bottom);
        SelectObject(surface_.dc, previous);
        DeleteObject(red);
        const Pixels pixels = ReadSurface(surface_, Width, Height);
        DamageGrid grid = {};
        ClearGrid(grid, Width, Height);
        MarkEllipse(grid, box, Width, Height);
        RectList list = {};
        GridRects(grid, Width, Height, list);
        const std::vector<RECT> rects(list.items, list.items + list.count);
        FreeRects(list);
        FreeGrid(grid);
        const RowRuns* runs = BallRuns(cache, box.right - box.left, box.bottom - box.top);
        if (box.bottom - box.top >= 2) {
            ASSERT_NE(runs, nullptr) << "every ball box has runs";
        }
        int touched = 0;
        for (int y = 0; y < Height; ++y) {
            int left = 0;
            int right = 0;
            const bool any = EllipseRowExtent(box, y, y + 1, left, right);
            for (int x = 0; x < Width; ++x) {
                const COLORREF pixel = pixels.at(x, y);
                if (runs) {
                    COLORREF want = White;
                    if (y >= box.top && y < box.bottom) {
                        const RowRuns& r = runs[y - box.top];
                        const int c = x - box.left;
                        if (c >= r.left && c < r.right)
                            want = c >= r.fillLeft && c < r.fillRight ? RGB(255, 0, 0) : RGB(0, 0, 0);
                    }
                    ASSERT_EQ(pixel, want) << "pixel " << x << "," << y;
                }
                if (pixel == White)
                    continue;
                ++touched;
                ASSERT_TRUE(any && x >= left && x < right) << "pixel " << x << "," << y << " outside the row's extent";
                bool inGrid = false;
                for (const RECT& r : rects)
                    inGrid = inGrid || PtInRect(&r, POINT{x, y});
                ASSERT_TRUE(inGrid) << "pixel " << x << "," << y << " not in the grid's rectangles";
            }
        }
        if (box.right - box.left >= 3 && box.bottom - box.top >= 3) {
            EXPECT_GT(touched, 0);
        }
    }
    ReleaseBallRuns(cache);
}

// Rows read off a drawing of Ellipse: 'b' the background, 'o' the pen's
// black, 'f' the brush's white, 'O' black with a top byte (not colour).
TEST(BallRuns, RowsAreReadAsOutlineFillOutlineOrRefused)
{
    struct Case {
        const char* name;
        std::vector<const char*> rows;
        bool read;
        RowRuns first;  // the first row's runs when read
    } cases[] = {
        {"outline, fill, outline", {"bbofffob"}, true, {2, 3, 6, 7}},
        {"outline only", {"boooob"}, true, {1, 5, 5, 5}},
        {"nothing on the row", {"bbbb"}, true, {0, 0, 0, 0}},
        {"from edge to edge", {"offfo"}, true, {0, 1, 4, 5}},
        {"the top byte is not colour", {"bOffOb"}, true, {1, 2, 4, 5}},
        {"two outlines apart", {"bobbob"}, false, {}},
        {"a fill without its right outline", {"boffbb"}, false, {}},
        {"a fill without its left outline", {"bffob"}, false, {}},
        {"a fill alone", {"bffb"}, false, {}},
        {"two fills", {"ofofo"}, false, {}},
        {"a good row over a bad one", {"boob", "bfob"}, false, {}},
    };
    constexpr uint32_t Background = 0x000000FF;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int width = static_cast<int>(std::strlen(c.rows[0]));
        const int height = static_cast<int>(c.rows.size());
        std::vector<uint32_t> pixels;
        for (const char* row : c.rows) {
            for (const char* p = row; *p; ++p)
                pixels.push_back(*p == 'b' ? Background : *p == 'o' ? 0 : *p == 'O' ? 0xFF000000 : 0x00FFFFFF);
        }
        std::vector<RowRuns> runs(c.rows.size());
        ASSERT_EQ(ReadEllipseRows(pixels.data(), width, width, height, Background, runs.data()), c.read);
        if (c.read) {
            EXPECT_EQ(runs[0].left, c.first.left);
            EXPECT_EQ(runs[0].fillLeft, c.first.fillLeft);
            EXPECT_EQ(runs[0].fillRight, c.first.fillRight);
            EXPECT_EQ(runs[0].right, c.first.right);
        }
    }
}

TEST(DamageDecisions, GridRectanglesAreBandedDisjointAndCoverWhatWasMarked)
{
    struct Case {
        const char* name;
        std::vector<RECT> marked;
        long long area;  // of the cell-rounded rectangles
    } cases[] = {
        {"nothing", {}, 0},
        {"one cell", {{3, 3, 4, 4}}, 16 * 16},
        {"straddling four cells", {{15, 15, 17, 17}}, 4 * 16 * 16},
        {"two apart on one row", {{0, 0, 1, 1}, {40, 0, 41, 1}}, 2 * 16 * 16},
        {"clipped at the odd right and bottom edges", {{90, 40, 200, 200}}, (101 - 80) * (50 - 32)},
        {"off the frame", {{-50, -50, -1, -1}, {101, 0, 300, 50}}, 0},
        {"overlapping", {{0, 0, 40, 40}, {20, 20, 60, 45}}, 48LL * 16 + 64LL * 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DamageGrid grid = {};
        ClearGrid(grid, 101, 50);
        for (const RECT& r : c.marked)
            MarkRect(grid, r, 101, 50);
        RectList list = {};
        EXPECT_EQ(GridRects(grid, 101, 50, list), c.area);
        const std::vector<RECT> rects(list.items, list.items + list.count);
        FreeRects(list);
        FreeGrid(grid);
        long long sum = 0;
        for (size_t i = 0; i < rects.size(); ++i) {
            sum += static_cast<long long>(rects[i].right - rects[i].left) * (rects[i].bottom - rects[i].top);
            for (size_t j = i + 1; j < rects.size(); ++j) {
                RECT both;
                EXPECT_FALSE(IntersectRect(&both, &rects[i], &rects[j])) << i << " overlaps " << j;
                EXPECT_TRUE(rects[j].top > rects[i].top || (rects[j].top == rects[i].top && rects[j].left > rects[i].left))
                    << "banded order";
            }
        }
        EXPECT_EQ(sum, c.area);
        for (const RECT& r : c.marked) {
            RECT onFrame = {std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, 101),
                            std::min<LONG>(r.bottom, 50)};
            for (int y = onFrame.top; y < onFrame.bottom; ++y) {
                for (int x = onFrame.left; x < onFrame.right; ++x) {
                    bool inside = false;
                    for (const RECT& d : rects)
                        inside = inside || PtInRect(&d, POINT{x, y});
                    ASSERT_TRUE(inside) << x << "," << y;
                }
            }
        }
    }
}

// Past 60 % of the frame, or from 128 pairs on, GDI does the whole frame.
// The areas are worked out by hand at each size, three 8K monitors among
// them, whose pixels times a hundred pass 2^32.
TEST(DamageDecisions, TheWholeFrameIsDoneOnceTheDamageCoversMostOfIt)
{
    const struct {
        int width, height;
        long long area;
        int pairs;
        bool whole;
    } cases[] = {
        {64, 48, 0, 1, false},
        {64, 48, 1843, 1, false},
        {64, 48, 1844, 1, true},
        {64, 48, 3072, 1, true},
        {1920, 1080, 1244160, 10, false},
        {1920, 1080, 1244161, 10, true},
        {23040, 4320, 59719680, 10, false},
        {23040, 4320, 59719681, 10, true},
        {1920, 1080, 1000, 127, false},
        {1920, 1080, 1000, 128, true},
        {1920, 1080, 0, 255, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << ", " << c.area << " pixels, " << c.pairs
                                        << " pairs");
        EXPECT_EQ(WholeFrameIsCheaper(c.area, c.pairs, c.width, c.height), c.whole);
    }
}

// --- the contract: both paths, tick by tick ---

struct SceneState {
    Scene scene = {};
    uint32_t random = 0;
};

// Puts a stored scene in place of the live one and the live one in its
// place.
void Swap(SceneState& state)
{
    std::swap(gScene, state.scene);
    std::swap(gRandomState, state.random);
}

// What the platform refuses the product's scene.
enum class Refusal { Nothing, DibSections, RunMemory };

struct ExactnessCase {
    const char* name;
    int width, height;                // the scene
    int windowWidth, windowHeight;    // what the window shows of it
    int mode;
    int count;
    int runningTicks;
    int curtainStride;  // every how many curtain ticks the pictures are compared
    int spread;         // when the curtain ends, pair i is moved on by i * spread ticks, all pairs active
    Refusal refused;
    int changeTick;        // the screen changes before this tick (0: never)
    SceneSize changeTo;    // the new scene and window
    POINT changeCorner;    // where the old scene's corner lies in the new one
};

void* NoRunMemory(size_t)
{
    return nullptr;
}

// The fixture puts every platform call the cases replace back.
class Exactness : public FrozenRandomTest {};

TEST_F(Exactness, EveryFrameAndWindowPictureEqualsTheWholeFramePath)
{
    // A primary at (0, 0) of 1024 x 768 with a 1280 x 1024 monitor on its
    // left: the scene spans 2304 x 1024 from (-1280, 0).
    const RECT spanning = SaverScreenArea(ScreenMetrics{-1280, 0, 2304, 1024, 1024, 768});
    const int spanWidth = spanning.right - spanning.left;
    const int spanHeight = spanning.bottom - spanning.top;
    ASSERT_EQ(spanWidth, 2304);
    const Refusal none = Refusal::Nothing;
    const ExactnessCase cases[] = {
        {"primary only, whole wave", 1024, 768, 1024, 768, Standard, 2, 300, 1, 0, none, 0, {}, {}},
        {"spanning, negative origin, whole wave", spanWidth, spanHeight, spanWidth, spanHeight, Colorful, 2, 700, 4, 0,
         none, 0, {}, {}},
        {"1366x768, ten pairs", 1366, 768, 1366, 768, Colorful, 10, 300, 4, 0, none, 0, {}, {}},
        {"1366x768, every pair", 1366, 768, 1366, 768, Standard, 255, 160, 8, 0, none, 0, {}, {}},
        {"1920x1080, every pair spread", 1920, 1080, 1920, 1080, Standard, 255, 120, 16, 11, none, 0, {}, {}},
        {"3840x2160, every pair spread", 3840, 2160, 3840, 2160, Colorful, 255, 16, 100, 11, none, 0, {}, {}},
        {"7681x2161, ten pairs", 7681, 2161, 7681, 2161, Colorful, 10, 40, 100, 0, none, 0, {}, {}},
        {"7681x2161, every pair", 7681, 2161, 7681, 2161, Standard, 255, 12, 200, 0, none, 0, {}, {}},
        {"tiny preview of the primary", 1024, 768, 152, 112, Standard, 2, 300, 1, 0, none, 0, {}, {}},
        {"tiny screen, every pair", 64, 48, 64, 48, Colorful, 255, 600, 1, 0, none, 0, {}, {}},
        {"no DIB sections: GDI draws", 1366, 768, 1366, 768, Colorful, 10, 200, 8, 0, Refusal::DibSections, 0, {}, {}},
        {"no memory for runs: GDI draws", 1366, 768, 1366, 768, Standard, 255, 100, 8, 7, Refusal::RunMemory, 0, {}, {}},
        {"the screen shrinks while running", 1366, 768, 1366, 768, Colorful, 10, 250, 8, 0, none, 180, {1024, 600},
         {0, 0}},
        {"a monitor joins on the left, every pair", 1024, 768, 1024, 768, Standard, 255, 120, 8, 11, none, 150,
         {1920, 900}, {896, 60}},
        {"the screen grows during the curtain", 1024, 600, 1024, 600, Colorful, 10, 150, 4, 0, none, 30, {1280, 800},
         {0, 0}},
    };
    bool sawRightEdge = false;
    bool sawSquash = false;
    bool sawOffLeft = false;
    bool sawOffTop = false;
    bool sawDamaged = false;
    std::vector<uint32_t> fast, plain, shown;
    // Both ways of writing the pixels, the 486's and SSE2's (which every
    // processor that runs these tests has), must give the very same frames.
    ASSERT_TRUE(ReadSse2Facts().processorSse2) << "this processor cannot run the SSE2 loops";
    const size_t caseCount = sizeof cases / sizeof cases[0];
    for (size_t run = 0; run < 2 * caseCount; ++run) {
        const bool sse2 = run >= caseCount;
        const ExactnessCase& c = cases[run % caseCount];
        SCOPED_TRACE(c.name);
        SCOPED_TRACE(sse2 ? "SSE2 loops" : "the 486's loops");
        const int liveAtStart = LiveSceneGdiObjects();
        const Pixels picture = KnownSnapshot(c.width, c.height);
        // The same seed for both scenes; the refusals are the product's.
        SceneState reference;
        SceneState damaged;
        for (SceneState* state : {&damaged, &reference}) {
            gRandomState = 0;
            gScene.wave = Wave::Growing;
            gPlatform.createDIBSection =
                state == &damaged && c.refused == Refusal::DibSections ? NoDibSection : CreateDIBSection;
            HDC screen = GetDC(nullptr);
            BuildScene(screen, c.width, c.height, c.mode, c.count);
            ReleaseDC(nullptr, screen);
            WriteSurface(gScene.snapshot, picture);
            CopySnapshotToFrame();
            Swap(*state);
        }
        gPlatform.createDIBSection = CreateDIBSection;
        gPlatform.allocateRuns = c.refused == Refusal::RunMemory ? NoRunMemory : HeapAllocate;
        gPlatform.sse2 = sse2;
        // What the damaged path's window gets: its first paint copies all,
        // every later one what the tick's invalidation names.
        Surface window = {};
        {
            HDC screen = GetDC(nullptr);
            CreateSurface(window, screen, c.windowWidth, c.windowHeight);
            ReleaseDC(nullptr, screen);
        }
        Swap(damaged);
        CopyFrameToWindow(window.dc, nullptr);
        Swap(damaged);

        int curtainTicks = 0;
        int running = 0;
        int peak = 0;
        int spanTicks = 0;
        bool backToOne = false;
        int width = c.width, height = c.height, windowWidth = c.windowWidth, windowHeight = c.windowHeight;
        for (int tick = 0; running < c.runningTicks; ++tick) {
            if (c.changeTick && tick == c.changeTick) {
                // The screen changes under both scenes alike; the window
                // follows it and is painted whole.
                width = windowWidth = c.changeTo.width;
                height = windowHeight = c.changeTo.height;
                HDC screen = GetDC(nullptr);
                for (SceneState* state : {&damaged, &reference}) {
                    Swap(*state);
                    ResizeScene(screen, width, height, c.changeCorner);
                    Swap(*state);
                }
                DestroySurface(window);
                CreateSurface(window, screen, width, height);
                ReleaseDC(nullptr, screen);
                Swap(damaged);
                CopyFrameToWindow(window.dc, nullptr);
                Swap(damaged);
            }
            Swap(reference);
            const bool referenceWasRunning = gScene.phase == RunningPhase;
            TickSceneWholeFrame();
            if (c.spread && !referenceWasRunning && gScene.phase == RunningPhase)
                SpreadPairs(c.spread);
            Swap(reference);

            Swap(damaged);
            const bool wasRunning = gScene.phase == RunningPhase;
            const TickResult result = TickScene();
            if (c.spread && !wasRunning && gScene.phase == RunningPhase)
                SpreadPairs(c.spread);
            HRGN changed = CreateChangedRegion(result.changed);
            CopyFrameToWindow(window.dc, changed);
            DeleteSceneRegion(changed);
            if (wasRunning) {
                ++running;
                spanTicks += result.path == FramePath::Spans ? 1 : 0;
                sawDamaged = sawDamaged || !result.changed.wholeFrame;
                for (int i = 0; i < gScene.tick.drawn.pairs; ++i) {
                    const RECT& b = gScene.tick.drawn.balls[i];
                    sawRightEdge = sawRightEdge || b.right == width;
                    sawSquash = sawSquash || (b.bottom == height && b.bottom - b.top < b.right - b.left);
                    sawOffLeft = sawOffLeft || (b.left < 0 && b.right > 2);
                    sawOffTop = sawOffTop || (b.top < 0 && b.bottom > 2);
                }
                peak = std::max(peak, gScene.active);
                backToOne = backToOne || (peak == c.count && gScene.active == 1);
            } else {
                ++curtainTicks;
            }
            Swap(damaged);
            if (!wasRunning && curtainTicks % c.curtainStride != 0)
                continue;

            ReadWords(damaged.scene.frame, width, height, fast);
            ReadWords(reference.scene.frame, width, height, plain);
            ReadWords(window, windowWidth, windowHeight, shown);
            if (std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(uint32_t)) != 0) {
                size_t i = 0;
                while (fast[i] == plain[i])
                    ++i;
                FAIL() << "tick " << tick << ": frame pixel " << i % width << "," << i / width << " is "
                       << std::hex << fast[i] << ", the whole-frame path has " << plain[i];
            }
            for (int y = 0; y < windowHeight; ++y) {
                const uint32_t* row = shown.data() + static_cast<size_t>(y) * windowWidth;
                const uint32_t* want = plain.data() + static_cast<size_t>(y) * width;
                if (std::memcmp(row, want, windowWidth * sizeof(uint32_t)) == 0)
                    continue;
                int x = 0;
                while (row[x] == want[x])
                    ++x;
                FAIL() << "tick " << tick << ": window pixel " << x << "," << y << " is " << std::hex << row[x]
                       << ", the whole-frame path shows " << want[x];
            }
        }
        if (c.count == 2) {
            EXPECT_TRUE(backToOne) << "the wave grew to the count and fell back to one";
        }
        // Drawn from runs whenever the platform gives what they need (the
        // first running tick included), with GDI throughout where it does not.
        EXPECT_EQ(spanTicks, c.refused == Refusal::Nothing ? c.runningTicks : 0);
        DestroySurface(window);
        for (SceneState* state : {&damaged, &reference}) {
            Swap(*state);
            ReleaseScene(nullptr);
            Swap(*state);
        }
        EXPECT_EQ(LiveSceneGdiObjects(), liveAtStart);
    }
    EXPECT_TRUE(sawRightEdge);
    EXPECT_TRUE(sawSquash);
    EXPECT_TRUE(sawOffLeft);
    EXPECT_TRUE(sawOffTop);
    EXPECT_TRUE(sawDamaged) << "some ticks took the damaged path";
}

} // namespace
