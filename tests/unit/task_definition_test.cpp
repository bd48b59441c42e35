#include "core/task_definition.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "core/apps_entry.h"
#include "core/command_line.h"
#include "core/host_list.h"
#include "core/setting_rules.h"

namespace {

std::string Xml(const char* command, int runEvery, int64_t startBoundary = 1796083200) {
    TaskDefinition task = {command, startBoundary, runEvery, "1.2.3"};
    size_t length = FormatTaskXml(nullptr, 0, &task);
    std::string xml(length + 1, '#');
    EXPECT_EQ(FormatTaskXml(&xml[0], xml.size(), &task), length);
    xml.resize(length);
    return xml;
}

// The XML read by a real parser, not matched as text: xmllint, which
// tools/setup installs.
bool HaveXmllint() {
    return system("xmllint --version >/dev/null 2>&1") == 0;
}

// A file of this process's own: two test runs at once (ctest -j) never
// write each other's.
std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + std::to_string(getpid()) + "-" + name;
    FILE* file = fopen(path.c_str(), "w");
    EXPECT_NE(file, nullptr);
    fputs(text.c_str(), file);
    fclose(file);
    return path;
}

// What an XPath expression gives in the document `xml`, its element names
// written without the document's namespace; "" when it is nothing or the
// document is not well-formed.
std::string XPath(const std::string& xml, const std::string& expression) {
    std::string xpath;
    for (size_t at = 0; at < expression.size();) {
        char c = expression[at];
        if (c == '\'') { // a literal, as it is
            size_t end = expression.find('\'', at + 1);
            xpath += expression.substr(at, end - at + 1);
            at = end + 1;
            continue;
        }
        if (!isalpha((unsigned char)c) ||
            (at > 0 && (isalnum((unsigned char)expression[at - 1]) || expression[at - 1] == '@' ||
                        expression[at - 1] == '-'))) {
            xpath += c;
            at++;
            continue;
        }
        size_t end = at;
        while (end < expression.size() &&
               (isalnum((unsigned char)expression[end]) || expression[end] == '-'))
            end++;
        std::string name = expression.substr(at, end - at);
        // A function, an axis or an operator stays as it is; an element's name matches any
        // namespace.
        bool keep = expression[end] == '(' || expression.compare(end, 2, "::") == 0 ||
                    name == "and" || name == "or";
        xpath += keep ? name : "*[local-name()='" + name + "']";
        at = end;
    }
    std::string quoted; // for the shell, in single quotes
    for (char c : xpath)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const std::string path = WriteTemp("horavel-xpath.xml", xml);
    FILE* output =
        popen(("xmllint --xpath '" + quoted + "' " + path + " 2>/dev/null").c_str(), "r");
    std::string result;
    char buffer[512];
    size_t read;
    while ((read = fread(buffer, 1, sizeof buffer, output)) > 0)
        result.append(buffer, read);
    pclose(output);
    remove(path.c_str());
    if (!result.empty() && result.back() == '\n')
        result.pop_back(); // xmllint's own line end
    return result;
}

TEST(FormatTaskXml, ParsesAsTheTaskItIsMeantToBe) {
    if (!HaveXmllint())
        GTEST_SKIP() << "xmllint is not installed (tools/setup installs it)";
    const std::string xml = Xml("C:\\Program Files\\Horavel\\horavel.exe", 60, 1796083200);
    const struct {
        const char* path;
        const char* value;
    } cases[] = {
        // As SYSTEM, elevated, the action run in that principal's context.
        {"string(/Task/Principals/Principal/UserId)", "S-1-5-18"},
        {"string(/Task/Principals/Principal/RunLevel)", "HighestAvailable"},
        {"string(/Task/Principals/Principal/@id)=string(/Task/Actions/@Context)", "true"},
        {"string(/Task/Actions/Exec/Command)", "C:\\Program Files\\Horavel\\horavel.exe"},
        // From a fixed time in the past, the build date, never the PC clock.
        {"string(/Task/Triggers/TimeTrigger/StartBoundary)", "2026-12-01T00:00:00Z"},
        {"string(/Task/Triggers/TimeTrigger/Repetition/Interval)", "PT1H"},
        {"string(/Task/Triggers/BootTrigger/Delay)", "PT1M"},
        // Two event triggers, each a minute late, for the network to come back.
        {"count(/Task/Triggers/EventTrigger)", "2"},
        {"count(/Task/Triggers/EventTrigger[Delay='PT1M'])", "2"},
        {"string(/Task/Settings/Priority)", "5"},
        {"string(/Task/Settings/ExecutionTimeLimit)", "PT15M"},
        {"count(/Task/Settings/MultipleInstancesPolicy)", "0"}, // IgnoreNew, the default
        {"string(/Task/Settings/RunOnlyIfNetworkAvailable)", "true"},
        {"string(/Task/Settings/StartWhenAvailable)", "true"},
        {"string(/Task/Settings/DisallowStartIfOnBatteries)", "false"},
        {"string(/Task/Settings/StopIfGoingOnBatteries)", "false"}, // whatever the battery
        {"string(/Task/RegistrationInfo/Version)", "1.2.3"},
        {"string-length(/Task/RegistrationInfo/Description)>40", "true"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XPath(xml, c.path), c.value) << c.path;

    // The action's switches: a run that stops asking well before the time limit.
    Switches task;
    ASSERT_EQ(ReadSwitches(XPath(xml, "string(/Task/Actions/Exec/Arguments)").c_str(), &task), 1);
    EXPECT_TRUE(task.hide && task.exitCode && !task.check);
    EXPECT_GT(task.scheduledSeconds, ScheduledWaitMostSeconds(task.scheduledSeconds) + 300);
    EXPECT_LE(task.scheduledSeconds + 60, 15 * 60); // the limit, PT15M, checked above
    // The random wait: five minutes at most, and never more than half a short deadline.
    const int waits[][2] = {{720, 300}, {601, 300}, {599, 299}, {4, 2}, {1, 0}};
    for (const auto& w : waits)
        EXPECT_EQ(ScheduledWaitMostSeconds(w[0]), w[1]) << w[0];

    // Each subscription is a whole query list of its own, selecting its event.
    const struct {
        const char* path;
        const char* select;
    } events[] = {
        {"System", "*[System[Provider[@Name='Microsoft-Windows-Power-Troubleshooter'] and "
                   "EventID=1]]"},
        {"Microsoft-Windows-NetworkProfile/Operational", "*[System[EventID=10000]]"},
    };
    for (int i = 0; i < 2; i++) {
        std::string query = XPath(xml, "string(/Task/Triggers/EventTrigger[" +
                                           std::to_string(i + 1) + "]/Subscription)");
        EXPECT_EQ(XPath(query, "string(/QueryList/Query/Select/@Path)"), events[i].path) << query;
        EXPECT_EQ(XPath(query, "string(/QueryList/Query/Select)"), events[i].select) << query;
        EXPECT_EQ(XPath(query, "count(/QueryList/Query/Select)"), "1") << query;
    }
}

TEST(FormatTaskXml, WritesTheIntervalTheStartAndEscapesThePath) {
    if (!HaveXmllint())
        GTEST_SKIP() << "xmllint is not installed (tools/setup installs it)";
    const struct {
        const char* command;
        int runEvery;
        int64_t start;
        const char* path;
        const char* value;
    } cases[] = {
        {"C:\\P\\horavel.exe", 15, 0, "string(/Task/Triggers/TimeTrigger/Repetition/Interval)",
         "PT15M"},
        {"C:\\P\\horavel.exe", 90, 0, "string(/Task/Triggers/TimeTrigger/Repetition/Interval)",
         "PT1H30M"},
        {"C:\\P\\horavel.exe", 1440, 0, "string(/Task/Triggers/TimeTrigger/Repetition/Interval)",
         "PT24H"},
        {"C:\\P\\horavel.exe", 60, 1796132096, "string(/Task/Triggers/TimeTrigger/StartBoundary)",
         "2026-12-01T13:34:56Z"},
        {"D:\\R&D <x> \"y\"\\horavel.exe", 60, 0, "string(/Task/Actions/Exec/Command)",
         "D:\\R&D <x> \"y\"\\horavel.exe"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XPath(Xml(c.command, c.runEvery, c.start), c.path), c.value) << c.value;
}

TEST(FormatTaskXml, StaysInsideItsBuffer) {
    TaskDefinition task = {"C:\\horavel.exe", 1796083200, 60, "1.0.0"};
    char out[16];
    memset(out, '#', sizeof out);
    EXPECT_GT(FormatTaskXml(out, 10, &task), 100u);
    EXPECT_STREQ(out, "<Task ver");
    EXPECT_EQ(out[10], '#');
}

// The XML against the parts of Task Scheduler's schema it uses.
TEST(FormatTaskXml, IsValidAgainstTheTaskSchema) {
    if (!HaveXmllint())
        GTEST_SKIP() << "xmllint is not installed (tools/setup installs it)";
    for (int runEvery : {15, 60, 1440}) {
        const std::string path =
            WriteTemp("horavel-task.xml", Xml("C:\\Program Files\\Horavel\\horavel.exe", runEvery));
        std::string check = "xmllint --noout --schema " HORAVEL_TASK_SCHEMA " " + path;
        EXPECT_EQ(system(check.c_str()), 0) << runEvery;
        remove(path.c_str());
    }
}

// RunEvery as the INI writes it, beside the other numbers read the same way.
TEST(NumberSetting, ReadsAsTheProfileCallsAndStaysInBounds) {
    const struct {
        const NumberRule* rule;
        const char* text; // nullptr: the key is absent
        int value;
    } cases[] = {
        {&kRunEveryRule, nullptr, 60},
        {&kRunEveryRule, "", 60},
        {&kRunEveryRule, "0", 15},
        {&kRunEveryRule, "14", 15},
        {&kRunEveryRule, "15", 15},
        {&kRunEveryRule, " 1440", 1440},
        {&kRunEveryRule, "1441", 1440},
        {&kRunEveryRule, "-30", 15},
        {&kRunEveryRule, "90 minutes", 90},
        {&kRunEveryRule, "x", 15},
        {&kHostTimeoutRule, nullptr, 2000},
        {&kHostTimeoutRule, "-1", 0},
        {&kHostTimeoutRule, "3000000000", 32767},
        {&kHostTimeoutRule, "99999999999999999999", 32767},
        {&kAgreeRule, "0", 1},
        {&kAgreeRule, "+3", 3},
        {&kAgreeRule, "17", 16},
        {&kMaxHostRule, nullptr, 99},
        {&kMaxHostRule, "-5", 0},
        {&kMaxHostRule, "2147483647", 2147483647},
        {&kMaxStepRule, "-3600", 0},
        {&kMaxStepRule, "3600", 3600},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberSetting(c.rule, c.text), c.value)
            << c.rule->key << "=" << (c.text ? c.text : "(absent)");
}

// A policy's number over the INI's text, read as signed under the key's rule.
TEST(ChosenNumber, TakesThePolicyOverTheIni) {
    const struct {
        const NumberRule* rule;
        int set;
        int32_t policy;
        const char* iniText;
        int value;
    } cases[] = {
        {&kAgreeRule, 1, 3, "1", 3},
        {&kAgreeRule, 0, 0, "1", 1},
        {&kAgreeRule, 1, -1, "3", 1},
        {&kMaxStepRule, 1, -1, "3600", 0},
        {&kMaxDistanceRule, 1, 0, "9000", 1500},
        {&kMaxDistanceRule, 1, 1, "9000", 1}, // the template's least is a value, not the default
        {&kMaxDistanceRule, 1, 20000, nullptr, 16000},
        {&kHostTimeoutRule, 1, 0x7FFFFFFF, "500", 32767},
        {&kRunEveryRule, 1, 5, "30", 15},
        {&kRunEveryRule, 0, 5, "30", 30},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChosenNumber(c.rule, c.set ? &c.policy : nullptr, c.iniText), c.value)
            << c.rule->key << " policy " << c.policy;
}

TEST(FormatAppsEntry, NamesTheProgramAndHowToRemoveIt) {
    AppsText texts[kAppsMostTexts];
    AppsFacts facts = {"C:\\Program Files\\Horavel",
                       "C:\\Program Files\\Horavel\\horavel.exe",
                       "1.2.3",
                       "Example Ltd",
                       "",
                       "20261210"};
    const char* expected[][2] = {
        {"DisplayName", "Horavel"},
        {"DisplayVersion", "1.2.3"},
        {"Publisher", "Example Ltd"},
        {"InstallLocation", "C:\\Program Files\\Horavel"},
        {"DisplayIcon", "C:\\Program Files\\Horavel\\horavel.exe,0"},
        {"UninstallString", "\"C:\\Program Files\\Horavel\\horavel.exe\" /uninstall"},
        {"QuietUninstallString", "\"C:\\Program Files\\Horavel\\horavel.exe\" /hide /uninstall"},
        {"InstallDate", "20261210"},
        {"URLInfoAbout", "https://example.test/horavel"},
        {"HelpLink", "https://example.test/horavel"},
    };
    // No address unless one is given at build time.
    ASSERT_EQ(FormatAppsEntry(&facts, texts), 8);
    facts.url = "https://example.test/horavel";
    ASSERT_EQ(FormatAppsEntry(&facts, texts), 10);
    for (int i = 0; i < kAppsMostTexts; i++) {
        EXPECT_STREQ(texts[i].name, expected[i][0]);
        EXPECT_STREQ(texts[i].text, expected[i][1]) << expected[i][0];
    }
    // Each command, run as Windows runs it, is the uninstall it says, quiet or not.
    for (int quiet = 0; quiet <= 1; quiet++) {
        Switches run;
        ASSERT_EQ(ReadSwitches(ArgumentText(texts[5 + quiet].text), &run), 1);
        EXPECT_TRUE(run.uninstall && !run.install && run.hide == quiet) << texts[5 + quiet].text;
    }
}

std::string ReadFile(const char* path) {
    std::string text;
    FILE* file = fopen(path, "rb");
    EXPECT_NE(file, nullptr) << path;
    char buffer[4096];
    size_t read;
    while (file != nullptr && (read = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, read);
    if (file != nullptr)
        fclose(file);
    return text;
}

// Group Policy's template: what it references is defined in its language
// file, and every value it writes is one the program reads, in its bounds.
TEST(AdministrativeTemplate, WritesOnlyWhatTheProgramReads) {
    if (!HaveXmllint())
        GTEST_SKIP() << "xmllint is not installed (tools/setup installs it)";
    const std::string admx = ReadFile(HORAVEL_RES "/horavel.admx");
    const std::string adml = ReadFile(HORAVEL_RES "/en-US/horavel.adml");
    ASSERT_EQ(XPath(admx, "count(//policy)"), "11") << "not well-formed?";
    // Each $(string.X) and $(presentation.X) of the template, once in the language file.
    const std::string references = "//@*[starts-with(.,'$(')]";
    int count = atoi(XPath(admx, "count(" + references + ")").c_str());
    EXPECT_GT(count, 10);
    for (int i = 1; i <= count; i++) {
        std::string text = XPath(admx, "string((" + references + ")[" + std::to_string(i) + "])");
        size_t dot = text.find('.');
        std::string defined = "count(//" + text.substr(2, dot - 2) + "[@id='" +
                              text.substr(dot + 1, text.size() - dot - 2) + "'])";
        EXPECT_EQ(XPath(adml, defined), "1") << text;
    }
    // The numbers: each a key the program reads, in its bounds, and no other.
    const NumberRule* rules[] = {&kMaxHostRule,   &kHostTimeoutRule, &kMaxStepRule,
                                 &kAgreeRule,     &kRunEveryRule,    &kMaxDistanceRule,
                                 &kCheckWarnRule, &kCheckCritRule,   &kSamplesRule};
    EXPECT_EQ(XPath(admx, "count(//decimal[@valueName])"), "9");
    for (const NumberRule* rule : rules) {
        std::string at = "//policy[@key='Software\\Policies\\Horavel']//decimal[@valueName='" +
                         std::string(rule->key) + "']";
        // HostTimeout 0, one immediate read, is for an INI that means it.
        int least = rule == &kHostTimeoutRule ? 1 : rule->least;
        EXPECT_EQ(XPath(admx, "concat(" + at + "/@minValue,'-'," + at + "/@maxValue)"),
                  std::to_string(least) + "-" + std::to_string(rule->most))
            << rule->key;
    }
    // The switch to /check; the servers, Host1, Host2, ..., in a key of their own.
    EXPECT_EQ(XPath(admx, "string(//policy[@name='CheckOnly']/@valueName)"), kCheckOnlyPolicy);
    EXPECT_EQ(XPath(admx, "string(//policy[@name='CheckOnly']//enabledValue/decimal/@value)"), "1");
    EXPECT_EQ(XPath(admx, "string(//list/@key)"),
              "Software\\Policies\\Horavel\\" + std::string(kServersPolicyKey));
    std::string host = XPath(admx, "string(//list/@valuePrefix)") + "1=10.0.0.1";
    EXPECT_EQ(NamesAHost(host.c_str(), host.size() + 1, 99), 1) << host;
}

} // namespace
