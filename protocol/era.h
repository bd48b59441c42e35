// Both protocols count seconds since 1900-01-01 00:00:00 UTC in 32 bits, so
// their counts wrap every 2^32 seconds (136 years; first on 2036-02-07).
// A count is read in a fixed window of 2^32 seconds that starts 50 years
// before the program was built: whatever the PC clock says, which may be
// just what is wrong, every time from then to 86 years after the build reads
// right.
#pragma once

#include <stdint.h>

static const int64_t kSecondsFrom1900To1970 = 2208988800;

// The window's first second (a time value: seconds since 1970 UTC).
int64_t EraWindowStart(int64_t buildTime);

// The time value of a count, inside the window that starts at windowStart.
int64_t TimeOfCount(uint32_t count, int64_t windowStart);
