#include "protocol/time_protocol.h"

#include "protocol/era.h"

int64_t DecodeTimeReply(const unsigned char* reply, int64_t windowStart) {
    uint32_t count = (uint32_t)reply[0] << 24 | (uint32_t)reply[1] << 16 | (uint32_t)reply[2] << 8 |
                     (uint32_t)reply[3];
    return TimeOfCount(count, windowStart);
}

int ReadServerTime(const unsigned char* reply, int length, int64_t buildDate, int64_t* serverTime,
                   NoTime* why) {
    if (length < kTimeReplyLength) {
        *why = kNoTimeUnusable;
        return 0;
    }
    if ((reply[0] | reply[1] | reply[2] | reply[3]) == 0) {
        *why = kNoTimeUnsynchronised;
        return 0;
    }
    int64_t decoded = DecodeTimeReply(reply, EraWindowStart(buildDate));
    if (decoded < buildDate || decoded <= 0) {
        *why = kNoTimeBeforeBuild;
        return 0;
    }
    *serverTime = decoded;
    return 1;
}

static int Request(const TimeExchange*, unsigned char* out) {
    out[0] = kTimeRequestByte;
    return 1;
}

// Any datagram from the server ends the wait, as the protocol has nothing
// to match, but a time before the build: no sound clock sends it, and the
// real answer may still follow. A broadcast, which any host may answer,
// waits for a usable time.
static int Judge(TimeExchange* exchange, const unsigned char* datagram, int length, int) {
    int64_t serverTime;
    NoTime why;
    if (ReadServerTime(datagram, length, exchange->buildDate, &serverTime, &why))
        return 1;
    if (why == kNoTimeBeforeBuild) {
        exchange->why = why; // what the host showed, should nothing better follow
        return 0;
    }
    return !exchange->broadcast;
}

// Whole seconds: the server's count, and the PC clock as the answer was
// judged, which reads any year. The server read its clock some time during
// the round trip, not at its end.
static int Read(TimeExchange* exchange, const unsigned char* reply, int length,
                TimeAnswer* answer) {
    int64_t serverTime;
    if (!ReadServerTime(reply, length, exchange->buildDate, &serverTime, &exchange->why))
        return 0;
    int64_t pcSecond = SecondsOfTicks(exchange->judgedAt);
    answer->serverMs = serverTime * 1000;
    answer->pcMs = pcSecond * 1000;
    answer->driftMs = (pcSecond - serverTime) * 1000;
    answer->uncertaintyMs = 0;
    answer->roundTripMs = (exchange->judgedAt - exchange->sentAt) / 10000;
    answer->fine = 0;
    return 1;
}

const TimeProtocol kTimeProtocol = {
    "RFC 868 Time Protocol", "",      kTimeServerPort, kTimeServerPort,
    kTimeReplySize,          Request, Judge,           Read,
};
