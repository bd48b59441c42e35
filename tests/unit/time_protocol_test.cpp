#include "protocol/era.h"
#include "protocol/time_protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int64_t k2026 = 1796083200;                 // 2026-12-01, the build date
const int64_t kWindow = EraWindowStart(k2026);    // 1958-11-12 20:45:52
const int64_t kWindowEnd = kWindow + (1LL << 32); // 2094-12-19 03:14:08
const int64_t k2099 = 4100227200;                 // 2099-12-08
const int64_t k2040 = 2208988800;                 // 2040-01-01

uint32_t CountOf(int64_t t) {
    return (uint32_t)(t + kSecondsFrom1900To1970);
}

TimeExchange Exchange(int broadcast = 0) {
    TimeExchange exchange = {};
    exchange.protocol = &kTimeProtocol;
    exchange.broadcast = broadcast;
    exchange.buildDate = k2026;
    return exchange;
}

int64_t Decode(uint32_t count) {
    unsigned char reply[4] = {(unsigned char)(count >> 24), (unsigned char)(count >> 16),
                              (unsigned char)(count >> 8), (unsigned char)count};
    return DecodeTimeReply(reply, kWindow);
}

TEST(BuildDate, IsTheStartOfTheBuildsDayInUtc) {
    EXPECT_EQ(BuildDate(k2026), k2026);
    EXPECT_EQ(BuildDate(k2026 + 86399), k2026);
    EXPECT_EQ(BuildDate(-1), -86400);
}

TEST(DecodeTimeReply, ReadsTheCountInTheWindowCentredOnTheBuildDate) {
    EXPECT_EQ(kWindow, -351400448);
    const struct {
        const char* what;
        uint32_t count;
        int64_t expected;
    } cases[] = {
        {"2026-12-08 10:11:12", 0xEEC25640u, 1796724672},
        {"the window's first second", CountOf(kWindow), kWindow},
        {"a second before it: the window's last", CountOf(kWindow) - 1, kWindowEnd - 1},
        {"the last second before the 2036 wrap", 0xFFFFFFFFu, 2085978495},
        {"the wrap, 2036-02-07 06:28:16", 0x00000000u, 2085978496},
        {"a second after the wrap", 0x00000001u, 2085978497},
        {"2038-01-19 03:14:08, past 32 bits", 0x03AA7E80u, 2147483648},
        {"2040-01-01", 0x0754FD00u, k2040},
        {"1968's count is 1968's", 0x80000000u, -61505152},
        {"1970's count is 1970's", 0x83AA7E80u, 0},
        {"2090-01-01", 0x65622F80u, 3786912000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.count), c.expected) << c.what;
}

TEST(DecodeTimeReply, AgreesWithThe32BitDecodingFromTheWindowsStartTo2038) {
    int differ = 0;
    for (uint64_t count = 0; count <= 0xFFFFFFFFu; count += 4099 * 1543) {
        int32_t since1970 = (int32_t)((uint32_t)count - 2208988800u);
        if (since1970 >= kWindow && Decode((uint32_t)count) != since1970 && differ++ == 0)
            ADD_FAILURE() << std::hex << "count " << count;
    }
    EXPECT_EQ(differ, 0);
}

TEST(ReadServerTime, AcceptsOnlyRepliesThatCarryATime) {
    const struct {
        const char* what;
        std::vector<unsigned char> reply;
        int carriesTime;
        int64_t serverTime;
        NoTime why;
    } cases[] = {
        {"empty", {}, 0, 0, kNoTimeUnusable},
        {"three bytes", {0xEE, 0xC2, 0x56}, 0, 0, kNoTimeUnusable},
        {"four bytes", {0xEE, 0xC2, 0x56, 0x40}, 1, 1796724672, kNoTimeSilent},
        {"five bytes: the first four count",
         {0xEE, 0xC2, 0x56, 0x40, 0xFF},
         1,
         1796724672,
         kNoTimeSilent},
        {"eight bytes, four zero after the time",
         {0xEE, 0xC2, 0x56, 0x40, 0, 0, 0, 0},
         1,
         1796724672,
         kNoTimeSilent},
        {"four zero bytes from an unsynchronised server",
         {0, 0, 0, 0},
         0,
         0,
         kNoTimeUnsynchronised},
        {"{0,0,0,1}: a second after the 2036 wrap", {0, 0, 0, 1}, 1, 2085978497, kNoTimeSilent},
        {"past 32-bit time values", {0x03, 0xAA, 0x7E, 0x80}, 1, 2147483648, kNoTimeSilent},
        {"the build date's first second", {0xEE, 0xB8, 0x8C, 0x80}, 1, k2026, kNoTimeSilent},
        {"a second before the build date", {0xEE, 0xB8, 0x8C, 0x7F}, 0, 0, kNoTimeBeforeBuild},
        {"1970-01-01 01:00, a router without a battery",
         {0x83, 0xAA, 0x8C, 0x90},
         0,
         0,
         kNoTimeBeforeBuild},
    };
    for (const auto& c : cases) {
        int64_t serverTime = -7;
        NoTime why = kNoTimeSilent;
        EXPECT_EQ(ReadServerTime(c.reply.data(), (int)c.reply.size(), k2026, &serverTime, &why),
                  c.carriesTime)
            << c.what;
        EXPECT_EQ(serverTime, c.carriesTime ? c.serverTime : -7) << c.what;
        EXPECT_EQ(why, c.why) << c.what;
    }
    int64_t serverTime = -7;
    NoTime why;
    const unsigned char tooLong[4] = {0xEE, 0xC2, 0x56, 0x40};
    EXPECT_EQ(ReadServerTime(tooLong, -1, k2026, &serverTime, &why), 0);
}

// What the run makes of a reply: the judge ends the wait, the read gives the
// times or says why there are none.
TEST(TimeProtocol, JudgesAndReadsReplies) {
    const unsigned char good[4] = {0xEE, 0xC2, 0x56, 0x40}; // 2026-12-08 10:11:12
    const unsigned char zero[4] = {0, 0, 0, 0};
    const unsigned char reset[4] = {0x83, 0xAA, 0x8C, 0x90}; // 1970-01-01 01:00
    const struct {
        const char* what;
        const unsigned char* reply;
        int length;
        int broadcast;
        int judged; // ends the wait
        int read;
        NoTime why;
    } cases[] = {
        {"a time", good, 4, 0, 1, 1, kNoTimeSilent},
        {"empty: ends the wait, no time", good, 0, 0, 1, 0, kNoTimeUnusable},
        {"too long: ends the wait, no time", good, -1, 0, 1, 0, kNoTimeUnusable},
        {"four zero bytes", zero, 4, 0, 1, 0, kNoTimeUnsynchronised},
        {"a clock that was reset: the wait goes on", reset, 4, 0, 0, 0, kNoTimeBeforeBuild},
        {"a clock that was reset, to a broadcast", reset, 4, 1, 0, 0, kNoTimeBeforeBuild},
        {"a time, to a broadcast", good, 4, 1, 1, 1, kNoTimeSilent},
        {"four zero bytes, to a broadcast: the wait goes on", zero, 4, 1, 0, 0,
         kNoTimeUnsynchronised},
        {"our own request, to a broadcast", (const unsigned char*)"H", 1, 1, 0, 0, kNoTimeUnusable},
    };
    for (const auto& c : cases) {
        TimeExchange exchange = Exchange(c.broadcast);
        EXPECT_EQ(kTimeProtocol.judge(&exchange, c.reply, c.length, 4242), c.judged) << c.what;
        // A reset clock's datagram leaves its reason, should nothing better follow.
        EXPECT_EQ(exchange.why, c.why == kNoTimeBeforeBuild ? c.why : kNoTimeSilent) << c.what;
        TimeAnswer answer = {};
        exchange.why = kNoTimeSilent;
        exchange.judgedAt = 17967247625000000; // 2026-12-08 10:12:42.5
        EXPECT_EQ(kTimeProtocol.read(&exchange, c.reply, c.length, &answer), c.read) << c.what;
        EXPECT_EQ(exchange.why, c.why) << c.what;
        if (c.read) {
            EXPECT_EQ(answer.serverMs, 1796724672000) << c.what;
            EXPECT_EQ(answer.driftMs, 90000) << c.what;
            EXPECT_EQ(answer.fine, 0) << c.what;
        }
    }
}

// The PC clock as the answer was judged, in whole seconds, whatever year it
// reads: a calendar reading gives up outside 1970 to 9999.
TEST(TimeProtocol, ReadsTheDriftOfAPcClockDecadesOff) {
    const int64_t kTicks = 10000000;
    const struct {
        const char* what;
        int64_t judgedAt; // 100 ns units since 1970
        int64_t pcMs;
    } cases[] = {
        {"a PC clock typed as 2099", k2099 * kTicks + 3, k2099 * 1000},
        {"a PC clock in 1969, a second and a half before 1970", -15000000, -2000},
        {"a PC clock in 1960", -315619200 * kTicks, -315619200000},
    };
    const unsigned char reply[4] = {0xEE, 0xC2, 0x56, 0x40};
    for (const auto& c : cases) {
        TimeExchange exchange = Exchange();
        exchange.judgedAt = c.judgedAt;
        exchange.sentAt = c.judgedAt - 1600000; // a round trip of 160 ms
        TimeAnswer answer;
        ASSERT_EQ(kTimeProtocol.read(&exchange, reply, 4, &answer), 1) << c.what;
        EXPECT_EQ(answer.serverMs, 1796724672000) << c.what;
        EXPECT_EQ(answer.pcMs, c.pcMs) << c.what;
        EXPECT_EQ(answer.driftMs, c.pcMs - 1796724672000) << c.what;
        EXPECT_EQ(answer.roundTripMs, 160) << c.what;
    }
}

TEST(StepWithinBound, LetsOnlyStepsUpToMaxStepThrough) {
    const struct {
        int64_t driftMs;
        int maxStep;
        int allowed;
    } cases[] = {
        {3600000, 3600, 1}, {-3600000, 3600, 1}, {-3600001, 3600, 0},
        {90000, 60, 0},     {INT64_MIN, 0, 1},   {INT64_MIN, -5, 1},
    };
    for (const auto& c : cases) {
        TimeAnswer answer = {0, 0, c.driftMs, 0, 0};
        EXPECT_EQ(StepWithinBound(&answer, c.maxStep), c.allowed) << c.driftMs << " " << c.maxStep;
    }
}

} // namespace
