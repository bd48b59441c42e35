// The Time Protocol (RFC 868) over UDP: a one-byte request, a four-byte answer
// counting seconds since 1900-01-01 00:00:00 UTC, most significant byte first.
// The count wraps every 2^32 seconds (136 years; first on 2036-02-07 06:28:16).
#pragma once

#include <stdint.h>

enum {
    kTimeServerPort = 37,
    kTimeRequestByte = 0x48, // "H"; the server ignores the content
    kTimeReplyLength = 4,
};

// The first four reply bytes as a time value (seconds since 1970 UTC), read
// in the era of 136 years that puts it nearest `pivot` (a time value), as
// NTP clients read their 32-bit counts: right across every wrap.
int64_t DecodeTimeReply(const unsigned char* reply, int64_t pivot);

// The pivot for decoding: the PC clock's reading, unless the clock cannot be
// read (-1) or reads before 2026, when it is decades off, which is just what
// the program must repair: then the build's own date.
int64_t DecodePivot(int64_t pcTime, int64_t buildTime);

// 1 and *serverTime when a reply of `length` bytes carries a usable time.
// A reply too short to hold four bytes, four zero bytes (what unsynchronised
// servers send) and a time not after 1970-01-01 00:00:00 carry none: 0.
int ReadServerTime(const unsigned char* reply, int length, int64_t pivot, int64_t* serverTime);
