#include "protocol/era.h"
#include "protocol/sntp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const uint64_t kNonce = 0x0123456789ABCDEFull;
const int64_t kSecond = 10000000; // PC clock units: 100 ns
const int64_t kMs = kSecond / 1000;
const int64_t k2026 = 1796724672 * kSecond;       // 2026-12-08 10:11:12 UTC
const int64_t kBeforeWrap = 2085978495 * kSecond; // 2036-02-07 06:28:15 UTC
const int64_t k2099 = 4100227200 * kSecond;       // 2099-12-08
const int64_t kBuildDate = 1796083200;            // 2026-12-01
const int64_t kFixedSecond = 1LL << 32;

// A server's reply, field by field; times are PC clock readings the server
// stamps, so that a test reads like the exchange it stands for.
struct Reply {
    int leap = 0, version = 4, mode = 4, stratum = 2;
    uint32_t rootDelay = 0, rootDispersion = 0; // 16.16 seconds
    const char* referenceId = "GPS\0";
    uint64_t origin = kNonce;
    int64_t received = k2026, transmitted = k2026; // 0: a zero timestamp
    int length = kSntpPacketLength;
};

std::vector<unsigned char> Pack(const Reply& r) {
    std::vector<unsigned char> bytes((size_t)std::max(r.length, 0), 0xAA);
    if (r.length < kSntpPacketLength)
        return bytes;
    auto put = [&](int at, uint64_t value, int size) {
        for (int i = 0; i < size; i++)
            bytes[at + i] = (unsigned char)(value >> (8 * (size - 1 - i)));
    };
    bytes[0] = (unsigned char)(r.leap << 6 | r.version << 3 | r.mode);
    bytes[1] = (unsigned char)r.stratum;
    put(4, r.rootDelay, 4);
    put(8, r.rootDispersion, 4);
    memcpy(&bytes[12], r.referenceId, 4);
    put(24, r.origin, 8);
    put(32, r.received ? NtpTimestamp(r.received) : 0, 8);
    put(40, r.transmitted ? NtpTimestamp(r.transmitted) : 0, 8);
    return bytes;
}

// An exchange sent at `sentAt` whose reply is judged 80 ms later.
TimeExchange Exchange(int64_t sentAt, int broadcast = 0) {
    TimeExchange exchange = {};
    exchange.nonce = kNonce;
    exchange.buildDate = kBuildDate;
    exchange.maxDistanceMs = 1500;
    exchange.broadcast = broadcast;
    exchange.sentAt = sentAt;
    exchange.judgedAt = sentAt + 80 * kMs;
    return exchange;
}

TEST(SntpRequest, IsVersionFourModeThreeWithTheNonceAsTransmitTime) {
    unsigned char request[kSntpPacketLength];
    memset(request, 0xFF, sizeof request);
    SntpRequest(kNonce, request);
    std::vector<unsigned char> expected(kSntpPacketLength, 0);
    expected[0] = 0x23;
    for (int i = 0; i < 8; i++)
        expected[40 + i] = (unsigned char)(kNonce >> (56 - 8 * i));
    EXPECT_EQ(std::vector<unsigned char>(request, request + kSntpPacketLength), expected);
}

TEST(SntpIsReply, TakesOnlyTheServersReplyToThisRequest) {
    const struct {
        const char* what;
        Reply reply;
        int port;
        int taken;
    } cases[] = {
        {"the reply", {}, 123, 1},
        {"from another port", {}, 124, 0},
        {"47 bytes", {.length = 47}, 123, 0},
        {"68 bytes: a MAC after it is ignored", {.length = 68}, 123, 1},
        {"too long to read", {.length = -1}, 123, 0},
        {"mode 3, a client's request", {.mode = 3}, 123, 0},
        {"mode 5, a broadcast", {.mode = 5}, 123, 0},
        {"version 0", {.version = 0}, 123, 0},
        {"version 1", {.version = 1}, 123, 1},
        {"version 5", {.version = 5}, 123, 0},
        {"another origin: forged, or an earlier request's", {.origin = kNonce ^ 1}, 123, 0},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> bytes = Pack(c.reply);
        EXPECT_EQ(SntpIsReply(bytes.data(), c.reply.length, c.port, kNonce), c.taken) << c.what;
    }
}

TEST(SntpMeasureReply, SaysWhyAMatchedReplyIsOfNoUse) {
    const int64_t t1 = k2026, t4 = k2026 + 100 * kMs;
    const uint32_t kOneAndAHalf = 0x18000; // 1.5 s in 16.16
    const struct {
        const char* what;
        Reply reply;
        int usable;
        NoTime why;
        const char* kissCode;
        int maxDistanceMs = 1500; // MaxDistance
    } cases[] = {
        {"usable", {}, 1, kNoTimeSilent, ""},
        {"a Kiss-o'-Death", {.stratum = 0, .referenceId = "RATE"}, 0, kNoTimeRefused, "RATE"},
        {"a Kiss-o'-Death with a byte that is no letter",
         {.leap = 3, .stratum = 0, .referenceId = "DE\nY"},
         0,
         kNoTimeRefused,
         "DE?Y"},
        {"leap indicator 3", {.leap = 3}, 0, kNoTimeUnsynchronised, ""},
        {"stratum 16", {.stratum = 16}, 0, kNoTimeUnsynchronised, ""},
        {"stratum 15", {.stratum = 15}, 1, kNoTimeSilent, ""},
        {"a zero receive timestamp", {.received = 0}, 0, kNoTimeUnusable, ""},
        {"a zero transmit timestamp", {.transmitted = 0}, 0, kNoTimeUnusable, ""},
        {"transmit before receive", {.received = k2026 + 1}, 0, kNoTimeUnusable, ""},
        {"a negative round-trip delay: the server took longer than the round trip",
         {.transmitted = k2026 + 101 * kMs},
         0,
         kNoTimeUnusable,
         ""},
        {"root distance 1.5 s",
         {.rootDelay = 0x10000, .rootDispersion = 0x10000},
         1,
         kNoTimeSilent,
         ""},
        {"root distance over 1.5 s", {.rootDispersion = kOneAndAHalf + 1}, 0, kNoTimeTooFar, ""},
        {"root delay 3.2 s: half of it over 1.5 s", {.rootDelay = 0x33333}, 0, kNoTimeTooFar, ""},
        // A domain controller on its own clock: a dispersion of 10 s.
        {"root distance 10 s", {.rootDispersion = 0xA0000}, 0, kNoTimeTooFar, ""},
        {"root distance 10 s, MaxDistance 16 s",
         {.rootDispersion = 0xA0000},
         1,
         kNoTimeSilent,
         "",
         16000},
        {"root distance 16 s, MaxDistance 16 s",
         {.rootDispersion = 0x100000},
         1,
         kNoTimeSilent,
         "",
         16000},
        {"root distance 10 s, MaxDistance 9.999 s",
         {.rootDispersion = 0xA0000},
         0,
         kNoTimeTooFar,
         "",
         9999},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> bytes = Pack(c.reply);
        SntpMeasure measure = {};
        measure.why = kNoTimeSilent;
        EXPECT_EQ(SntpMeasureReply(bytes.data(), t1, t4, c.maxDistanceMs, &measure), c.usable)
            << c.what;
        EXPECT_EQ(measure.why, c.why) << c.what;
        EXPECT_STREQ(measure.kissCode, c.kissCode) << c.what;
    }
    std::vector<unsigned char> bytes = Pack({});
    SntpMeasure measure;
    EXPECT_EQ(SntpMeasureReply(bytes.data(), t4, t1, 1500, &measure), 0)
        << "judged before it was sent";
}

// Offset, delay and uncertainty, in milliseconds, of an exchange whose
// server clock is `ahead` of the PC's and whose datagrams take `out` and
// `back`, the server holding the request for `held`.
TEST(SntpMeasureReply, MeasuresOffsetDelayAndUncertainty) {
    const struct {
        const char* what;
        int64_t t1;
        int64_t aheadMs, outMs, backMs, heldMs;
        uint32_t rootDelay, rootDispersion;
        int64_t offsetMs, delayMs, uncertaintyMs;
    } cases[] = {
        {"server 90.25 s ahead, 40 ms each way", k2026, 90250, 40, 40, 0, 0, 0, 90250, 80, 41},
        {"server 0.12 s behind", k2026, -120, 40, 40, 1, 0, 0, -120, 80, 41},
        {"asymmetric paths: half the difference is the error", k2026, 0, 60, 20, 0, 0, 0, 20, 80,
         41},
        {"root delay 0.5 s and dispersion 0.25 s", k2026, 0, 5, 5, 0, 0x8000, 0x4000, 0, 10, 506},
        {"sent before the 2036 wrap, judged after it", kBeforeWrap + 900 * kMs, -500, 100, 100, 0,
         0, 0, -500, 200, 101},
    };
    for (const auto& c : cases) {
        const int64_t t2 = c.t1 + (c.outMs + c.aheadMs) * kMs, t3 = t2 + c.heldMs * kMs;
        const int64_t t4 = c.t1 + (c.outMs + c.heldMs + c.backMs) * kMs;
        Reply reply;
        reply.received = t2;
        reply.transmitted = t3;
        reply.rootDelay = c.rootDelay;
        reply.rootDispersion = c.rootDispersion;
        std::vector<unsigned char> bytes = Pack(reply);
        SntpMeasure measure;
        ASSERT_EQ(SntpMeasureReply(bytes.data(), c.t1, t4, 1500, &measure), 1) << c.what;
        EXPECT_EQ(FixedToMilliseconds(measure.offset), c.offsetMs) << c.what;
        EXPECT_EQ(FixedToMilliseconds(measure.delay), c.delayMs) << c.what;
        EXPECT_EQ(FixedToMilliseconds(measure.uncertainty), c.uncertaintyMs) << c.what;
    }
}

// The run's answer: both times at the moment the reply was judged, the drift
// PC minus server, and the era from the server's own time; none from a
// server whose clock reads before the build.
TEST(SntpProtocol, ReadsTimesAndDriftInTheRightEra) {
    const struct {
        const char* what;
        int64_t pc;     // the PC clock at sending
        int64_t server; // the server's clock then
        int64_t driftMs;
        NoTime why; // silent: usable
    } cases[] = {
        {"PC 90.25 s ahead", k2026 + 90250 * kMs, k2026, 90250, kNoTimeSilent},
        {"a PC clock typed as 2099, the server in 2026", k2099, k2026, (k2099 - k2026) / kMs,
         kNoTimeSilent},
        {"a PC clock 68 years ahead: the request's way wraps, the answer's not",
         k2026 + (kFixedSecond >> 1) * kSecond, k2026, (kFixedSecond >> 1) * 1000, kNoTimeSilent},
        {"a PC clock before the 2036 wrap, the server after it", kBeforeWrap,
         kBeforeWrap + 2 * kSecond, -2000, kNoTimeSilent},
        {"a server reset to 1970, stratum 1, leap 0", k2026, 3600 * kSecond, 0, kNoTimeBeforeBuild},
        {"a server a second before the build date", k2026, (kBuildDate - 1) * kSecond, 0,
         kNoTimeBeforeBuild},
    };
    for (const auto& c : cases) {
        TimeExchange exchange = Exchange(c.pc);
        Reply reply;
        reply.received = reply.transmitted = c.server + 40 * kMs;
        std::vector<unsigned char> bytes = Pack(reply);
        TimeAnswer answer;
        int usable = c.why == kNoTimeSilent;
        ASSERT_EQ(kSntpProtocol.read(&exchange, bytes.data(), kSntpPacketLength, &answer), usable)
            << c.what;
        EXPECT_EQ(exchange.why, c.why) << c.what;
        if (!usable)
            continue;
        EXPECT_EQ(answer.driftMs, c.driftMs) << c.what;
        EXPECT_EQ(answer.pcMs, (c.pc + 80 * kMs) / kMs) << c.what;
        EXPECT_EQ(answer.serverMs, (c.server + 80 * kMs) / kMs) << c.what;
        EXPECT_EQ(answer.uncertaintyMs, 41) << c.what;
        EXPECT_EQ(answer.fine, 1) << c.what;
    }
}

// The root distance a refused reply tells: rounded up, so that one just over
// MaxDistance never reads as equal to it; none from a reply refused before it.
TEST(SntpProtocol, TellsARefusedRepliesRootDistanceRoundedUp) {
    const struct {
        const char* what;
        Reply reply;
        int64_t rootDistanceMs;
    } cases[] = {
        {"a hair over 1.5 s", {.rootDispersion = 0x18000 + 1}, 1501},
        {"10 s", {.rootDispersion = 0xA0000}, 10000},
        {"a Kiss-o'-Death", {.stratum = 0, .referenceId = "RATE"}, 0},
        {"unsynchronised", {.leap = 3}, 0},
    };
    for (const auto& c : cases) {
        TimeExchange exchange = Exchange(k2026);
        exchange.rootDistanceMs = 777; // left from an earlier reply
        Reply reply = c.reply;
        reply.received = reply.transmitted = k2026 + 40 * kMs;
        std::vector<unsigned char> bytes = Pack(reply);
        TimeAnswer answer;
        ASSERT_EQ(kSntpProtocol.read(&exchange, bytes.data(), kSntpPacketLength, &answer), 0)
            << c.what;
        EXPECT_EQ(exchange.rootDistanceMs, c.rootDistanceMs) << c.what;
    }
}

// Any host may answer a broadcast: only a reply with a usable time ends the
// wait, and one without leaves its reason. Asked directly, the server's
// reply ends it whatever it says.
TEST(SntpProtocol, EndsABroadcastsWaitOnlyOnAUsableTime) {
    const struct {
        const char* what;
        Reply reply;
        int broadcast;
        int judged;
        NoTime why;
    } cases[] = {
        {"a time, to a broadcast", {}, 1, 1, kNoTimeSilent},
        {"unsynchronised, to a broadcast", {.leap = 3}, 1, 0, kNoTimeUnsynchronised},
        {"stratum 16, to a broadcast", {.stratum = 16}, 1, 0, kNoTimeUnsynchronised},
        {"a Kiss-o'-Death, to a broadcast",
         {.stratum = 0, .referenceId = "RATE"},
         1,
         0,
         kNoTimeRefused},
        {"a clock reset to 1970, to a broadcast",
         {.received = 3600 * kSecond, .transmitted = 3600 * kSecond},
         1,
         0,
         kNoTimeBeforeBuild},
        {"another request's reply, to a broadcast", {.origin = kNonce ^ 1}, 1, 0, kNoTimeSilent},
        {"a Kiss-o'-Death, asked directly",
         {.stratum = 0, .referenceId = "RATE"},
         0,
         1,
         kNoTimeSilent},
    };
    for (const auto& c : cases) {
        TimeExchange exchange = Exchange(k2026, c.broadcast);
        std::vector<unsigned char> bytes = Pack(c.reply);
        EXPECT_EQ(kSntpProtocol.judge(&exchange, bytes.data(), kSntpPacketLength, 123), c.judged)
            << c.what;
        EXPECT_EQ(exchange.why, c.why) << c.what;
        EXPECT_STREQ(exchange.kissCode, c.why == kNoTimeRefused ? "RATE" : "") << c.what;
    }
}

TEST(FixedToMilliseconds, RoundsToTheNearestMillisecond) {
    const struct {
        int64_t fixed;
        int64_t ms;
    } cases[] = {
        {-kFixedSecond / 8, -125},        {-1, 0},
        {kFixedSecond / 1000 / 2 - 1, 0}, // just under half a millisecond
        {kFixedSecond / 1000 / 2 + 1, 1}, {INT64_MIN, -2147483648000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FixedToMilliseconds(c.fixed), c.ms) << c.fixed;
}

TEST(NtpTimestamp, CountsFrom1900WithAFractionOf2To32) {
    const struct {
        int64_t ticks;
        uint64_t timestamp;
    } cases[] = {
        {kSecond / 2, 0x83AA7E80ull << 32 | 0x80000000u},
        {-kSecond / 4, 0x83AA7E7Full << 32 | 0xC0000000u},
        {2085978496 * kSecond, 0}, // the 2036 wrap
    };
    for (const auto& c : cases)
        EXPECT_EQ(NtpTimestamp(c.ticks), c.timestamp) << c.ticks;
}

TEST(ProtocolOfHost, PicksTheProtocolFromThePrefix) {
    const struct {
        const char* host;
        const TimeProtocol* protocol;
        const char* name;
    } cases[] = {
        {"time.example", &kTimeProtocol, "time.example"},
        {"NTP:10.0.0.1", &kSntpProtocol, "10.0.0.1"},
        {"Ntp: \ttime.example", &kSntpProtocol, "time.example"},
        {"ntp:", &kSntpProtocol, ""},
        {"ntpx.example", &kTimeProtocol, "ntpx.example"},
    };
    for (const auto& c : cases) {
        const char* name = nullptr;
        EXPECT_EQ(ProtocolOfHost(c.host, &name), c.protocol) << c.host;
        EXPECT_STREQ(name, c.name) << c.host;
    }
}

} // namespace
