// The SNTP judge and the reading of what it takes: any datagram, nonce,
// source port and times of sending and judging.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "protocol/era.h"
#include "protocol/sntp.h"

static uint64_t Read64(const unsigned char* p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; i++)
        value = value << 8 | p[i];
    return value;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t kHead = 8 + 8 + 4 + 2;
    if (size < kHead)
        return 0;
    TimeExchange exchange = {};
    memcpy(&exchange.nonce, data, 8);
    int64_t sentAt;
    memcpy(&sentAt, data + 8, 8);
    uint32_t roundTrip;
    memcpy(&roundTrip, data + 16, 4);
    int port = data[20] & 1 ? 123 : data[21];
    exchange.broadcast = data[20] >> 1 & 1;
    exchange.maxDistanceMs = 1 + data[20] * 63; // 1 ms to 16 s
    data += kHead;
    size -= kHead;
    // A PC clock from 1601 to 30827, as Windows keeps it; a round trip of up to five days.
    exchange.sentAt = sentAt % 900000000000000000;
    exchange.judgedAt = exchange.sentAt + (int64_t)roundTrip * 1000;
    exchange.buildDate = 1796083200;
    exchange.protocol = &kSntpProtocol;
    int length = size > kSntpReplySize ? -1 : (int)size;

    TimeExchange judging = exchange;
    int taken = kSntpProtocol.judge(&judging, data, length, port);
    int matches = length >= kSntpPacketLength && port == kSntpPort && (data[0] & 7) == 4 &&
                  (data[0] >> 3 & 7) >= 1 && (data[0] >> 3 & 7) <= 4 &&
                  Read64(data + 24) == exchange.nonce;
    if (length < kSntpPacketLength) {
        if (taken)
            abort();
        return 0;
    }
    TimeAnswer answer;
    exchange.why = kNoTimeSilent;
    int usable = kSntpProtocol.read(&exchange, data, length, &answer);
    // A broadcast, which anyone may answer, waits for a usable time.
    if (taken != (matches && (usable || !exchange.broadcast)))
        abort();
    if (usable) {
        if (answer.fine != 1 || answer.uncertaintyMs < 1 ||
            answer.serverMs != answer.pcMs - answer.driftMs ||
            answer.pcMs != exchange.judgedAt / 10000 || data[1] == 0 || data[1] >= 16 ||
            answer.serverMs < exchange.buildDate * 1000 - 1000 || data[0] >> 6 == 3)
            abort();
    } else {
        if (exchange.why == kNoTimeSilent)
            abort(); // a reply of no use says why
        if (exchange.why == kNoTimeRefused && (data[1] != 0 || strlen(exchange.kissCode) != 4))
            abort();
    }
    return 0;
}
