// What the saver runs in place of a C runtime: its own memory and string
// functions (platform/runtime.cpp), over every length from nothing to past a
// few words, every alignment of both ends, overlaps both ways, and the
// bytes around the target left alone, checked against plain byte loops;
// the stack probe; and which processors and systems get the SSE2 loops
// (platform/processor.cpp).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/runtime.h"

namespace {

constexpr unsigned char Guard = 0xA5;
constexpr size_t Margin = 16;

// A buffer whose bytes all differ from their neighbours, so a byte copied
// from the wrong place shows.
std::vector<unsigned char> Pattern(size_t size, unsigned seed)
{
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + seed * 13 + 1);
    return bytes;
}

// The lengths: each up to three words and a byte, and some of many words
// with every remainder.
const size_t Lengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 4093, 4096, 4099};

TEST(RuntimeFunctions, CopyBytesCopiesExactlyTheBytesAsked)
{
    for (size_t n : Lengths) {
        for (size_t to = 0; to < 4; ++to) {
            for (size_t from = 0; from < 4; ++from) {
                SCOPED_TRACE(testing::Message() << "n=" << n << " to+" << to << " from+" << from);
                const std::vector<unsigned char> source = Pattern(n + 8, 1);
                std::vector<unsigned char> target(n + 2 * Margin, Guard);
                void* result = CopyBytes(target.data() + Margin + to, source.data() + from, n);
                EXPECT_EQ(result, target.data() + Margin + to);
                for (size_t i = 0; i < target.size(); ++i) {
                    const bool inside = i >= Margin + to && i < Margin + to + n;
                    ASSERT_EQ(target[i], inside ? source[from + i - Margin - to] : Guard) << "byte " << i;
                }
            }
        }
    }
}

TEST(RuntimeFunctions, MoveBytesKeepsOverlappingSourcesWhole)
{
    // Every shift of the target against the source, from nine bytes before
    // it to nine after, none included.
    for (size_t n : Lengths) {
        for (int shift = -9; shift <= 9; ++shift) {
            for (size_t start = 0; start < 4; ++start) {
                SCOPED_TRACE(testing::Message() << "n=" << n << " shift=" << shift << " start+" << start);
                const size_t size = n + 2 * Margin;
                std::vector<unsigned char> buffer = Pattern(size, 2);
                std::vector<unsigned char> expected = buffer;
                const size_t from = Margin + start;
                const size_t to = static_cast<size_t>(static_cast<int>(from) + shift);
                const std::vector<unsigned char> original(buffer.begin() + from, buffer.begin() + from + n);
                for (size_t i = 0; i < n; ++i)
                    expected[to + i] = original[i];
                void* result = MoveBytes(buffer.data() + to, buffer.data() + from, n);
                EXPECT_EQ(result, buffer.data() + to);
                ASSERT_EQ(buffer, expected);
            }
        }
    }
}

TEST(RuntimeFunctions, FillBytesWritesTheLowByteOfTheValue)
{
    const struct {
        int value;
        unsigned char byte;
    } values[] = {{0, 0x00}, {0x7F, 0x7F}, {0x80, 0x80}, {0xFF, 0xFF}, {-1, 0xFF}, {0x1234, 0x34}};
    for (const auto& v : values) {
        for (size_t n : Lengths) {
            for (size_t to = 0; to < 4; ++to) {
                SCOPED_TRACE(testing::Message() << "value=" << v.value << " n=" << n << " to+" << to);
                std::vector<unsigned char> target(n + 2 * Margin, Guard);
                void* result = FillBytes(target.data() + Margin + to, v.value, n);
                EXPECT_EQ(result, target.data() + Margin + to);
                for (size_t i = 0; i < target.size(); ++i) {
                    const bool inside = i >= Margin + to && i < Margin + to + n;
                    ASSERT_EQ(target[i], inside ? v.byte : Guard) << "byte " << i;
                }
            }
        }
    }
}

TEST(RuntimeFunctions, CompareBytesOrdersByTheFirstDifferenceAsUnsigned)
{
    const struct {
        const char* a;
        const char* b;
        size_t n;
        int sign;
    } cases[] = {
        {"", "", 0, 0},
        {"abc", "abd", 2, 0},      // the difference lies past n
        {"abc", "abd", 3, -1},
        {"abd", "abc", 3, 1},
        {"\x80", "\x7F", 1, 1},    // bytes compare unsigned
        {"\x01\xFF", "\x02\x00", 2, -1},
        {"same\0x", "same\0y", 6, -1},  // zero bytes are bytes like others
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " / " << c.b << " n=" << c.n);
        const int result = CompareBytes(c.a, c.b, c.n);
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
}

TEST(RuntimeFunctions, TextLengthCountsToTheFirstZero)
{
    const struct {
        const char* text;
        size_t length;
    } cases[] = {{"", 0}, {"a", 1}, {"PLIMZOR.SCR", 11}, {"\xE3\x81\x82", 3}, {"two\0parts", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        // From every alignment of its first byte.
        for (size_t at = 0; at < 4; ++at) {
            char buffer[32] = {};
            std::memcpy(buffer + at, c.text, c.length + 1);
            EXPECT_EQ(TextLength(buffer + at), c.length);
        }
    }
}

// The compiler's and the headers' names are the same functions: what the
// product calls as memcpy is what is tested above.
TEST(RuntimeFunctions, TheStandardNamesAreTheseFunctions)
{
    void* (*volatile copy)(void*, const void*, size_t) = std::memcpy;
    void* (*volatile move)(void*, const void*, size_t) = std::memmove;
    void* (*volatile fill)(void*, int, size_t) = std::memset;
    int (*volatile compare)(const void*, const void*, size_t) = std::memcmp;
    size_t (*volatile length)(const char*) = std::strlen;
    EXPECT_EQ(copy, &CopyBytes);
    EXPECT_EQ(move, &MoveBytes);
    EXPECT_EQ(fill, &FillBytes);
    EXPECT_EQ(compare, &CompareBytes);
    EXPECT_EQ(length, &TextLength);
}

} // namespace

namespace {

// A frame of many pages whose lowest byte is written first: only a stack
// probed page by page from the top (___chkstk_ms) has grown that far.
__attribute__((noinline)) int DeepFrame(int seed)
{
    volatile unsigned char frame[300 * 1024];
    frame[0] = static_cast<unsigned char>(seed);
    frame[sizeof frame - 1] = static_cast<unsigned char>(seed + 1);
    return frame[0] + frame[sizeof frame - 1];
}

TEST(RuntimeFunctions, AFrameOfManyPagesGrowsTheStackPageByPage)
{
    EXPECT_EQ(DeepFrame(20), 41);
}

} // namespace

namespace {

TEST(Sse2Choice, OnlyAnSse2ProcessorUnderWindows2000OrLaterTakesTheSse2Loops)
{
    constexpr DWORD Nt = 1, Win9x = 0;
    const struct {
        const char* name;
        bool cpuid, processorSse2;
        DWORD family, major;
        bool systemSse2;
        bool usable;
    } cases[] = {
        {"Windows 2000 on a Pentium 4", true, true, Nt, 5, true, true},
        {"Windows XP on a Pentium 4", true, true, Nt, 5, true, true},
        {"Windows 11", true, true, Nt, 10, true, true},
        {"a 486 without CPUID", false, false, Nt, 4, false, false},
        {"NT 4.0 on a Pentium 4: no SSE state saved", true, true, Nt, 4, false, false},
        {"NT 4.0 even if it said yes", true, true, Nt, 4, true, false},
        {"Windows 98 on a Pentium 4", true, true, Win9x, 4, false, false},
        {"Windows ME, had it answered yes", true, true, Win9x, 4, true, false},
        {"Windows XP on a Pentium III: SSE only", true, false, Nt, 5, false, false},
        {"the system says no", true, true, Nt, 5, false, false},
        {"no CPUID, whatever else is said", false, true, Nt, 6, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Sse2Facts facts = {c.cpuid, c.processorSse2, c.family == Nt, c.major, c.systemSse2};
        EXPECT_EQ(Sse2Usable(facts), c.usable);
    }
}

TEST(Sse2Choice, ThisHostIsReadAsTheNtFamilyWithSse2)
{
    // Wine reports the NT family and passes the processor's SSE2 through:
    // the platform record starts with the SSE2 loops on.
    const Sse2Facts facts = ReadSse2Facts();
    EXPECT_TRUE(facts.cpuid);
    EXPECT_TRUE(facts.processorSse2);
    EXPECT_TRUE(facts.ntFamily);
    EXPECT_GE(facts.majorVersion, 5u);
    EXPECT_TRUE(facts.systemSse2);
    EXPECT_TRUE(RealPlatform().sse2);
}

} // namespace
