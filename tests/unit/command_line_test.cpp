#include "app/command_line.h"

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
        {"horavel.exe/hide", ""}, // an unquoted name runs to the first blank
        {"\"C:\\Tools\\horavel.exe\"", ""},
        {"horavel.exe", ""},
        {"\"unterminated /hide", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string(ArgumentText(c.commandLine)), c.arguments) << c.commandLine;
}
