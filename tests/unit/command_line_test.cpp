#include "core/command_line.h"

#include <gtest/gtest.h>

#include <string>

TEST(ArgumentText, FollowsTheProgramsName) {
    const struct {
        const char* commandLine;
        const char* arguments;
    } cases[] = {
        {"\"C:\\Tools\\horavel.exe\"/hide", "/hide"}, // no blank after the quote
        {"\"C:\\Program Files\\horavel.exe\" /hide", "/hide"},
        {"\"C:\\Program Files\\horavel.exe\" \t /x /hide", "/x /hide"},
        {"C:\\Tools\\horavel.exe /hide", "/hide"},
        {"C:\\Tools\\horavel.exe\t/hide", "/hide"},
        {"C:\\Z\xFCrich\\horavel.exe /hide",
         "/hide"},                // a byte above 127, in a single-byte code page
        {"horavel.exe/hide", ""}, // an unquoted name runs to the first blank
        {"\"C:\\Tools\\horavel.exe\"", ""},
        {"horavel.exe", ""},
        {"\"unterminated /hide", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string(ArgumentText(c.commandLine)), c.arguments) << c.commandLine;
}

TEST(ReadSwitches, KnowsItsSwitchesAndRefusesAnyOther) {
    const struct {
        const char* arguments;
        int hide, check, exitCode, install, uninstall, correct, scheduled;
        const char* refused; // "" when every switch is known
        const char* clashesWith;
    } cases[] = {
        {"/hide /exitcode", 1, 0, 1, 0, 0, 0, 0, "", nullptr},
        {"/CHECK /EXITCODE", 0, 1, 1, 0, 0, 0, 0, "", nullptr},
        {"/INSTALL", 0, 0, 0, 1, 0, 0, 0, "", nullptr},
        {"/UNINSTALL", 0, 0, 0, 0, 1, 0, 0, "", nullptr},
        {"\t/install  /hide", 1, 0, 0, 1, 0, 0, 0, "", nullptr},
        // /hide keeps its old rule: in that case, anywhere in a word.
        {"/hideaway x/hide", 1, 0, 0, 0, 0, 0, 0, "", nullptr},
        {"/HIDE /Hide", 0, 0, 0, 0, 0, 0, 0, "", nullptr},
        {"\"/hide\" y", 1, 0, 0, 0, 0, 0, 0, "", nullptr}, // words without / or - are ignored
        {"\"/ch\"eck /exit\"code\"", 0, 1, 1, 0, 0, 0, 0, "", nullptr},
        {"/hide /exitcode /scheduled:720", 1, 0, 1, 0, 0, 0, 720, "", nullptr},
        {"/scheduled:86400", 0, 0, 0, 0, 0, 0, 86400, "", nullptr}, // the largest deadline
        {"/check /CHECK", 0, 1, 0, 0, 0, 0, 0, "", nullptr},        // one run, written twice
        {"/hide /correct:90s:0:10.0.0.1", 1, 0, 0, 0, 0, 1, 0, "", nullptr},
        // A typo moves nothing: the word is refused.
        {"/hide /unistall", 1, 0, 0, 0, 0, 0, 0, "/unistall", nullptr},
        {"-install", 0, 0, 0, 0, 0, 0, 0, "-install", nullptr},
        {"/checks", 0, 0, 0, 0, 0, 0, 0, "/checks", nullptr},
        {"/exitcodes", 0, 0, 0, 0, 0, 0, 0, "/exitcodes", nullptr},
        // /hide glued to another switch would swallow it.
        {"/check/hide", 1, 0, 0, 0, 0, 0, 0, "/check/hide", nullptr},
        {"/uninstall/hide", 1, 0, 0, 0, 0, 0, 0, "/uninstall/hide", nullptr},
        {"/check /Timeout:5/hide", 1, 1, 0, 0, 0, 0, 0, "/Timeout:5/hide", nullptr},
        {"/HIDEAWAY", 0, 0, 0, 0, 0, 0, 0, "/HIDEAWAY", nullptr},
        {"\"/no such\" /check", 0, 0, 0, 0, 0, 0, 0, "/no such", nullptr},
        {"/scheduled:0", 0, 0, 0, 0, 0, 0, 0, "/scheduled:0", nullptr},
        {"/scheduled:86401", 0, 0, 0, 0, 0, 0, 0, "/scheduled:86401", nullptr},
        {"/correct:90s:0:10.0.0.1x", 0, 0, 0, 0, 0, 0, 0, "/correct:90s:0:10.0.0.1x", nullptr},
        // Two runs at once: the second is refused.
        {"/install /uninstall", 0, 0, 0, 1, 1, 0, 0, "/uninstall", "/install"},
        {"/check /INSTALL", 0, 1, 0, 1, 0, 0, 0, "/INSTALL", "/check"},
        {"/check /correct:90s:0:10.0.0.1", 0, 1, 0, 0, 0, 1, 0, "/correct:90s:0:10.0.0.1",
         "/check"},
    };
    for (const auto& c : cases) {
        Switches read;
        EXPECT_EQ(ReadSwitches(c.arguments, &read), c.refused[0] == '\0') << c.arguments;
        EXPECT_EQ(read.hide, c.hide) << c.arguments;
        EXPECT_EQ(read.check, c.check) << c.arguments;
        EXPECT_EQ(read.exitCode, c.exitCode) << c.arguments;
        EXPECT_EQ(read.install, c.install) << c.arguments;
        EXPECT_EQ(read.uninstall, c.uninstall) << c.arguments;
        EXPECT_EQ(read.correct, c.correct) << c.arguments;
        EXPECT_EQ(read.scheduledSeconds, c.scheduled) << c.arguments;
        EXPECT_STREQ(read.refused, c.refused) << c.arguments;
        EXPECT_STREQ(read.clashesWith, c.clashesWith) << c.arguments;
    }
}

// Thresholds in seconds, to the millisecond, for /check alone, warn at most crit.
TEST(ReadSwitches, ReadsThresholdsForCheckAlone) {
    const struct {
        const char* arguments;
        int warnMs, critMs;
        Refusal refusal;
    } cases[] = {
        {"/check /warn:0.5 /crit:5", 500, 5000, kRefusedNone},
        {"/check /WARN:1.25", 1250, -1, kRefusedNone},
        {"/check /crit:60", -1, 60000, kRefusedNone},
        {"/check /warn:5 /crit:5", 5000, 5000, kRefusedNone},
        {"/check /warn:5 /crit:1", 5000, 1000, kRefusedWarnAboveCrit},
        {"/hide /warn:1", 1000, -1, kRefusedWithoutCheck},
        {"/check /timeout:3600 /warn:1", 1000, -1, kRefusedNone},
        {"/check /timeout:3601", -1, -1, kRefusedUnknown},
        {"/check /timeout:0", -1, -1, kRefusedUnknown},
        {"/check /warn:0.0005", -1, -1, kRefusedUnknown},
        {"/check /warn:.5", -1, -1, kRefusedUnknown},
        {"/check /crit:1s", -1, -1, kRefusedUnknown},
        {"/check /warn:", -1, -1, kRefusedUnknown},
    };
    for (const auto& c : cases) {
        Switches read;
        EXPECT_EQ(ReadSwitches(c.arguments, &read), c.refusal == kRefusedNone) << c.arguments;
        EXPECT_EQ(read.refusal, c.refusal) << c.arguments;
        EXPECT_TRUE(read.thresholds) << c.arguments;
        if (c.refusal != kRefusedUnknown) {
            EXPECT_EQ(read.warnMs, c.warnMs) << c.arguments;
            EXPECT_EQ(read.critMs, c.critMs) << c.arguments;
        }
    }
    // Without /check, each is refused under its own name.
    const char* alone[][2] = {
        {"/crit:5", "/crit:"}, {"/warn:1 /crit:5", "/warn:"}, {"/timeout:9", "/timeout:"}};
    for (const auto& c : alone) {
        Switches read;
        EXPECT_EQ(ReadSwitches(c[0], &read), 0) << c[0];
        EXPECT_EQ(read.refusal, kRefusedWithoutCheck) << c[0];
        EXPECT_STREQ(read.refused, c[1]) << c[0];
    }
}

TEST(ReadSwitches, SplitsWordsAsWindowsDoes) {
    const struct {
        const char* arguments;
        const char* refused; // the only word, refused as it was read
    } cases[] = {
        {"\"/a b\"", "/a b"},
        {"/a\\\\\"b c\"", "/a\\b c"}, // 2n backslashes and a quote: n, and the quote opens
        {"/a\\\"b", "/a\"b"},         // 2n+1: n, and a quote of the word's own
        {"/a\\b", "/a\\b"},           // backslashes alone stay as they are
        {"\"/a\"\"b\"", "/a\"b"},     // "" inside quotes
        {"/a\"\"b", "/ab"},           // "" outside them: a quoted part of nothing
        {"/\xFC\xE9", "/\xFC\xE9"},   // bytes above 127
        {"/01234567890123456789012345678901234567890123456789012345678901234567890123456789",
         "/0123456789012345678901234567890123456789012345678901234567890123456..."},
    };
    // A word as long as the buffer and longer: cut, and terminated inside it.
    std::string longest(200, 'x');
    longest[0] = '/';
    Switches read;
    EXPECT_EQ(ReadSwitches(longest.c_str(), &read), 0);
    EXPECT_EQ(std::string(read.refused), longest.substr(0, 68) + "...");
    for (const auto& c : cases) {
        Switches read;
        EXPECT_EQ(ReadSwitches(c.arguments, &read), 0) << c.arguments;
        EXPECT_STREQ(read.refused, c.refused) << c.arguments;
    }
}

TEST(ApprovedCorrection, TravelsToTheElevatedRunAndBack) {
    const struct {
        ApprovedCorrection approved;
        const char* arguments;
    } cases[] = {
        {{-90000, 0, 3, "10.37.0.2"}, "/hide /correct:-90s:3:10.37.0.2"},
        {{90250, 1, 0, "10.37.0.2"}, "/hide /correct:90250ms:0:10.37.0.2"},
        {{-120, 1, 2147483647, "255.255.255.255"},
         "/hide /correct:-120ms:2147483647:255.255.255.255"},
        {{4291747200000, 0, 9, "1.2.3.4"}, "/hide /correct:4291747200s:9:1.2.3.4"}, // 136 years
        {{-5, 1, 1, "fd00::5"}, "/hide /correct:-5ms:1:fd00::5"},
    };
    for (const auto& c : cases) {
        char arguments[128];
        EXPECT_EQ(FormatApprovedArguments(arguments, sizeof arguments, &c.approved),
                  strlen(c.arguments));
        EXPECT_STREQ(arguments, c.arguments);
        Switches read;
        ASSERT_EQ(ReadSwitches(arguments, &read), 1) << arguments;
        EXPECT_EQ(read.correct, 1) << arguments;
        EXPECT_EQ(read.approved.driftMs, c.approved.driftMs) << arguments;
        EXPECT_EQ(read.approved.fine, c.approved.fine) << arguments;
        EXPECT_EQ(read.approved.hostIndex, c.approved.hostIndex) << arguments;
        EXPECT_STREQ(read.approved.address, c.approved.address) << arguments;
    }
}

TEST(ApprovedCorrection, IsReadOnlyWhenWellFormed) {
    const char* cases[] = {
        "/correct:90:0:10.0.0.1", // no unit
        "/correct:90s::10.0.0.1",
        "/correct:90s:0:10.0.0.1x",
        "/correct:90s:0:ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.2550", // longer than an address
        "/correct:90s:0:fd00::5%3",
        "/correct:9999999999999999s:0:10.0.0.1",
        "/correct:90s:9999999999:10.0.0.1",
    };
    for (const char* arguments : cases) {
        Switches read;
        EXPECT_EQ(ReadSwitches(arguments, &read), 0) << arguments;
        EXPECT_EQ(read.correct, 0) << arguments;
    }
}
