// The reply decoding: any datagram, any length, any pivot.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "protocol/time_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8)
        return 0;
    int64_t pivot;
    memcpy(&pivot, data, 8);
    data += 8;
    size -= 8;
    int length = size > 255 ? 255 : (int)size;
    int64_t serverTime = -7;
    if (ReadServerTime(data, length, pivot, &serverTime)) {
        if (length < 4 || serverTime <= 0 || serverTime != DecodeTimeReply(data, pivot))
            abort();
    } else if (serverTime != -7) {
        abort(); // a refused reply must leave the time alone
    }
    if (length < 4)
        return 0;
    // Never more than half an era from the pivot (within the pivots it takes as they are).
    const int64_t kHalfEra = (int64_t)1 << 31, kPivotLimit = (int64_t)1 << 48;
    int64_t distance = DecodeTimeReply(data, pivot) - pivot;
    if (pivot >= -kPivotLimit && pivot <= kPivotLimit &&
        (distance > kHalfEra || distance < -kHalfEra))
        abort();
    // A pivot from 1970 to 2038 reads every count as 32-bit time values did,
    // where they read a time after 1970.
    uint32_t count = (uint32_t)data[0] << 24 | (uint32_t)data[1] << 16 | (uint32_t)data[2] << 8 |
                     (uint32_t)data[3];
    int32_t old = (int32_t)(count - 2208988800u);
    int64_t inSpan = 1 + (int64_t)((uint64_t)pivot % INT32_MAX); // 1 to 2^31 - 1
    if (old > 0 && DecodeTimeReply(data, inSpan) != old)
        abort();
    return 0;
}
