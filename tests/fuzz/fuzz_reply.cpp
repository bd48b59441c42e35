// The reply decoding: any datagram, any length.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "protocol/time_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t serverTime = -7;
    int length = size > 255 ? 255 : (int)size;
    if (ReadServerTime(data, length, &serverTime)) {
        if (length < 4 || serverTime <= 0 || serverTime != DecodeTimeReply(data))
            abort();
    } else if (serverTime != -7) {
        abort(); // a refused reply must leave the time alone
    }
    return 0;
}
