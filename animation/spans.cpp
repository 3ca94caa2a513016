// The running frame written from runs. Within the damage, the shapes are
// taken front to back (the last pair first, a pair's square before its
// ball, a square's last sub-step first), and each is given only the columns
// of a row that no shape in front of it has taken: black on its outline,
// its colour ANDed with the snapshot under it on its fill. What no
// shape covers is black. So every damaged pixel is written once, in one
// pass, and nothing is cleared, filled or ANDed twice. The rows go a chunk
// at a time, the shapes' share of each row decided first and then written
// from left to right.
#include "animation/spans.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "animation/scene.h"
#include "platform/platform.h"

// A shape as the rows see it: its box, and a ball's rows (a square, being a
// rectangle, needs none).
struct SpanShape {
    RECT box;
    const RowRuns* rows;
    uint32_t color;  // the fill's pixel word
    bool hollow;     // outline only: what lies inside shows through
};

// Columns [left, right) of the row not written yet.
struct Interval {
    int left;
    int right;
};

// What a row gets at columns [left, right): the part in [fillLeft,
// fillRight) the colour over the snapshot, the rest black.
struct Piece {
    int left;
    int right;
    int fillLeft;
    int fillRight;
    uint32_t color;
};

namespace {

// The rows of the frame are written a chunk at a time: each shape goes
// down the chunk's rows before the next shape comes, so that a shape is
// looked at once per chunk, not once per row.
constexpr int ChunkRows = DamageCellSize;

// COLORREF 0x00BBGGRR as a 32-bit DIB's word 0x00RRGGBB.
uint32_t PixelWord(COLORREF color)
{
    return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

// The pixels of one row: the frame's, and the snapshot's row the overlay
// puts under it (none on the one row it leaves unANDed). Its writes are
// always inlined into the chunk writer, so that they are compiled with it,
// for the 486 or for SSE2 (WriteChunkSse2).
struct RowWriter {
    uint32_t* frame;
    const uint32_t* snapshot;
    int shift;  // the overlay's horizontal offset
    int width;

    __attribute__((always_inline)) void Black(int from, int to) const
    {
        // Outlines are a pixel or three: a call to fill them costs more than
        // the stores.
        if (to - from <= 8) {
            for (int x = from; x < to; ++x)
                frame[x] = 0;
            return;
        }
        std::fill(frame + from, frame + to, 0u);
    }

    __attribute__((always_inline)) void Fill(int from, int to, uint32_t color) const
    {
        if (!snapshot) {
            std::fill(frame + from, frame + to, color);
            return;
        }
        // The snapshot is tiled: its columns wrap once at most within a run.
        int source = from + shift;
        if (source >= width)
            source -= width;
        const int straight = std::min(to - from, width - source);
        uint32_t* __restrict out = frame + from;
        const uint32_t* __restrict in = snapshot + source;
        for (int i = 0; i < straight; ++i)
            out[i] = color & in[i];
        out += straight;
        for (int i = 0; i < to - from - straight; ++i)
            out[i] = color & snapshot[i];
    }

    __attribute__((always_inline)) void Write(const Piece& p) const
    {
        const int a = std::clamp(p.fillLeft, p.left, p.right);
        const int b = std::clamp(p.fillRight, a, p.right);
        Black(p.left, a);
        Fill(a, b, p.color);
        Black(b, p.right);
    }
};

// A row's open columns and the pieces decided for it so far: a shape
// covering [left, right), front to back, gets the open columns there and
// closes them.
struct OpenColumns {
    Interval* items;
    int count;
    Piece* pieces;
    int pieceCount;

    void Cover(int left, int right, int fillLeft, int fillRight, uint32_t color)
    {
        if (left >= right)
            return;
        // The first open interval ending after left.
        int first = static_cast<int>(
            std::upper_bound(items, items + count, left, [](int x, const Interval& i) { return x < i.right; }) - items);
        int last = first;
        for (; last < count && items[last].left < right; ++last)
            pieces[pieceCount++] =
                Piece{std::max(items[last].left, left), std::min(items[last].right, right), fillLeft, fillRight, color};
        if (first == last)
            return;
        // What stays open of the first and last intervals touched.
        Interval rest[2];
        int kept = 0;
        if (items[first].left < left)
            rest[kept++] = Interval{items[first].left, left};
        if (items[last - 1].right > right)
            rest[kept++] = Interval{right, items[last - 1].right};
        std::memmove(items + first + kept, items + last, sizeof(Interval) * static_cast<size_t>(count - last));
        std::copy(rest, rest + kept, items + first);
        count += kept - (last - first);
    }
};

// Which row of the snapshot the overlay lays under frame row y; -1
// for the row it leaves unANDed (the vertical offset at -1 lays its only
// tile row from y = 1).
int SnapshotRow(int y, int verticalOffset, int height)
{
    if (verticalOffset < 0)
        return y + verticalOffset;
    const int row = y + verticalOffset;
    return row >= height ? row - height : row;
}

SpanShape MakeShape(const RECT& box, const RowRuns* rows, COLORREF color, bool hollow)
{
    return SpanShape{box, rows, IsColorful() ? PixelWord(color) : PixelWord(RGB(255, 255, 255)), hollow};
}

// Columns [left, right) of a shape's row y: its outline and fill (empty
// when it does not touch the row).
Interval RowExtent(const SpanShape& s, int y)
{
    if (!s.rows)
        return Interval{s.box.left, s.box.right};
    const RowRuns& r = s.rows[y - s.box.top];
    return Interval{s.box.left + r.left, s.box.left + r.right};
}

// Gives shape s what is still open on its row y of a chunk.
void CoverShapeRow(const SpanShape& s, int y, OpenColumns& open)
{
    if (!s.rows) {
        // A rectangle: outline only on its top and bottom rows.
        const bool edge = y == s.box.top || y == s.box.bottom - 1;
        open.Cover(s.box.left, s.box.right, s.box.left + 1, edge ? s.box.left + 1 : s.box.right - 1, s.color);
        return;
    }
    const RowRuns& r = s.rows[y - s.box.top];
    const int x = s.box.left;
    if (s.hollow) {
        open.Cover(x + r.left, x + r.fillLeft, 0, 0, s.color);
        open.Cover(x + r.fillRight, x + r.right, 0, 0, s.color);
    } else {
        open.Cover(x + r.left, x + r.right, x + r.fillLeft, x + r.fillRight, s.color);
    }
}

// Columns closed on every row of a chunk: outside its damage, and where a
// shape in front covers every row. A shape whose box lies within them has
// nothing left to write there, which one look tells instead of one a row.
struct ClosedColumns {
    Interval* items;
    int count;

    bool Hides(int left, int right) const
    {
        const Interval* i =
            std::upper_bound(items, items + count, left, [](int x, const Interval& c) { return x < c.right; });
        return i != items + count && i->left <= left && i->right >= right;
    }

    void Close(int left, int right)
    {
        // The intervals this one touches or overlaps merge with it.
        const int first = static_cast<int>(
            std::lower_bound(items, items + count, left, [](const Interval& c, int x) { return c.right < x; }) - items);
        int last = first;
        while (last < count && items[last].left <= right)
            ++last;
        if (last > first) {
            left = std::min(left, items[first].left);
            right = std::max(right, items[last - 1].right);
        }
        std::memmove(items + first + 1, items + last, sizeof(Interval) * static_cast<size_t>(count - last));
        items[first] = Interval{left, right};
        count += 1 - (last - first);
    }
};

// A row has a few dozen pieces: sorted in place, by insertion.
void SortByLeft(Piece* pieces, int count)
{
    for (int i = 1; i < count; ++i) {
        const Piece p = pieces[i];
        int j = i;
        for (; j > 0 && pieces[j - 1].left > p.left; --j)
            pieces[j] = pieces[j - 1];
        pieces[j] = p;
    }
}

// Writes rows [top, bottom) (at most a chunk) of a band whose damaged
// columns are rects[0..count): the one body that WriteChunk compiles for
// the 486 and WriteChunkSse2 for SSE2.
__attribute__((always_inline)) inline void WriteChunkRows(LONG top, LONG bottom, const RECT* rects, int count,
                                                         const PreparedRuns& prepared, SpanBuffers& buffers)
{
    const int width = gScene.width;
    const Overlay& overlay = *gScene.overlay;
    RowWriter rows[ChunkRows];
    OpenColumns open[ChunkRows];
    const int rowCount = bottom - top;
    for (int i = 0; i < rowCount; ++i) {
        const int snapshotRow = SnapshotRow(top + i, overlay.verticalOffset, gScene.height);
        rows[i] = RowWriter{gScene.frame.bits + static_cast<size_t>(top + i) * width,
                            snapshotRow < 0 ? nullptr : gScene.snapshot.bits + static_cast<size_t>(snapshotRow) * width,
                            overlay.horizontalOffset, width};
        open[i] = OpenColumns{buffers.open + static_cast<size_t>(i) * buffers.openCapacity, count,
                              buffers.pieces + static_cast<size_t>(i) * buffers.pieceCapacity, 0};
        for (int k = 0; k < count; ++k)
            open[i].items[k] = Interval{rects[k].left, rects[k].right};
    }
    // Everything but the damage is closed from the start.
    ClosedColumns closed = {buffers.closed, 0};
    closed.items[closed.count++] = Interval{INT_MIN, rects[0].left};
    for (int k = 1; k < count; ++k)
        closed.items[closed.count++] = Interval{rects[k - 1].right, rects[k].left};
    closed.items[closed.count++] = Interval{rects[count - 1].right, INT_MAX};

    int openRows = rowCount;
    for (int k = 0; k < prepared.count && openRows > 0; ++k) {
        const SpanShape& s = prepared.shapes[k];
        if (s.box.top >= bottom || s.box.bottom <= top || closed.Hides(s.box.left, s.box.right))
            continue;
        const LONG from = std::max(s.box.top, top);
        const LONG to = std::min(s.box.bottom, bottom);
        int commonLeft = INT_MIN;
        int commonRight = INT_MAX;
        for (LONG y = from; y < to; ++y) {
            const Interval extent = RowExtent(s, y);
            commonLeft = std::max(commonLeft, extent.left);
            commonRight = std::min(commonRight, extent.right);
            OpenColumns& o = open[y - top];
            if (o.count == 0)
                continue;
            CoverShapeRow(s, y, o);
            if (o.count == 0)
                --openRows;
        }
        // A hollow ball leaves its inside to the shapes behind it.
        if (!s.hollow && from == top && to == bottom && commonLeft < commonRight)
            closed.Close(commonLeft, commonRight);
    }
    // What no shape covers is black. Each row is then written from left to
    // right, as the memory lies: pieces written in the shapes' order would
    // hop to and fro, each a short stream the processor cannot read ahead.
    for (int i = 0; i < rowCount; ++i) {
        OpenColumns& o = open[i];
        for (int k = 0; k < o.count; ++k)
            o.pieces[o.pieceCount++] = Piece{o.items[k].left, o.items[k].right, 0, 0, 0};
        SortByLeft(o.pieces, o.pieceCount);
        for (int k = 0; k < o.pieceCount; ++k)
            rows[i].Write(o.pieces[k]);
    }
}

void WriteChunk(LONG top, LONG bottom, const RECT* rects, int count, const PreparedRuns& prepared,
                SpanBuffers& buffers)
{
    WriteChunkRows(top, bottom, rects, count, prepared, buffers);
}

#if defined(__SSE2__)
// The build's own baseline has SSE2 (x64): WriteChunk is already that code.
void (*const WriteChunkSse2)(LONG, LONG, const RECT*, int, const PreparedRuns&, SpanBuffers&) = WriteChunk;
#else
// The same with SSE2 (the fill's AND four pixels an instruction) and the
// conditional moves every SSE2 processor has. Runs only where gPlatform.sse2
// says the processor and the system have SSE2; its name says so
// (tests/pe/check-pe.sh), and so does its code section, .sse2, in the
// shipped file, which carries no names. The compiler takes the stack to be
// aligned to 16 bytes, where its aligned SSE2 instructions may keep values;
// 32-bit Windows promises a window procedure, which the ticks run in, 4
// bytes only. So the function aligns its own stack.
__attribute__((target("sse2"), force_align_arg_pointer, section(".sse2"))) void
WriteChunkSse2(LONG top, LONG bottom, const RECT* rects, int count, const PreparedRuns& prepared,
               SpanBuffers& buffers)
{
    WriteChunkRows(top, bottom, rects, count, prepared, buffers);
}
#endif

// Room for the rows of a chunk of a scene of pairs pairs. A row starts with
// the band's damaged columns open, at most one every other cell, and each
// cover (three squares and a ball a pair, a hollow ball two) leaves at most
// one more open and adds at most two to those ever open, each of which ends
// as one piece.
bool ReserveRows(int pairs, SpanBuffers& buffers)
{
    const int shapes = 4 * pairs;
    const int damaged = (gScene.width + DamageCellSize - 1) / DamageCellSize / 2 + 1;
    const int covers = 5 * pairs;
    const int open = damaged + covers;
    const int pieces = damaged + 2 * covers;
    if (shapes <= buffers.shapeCapacity && open <= buffers.openCapacity && pieces <= buffers.pieceCapacity)
        return true;
    ReleaseSpanBuffers(buffers);
    void* (*allocate)(size_t) = gPlatform.allocateRuns;
    buffers.shapes = static_cast<SpanShape*>(allocate(sizeof(SpanShape) * static_cast<size_t>(shapes)));
    buffers.open = static_cast<Interval*>(allocate(sizeof(Interval) * static_cast<size_t>(open) * ChunkRows));
    buffers.pieces = static_cast<Piece*>(allocate(sizeof(Piece) * static_cast<size_t>(pieces) * ChunkRows));
    buffers.closed = static_cast<Interval*>(allocate(sizeof(Interval) * static_cast<size_t>(open)));
    if (!buffers.shapes || !buffers.open || !buffers.pieces || !buffers.closed) {
        ReleaseSpanBuffers(buffers);
        return false;
    }
    buffers.shapeCapacity = shapes;
    buffers.openCapacity = open;
    buffers.pieceCapacity = pieces;
    return true;
}

} // namespace

PreparedRuns PrepareRuns(const ShapeBoxes& shapes, SpanBuffers& buffers, BallRunCache& runs)
{
    const PreparedRuns none = {false, nullptr, 0};
    if (!gScene.frame.bits || !gScene.snapshot.bits || !ReserveRows(gScene.count, buffers))
        return none;
    int count = 0;
    for (int i = shapes.pairs - 1; i >= 0; --i) {
        const Square& square = *gScene.squares[i];
        for (int step = 2; step >= 0; --step) {
            const RECT& box = shapes.squares[i][step];
            // GDI leaves out a rectangle of one pixel; squares are far larger.
            if (box.right - box.left < 2 || box.bottom - box.top < 2)
                return none;
            buffers.shapes[count++] = MakeShape(box, nullptr, square.color, false);
        }
        const RECT& box = shapes.balls[i];
        const RowRuns* rows = BallRuns(runs, box.right - box.left, box.bottom - box.top);
        if (!rows)
            return none;
        buffers.shapes[count++] = MakeShape(box, rows, gScene.balls[i]->color, shapes.hollow[i]);
    }
    return PreparedRuns{true, buffers.shapes, count};
}

void WriteSpanFrame(const PreparedRuns& prepared, const DamageRects& damage, SpanBuffers& buffers)
{
    const RECT frame = {0, 0, gScene.width, gScene.height};
    const RECT* rects = damage.wholeFrame ? &frame : damage.rects;
    const int count = damage.wholeFrame ? 1 : damage.count;
    // GDI may have drawn into the frame since (the curtain, a tick on the
    // GDI path): its work must be done before the pixels are touched.
    GdiFlush();
    void (*const writeChunk)(LONG, LONG, const RECT*, int, const PreparedRuns&, SpanBuffers&) =
        gPlatform.sse2 ? WriteChunkSse2 : WriteChunk;
    for (int band = 0; band < count;) {
        // The rectangles of one band share their rows.
        int end = band;
        while (end < count && rects[end].top == rects[band].top)
            ++end;
        for (LONG top = rects[band].top; top < rects[band].bottom; top += ChunkRows)
            writeChunk(top, std::min<LONG>(top + ChunkRows, rects[band].bottom), rects + band, end - band, prepared,
                       buffers);
        band = end;
    }
}

void ReleaseSpanBuffers(SpanBuffers& buffers)
{
    gPlatform.release(buffers.shapes);
    gPlatform.release(buffers.open);
    gPlatform.release(buffers.pieces);
    gPlatform.release(buffers.closed);
    buffers = {};
}
