// SNTPv4 (RFC 4330, the packet of RFC 5905) over UDP port 123. Timestamps
// are 64-bit: seconds since 1900 in the high 32 bits (wrapping like the Time
// Protocol's count), the fraction of a second in the low 32. Offsets and
// delays are computed from wrapped differences of them, in the same 32.32
// fixed point, signed.
#pragma once

#include <stdint.h>

#include "protocol/exchange.h"

enum {
    kSntpPort = 123,
    kSntpPacketLength = 48,
    kSntpReplySize = 1024, // room for extension fields and a MAC, which are ignored
};

// The 48-byte client request: version 4, mode 3, and the nonce as its
// transmit timestamp, which the server returns as the origin timestamp.
void SntpRequest(uint64_t nonce, unsigned char* out);

// 1 when a datagram is the server's reply to the request with this nonce.
int SntpIsReply(const unsigned char* datagram, int length, int sourcePort, uint64_t nonce);

// What a reply to the request sent at t1 and judged at t4 (both 100 ns
// units since 1970, from the PC clock) measures.
struct SntpMeasure {
    NoTime why; // when the reply is of no use
    char kissCode[5];
    int64_t offset;       // theta: the server's clock minus the PC's, 32.32 s
    int64_t delay;        // delta: the round trip, less the server's own time
    int64_t uncertainty;  // lambda: delay / 2 + root delay / 2 + root dispersion + 1 ms
    int64_t rootDistance; // root delay / 2 + root dispersion, 32.32 s
};

// 1 and *measure when the reply carries a usable time, else 0 and
// measure->why; a root distance over maxDistanceMs (MaxDistance) is refused.
int SntpMeasureReply(const unsigned char* reply, int64_t t1, int64_t t4, int maxDistanceMs,
                     SntpMeasure* measure);

// The NTP timestamp of a PC clock reading in 100 ns units since 1970.
uint64_t NtpTimestamp(int64_t ticksSince1970);

// 32.32 fixed-point seconds in milliseconds, rounded to the nearest.
int64_t FixedToMilliseconds(int64_t fixed);
