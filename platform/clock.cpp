// The wall clock the random source mixes into every step: the system's time
// in UTC as seconds since the Unix epoch, counted here from the calendar
// date, since the saver links no C runtime to ask time() of.
#include "platform/platform.h"

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
