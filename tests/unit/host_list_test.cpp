#include "core/host_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// A section as the platform returns it: texts ended by zeros, one more at the end.
std::string Section(std::initializer_list<const char*> lines) {
    std::string section;
    for (const char* line : lines)
        section += std::string(line) + '\0';
    return section + '\0';
}

std::vector<std::pair<int, std::string>> Hosts(const std::string& section, int maxHost) {
    size_t count;
    HostEntry* entries = ListHosts(section.data(), section.size(), maxHost, &count);
    std::vector<std::pair<int, std::string>> hosts;
    for (size_t i = 0; i < count; i++) {
        char value[255];
        CopyHostValue(&entries[i], value, sizeof value);
        hosts.emplace_back(entries[i].index, value);
    }
    free(entries);
    return hosts;
}

using List = std::vector<std::pair<int, std::string>>;

TEST(ListHosts, ReadsTheKeysTheProfileCallsWouldRead) {
    const struct {
        const char* what;
        std::string section;
        int maxHost;
        List hosts;
    } cases[] = {
        {"index order, any case, blanks trimmed",
         Section({"MaxHost=5", "Host2=b", "host0=a", " HOST1 =  c d  ", "Host4"}),
         5,
         {{0, "a"}, {1, "c d"}, {2, "b"}, {4, ""}}},
        {"not host keys",
         Section({"Host01=x", "Host-1=x", "Host+1=x", "Hostx=x", "Host=x", "Host 1=x", "xHost1=x",
                  ";Host1=x", "Host1x=x"}),
         99,
         {}},
        {"only below MaxHost", Section({"Host0=a", "Host2=c", "Host1=b"}), 2, {{0, "a"}, {1, "b"}}},
        {"MaxHost 0", Section({"Host0=a"}), 0, {}},
        {"MaxHost negative", Section({"Host0=a"}), -5, {}},
        {"the first of a repeated key",
         Section({"Host1=first", "host1=second", "Host0=z"}),
         99,
         {{0, "z"}, {1, "first"}}},
        {"an empty first value hides a later one",
         Section({"Host0=", "Host0=late"}),
         99,
         {{0, ""}}},
        {"quotes",
         Section({"Host0=\"a b\"", "Host1='c'", "Host2=\"", "Host3=\"d", "Host4='e\""}),
         99,
         {{0, "a b"}, {1, "c"}, {2, "\""}, {3, "\"d"}, {4, "'e\""}}},
        {"an equals sign in the value", Section({"Host0=a=b"}), 99, {{0, "a=b"}}},
        {"tabs as blanks", Section({"\tHost0\t=\t10.0.0.1\t"}), 99, {{0, "10.0.0.1"}}},
        {"a carriage return as a blank", Section({"Host0=10.0.0.1\r"}), 99, {{0, "10.0.0.1"}}},
        {"indices with a 9",
         Section({"Host19=b", "Host9=a", "Host90=c"}),
         20,
         {{9, "a"}, {19, "b"}}},
        {"the largest indices",
         Section({"Host2147483647=a", "Host2147483646=b", "Host2147483648=c"}),
         INT_MAX,
         {{2147483646, "b"}}},
        {"nothing at all", std::string(), 99, {}},
        {"an empty section", Section({}), 99, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hosts(c.section, c.maxHost), c.hosts) << c.what;
}

TEST(ListHosts, StopsAtTheLengthItIsGiven) {
    const char text[] = {'H', 'o', 's', 't', '0', '=', 'a', 'b'}; // no terminator at all
    size_t count;
    HostEntry* hosts = ListHosts(text, sizeof text, 99, &count);
    ASSERT_EQ(count, 1u);
    char value[8];
    CopyHostValue(&hosts[0], value, sizeof value);
    EXPECT_STREQ(value, "ab");
    free(hosts);
}

TEST(CopyHostValue, CutsTo254Characters) {
    for (size_t length : {255, 300}) {
        std::string section = Section({("Host0=" + std::string(length, 'n')).c_str()});
        List hosts = Hosts(section, 1);
        ASSERT_EQ(hosts.size(), 1u);
        EXPECT_EQ(hosts[0].second, std::string(254, 'n')) << length;
    }
}

// /install refuses a configuration that would ask nothing.
TEST(NamesAHost, OnlyWhenARunWouldAskOne) {
    const struct {
        std::string section;
        int maxHost;
        int named;
    } cases[] = {
        {Section({"Host0=ntp:time.example"}), 99, 1},
        {Section({"MaxHost=99", "HostTimeout=500"}), 99, 0},
        {Section({"Host0=", "Host1=ntp:", "Host2=\"\""}), 99, 0},
        {Section({"Host0=", "Host1=10.0.0.1"}), 99, 1},
        {Section({"Host0=10.0.0.1", "Host1="}), 99, 1}, // a later empty key undoes nothing
        {Section({"Host5=10.0.0.1"}), 5, 0},            // beyond MaxHost
        {Section({"Host0=NTP: \ttime.example"}), 99, 1},
        {Section({}), 99, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NamesAHost(c.section.data(), c.section.size(), c.maxHost), c.named) << c.section;
}
} // namespace
