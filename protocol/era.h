// Both protocols count seconds since 1900-01-01 00:00:00 UTC in 32 bits, so
// their counts wrap every 2^32 seconds (136 years; first on 2036-02-07).
// A count is read in the window of 2^32 seconds centred on the build date,
// whatever the PC clock says, which may be just what is wrong. No sound
// clock reads a time before the program was built: the window's first half
// only lets a clock that was reset (1970, 1968) read as what it is, to be
// refused; every time from the build date to 68 years after it reads right.
#pragma once

#include <stdint.h>

static const int64_t kSecondsFrom1900To1970 = 2208988800;

// The build's date: the start, in UTC, of the day of its time. The earliest
// time a server may give.
int64_t BuildDate(int64_t buildTime);

// The window's first second (a time value: seconds since 1970 UTC): 2^31
// seconds, some 68 years, before the build date.
int64_t EraWindowStart(int64_t buildDate);

// The time value of a count, inside the window that starts at windowStart.
int64_t TimeOfCount(uint32_t count, int64_t windowStart);
