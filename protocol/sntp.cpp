#include "protocol/sntp.h"

#include "protocol/era.h"

static const int64_t kTicksPerSecond = 10000000; // 100 ns units
static const int64_t kOneSecond = (int64_t)1 << 32;
static const int64_t kOneMillisecond = kOneSecond / 1000;

enum {
    kModeClient = 3,
    kModeServer = 4,
    kOriginAt = 24,
    kReceiveAt = 32,
    kTransmitAt = 40,
};

static uint32_t Read32(const unsigned char* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

static uint64_t Read64(const unsigned char* p) {
    return (uint64_t)Read32(p) << 32 | Read32(p + 4);
}

// The difference of two timestamps, wrapped: right while they are less than
// 68 years apart, whatever era either is in.
static int64_t Difference(uint64_t later, uint64_t earlier) {
    return (int64_t)(later - earlier);
}

void SntpRequest(uint64_t nonce, unsigned char* out) {
    for (int i = 0; i < kSntpPacketLength; i++)
        out[i] = 0;
    out[0] = 0 << 6 | 4 << 3 | kModeClient;
    for (int i = 0; i < 8; i++)
        out[kTransmitAt + i] = (unsigned char)(nonce >> (56 - 8 * i));
}

int SntpIsReply(const unsigned char* datagram, int length, int sourcePort, uint64_t nonce) {
    if (sourcePort != kSntpPort || length < kSntpPacketLength)
        return 0;
    int version = datagram[0] >> 3 & 7, mode = datagram[0] & 7;
    return mode == kModeServer && version >= 1 && version <= 4 &&
           Read64(datagram + kOriginAt) == nonce;
}

uint64_t NtpTimestamp(int64_t ticks) {
    int64_t fraction = ticks % kTicksPerSecond;
    if (fraction < 0)
        fraction += kTicksPerSecond;
    int64_t seconds = (ticks - fraction) / kTicksPerSecond + kSecondsFrom1900To1970;
    return (uint64_t)seconds << 32 | (uint64_t)((fraction << 32) / kTicksPerSecond);
}

int64_t FixedToMilliseconds(int64_t fixed) {
    // fixed * 1000 / 2^32 without overflow: the whole seconds apart.
    uint64_t fraction = (uint64_t)fixed & 0xFFFFFFFFu;
    int64_t seconds = (fixed - (int64_t)fraction) / kOneSecond;
    return seconds * 1000 + (int64_t)((fraction * 1000 + 0x80000000u) >> 32);
}

static int Refuse(SntpMeasure* measure, NoTime why) {
    measure->why = why;
    return 0;
}

int SntpMeasureReply(const unsigned char* reply, int64_t t1, int64_t t4, int maxDistanceMs,
                     SntpMeasure* measure) {
    int leap = reply[0] >> 6, stratum = reply[1];
    measure->kissCode[0] = '\0';
    measure->rootDistance = 0; // a reply refused before it is known has none
    if (stratum == 0) {
        // A Kiss-o'-Death: its code is four ASCII letters in the reference id.
        for (int i = 0; i < 4; i++) {
            unsigned char c = reply[12 + i];
            measure->kissCode[i] = c > ' ' && c < 127 ? (char)c : '?';
        }
        measure->kissCode[4] = '\0';
        return Refuse(measure, kNoTimeRefused);
    }
    if (leap == 3 || stratum >= 16)
        return Refuse(measure, kNoTimeUnsynchronised);
    uint64_t received = Read64(reply + kReceiveAt), transmitted = Read64(reply + kTransmitAt);
    if (received == 0 || transmitted == 0)
        return Refuse(measure, kNoTimeUnusable);
    int64_t serverTime = Difference(transmitted, received);
    if (serverTime < 0 || t4 < t1)
        return Refuse(measure, kNoTimeUnusable);
    uint64_t sent = NtpTimestamp(t1), judged = NtpTimestamp(t4);
    int64_t elapsed = Difference(judged, sent);
    if (elapsed < serverTime) // a negative round-trip delay
        return Refuse(measure, kNoTimeUnusable);
    int64_t delay = elapsed - serverTime;
    // Root delay and dispersion: 16.16 fixed point, seconds.
    int64_t rootDelay = (int64_t)Read32(reply + 4) << 16;
    int64_t rootDispersion = (int64_t)Read32(reply + 8) << 16;
    measure->rootDistance = rootDelay / 2 + rootDispersion;
    if (measure->rootDistance * 1000 > maxDistanceMs * kOneSecond)
        return Refuse(measure, kNoTimeTooFar);
    // ((T2 - T1) + (T3 - T4)) / 2, written so that only T2 - T1 wraps: halving
    // two wrapped differences loses half an era when just one of them wraps,
    // as for a PC clock some 68 years off.
    measure->offset = Difference(received - (uint64_t)(delay / 2), sent);
    measure->delay = delay;
    measure->uncertainty = delay / 2 + rootDelay / 2 + rootDispersion + kOneMillisecond;
    return 1;
}

static int Request(const TimeExchange* exchange, unsigned char* out) {
    SntpRequest(exchange->nonce, out);
    return kSntpPacketLength;
}

static int Read(TimeExchange* exchange, const unsigned char* reply, int length, TimeAnswer* answer);

// Any host may answer a broadcast: one whose reply carries no usable time
// (unsynchronised, a Kiss-o'-Death, a clock that was reset) must not end the
// wait for one that does. Its reason stays, should nothing better follow.
static int Judge(TimeExchange* exchange, const unsigned char* datagram, int length,
                 int sourcePort) {
    if (!SntpIsReply(datagram, length, sourcePort, exchange->nonce))
        return 0;
    TimeAnswer answer;
    return !exchange->broadcast || Read(exchange, datagram, length, &answer);
}

// Both times at the moment the reply was judged. The wrapped offset is right
// to within 68 years; the era comes from the server's transmit time, read in
// the era window, so that a PC clock decades off is still set right. A
// transmit time before the build date is a clock that was reset, however
// sure of itself the reply is.
static int Read(TimeExchange* exchange, const unsigned char* reply, int length,
                TimeAnswer* answer) {
    SntpMeasure measure;
    if (length < kSntpPacketLength) {
        exchange->why = kNoTimeUnusable;
        return 0;
    }
    if (!SntpMeasureReply(reply, exchange->sentAt, exchange->judgedAt, exchange->maxDistanceMs,
                          &measure)) {
        exchange->why = measure.why;
        // Rounded up: a distance just over the limit never reads as equal to it.
        exchange->rootDistanceMs =
            (int64_t)(((uint64_t)measure.rootDistance * 1000 + 0xFFFFFFFFu) >> 32);
        for (int i = 0; i < 5; i++)
            exchange->kissCode[i] = measure.kissCode[i];
        return 0;
    }
    int64_t pcSecond = exchange->judgedAt / kTicksPerSecond;
    int64_t serverSecond =
        TimeOfCount(Read32(reply + kTransmitAt), EraWindowStart(exchange->buildDate));
    if (serverSecond < exchange->buildDate) {
        exchange->why = kNoTimeBeforeBuild;
        return 0;
    }
    int64_t wrappedMs = FixedToMilliseconds(measure.offset);
    int64_t apart = serverSecond - pcSecond - wrappedMs / 1000;
    int64_t eras = (apart + (apart >= 0 ? kOneSecond / 2 : -kOneSecond / 2)) / kOneSecond;
    int64_t offsetMs = wrappedMs + eras * kOneSecond * 1000;
    int64_t judgedMs = exchange->judgedAt / (kTicksPerSecond / 1000);
    answer->pcMs = judgedMs;
    answer->serverMs = judgedMs + offsetMs;
    answer->driftMs = -offsetMs;
    answer->uncertaintyMs = FixedToMilliseconds(measure.uncertainty);
    answer->roundTripMs = FixedToMilliseconds(measure.delay);
    answer->fine = 1;
    return 1;
}

const TimeProtocol kSntpProtocol = {
    "SNTPv4", "ntp:", kSntpPort, 0, kSntpReplySize, Request, Judge, Read,
};
