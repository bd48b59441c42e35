#include "core/net_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const NetAddress& address) {
    char text[kAddressTextSize];
    FormatAddress(&address, text);
    return text;
}

// Each form a host value may take: what is handed to the resolver, and the
// address an IPv6 literal stands for, in its short form.
TEST(ReadServerName, TakesLiteralsOfBothFamiliesAndRefusesZonesAndPorts) {
    const struct {
        const char* written;
        const char* resolved; // nullptr: malformed
        const char* shown;    // an IPv6 literal's short form
    } cases[] = {
        {"time.example.org", "time.example.org", nullptr},
        {"10.0.0.5", "10.0.0.5", nullptr},
        {"255.255.255.255", "255.255.255.255", nullptr},
        {"fd00::5", "fd00::5", "fd00::5"},
        {"[fd00::5]", "fd00::5", "fd00::5"},
        {"FD00:0000:0000:0000:0000:0000:0000:0005", "FD00:0000:0000:0000:0000:0000:0000:0005",
         "fd00::5"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},
        {"2001:db8::", "2001:db8::", "2001:db8::"},
        {"::", "::", "::"},
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},
        {"::ffff:10.0.0.5", "::ffff:10.0.0.5", "10.0.0.5"},
        {"0:0:0:0:0:ffff:10.0.0.5", "0:0:0:0:0:ffff:10.0.0.5", "10.0.0.5"}, // full, dotted tail
        {"fd00:1:2:3:4:5:6::", "fd00:1:2:3:4:5:6::", "fd00:1:2:3:4:5:6:0"}, // :: for one group
        {"64:ff9b::192.0.2.33", "64:ff9b::192.0.2.33", "64:ff9b::c000:221"},
        {"fe80::1%3", nullptr, nullptr},
        {"[fd00::5]:123", nullptr, nullptr},
        {"10.0.0.5:37", nullptr, nullptr},
        {"[10.0.0.5]", nullptr, nullptr},
        {"[]", nullptr, nullptr},
        {"fd00:::5", nullptr, nullptr},
        {"fd00::5::1", nullptr, nullptr},
        {"1:2:3:4:5:6:7:8:9", nullptr, nullptr},
        {"12345::1", nullptr, nullptr},
        {"fd00::5:", nullptr, nullptr},
        {"::ffff:10.0.0.256", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        char name[255];
        ServerName read = ReadServerName(c.written, name, sizeof name);
        EXPECT_EQ(read, c.resolved ? kServerToResolve : kServerMalformed) << c.written;
        if (c.resolved) {
            EXPECT_STREQ(name, c.resolved) << c.written;
        }
        NetAddress literal;
        if (c.shown) {
            ASSERT_EQ(ParseIpv6(name, &literal), 1) << c.written;
            EXPECT_EQ(Text(literal), c.shown) << c.written;
        }
    }
    // fe80::/10 without its zone reaches no server; its neighbours do.
    const struct {
        const char* written;
        ServerName read;
    } linkLocal[] = {{"fe80::1", kServerLinkLocal},
                     {"[FEBF::1]", kServerLinkLocal},
                     {"fec0::1", kServerToResolve},
                     {"fe7f::1", kServerToResolve},
                     {"fe80.example", kServerToResolve}};
    for (const auto& c : linkLocal) {
        char name[255];
        EXPECT_EQ(ReadServerName(c.written, name, sizeof name), c.read) << c.written;
    }
}

NetAddress V4(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    NetAddress address = {4, {a, b, c, d}, 0};
    return address;
}

NetAddress V6(const char* text) {
    NetAddress address = {};
    EXPECT_EQ(ParseIpv6(text, &address), 1) << text;
    return address;
}

// A reply counts only from the address asked: the whole address, either family.
TEST(SameAddress, ComparesWholeAddressesAndKnowsMappedTwins) {
    const struct {
        NetAddress a, b;
        int same;
    } cases[] = {
        {V4(10, 0, 0, 5), V4(10, 0, 0, 5), 1},
        {V4(10, 0, 0, 5), V4(10, 0, 0, 6), 0},
        {V4(10, 0, 0, 5), V6("::ffff:10.0.0.5"), 1},
        {V6("::ffff:10.0.0.5"), V4(10, 0, 0, 5), 1},
        {V4(10, 0, 0, 5), V6("::10.0.0.5"), 0}, // not mapped: another address
        {V6("fd00::5"), V6("fd00:0:0:0:0:0:0:5"), 1},
        {V6("fd00::5"), V6("fd00::6"), 0},
        {V6("fd00::5"), V6("fe00::5"), 0},   // differ in the first byte only
        {V6("fd00::1:5"), V6("fd00::5"), 0}, // the same last four bytes
        {NetAddress{}, NetAddress{}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameAddress(&c.a, &c.b), c.same) << Text(c.a) << " and " << Text(c.b);
    // A mapped address is asked over IPv4; a compatible one is no IPv4 address.
    EXPECT_EQ(Unmapped(&cases[2].b).family, 4);
    EXPECT_TRUE(SameAddress(&cases[2].a, &cases[2].b));
    NetAddress compatible = V6("::10.0.0.5");
    EXPECT_EQ(Unmapped(&compatible).family, 6);
    EXPECT_EQ(Text(V4(255, 255, 255, 255)), "255.255.255.255");
    EXPECT_EQ(Text(V6("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff")),
              "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"); // the longest form fits
}

} // namespace
