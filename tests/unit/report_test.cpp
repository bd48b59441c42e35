#include "app/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const TimeFields kServer = {2026, 3, 5, 7, 8, 9, 4};
const TimeFields kPc = {2026, 3, 5, 7, 9, 39, 4};

std::string Report(const TimeFields* pc, int64_t drift) {
    char text[kReportSize];
    size_t length = FormatReport(text, sizeof text, &kServer, pc, drift);
    EXPECT_EQ(length, strlen(text));
    return text;
}

TEST(FormatReport, WritesTheReportTextsByteForByte) {
    const struct {
        const TimeFields* pc;
        int64_t drift;
        const char* text;
    } cases[] = {
        {&kPc, 90,
         "Horavel :  05/03/2026     07:08:09\n"
         "PC  Time :  05/03/2026     07:09:39\n"
         "\nYour PC's clock has  90 seconds drift !\nDo you want to fix it ?\n"},
        {&kPc, -90,
         "Horavel :  05/03/2026     07:08:09\n"
         "PC  Time :  05/03/2026     07:09:39\n"
         "\nYour PC's clock has  -90 seconds drift !\nDo you want to fix it ?\n"},
        {&kServer, 0,
         "Horavel :  05/03/2026     07:08:09\n"
         "PC  Time :  05/03/2026     07:08:09\n"
         "\nYour PC's clock needs no correction...\n"},
        {nullptr, INT32_MIN,
         "Horavel :  05/03/2026     07:08:09\n"
         "PC  Time :  --/--/----     --:--:--\n"
         "\nYour PC's clock has  -2147483648 seconds drift !\nDo you want to fix it ?\n"},
        {&kPc, 3000000000, // beyond 32 bits: some 95 years
         "Horavel :  05/03/2026     07:08:09\n"
         "PC  Time :  05/03/2026     07:09:39\n"
         "\nYour PC's clock has  3000000000 seconds drift !\nDo you want to fix it ?\n"},
        {&kPc, INT64_MIN,
         "Horavel :  05/03/2026     07:08:09\n"
         "PC  Time :  05/03/2026     07:09:39\n"
         "\nYour PC's clock has  -9223372036854775808 seconds drift !\nDo you want to fix it ?\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Report(c.pc, c.drift), c.text) << c.drift;
}

TEST(FormatReport, StaysInsideASmallBuffer) {
    char text[20];
    memset(text, '#', sizeof text);
    EXPECT_EQ(FormatReport(text, 12, &kServer, &kPc, 90), 11u);
    EXPECT_STREQ(text, "Horavel :  ");
    EXPECT_EQ(text[12], '#');
    std::vector<char> exact(35); // as long as the first line, with its newline
    EXPECT_EQ(FormatReport(exact.data(), exact.size(), &kServer, &kPc, 90), 34u);
    EXPECT_STREQ(exact.data(), "Horavel :  05/03/2026     07:08:09");
}

TEST(FormatHostCaption, NamesTheDottedAddress) {
    char caption[kCaptionSize];
    FormatHostCaption(caption, sizeof caption, "255.255.255.255");
    EXPECT_STREQ(caption, "Host Address : 255.255.255.255");
}

TEST(FormatEventText, SaysWhatHappenedInUtc) {
    const char* kHost = "\r\nTime server: timehost.test (10.37.0.2)";
    const char* kTimes = "\r\nServer time: 2026-12-08T07:00:00Z\r\nPC time: 2026-12-08T07:01:30Z";
    EventFacts answer = {"timehost.test", "10.37.0.2", 1796713200, 1796713290, 90, 0, "", 0, 0};
    EventFacts behind = answer, unread = answer, refused = answer, silent = answer;
    behind.drift = -1;
    unread.pcTime = -1;
    refused.error = 1314;
    refused.errorText = "A required privilege is not held by the client.";
    silent.hostsAsked = 3;
    silent.timeoutMs = 2000;
    const struct {
        EventId id;
        const EventFacts* facts;
        std::string text;
    } cases[] = {
        {kEventCorrected, &answer,
         std::string("Clock corrected: the PC clock was 90 seconds ahead of the time server.") +
             kHost + kTimes},
        {kEventCorrected, &behind,
         std::string("Clock corrected: the PC clock was 1 second behind the time server.") + kHost +
             kTimes},
        {kEventNoCorrection, &unread,
         std::string("Clock checked: the PC clock agrees with the time server to the second.") +
             kHost + "\r\nServer time: 2026-12-08T07:00:00Z\r\nPC time: unknown"},
        {kEventNotSet, &refused,
         std::string("The clock could not be set: the PC clock is 90 seconds ahead of the time "
                     "server.\r\nError 1314: A required privilege is not held by the client.") +
             kHost + kTimes},
        {kEventNoAnswer, &silent, "No time server answered: 3 servers asked, 2000 ms each."},
        {kEventNoNetwork, &refused,
         "No time server was asked: the network could not be used.\r\nError 1314: A required "
         "privilege is not held by the client."},
    };
    for (const auto& c : cases) {
        char text[kEventTextSize];
        EXPECT_EQ(FormatEventText(text, sizeof text, c.id, c.facts), c.text.size()) << c.text;
        EXPECT_EQ(text, c.text);
    }
}

} // namespace
