#include "protocol/time_protocol.h"

#include <gtest/gtest.h>

namespace {

struct DecodeCase {
    uint32_t since1900;
    int32_t expected;
};

const DecodeCase kDecodeCases[] = {
    {0x83AA7E80u, 0},          // 1970-01-01 00:00:00
    {0x83AA7E7Fu, 0},          // one second before 1970: taken as 1970
    {0xEEC25640u, 1796724672}, // 2026-12-08 10:11:12
    {0xFFFFFFFFu, 2085978495}, // the last second before the 2036 wrap
    {0x00000000u, 2085978496}, // small counts wrap to values above the first range
    {0x03AA7E7Fu, INT32_MAX},  // the last count that wraps to a positive value
    {0x03AA7E80u, 0},          // the first that wraps to a negative one
    {0x80000000u, 0},          // 1968: in between, taken as 1970
};

TEST(DecodeTimeReply, MapsTheThreeRangesOfCounts) {
    for (const DecodeCase& c : kDecodeCases) {
        unsigned char reply[4] = {(unsigned char)(c.since1900 >> 24),
                                  (unsigned char)(c.since1900 >> 16),
                                  (unsigned char)(c.since1900 >> 8), (unsigned char)c.since1900};
        EXPECT_EQ(DecodeTimeReply(reply), c.expected) << std::hex << c.since1900;
    }
}

struct ReadCase {
    const char* what;
    std::vector<unsigned char> reply;
    int carriesTime;
    int32_t serverTime;
};

TEST(ReadServerTime, AcceptsOnlyRepliesThatCarryATime) {
    const ReadCase cases[] = {
        {"empty", {}, 0, 0},
        {"three bytes", {0xEE, 0xC2, 0x56}, 0, 0},
        {"four bytes", {0xEE, 0xC2, 0x56, 0x40}, 1, 1796724672},
        {"five bytes: the first four count", {0xEE, 0xC2, 0x56, 0x40, 0xFF}, 1, 1796724672},
        {"eight bytes, four zero after the time",
         {0xEE, 0xC2, 0x56, 0x40, 0, 0, 0, 0},
         1,
         1796724672},
        {"four zero bytes from an unsynchronised server", {0, 0, 0, 0}, 0, 0},
        {"taken as 1970", {0x80, 0, 0, 0}, 0, 0},
        {"exactly 1970", {0x83, 0xAA, 0x7E, 0x80}, 0, 0},
        {"one second after 1970", {0x83, 0xAA, 0x7E, 0x81}, 1, 1},
    };
    for (const ReadCase& c : cases) {
        int32_t serverTime = -7;
        EXPECT_EQ(ReadServerTime(c.reply.data(), (int)c.reply.size(), &serverTime), c.carriesTime)
            << c.what;
        EXPECT_EQ(serverTime, c.carriesTime ? c.serverTime : -7) << c.what;
    }
}

} // namespace
