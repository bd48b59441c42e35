// The Time Protocol (RFC 868) over UDP: a one-byte request, a four-byte answer
// counting seconds since 1900-01-01 00:00:00 UTC, most significant byte first.
#pragma once

#include <stdint.h>

enum {
    kTimeServerPort = 37,
    kTimeRequestByte = 0x48, // "H"; the server ignores the content
    kTimeReplyLength = 4,
};

// The first four reply bytes as a time value (seconds since 1970 UTC).
// Counts below 1970 that still wrap to a positive value are kept as such;
// the others are taken as 1970-01-01 00:00:00, that is 0.
int32_t DecodeTimeReply(const unsigned char* reply);

// 1 and *serverTime when a reply of `length` bytes carries a usable time.
// A reply too short to hold four bytes, four zero bytes (what unsynchronised
// servers send) and a count taken as 1970 carry none: 0.
int ReadServerTime(const unsigned char* reply, int length, int32_t* serverTime);
