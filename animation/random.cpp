// The random source: NextRandom, RandomRange and the shape colour pick. Every
// random quantity of the animation comes from here, never from rand().
#include "animation/random.h"

#include "shell/platform.h"

uint32_t UnixSeconds(const SYSTEMTIME& t)
{
    // Days from 1 March of year 0 of 400-year eras, the leap day last in
    // its year: then every era, century and year counts alike.
    const int year = t.wYear - (t.wMonth <= 2 ? 1 : 0);
    const int era = year / 400;
    const int yearOfEra = year - era * 400;
    const int monthFromMarch = (t.wMonth + 9) % 12;
    const int dayOfYear = (153 * monthFromMarch + 2) / 5 + t.wDay - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 719468 days from 1 March 0000 to 1 January 1970.
    const uint32_t days = static_cast<uint32_t>(era * 146097 + dayOfEra - 719468);
    return days * 86400u + t.wHour * 3600u + t.wMinute * 60u + t.wSecond;
}

uint32_t WallClockSeconds()
{
    // The system's clock in UTC, as KERNEL32 of every Windows gives it.
    SYSTEMTIME now;
    GetSystemTime(&now);
    return UnixSeconds(now);
}

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
