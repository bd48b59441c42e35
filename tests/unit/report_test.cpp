#include "core/report.h"
#include "core/install_report.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/command_line.h"

namespace {

const TimeFields kServer = {2026, 3, 5, 7, 8, 9, 4, 250};
const TimeFields kPc = {2026, 3, 5, 7, 9, 39, 4, 500};

TimeAnswer Whole(int64_t driftMs) {
    return TimeAnswer{0, 0, driftMs, 0, 0};
}

TimeAnswer Fine(int64_t driftMs, int64_t uncertaintyMs = 12) {
    return TimeAnswer{0, 0, driftMs, uncertaintyMs, 1};
}

AskedHost Asked(const char* hostText, const char* address, NoTime why, const char* kiss = "") {
    AskedHost host = {};
    host.hostText = hostText;
    strcpy(host.address, address);
    host.why = why;
    strcpy(host.kissCode, kiss);
    return host;
}

AskedHost Answered(const char* hostText, const char* address, TimeAnswer answer, int agreed) {
    AskedHost host = Asked(hostText, address, kNoTimeSilent);
    host.answered = 1;
    host.agreed = agreed;
    host.answer = answer;
    return host;
}

// Three hosts that answered, two of them left out (one an hour ahead of the
// PC, one 20 s behind the agreed answer), and one silent.
const AskedHost kOutvoted[] = {
    Answered("ntp:a.example", "10.0.0.2", Fine(90250), 1),
    Answered("10.0.0.3", "10.0.0.3", Whole(-3600000), 0),
    Answered("ntp:c.example", "10.0.0.4", Fine(110125), 0),
    Asked("10.0.0.8", "10.0.0.8", kNoTimeSilent),
};

std::string Report(const TimeFields* pc, const TimeAnswer& answer, const AskedHost* asked = nullptr,
                   int askedCount = 0, int asking = 1) {
    char text[kReportSize];
    size_t length =
        FormatReport(text, sizeof text, &kServer, pc, &answer, asked, askedCount, asking);
    EXPECT_EQ(length, strlen(text));
    return text;
}

const char kWholeLines[] = "Horavel :  05/03/2026     07:08:09\n"
                           "PC  Time :  05/03/2026     07:09:39\n";
const char kFineLines[] = "Horavel :  05/03/2026     07:08:09.250\n"
                          "PC  Time :  05/03/2026     07:09:39.500\n";

TEST(FormatReport, WritesTheReportTextsByteForByte) {
    const std::string fix = " seconds drift !\nDo you want to fix it ?\n";
    const std::string none = "\nYour PC's clock needs no correction...\n";
    const struct {
        const TimeFields* pc;
        TimeAnswer answer;
        std::string text;
    } cases[] = {
        {&kPc, Whole(90000), kWholeLines + std::string("\nYour PC's clock has  90") + fix},
        {&kPc, Whole(-90000), kWholeLines + std::string("\nYour PC's clock has  -90") + fix},
        {&kServer, Whole(0),
         "Horavel :  05/03/2026     07:08:09\nPC  Time :  05/03/2026     07:08:09\n" + none},
        {nullptr, Whole(INT32_MIN * 1000LL),
         "Horavel :  05/03/2026     07:08:09\nPC  Time :  --/--/----     --:--:--\n"
         "\nYour PC's clock has  -2147483648" +
             fix},
        {&kPc, Whole(3000000000000), // beyond 32 bits: some 95 years
         kWholeLines + std::string("\nYour PC's clock has  3000000000") + fix},
        {&kPc, Whole(INT64_MIN),
         kWholeLines + std::string("\nYour PC's clock has  -9223372036854775") + fix},
        {&kPc, Fine(90250), kFineLines + std::string("\nYour PC's clock has  90.250") + fix},
        {&kPc, Fine(-120), kFineLines + std::string("\nYour PC's clock has  -0.120") + fix},
        {&kPc, Fine(13), kFineLines + std::string("\nYour PC's clock has  0.013") + fix},
        {&kPc, Fine(12), kFineLines + none}, // within what the measurement can tell
        {nullptr, Fine(0),
         "Horavel :  05/03/2026     07:08:09.250\nPC  Time :  --/--/----     --:--:--.---\n" +
             none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Report(c.pc, c.answer), c.text) << c.answer.driftMs;
    // /check: the drift, no question.
    EXPECT_EQ(Report(&kPc, Whole(90000), nullptr, 0, 0),
              kWholeLines + std::string("\nYour PC's clock has  90 seconds drift !\n"));
    EXPECT_EQ(Report(&kPc, Fine(90250), kOutvoted, 4),
              kFineLines +
                  std::string("Disagreed: 10.0.0.3 (+3600 s), 10.0.0.4 (-110.125 s)\n"
                              "\nYour PC's clock has  90.250") +
                  fix);
}

// The boxes of a run that stepped nothing: each address asked, and why.
TEST(FormatNoTimeBox, ListsEachAddressAndTheMajorityWanted) {
    const AskedHost oneOfThree[] = {kOutvoted[3], kOutvoted[0]};
    EventFacts disagree = {}, tooFew = {}, silent = {};
    disagree.asked = kOutvoted;
    disagree.hostsAsked = 4;
    disagree.answersWanted = 4;
    tooFew.asked = oneOfThree;
    tooFew.hostsAsked = 2;
    tooFew.answersWanted = 3;
    silent.asked = oneOfThree;
    silent.hostsAsked = 1;
    const struct {
        EventId id;
        const EventFacts* facts;
        const char* text;
    } cases[] = {
        {kEventDisagree, &disagree,
         "The time servers disagree...\r\n\r\nntp:a.example (10.0.0.2): -90.250 s"
         "\r\n10.0.0.3 (10.0.0.3): +3600 s\r\nntp:c.example (10.0.0.4): -110.125 s"
         "\r\n10.0.0.8 (10.0.0.8): silent"
         "\r\n\r\nThe clock is left alone: 3 of 4 answered, 3 must agree."},
        {kEventNoAnswer, &tooFew,
         "Too few time servers answered...\r\n\r\n10.0.0.8 (10.0.0.8): silent"
         "\r\nntp:a.example (10.0.0.2): -90.250 s"
         "\r\n\r\nThe clock is left alone: 1 of 3 answered, 2 must agree."},
        {kEventNoAnswer, &silent,
         "No response from any server !\r\n\r\n10.0.0.8 (10.0.0.8): silent"},
    };
    for (const auto& c : cases) {
        char text[kEventTextSize];
        EXPECT_EQ(FormatNoTimeBox(text, sizeof text, c.id, c.facts), strlen(c.text));
        EXPECT_STREQ(text, c.text);
    }
}

TEST(FormatReport, StaysInsideASmallBuffer) {
    TimeAnswer answer = Whole(90000);
    char text[20];
    memset(text, '#', sizeof text);
    EXPECT_EQ(FormatReport(text, 12, &kServer, &kPc, &answer, kOutvoted, 4, 1), 11u);
    EXPECT_STREQ(text, "Horavel :  ");
    EXPECT_EQ(text[12], '#');
    std::vector<char> exact(35); // as long as the first line, with its newline
    EXPECT_EQ(FormatReport(exact.data(), exact.size(), &kServer, &kPc, &answer, nullptr, 0, 1),
              34u);
    EXPECT_STREQ(exact.data(), "Horavel :  05/03/2026     07:08:09");
}

TEST(FormatHostCaption, NamesTheDottedAddress) {
    char caption[kCaptionSize];
    FormatHostCaption(caption, sizeof caption, "255.255.255.255");
    EXPECT_STREQ(caption, "Host Address : 255.255.255.255");
}

TEST(FormatEventText, SaysWhatHappenedInUtc) {
    const std::string kHost = "\r\nTime server: timehost.test (10.37.0.2)";
    const std::string kRfc868 = "\r\nProtocol: RFC 868 Time Protocol";
    const std::string kSntp = "\r\nProtocol: SNTPv4";
    const std::string kTimes =
        "\r\nServer time: 2026-12-08T07:00:00Z\r\nPC time: 2026-12-08T07:01:30Z";
    const std::string kFineTimes =
        "\r\nServer time: 2026-12-08T07:00:00.250Z\r\nPC time: 2026-12-08T07:01:30.500Z";
    const char* kRefusal = "\r\nError 1314: A required privilege is not held by the client.";
    EventFacts answer = {"timehost.test",
                         "10.37.0.2",
                         "RFC 868 Time Protocol",
                         {1796713200000, 1796713290000, 90000, 0, 0},
                         0,
                         "",
                         0,
                         nullptr,
                         0,
                         0,
                         1796083200,
                         1};
    EventFacts behind = answer, unread = answer, refused = answer, silent = answer;
    behind.answer.driftMs = -1000;
    unread.answer.pcMs = -1;
    refused.error = 1314;
    refused.errorText = "A required privilege is not held by the client.";
    silent.hostsAsked = 3;
    silent.timeoutMs = 2000;
    EventFacts fine = answer;
    fine.protocol = "SNTPv4";
    fine.answer = {1796713200250, 1796713290500, 90250, 12, 1};
    EventFacts fineBehind = fine, steady = fine, tooFar = answer;
    fineBehind.answer.driftMs = -120;
    steady.answer.driftMs = 3;
    tooFar.maxStepSeconds = 60;
    AskedHost asked[] = {Asked("ntp:time.example", "10.0.0.9", kNoTimeRefused, "RATE"),
                         Asked("10.0.0.8", "10.0.0.8", kNoTimeSilent),
                         Asked("ntp:old.example", "10.0.0.7", kNoTimeUnsynchronised),
                         Asked("ntp:bad.example", "10.0.0.6", kNoTimeUnusable),
                         Asked("nosuch.example", "0.0.0.0", kNoTimeUnresolved),
                         Asked("10.0.0.5", "10.0.0.5", kNoTimeNotSent),
                         Asked("ntp:reset.example", "10.0.0.4", kNoTimeBeforeBuild),
                         Asked("ntp:dc1.example", "fd00::5", kNoTimeTooFar),
                         Asked("fe80::1%3", "0.0.0.0", kNoTimeMalformed),
                         Asked("ntp:fd00::6", "fd00::6", kNoTimeNoFamily)};
    asked[7].rootDistanceMs = 10000;
    EventFacts oneSilent = silent, listed = silent, outvoted = fine, disagree = silent;
    EventFacts tooFew = silent;
    tooFew.hostsAsked = 1;
    tooFew.asked = kOutvoted;
    tooFew.answersWanted = 3;
    oneSilent.hostsAsked = 1;
    oneSilent.timeoutMs = 500;
    listed.hostsAsked = 10;
    listed.asked = asked;
    outvoted.hostsAsked = disagree.hostsAsked = 4;
    outvoted.asked = disagree.asked = kOutvoted;
    disagree.answersWanted = 3;
    // A run of the task left to the domain says why; one made /check by the policy does not.
    EventFacts warned = answer, critical = answer, policyWarned = answer;
    warned.thresholdMs = policyWarned.thresholdMs = 500;
    critical.thresholdMs = 5000;
    policyWarned.thresholdFromPolicy = 1;
    EventFacts underDomain = answer, byPolicy = silent;
    underDomain.taskMode = kTaskChecksUnderHierarchy;
    byPolicy.taskMode = kTaskChecksByPolicy;
    const struct {
        EventId id;
        const EventFacts* facts;
        std::string text;
    } cases[] = {
        {kEventDriftLeft, &underDomain,
         "Clock checked, not corrected: the PC clock is 90 seconds ahead of the time server."
         "\r\nThe task only checks the clock here: Windows Time follows the domain hierarchy "
         "(the policy CheckOnly = 0 lets it correct)." +
             kHost + kRfc868 + kTimes},
        {kEventNoAnswer, &byPolicy, "No time server answered: 3 servers asked, 2000 ms each."},
        // Each threshold event names its own threshold, as written or as the policy.
        {kEventDriftWarning, &warned,
         "Clock checked, not corrected: the PC clock is 90 seconds ahead of the time server, "
         "beyond /warn:0.5 s." +
             kHost + kRfc868 + kTimes},
        {kEventDriftCritical, &critical,
         "Clock checked, not corrected: the PC clock is 90 seconds ahead of the time server, "
         "beyond /crit:5 s." +
             kHost + kRfc868 + kTimes},
        {kEventDriftWarning, &policyWarned,
         "Clock checked, not corrected: the PC clock is 90 seconds ahead of the time server, "
         "beyond CheckWarn 500 ms." +
             kHost + kRfc868 + kTimes},
        {kEventCorrected, &answer,
         "Clock corrected: the PC clock was 90 seconds ahead of the time server." + kHost +
             kRfc868 + kTimes},
        {kEventCorrected, &behind,
         "Clock corrected: the PC clock was 1 second behind the time server." + kHost + kRfc868 +
             kTimes},
        {kEventNoCorrection, &unread,
         "Clock checked: the PC clock agrees with the time server to the second." + kHost +
             kRfc868 + "\r\nServer time: 2026-12-08T07:00:00Z\r\nPC time: unknown"},
        {kEventNotSet, &refused,
         "The clock could not be set: the PC clock is 90 seconds ahead of the time server." +
             std::string(kRefusal) + kHost + kRfc868 + kTimes},
        {kEventStepTooLarge, &tooFar,
         "The clock was not set: the PC clock is 90 seconds ahead of the time server, more than "
         "MaxStep allows (60 seconds)." +
             kHost + kRfc868 + kTimes},
        {kEventCorrected, &fine,
         "Clock corrected: the PC clock was 90.250 seconds ahead of the time server." + kHost +
             kSntp + kFineTimes},
        {kEventCorrected, &fineBehind,
         "Clock corrected: the PC clock was 0.120 seconds behind the time server." + kHost + kSntp +
             kFineTimes},
        {kEventNoCorrection, &steady,
         "Clock checked: the PC clock agrees with the time server within the uncertainty of "
         "0.012 seconds." +
             kHost + kSntp + kFineTimes},
        {kEventNoAnswer, &silent, "No time server answered: 3 servers asked, 2000 ms each."},
        {kEventNoAnswer, &oneSilent, "No time server answered: 1 server asked, 500 ms each."},
        {kEventNoAnswer, &listed,
         "No time server answered: 10 servers asked, 2000 ms each."
         "\r\nntp:time.example (10.0.0.9): refused (RATE)\r\n10.0.0.8 (10.0.0.8): silent"
         "\r\nntp:old.example (10.0.0.7): unsynchronised"
         "\r\nntp:bad.example (10.0.0.6): unusable answer"
         "\r\nnosuch.example (0.0.0.0): name not found\r\n10.0.0.5 (10.0.0.5): request not sent"
         "\r\nntp:reset.example (10.0.0.4): clock before 2026-12-01"
         "\r\nntp:dc1.example (fd00::5): root distance 10.000 s over MaxDistance 1.500 s"
         "\r\nfe80::1%3 (0.0.0.0): no address: a zone or a port?"
         "\r\nntp:fd00::6 (fd00::6): IPv6 is not available"},
        {kEventCorrected, &outvoted,
         "Clock corrected: the PC clock was 90.250 seconds ahead of the time server." + kHost +
             kSntp + kFineTimes + "\r\nDisagreed: 10.0.0.3 (+3600 s), 10.0.0.4 (-110.125 s)"},
        {kEventDisagree, &disagree,
         "The clock was not set: the time servers disagree; at least 2 of 3 must agree."
         "\r\nntp:a.example (10.0.0.2): -90.250 s\r\n10.0.0.3 (10.0.0.3): +3600 s"
         "\r\nntp:c.example (10.0.0.4): -110.125 s\r\n10.0.0.8 (10.0.0.8): silent"},
        {kEventNoAnswer, &tooFew,
         "The clock was not set: too few time servers answered (1 of 3, 2 must agree)."
         "\r\nntp:a.example (10.0.0.2): -90.250 s"},
        {kEventDriftLeft, &answer,
         "Clock checked, not corrected: the PC clock is 90 seconds ahead of the time server." +
             kHost + kRfc868 + kTimes},
        {kEventNothingToAsk, &silent, "No time server was asked: none is configured."},
        {kEventNoNetwork, &refused,
         "No time server was asked: the network could not be used." + std::string(kRefusal)},
    };
    for (const auto& c : cases) {
        char text[kEventTextSize];
        EXPECT_EQ(FormatEventText(text, sizeof text, c.id, c.facts), c.text.size()) << c.text;
        EXPECT_EQ(text, c.text);
    }
}

// Sixteen hosts of 254 characters: each is listed, its name cut short, and a
// text cut to fit its buffer says so at its end.
TEST(FormatEventText, ListsEveryHostAskedAndMarksACut) {
    const std::string name(254, 'n');
    std::vector<AskedHost> asked;
    std::vector<std::string> addresses;
    for (int i = 0; i < 16; i++)
        addresses.push_back("10.0.0." + std::to_string(i + 1));
    for (int i = 0; i < 16; i++)
        asked.push_back(Asked(name.c_str(), addresses[i].c_str(), kNoTimeSilent));
    EventFacts facts = {};
    facts.hostsAsked = 16;
    facts.asked = asked.data();
    facts.answersWanted = 1;
    char text[kEventTextSize];
    std::string listed(text, FormatEventText(text, sizeof text, kEventNoAnswer, &facts));
    for (const std::string& address : addresses)
        EXPECT_NE(listed.find("\r\n" + name.substr(0, 64) + "... (" + address + "): silent"),
                  std::string::npos)
            << address;
    EXPECT_EQ(FormatEventText(text, 80, kEventNoAnswer, &facts), 79u);
    EXPECT_EQ(std::string(text).substr(76), "...");

    // A name of 64 characters is listed whole, one of 65 is cut.
    const std::string whole(64, 'w'), longer(65, 'l');
    AskedHost two[] = {Asked(whole.c_str(), "10.0.0.1", kNoTimeSilent),
                       Asked(longer.c_str(), "10.0.0.2", kNoTimeSilent)};
    facts.hostsAsked = 2;
    facts.asked = two;
    size_t length = FormatEventText(text, sizeof text, kEventNoAnswer, &facts);
    listed.assign(text, length);
    EXPECT_NE(listed.find("\r\n" + whole + " (10.0.0.1)"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\r\n" + longer.substr(0, 64) + "... (10.0.0.2)"), std::string::npos)
        << listed;
    // One character too long for its buffer: cut, and marked so.
    EXPECT_EQ(FormatEventText(text, length, kEventNoAnswer, &facts), length - 1);
    EXPECT_EQ(std::string(text).substr(length - 4), "...");
    EXPECT_EQ(FormatEventText(text, length + 1, kEventNoAnswer, &facts), length);
    EXPECT_EQ(std::string(text), listed);
}

// The line a monitoring system reads, taken apart as the plugin guidelines
// define it: the value a plain number with its unit, each threshold a range,
// and a drift inside a range's bounds never judged beyond it.
TEST(FormatCheckLine, FollowsTheMonitoringPluginGuidelines) {
    const AskedHost threeAsked[] = {kOutvoted[3], kOutvoted[3], kOutvoted[3]};
    const char* const kSilent = "10.0.0.8 (10.0.0.8) silent";
    const std::string kThreeSilent = std::string(kSilent) + ", " + kSilent + ", " + kSilent;
    const struct {
        EventId result;
        int64_t offsetMs; // server minus PC
        const char* thresholds;
        const char* correctors;
        int fromPolicy, answered;
        const char* status;
        std::string text;
        const char* data; // the performance data's fields
    } cases[] = {
        {kEventDriftLeft, 12, "/check /warn:0.5 /crit:5", "", 0, 3, "OK",
         "drift +0.012 s from ntp:time.nist.gov (192.0.2.5)", "0.012 -0.5:0.5 -5:5"},
        {kEventDriftLeft, 500, "/check /warn:0.5 /crit:5", "", 0, 3, "OK",
         "drift +0.500 s from ntp:time.nist.gov (192.0.2.5)", "0.500 -0.5:0.5 -5:5"},
        {kEventDriftLeft, -734, "/check /warn:0.5", "", 0, 3, "WARNING",
         "drift -0.734 s from ntp:time.nist.gov (192.0.2.5)", "-0.734 -0.5:0.5 "},
        {kEventDriftLeft, -5000, "/check /warn:0.5 /crit:5", "", 0, 3, "WARNING",
         "drift -5.000 s from ntp:time.nist.gov (192.0.2.5)", "-5.000 -0.5:0.5 -5:5"},
        {kEventDriftLeft, 90250, "/check /warn:0.5 /crit:5", "Windows Time also sets this clock", 0,
         3, "CRITICAL",
         "drift +90.250 s from ntp:time.nist.gov (192.0.2.5); Windows Time also sets this clock",
         "90.250 -0.5:0.5 -5:5"},
        {kEventDriftLeft, -5001, "/check /crit:5", "", 1, 3, "CRITICAL",
         "drift -5.001 s from ntp:time.nist.gov (192.0.2.5); servers from Group Policy",
         "-5.001  -5:5"},
        {kEventNoCorrection, 0, "/check /warn:0", "", 0, 3, "OK",
         "drift +0.000 s from ntp:time.nist.gov (192.0.2.5)", "0.000 0:0 "},
        {kEventNoCorrection, 1, "/check /warn:0", "", 0, 3, "WARNING",
         "drift +0.001 s from ntp:time.nist.gov (192.0.2.5)", "0.001 0:0 "},
        {kEventNoCorrection, 1, "/check", "", 0, 3, "OK",
         "drift +0.001 s from ntp:time.nist.gov (192.0.2.5)", "0.001  "},
        {kEventNoAnswer, 0, "/check /warn:1", "", 0, 0, "CRITICAL",
         "no time server answered: " + kThreeSilent, nullptr},
        {kEventNoAnswer, 0, "/check /warn:1", "", 0, 1, "CRITICAL",
         "too few answered (1 of 3): 10.0.0.8 (10.0.0.8) +0.000 s, " + std::string(kSilent) + ", " +
             kSilent,
         nullptr},
        {kEventDisagree, 0, "/check /warn:1", "", 0, 3, "CRITICAL",
         "the servers disagree (3 of 3 answered): 10.0.0.8 (10.0.0.8) +0.000 s, 10.0.0.8 "
         "(10.0.0.8) +0.000 s, 10.0.0.8 (10.0.0.8) +0.000 s",
         nullptr},
        {kEventDriftLeft, 0, "/check /warn:2 /crit:1", "", 0, 3, "UNKNOWN",
         "\"/warn:\" is above /crit:", nullptr},
        {kEventNothingToAsk, 0, "/check", "", 0, 0, "UNKNOWN", "no time server is configured",
         nullptr},
        {kEventNoNetwork, 0, "/check /crit:1", "", 0, 0, "UNKNOWN", "the network could not be used",
         nullptr},
    };
    const std::regex line(R"(HORAVEL (OK|WARNING|CRITICAL|UNKNOWN) - (.*?))"
                          R"((?: \| drift=(-?\d+\.\d{3})s;((-?[\d.]+):([\d.]+))?;)"
                          R"(((-?[\d.]+):([\d.]+))?)?)");
    for (const auto& c : cases) {
        EventFacts facts = {};
        facts.hostText = "ntp:time.nist.gov";
        facts.hostAddress = "192.0.2.5";
        facts.protocol =
            c.result == kEventDriftLeft || c.result == kEventNoCorrection ? "SNTPv4" : "";
        facts.answer = Fine(-c.offsetMs, 3);
        facts.fromPolicy = c.fromPolicy;
        facts.hostsAsked = 3;
        facts.answersWanted = 3;
        AskedHost asked[3] = {threeAsked[0], threeAsked[1], threeAsked[2]};
        for (int i = 0; i < c.answered; i++) {
            asked[i].answered = 1;
            asked[i].answer = Fine(0, 3);
        }
        facts.asked = asked;
        Switches switches;
        ReadSwitches(c.thresholds, &switches);
        char text[512];
        CheckStatus status;
        size_t length =
            FormatCheckLine(text, sizeof text, c.result, &facts, &switches, c.correctors, &status);
        std::cmatch parts;
        ASSERT_TRUE(std::regex_match(text, parts, line)) << text;
        EXPECT_EQ(length, strlen(text));
        EXPECT_EQ(parts[1].str(), c.status) << text;
        const char* words[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"}; // as the exit status
        EXPECT_STREQ(words[status], c.status) << text;
        EXPECT_EQ(parts[2].str(), c.text) << text;
        EXPECT_EQ(parts[3].matched ? parts[3].str() + " " + parts[4].str() + " " + parts[7].str()
                                   : std::string("(none)"),
                  c.data ? c.data : "(none)")
            << text;
        if (!parts[3].matched)
            continue;
        // What the data states decides as the line does.
        double value = std::stod(parts[3].str());
        auto outside = [&](int range) {
            return parts[range].matched && (value < std::stod(parts[range + 1].str()) ||
                                            value > std::stod(parts[range + 2].str()));
        };
        EXPECT_STREQ(outside(7) ? "CRITICAL" : outside(4) ? "WARNING" : "OK", c.status) << text;
    }
    // A burst's answer: after the address, the samples and the kept one's round trip.
    EventFacts burst = {};
    burst.hostText = "ntp:a";
    burst.hostAddress = "192.0.2.5";
    burst.protocol = "SNTPv4";
    burst.answer = Fine(-12, 3);
    burst.answer.roundTripMs = 42;
    burst.samples = 8;
    Switches check;
    ReadSwitches("/check", &check);
    char text[512];
    CheckStatus status;
    FormatCheckLine(text, sizeof text, kEventNoCorrection, &burst, &check, "", &status);
    EXPECT_STREQ(text, "HORAVEL OK - drift +0.012 s from ntp:a (192.0.2.5), least delayed of 8 "
                       "samples: round trip 42 ms | drift=0.012s;;");
}

TEST(ExitCodeOf, TellsEachOutcomeApart) {
    const struct {
        EventId result;
        int code;
    } cases[] = {
        {kEventCorrected, 0},    {kEventNoCorrection, 0},  {kEventNoAnswer, 2},
        {kEventDisagree, 3},     {kEventDriftLeft, 4},     {kEventStepTooLarge, 4},
        {kEventDriftWarning, 4}, {kEventDriftCritical, 4}, {kEventNotSet, 5},
        {kEventNoNetwork, 6},    {kEventNothingToAsk, 6},  {kEventInstalled, 0},
        {kEventUninstalled, 0},  {kEventInstallFailed, 6}, {kEventRefused, 6},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExitCodeOf(c.result), c.code) << c.result;
}

// What Wine cannot show: the Windows Time service's note, the mode the task
// will run in, a folder moved aside, and a failure's error: a Windows error
// in decimal, an HRESULT in hex, a Task Scheduler error by its name, and none.
TEST(FormatInstallText, SaysTheModeWarnsOfWindowsTimeAndSaysWhyItFailed) {
    InstallFacts fighting = {"C:\\Program Files\\Horavel",
                             kIniCopied,
                             60,
                             kTaskCorrects,
                             nullptr,
                             "Windows Time also sets this clock",
                             nullptr,
                             0,
                             ""};
    InstallFacts controller = fighting, failed = fighting, denied = fighting, refused = fighting;
    controller.ini = kIniNone;
    controller.taskMode = kTaskChecksAsController;
    controller.movedTo = "C:\\Program Files\\Horavel.untrusted-42";
    controller.correctors[0] = '\0';
    failed.failed = denied.failed = "the task was not registered.";
    failed.error = 5;
    denied.error = 0x80070005;
    failed.errorText = denied.errorText = "Access is denied.";
    refused.failed = "it needs an administrator.";
    const struct {
        EventId id;
        const InstallFacts* facts;
        std::string text;
    } cases[] = {
        {kEventInstalled, &fighting,
         "Horavel is installed.\r\n\r\nFolder: C:\\Program Files\\Horavel (horavel.ini copied "
         "there)\r\nTask: \\Horavel, as SYSTEM: every 60 minutes, after start-up, waking and a "
         "network connecting\r\nThe task corrects the clock.\r\n\r\nWindows Time also sets "
         "this clock: leave it to one (see horavel.txt)."},
        {kEventInstalled, &controller,
         "Horavel is installed.\r\n\r\nFolder: C:\\Program Files\\Horavel (horavel.ini none: "
         "the servers come from Group Policy)\r\nTask: \\Horavel, as SYSTEM: every 60 minutes, "
         "after start-up, waking and a network connecting\r\nThe task only checks the clock "
         "here: this PC is a domain controller (the policy CheckOnly = 0 lets it correct)."
         "\r\n\r\nThe folder there before could be changed by others than administrators: it "
         "was moved to C:\\Program Files\\Horavel.untrusted-42, and its horavel.ini was not "
         "used."},
        {kEventInstallFailed, &failed,
         "Horavel was not installed: the task was not registered.\r\nError 5: Access is denied."},
        {kEventInstallFailed, &denied,
         "Horavel was not installed: the task was not registered.\r\nError 0x80070005: Access "
         "is denied."},
        {kEventInstallFailed, &refused, "Horavel was not installed: it needs an administrator."},
    };
    for (const auto& c : cases) {
        char text[kEventTextSize];
        EXPECT_EQ(FormatInstallText(text, sizeof text, c.id, 0, c.facts), c.text.size());
        EXPECT_EQ(text, c.text);
    }
}

// Task Scheduler's errors by name, at the ends of its range and its gaps.
TEST(SchedulerErrorName, NamesTheSchedulersOwnErrorsOnly) {
    const struct {
        unsigned long error;
        const char* name;
    } cases[] = {
        {0x80041308, nullptr},
        {0x80041309, "SCHED_E_TRIGGER_NOT_FOUND"},
        {0x80041315, "SCHED_E_SERVICE_NOT_RUNNING"},
        {0x8004131B, nullptr}, // a success code
        {0x80041330, "SCHED_E_DEPRECATED_FEATURE_USED"},
        {0x80041331, nullptr},
        {0x00041315, nullptr},
    };
    for (const auto& c : cases) {
        char name[48];
        const char* named = SchedulerErrorName(c.error, name);
        EXPECT_STREQ(named, c.name) << std::hex << c.error;
    }
}

// Each corrector found is named once, joined, with the verb agreeing.
TEST(FormatCorrectors, NamesEachFound) {
    const struct {
        int found;
        const char* text;
    } cases[] = {
        {0, ""},
        {kWindowsTime, "Windows Time also sets this clock"},
        {kHyperVTime, "Hyper-V time sync also sets this clock"},
        {kWindowsTime | kHyperVTime, "Windows Time and Hyper-V time sync also set this clock"},
    };
    for (const auto& c : cases) {
        char text[128];
        EXPECT_EQ(FormatCorrectors(text, sizeof text, c.found), strlen(c.text));
        EXPECT_STREQ(text, c.text) << c.found;
    }
}

} // namespace
