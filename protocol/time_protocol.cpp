#include "protocol/time_protocol.h"

static const int64_t kSecondsFrom1900To1970 = 2208988800;
static const int64_t kEra = (int64_t)1 << 32;
static const int64_t kYear2026 = 1767225600;         // 2026-01-01 00:00:00 UTC
static const int64_t kPivotLimit = (int64_t)1 << 48; // keeps the sums below from overflowing

int64_t DecodeTimeReply(const unsigned char* reply, int64_t pivot) {
    uint32_t count = (uint32_t)reply[0] << 24 | (uint32_t)reply[1] << 16 | (uint32_t)reply[2] << 8 |
                     (uint32_t)reply[3];
    if (pivot > kPivotLimit)
        pivot = kPivotLimit;
    if (pivot < -kPivotLimit)
        pivot = -kPivotLimit;
    // The era whose count lies within half an era of the pivot's.
    int64_t fromPivot = pivot + kSecondsFrom1900To1970 - count + kEra / 2;
    int64_t era = fromPivot >= 0 ? fromPivot / kEra : -((-fromPivot + kEra - 1) / kEra);
    return count + era * kEra - kSecondsFrom1900To1970;
}

int64_t DecodePivot(int64_t pcTime, int64_t buildTime) {
    return pcTime >= kYear2026 ? pcTime : buildTime;
}

int ReadServerTime(const unsigned char* reply, int length, int64_t pivot, int64_t* serverTime) {
    if (length < kTimeReplyLength)
        return 0;
    if ((reply[0] | reply[1] | reply[2] | reply[3]) == 0)
        return 0;
    int64_t decoded = DecodeTimeReply(reply, pivot);
    if (decoded <= 0)
        return 0;
    *serverTime = decoded;
    return 1;
}
