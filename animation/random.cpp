// The random source: NextRandom, RandomRange and the shape colour pick. Every
// random quantity of the animation comes from here, never from rand().
#include "animation/random.h"

#include "platform/platform.h"

uint32_t gRandomState = 0;

int32_t NextRandom()
{
    // Unsigned words throughout: every step wraps modulo 2^32.
    const uint32_t s = gRandomState;
    uint32_t t = s + 123456789u;
    t -= gPlatform.clock();
    t *= 2438571u;
    // Both shifts mix in the old state, not t.
    t ^= s >> 16;
    t ^= s << 16;
    gRandomState = t;
    return static_cast<int32_t>(t);
}

int32_t RandomRange(int32_t lo, int32_t hi)
{
    if (hi < lo)
        return lo;
    const uint32_t n = static_cast<uint32_t>(hi) + 1u - static_cast<uint32_t>(lo);
    uint32_t r = static_cast<uint32_t>(NextRandom());
    if (n == 0)
        return static_cast<int32_t>(r);  // the range is every 32-bit value
    // Draws at or above the largest multiple of n would favour the low
    // residues; drawing again keeps the result uniform.
    const uint32_t limit = (0xFFFFFFFFu / n) * n;
    while (r >= limit)
        r = static_cast<uint32_t>(NextRandom());
    return static_cast<int32_t>(static_cast<uint32_t>(lo) + r % n);
}

COLORREF PickShapeColor()
{
    for (;;) {
        const int red = RandomRange(0, 255);
        const int green = RandomRange(0, 255);
        const int blue = RandomRange(0, 255);
        if (red + green + blue >= MinShapeColorSum)
            return RGB(red, green, blue);
    }
}
