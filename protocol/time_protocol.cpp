#include "protocol/time_protocol.h"

static const uint32_t kSecondsFrom1900To1970 = 2208988800u;

int32_t DecodeTimeReply(const unsigned char* reply) {
    uint32_t since1900 = (uint32_t)reply[0] << 24 | (uint32_t)reply[1] << 16 |
                         (uint32_t)reply[2] << 8 | (uint32_t)reply[3];
    // Wraps modulo 2^32 before the sign test, as the conversion has always done.
    int32_t since1970 = (int32_t)(since1900 - kSecondsFrom1900To1970);
    return since1970 < 0 ? 0 : since1970;
}

int ReadServerTime(const unsigned char* reply, int length, int32_t* serverTime) {
    if (length < kTimeReplyLength)
        return 0;
    if ((reply[0] | reply[1] | reply[2] | reply[3]) == 0)
        return 0;
    int32_t decoded = DecodeTimeReply(reply);
    if (decoded == 0)
        return 0;
    *serverTime = decoded;
    return 1;
}
