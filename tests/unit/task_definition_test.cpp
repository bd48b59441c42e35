#include "core/task_definition.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

std::string Xml(const char* command, int runEvery) {
    TaskDefinition task = {command, "2026-12-09T10:00:00Z", runEvery};
    size_t length = FormatTaskXml(nullptr, 0, &task);
    std::string xml(length + 1, '#');
    EXPECT_EQ(FormatTaskXml(&xml[0], xml.size(), &task), length);
    xml.resize(length);
    return xml;
}

TEST(FormatTaskXml, SchedulesTheInstalledProgramAsSystem) {
    const std::string xml = Xml("C:\\Program Files\\Horavel\\horavel.exe", 60);
    const char* parts[] = {
        "<Principal id=\"System\"><UserId>S-1-5-18</UserId><RunLevel>HighestAvailable</RunLevel>",
        "<Actions Context=\"System\"><Exec><Command>C:\\Program Files\\Horavel\\horavel.exe"
        "</Command><Arguments>/hide /exitcode</Arguments></Exec></Actions>",
        "<BootTrigger><Delay>PT1M</Delay></BootTrigger>",
        "<StartBoundary>2026-12-09T10:00:00Z</StartBoundary><Repetition><Interval>PT1H</Interval>"
        "</Repetition><RandomDelay>PT10M</RandomDelay>",
        "<EventTrigger><Subscription>&lt;QueryList&gt;&lt;Query Id=&quot;0&quot;&gt;&lt;Select "
        "Path=&quot;System&quot;&gt;*[System[Provider[@Name=&apos;Microsoft-Windows-Power-"
        "Troubleshooter&apos;] and EventID=1]]&lt;/Select&gt;",
        "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
        "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
        "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>",
        "<StartWhenAvailable>true</StartWhenAvailable>",
        "<RunOnlyIfNetworkAvailable>true</RunOnlyIfNetworkAvailable>",
        "<ExecutionTimeLimit>PT5M</ExecutionTimeLimit>",
    };
    for (const char* part : parts)
        EXPECT_NE(xml.find(part), std::string::npos) << part;
}

TEST(FormatTaskXml, WritesTheIntervalAndEscapesThePath) {
    const struct {
        const char* command;
        int runEvery;
        const char* part;
    } cases[] = {
        {"C:\\P\\horavel.exe", 15, "<Interval>PT15M</Interval>"},
        {"C:\\P\\horavel.exe", 90, "<Interval>PT1H30M</Interval>"},
        {"C:\\P\\horavel.exe", 1440, "<Interval>PT24H</Interval>"},
        {"D:\\R&D <x> \"y\"\\horavel.exe", 60,
         "<Command>D:\\R&amp;D &lt;x&gt; &quot;y&quot;\\horavel.exe</Command>"},
    };
    for (const auto& c : cases)
        EXPECT_NE(Xml(c.command, c.runEvery).find(c.part), std::string::npos) << c.part;
}

TEST(FormatTaskXml, StaysInsideItsBuffer) {
    TaskDefinition task = {"C:\\horavel.exe", "2026-12-09T10:00:00Z", 60};
    char out[16];
    memset(out, '#', sizeof out);
    EXPECT_GT(FormatTaskXml(out, 10, &task), 100u);
    EXPECT_STREQ(out, "<Task ver");
    EXPECT_EQ(out[10], '#');
}

// The XML against the parts of Task Scheduler's schema it uses.
TEST(FormatTaskXml, IsValidAgainstTheTaskSchema) {
    if (system("xmllint --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xmllint is not installed (tools/setup installs it)";
    const std::string path = testing::TempDir() + "horavel-task.xml";
    for (int runEvery : {15, 60, 1440}) {
        FILE* file = fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr);
        fputs(Xml("C:\\Program Files (x86)\\Horavel\\horavel.exe", runEvery).c_str(), file);
        fclose(file);
        std::string check = "xmllint --noout --schema " HORAVEL_TASK_SCHEMA " " + path;
        EXPECT_EQ(system(check.c_str()), 0) << runEvery;
    }
    remove(path.c_str());
}

TEST(TakesNetworkTime, IsAnyTypeButNoSync) {
    const struct {
        const char* type;
        int network;
    } cases[] = {{"NTP", 1},    {"NT5DS", 1}, {"AllSync", 1}, {"NoSync", 0},
                 {"nosync", 0}, {"", 0},      {"NoSyncX", 1}};
    for (const auto& c : cases)
        EXPECT_EQ(TakesNetworkTime(c.type), c.network) << c.type;
}

} // namespace
