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

// 1 and *serverTime when a reply of `length` bytes carries a usable time,
// read in the era window around the build date; else 0 and *why: a reply too
// short to hold four bytes (unusable), four zero bytes (what unsynchronised
// servers send), a time before the build date (a clock that was reset).
int ReadServerTime(const unsigned char* reply, int length, int64_t buildDate, int64_t* serverTime,
                   NoTime* why);
