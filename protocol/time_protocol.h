// The Time Protocol (RFC 868) over UDP: a one-byte request, a four-byte answer
// counting seconds since 1900-01-01 00:00:00 UTC, most significant byte first.
#pragma once

#include <stdint.h>

#include "protocol/exchange.h"

enum {
    kTimeServerPort = 37,
    kTimeRequestByte = 0x48, // "H"; the server ignores the content
    kTimeReplyLength = 4,
    kTimeReplySize = 255, // a longer reply does not fit and is no answer
};

// The first four reply bytes as a time value (seconds since 1970 UTC), read
// in the era window that starts at windowStart (protocol/era.h).
int64_t DecodeTimeReply(const unsigned char* reply, int64_t windowStart);

// 1 and *serverTime when a reply of `length` bytes carries a usable time.
// A reply too short to hold four bytes, four zero bytes (what unsynchronised
// servers send) and a time not after 1970-01-01 00:00:00 carry none: 0.
int ReadServerTime(const unsigned char* reply, int length, int64_t windowStart,
                   int64_t* serverTime);
