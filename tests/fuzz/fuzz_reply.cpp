// The reply decoding: any datagram, any length, any build time.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "protocol/era.h"
#include "protocol/time_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8)
        return 0;
    int64_t buildTime;
    memcpy(&buildTime, data, 8);
    data += 8;
    size -= 8;
    int64_t buildDate = BuildDate(buildTime);
    int64_t windowStart = EraWindowStart(buildDate);
    int length = size > 255 ? 255 : (int)size;
    int64_t serverTime = -7;
    NoTime why;
    if (ReadServerTime(data, length, buildDate, &serverTime, &why)) {
        // Never a time before the build, and never 1970 or earlier.
        if (length < 4 || serverTime <= 0 || serverTime < buildDate ||
            serverTime != DecodeTimeReply(data, windowStart))
            abort();
    } else if (serverTime != -7) {
        abort(); // a refused reply must leave the time alone
    }
    if (length < 4)
        return 0;
    // Always inside the window, whatever the build time.
    int64_t decoded = DecodeTimeReply(data, windowStart);
    if (decoded < windowStart || decoded - windowStart >= (int64_t)1 << 32)
        abort();
    // A window from before 1970 on reads every count after it as 32-bit time values did.
    uint32_t count = (uint32_t)data[0] << 24 | (uint32_t)data[1] << 16 | (uint32_t)data[2] << 8 |
                     (uint32_t)data[3];
    int32_t old = (int32_t)(count - 2208988800u);
    int64_t early = EraWindowStart(BuildDate((int64_t)1 << 31));
    if (old >= 0 && DecodeTimeReply(data, early) != old)
        abort();
    return 0;
}
