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

TEST(ReadSwitches, TakesWholeWordsInAnyCaseAndHideAsBefore) {
    const struct {
        const char* arguments;
        Switches expected; // hide, check, exitCode, install, uninstall
    } cases[] = {
        {"/hide /exitcode", {1, 0, 1, 0, 0}},
        {"/CHECK /ExitCode", {0, 1, 1, 0, 0}},
        {"\t/install", {0, 0, 0, 1, 0}},
        {"/hide /uninstall", {1, 0, 0, 0, 1}},
        {"/hideaway", {1, 0, 0, 0, 0}}, // /hide keeps its old rule: anywhere, in that case
        {"/HIDE", {0, 0, 0, 0, 0}},
        {"/checks /installer x/exitcode /uninstal", {0, 0, 0, 0, 0}},
        {"", {0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        Switches read;
        ReadSwitches(c.arguments, &read);
        EXPECT_EQ(read.hide, c.expected.hide) << c.arguments;
        EXPECT_EQ(read.check, c.expected.check) << c.arguments;
        EXPECT_EQ(read.exitCode, c.expected.exitCode) << c.arguments;
        EXPECT_EQ(read.install, c.expected.install) << c.arguments;
        EXPECT_EQ(read.uninstall, c.expected.uninstall) << c.arguments;
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
    };
    for (const auto& c : cases) {
        char arguments[96];
        EXPECT_EQ(FormatApprovedArguments(arguments, sizeof arguments, &c.approved),
                  strlen(c.arguments));
        EXPECT_STREQ(arguments, c.arguments);
        ApprovedCorrection read = {};
        ASSERT_EQ(ReadApprovedCorrection(arguments, &read), 1) << arguments;
        EXPECT_EQ(read.driftMs, c.approved.driftMs) << arguments;
        EXPECT_EQ(read.fine, c.approved.fine) << arguments;
        EXPECT_EQ(read.hostIndex, c.approved.hostIndex) << arguments;
        EXPECT_STREQ(read.address, c.approved.address) << arguments;
    }
}

TEST(ApprovedCorrection, IsReadOnlyWhenWellFormed) {
    const char* cases[] = {
        "/hide",
        "/correct:90:0:10.0.0.1", // no unit
        "/correct:90s::10.0.0.1",
        "/correct:90s:0:10.0.0.1x",
        "/correct:90s:0:1234567890123456", // longer than an address
        "/correct:9999999999999999s:0:10.0.0.1",
        "/correct:90s:9999999999:10.0.0.1",
    };
    for (const char* arguments : cases) {
        ApprovedCorrection read;
        EXPECT_EQ(ReadApprovedCorrection(arguments, &read), 0) << arguments;
    }
}
