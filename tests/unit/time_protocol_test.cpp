#include "protocol/time_protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int64_t k2026 = 1796083200; // 2026-12-01
const int64_t k2037 = 2114380800; // 2037-01-01
const int64_t k2040 = 2208988800; // 2040-01-01
const int64_t k2100 = 4102444800; // 2100-01-01

int64_t Decode(uint32_t count, int64_t pivot) {
    unsigned char reply[4] = {(unsigned char)(count >> 24), (unsigned char)(count >> 16),
                              (unsigned char)(count >> 8), (unsigned char)count};
    return DecodeTimeReply(reply, pivot);
}

// The decoding of 32-bit time values: three ranges, 0 for "taken as 1970".
int64_t Decode32(uint32_t count) {
    int32_t since1970 = (int32_t)(count - 2208988800u);
    return since1970 < 0 ? 0 : since1970;
}

TEST(DecodeTimeReply, ReadsTheCountInTheEraNearestThePivot) {
    const struct {
        const char* what;
        uint32_t count;
        int64_t pivot;
        int64_t expected;
    } cases[] = {
        {"2026-12-08 10:11:12", 0xEEC25640u, k2026, 1796724672},
        {"1970", 0x83AA7E80u, k2026, 0},
        {"a second before 1970", 0x83AA7E7Fu, k2026, -1},
        {"1968", 0x80000000u, k2026, -61505152},
        {"the last second before the 2036 wrap", 0xFFFFFFFFu, k2026, 2085978495},
        {"the same, seen from 2040", 0xFFFFFFFFu, k2040, 2085978495},
        {"the wrap, 2036-02-07 06:28:16", 0x00000000u, k2026, 2085978496},
        {"a second after the wrap", 0x00000001u, k2037, 2085978497},
        {"2038-01-19 03:14:07", 0x03AA7E7Fu, k2037, INT32_MAX},
        {"2038-01-19 03:14:08, past 32 bits", 0x03AA7E80u, k2026, 2147483648},
        {"the same, seen from 2100", 0x03AA7E80u, k2100, 2147483648},
        {"2040-01-01", 0x0754FD00u, k2026, k2040},
        {"2040-01-01 seen from 2040", 0x0754FD00u, k2040, k2040},
        {"2100-01-01 seen from 2100", 0x7830D580u, k2100, k2100},
        {"2100-01-01 is 74 years from 2026: 1963", 0x7830D580u, k2026, k2100 - 4294967296},
        {"1968 seen from 2100: 2104", 0x80000000u, k2100, 4233462144},
        {"2106-02-07 06:28:16, the second wrap", 0x83AA7E80u, k2100, 4294967296},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.count, c.pivot), c.expected) << c.what;
}

TEST(DecodeTimeReply, AgreesWithThe32BitDecodingFrom1970To2038) {
    std::vector<uint32_t> counts = {0x00000000u, 0x00000001u, 0x03AA7E7Fu, 0x83AA7E81u,
                                    0xFFFFFFFFu};
    for (uint64_t count = 0; count <= 0xFFFFFFFFu; count += 4099 * 1543)
        counts.push_back((uint32_t)count);
    std::vector<int64_t> pivots = {1, INT32_MAX, k2026, k2037};
    for (int64_t pivot = 1; pivot < INT32_MAX; pivot += 7919 * 1009)
        pivots.push_back(pivot);
    int differ = 0;
    for (uint32_t count : counts)
        for (int64_t pivot : pivots)
            if (Decode32(count) > 0 && Decode(count, pivot) != Decode32(count) && differ++ == 0)
                ADD_FAILURE() << std::hex << "count " << count << std::dec << ", pivot " << pivot;
    EXPECT_EQ(differ, 0);
}

TEST(DecodePivot, TrustsAClockFrom2026OnOnly) {
    const struct {
        int64_t pcTime;
        int64_t pivot;
    } cases[] = {
        {-1, k2026},         // the clock cannot be read
        {1767225599, k2026}, // 2025-12-31 23:59:59
        {1767225600, 1767225600},
        {k2100, k2100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodePivot(c.pcTime, k2026), c.pivot) << c.pcTime;
}

TEST(ReadServerTime, AcceptsOnlyRepliesThatCarryATime) {
    const struct {
        const char* what;
        std::vector<unsigned char> reply;
        int carriesTime;
        int64_t serverTime;
    } cases[] = {
        {"empty", {}, 0, 0},
        {"three bytes", {0xEE, 0xC2, 0x56}, 0, 0},
        {"four bytes", {0xEE, 0xC2, 0x56, 0x40}, 1, 1796724672},
        {"five bytes: the first four count", {0xEE, 0xC2, 0x56, 0x40, 0xFF}, 1, 1796724672},
        {"eight bytes, four zero after the time",
         {0xEE, 0xC2, 0x56, 0x40, 0, 0, 0, 0},
         1,
         1796724672},
        {"four zero bytes from an unsynchronised server", {0, 0, 0, 0}, 0, 0},
        {"before 1970", {0x80, 0, 0, 0}, 0, 0},
        {"exactly 1970", {0x83, 0xAA, 0x7E, 0x80}, 0, 0},
        {"one second after 1970", {0x83, 0xAA, 0x7E, 0x81}, 1, 1},
        {"past 32-bit time values", {0x03, 0xAA, 0x7E, 0x80}, 1, 2147483648},
    };
    for (const auto& c : cases) {
        int64_t serverTime = -7;
        EXPECT_EQ(ReadServerTime(c.reply.data(), (int)c.reply.size(), k2026, &serverTime),
                  c.carriesTime)
            << c.what;
        EXPECT_EQ(serverTime, c.carriesTime ? c.serverTime : -7) << c.what;
    }
}

} // namespace
