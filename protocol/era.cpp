#include "protocol/era.h"

static const int64_t kEra = (int64_t)1 << 32;
static const int64_t kSecondsPerDay = 86400;
// Keeps a build time from anywhere out of range from overflowing the sums below.
static const int64_t kBuildLimit = (int64_t)1 << 48;

int64_t BuildDate(int64_t buildTime) {
    if (buildTime > kBuildLimit)
        buildTime = kBuildLimit;
    if (buildTime < -kBuildLimit)
        buildTime = -kBuildLimit;
    int64_t intoDay = buildTime % kSecondsPerDay;
    return buildTime - (intoDay < 0 ? intoDay + kSecondsPerDay : intoDay);
}

int64_t EraWindowStart(int64_t buildDate) {
    return buildDate - kEra / 2;
}

int64_t TimeOfCount(uint32_t count, int64_t windowStart) {
    int64_t fromStart = (int64_t)count - kSecondsFrom1900To1970 - windowStart;
    // Floor of fromStart / 2^32: the eras between the window's start and the count.
    int64_t eras = fromStart >= 0 ? fromStart / kEra : -((-fromStart + kEra - 1) / kEra);
    return (int64_t)count - kSecondsFrom1900To1970 - eras * kEra;
}
