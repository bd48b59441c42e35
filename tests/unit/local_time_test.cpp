#include "core/local_time.h"

#include <gtest/gtest.h>

#include <ostream>

bool operator==(const TimeFields& a, const TimeFields& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.dayOfWeek == b.dayOfWeek;
}

std::ostream& operator<<(std::ostream& out, const TimeFields& f) {
    return out << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute
               << ":" << f.second << " weekday " << f.dayOfWeek;
}

namespace {

const LocalTimeRules kEastern = {5 * 3600, 1}; // "EST5EDT"
const LocalTimeRules kEasternNoDst = {5 * 3600, 0};
const LocalTimeRules kCentralEurope = {-3600, 1}; // "CET-1CEST"

TEST(ParseTzRules, ReadsWellFormedTexts) {
    const struct {
        const char* tz;
        int64_t offset;
        int daylight;
    } cases[] = {
        {"EST5EDT", 18000, 1},
        {"EST5", 18000, 0},
        {"EST+5", 18000, 0},
        {"CET-1CEST", -3600, 1},
        {"GMT0", 0, 0},
        {"PST8:30PDT", 28800, 1},
        {"IST-5:30", -18000, 0},
        {"EST5 EDT", 18000, 1},
        {"EST5ED", 18000, 0},
        {"EST5E1DT", 18000, 0},
        {"abc12xyz", 43200, 1},
        {"EST99999999999999EDT", 99999LL * 3600, 1}, // absurd, but no overflow
        {"EST999989", 999989LL * 3600, 0},           // the last digit the cap lets in
    };
    for (const auto& c : cases) {
        LocalTimeRules rules = {-1, -1};
        ASSERT_EQ(ParseTzRules(c.tz, &rules), 1) << c.tz;
        EXPECT_EQ(rules.offsetSeconds, c.offset) << c.tz;
        EXPECT_EQ(rules.daylight, c.daylight) << c.tz;
    }
}

TEST(ParseTzRules, RejectsBadlyFormedTexts) {
    const char* cases[] = {"",      "EST",  "ES5",   "EST-",  "EST+x", "E1T5",
                           "ESTX5", "5EST", " EST5", "EST 5", "EST+-5"};
    for (const char* tz : cases) {
        LocalTimeRules rules;
        EXPECT_EQ(ParseTzRules(tz, &rules), 0) << '"' << tz << '"';
    }
    LocalTimeRules rules;
    EXPECT_EQ(ParseTzRules(nullptr, &rules), 0);
}

struct ConversionCase {
    const char* what;
    const LocalTimeRules* rules;
    int64_t t;
    TimeFields fields;
};

// Each row holds both ways: the count shows as these fields, and these fields read back as the
// count.
const ConversionCase kConversions[] = {
    {"epoch plus one", &kUtcRules, 1, {1970, 1, 1, 0, 0, 1, 4}},
    {"before midnight", &kUtcRules, 946684799, {1999, 12, 31, 23, 59, 59, 5}},
    {"year end", &kUtcRules, 946684800, {2000, 1, 1, 0, 0, 0, 6}},
    {"into 29 February", &kUtcRules, 951782400, {2000, 2, 29, 0, 0, 0, 2}},
    {"out of 29 February", &kUtcRules, 951868800, {2000, 3, 1, 0, 0, 0, 3}},
    {"month end", &kUtcRules, 1777593599, {2026, 4, 30, 23, 59, 59, 4}},
    {"month start", &kUtcRules, 1777593600, {2026, 5, 1, 0, 0, 0, 5}},
    {"last second of 32 bits", &kUtcRules, INT32_MAX, {2038, 1, 19, 3, 14, 7, 2}},
    {"first second past 32 bits", &kUtcRules, 2147483648, {2038, 1, 19, 3, 14, 8, 2}},
    {"last second of the year 9999", &kUtcRules, 253402300799, {9999, 12, 31, 23, 59, 59, 5}},
    {"zone west crosses the year back", &kEasternNoDst, 946702799, {1999, 12, 31, 23, 59, 59, 5}},
    {"zone east crosses the year forward", &kCentralEurope, 946681200, {2000, 1, 1, 0, 0, 0, 6}},
    {"winter in a daylight zone", &kEastern, 1796724672, {2026, 12, 8, 5, 11, 12, 2}},
    {"summer in a daylight zone", &kEastern, 1783562400, {2026, 7, 8, 22, 0, 0, 3}},
    {"before the spring change, 1987", &kEastern, 544604399, {1987, 4, 5, 1, 59, 59, 0}},
    {"after the spring change, 1987", &kEastern, 544604400, {1987, 4, 5, 3, 0, 0, 0}},
    {"spring change when 1 April is a Sunday", &kEastern, 1522566000, {2018, 4, 1, 3, 0, 0, 0}},
    {"spring change, 2037", &kEastern, 2122527600, {2037, 4, 5, 3, 0, 0, 0}},
    {"spring change, 2040", &kEastern, 2216876400, {2040, 4, 1, 3, 0, 0, 0}},
    {"autumn change, 2100, last summer second",
     &kEastern,
     4128641999,
     {2100, 10, 31, 0, 59, 59, 0}},
    {"autumn change, 2100, after it", &kEastern, 4128649200, {2100, 10, 31, 2, 0, 0, 0}},
    {"first Sunday of April 1986 is still winter", &kEastern, 513158400, {1986, 4, 6, 3, 0, 0, 0}},
    {"mid April 1986 is winter", &kEastern, 513536400, {1986, 4, 10, 12, 0, 0, 4}},
    {"mid April 1987 is summer", &kEastern, 545072400, {1987, 4, 10, 13, 0, 0, 5}},
    {"before the spring change, 1986", &kEastern, 514969199, {1986, 4, 27, 1, 59, 59, 0}},
    {"after the spring change, 1986", &kEastern, 514969200, {1986, 4, 27, 3, 0, 0, 0}},
    {"1 May 1977 a Sunday: spring change on 24 April",
     &kEastern,
     230713200,
     {1977, 4, 24, 3, 0, 0, 0}},
    {"1 May 1983 a Sunday: the last week of April is summer",
     &kEastern,
     420393600,
     {1983, 4, 28, 12, 0, 0, 4}},
    {"autumn change, last summer second", &kEastern, 562136399, {1987, 10, 25, 0, 59, 59, 0}},
    {"autumn change, after it", &kEastern, 562143600, {1987, 10, 25, 2, 0, 0, 0}},
};

TEST(TimeToFields, ShowsCountsAsLocalFields) {
    for (const ConversionCase& c : kConversions) {
        TimeFields fields = {};
        ASSERT_EQ(TimeToFields(c.t, c.rules, &fields), 1) << c.what;
        EXPECT_EQ(fields, c.fields) << c.what;
    }
}

TEST(FieldsToTime, ReadsLocalFieldsBackAsCounts) {
    for (const ConversionCase& c : kConversions)
        EXPECT_EQ(FieldsToTime(&c.fields, c.rules), c.t) << c.what;
}

TEST(TimeToFields, HasNoResultBelowTheZoneOffsetNorPastTheYear9999) {
    TimeFields fields;
    EXPECT_EQ(TimeToFields(17999, &kEastern, &fields), 0);
    ASSERT_EQ(TimeToFields(18000, &kEastern, &fields), 1);
    EXPECT_EQ(fields, (TimeFields{1970, 1, 1, 0, 0, 0, 4}));
    EXPECT_EQ(TimeToFields(-1, &kUtcRules, &fields), 0);
    ASSERT_EQ(TimeToFields(-3600, &kCentralEurope, &fields), 1);
    EXPECT_EQ(fields, (TimeFields{1970, 1, 1, 0, 0, 0, 4}));
    EXPECT_EQ(TimeToFields(253402300800, &kUtcRules, &fields), 0);
    EXPECT_EQ(TimeToFields(INT64_MAX, &kEasternNoDst, &fields), 0);
}

TEST(FieldsToTime, TellsTheClocksOwnHourOnTheTwoSundays) {
    const struct {
        TimeFields clock;
        int64_t t;
    } cases[] = {
        {{1987, 4, 5, 1, 30, 0, 0}, 544602600},   // winter, before 02:00
        {{1987, 4, 5, 3, 30, 0, 0}, 544606200},   // summer
        {{1987, 10, 25, 1, 30, 0, 0}, 562138200}, // still summer before 02:00
        {{1987, 10, 25, 2, 30, 0, 0}, 562145400}, // winter from 02:00
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldsToTime(&c.clock, &kEastern), c.t) << c.clock;
}

TEST(FieldsToTime, CoversTheYears1970To9999) {
    const struct {
        TimeFields clock;
        const LocalTimeRules* rules;
        int64_t t;
    } cases[] = {
        {{1969, 12, 31, 23, 59, 59, 0}, &kUtcRules, -1},
        {{1970, 1, 1, 0, 0, 0, 0}, &kUtcRules, -1}, // not above 0
        {{1970, 1, 1, 0, 30, 0, 0}, &kCentralEurope, -1},
        {{1970, 1, 1, 0, 0, 0, 0}, &kEasternNoDst, 18000},
        {{2038, 1, 19, 3, 14, 8, 0}, &kUtcRules, 2147483648}, // past 32 bits
        {{2106, 2, 7, 6, 28, 16, 0}, &kUtcRules, 4294967296}, // past 32 unsigned bits
        {{10000, 1, 1, 0, 0, 0, 0}, &kUtcRules, -1},
        {{2026, 2, 29, 0, 0, 0, 0}, &kUtcRules, -1}, // no such day
        {{2100, 2, 29, 0, 0, 0, 0}, &kUtcRules, -1}, // 2100 is no leap year
        {{2000, 2, 29, 0, 0, 0, 0}, &kUtcRules, 951782400},
        {{2026, 1, 1, 0, 0, 60, 0}, &kUtcRules, -1},
        {{2026, 13, 1, 0, 0, 0, 0}, &kUtcRules, -1},
        {{2026, 1, 1, 24, 0, 0, 0}, &kUtcRules, -1},
        {{2026, 1, 1, 0, 60, 0, 0}, &kUtcRules, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldsToTime(&c.clock, c.rules), c.t) << c.clock;
}

// Europe's clocks go forward on the last Sunday in March, a week before the
// program's own date: a correct PC clock read through local fields and the
// program's rules comes out an hour ahead, while its UTC fields read right.
TEST(FieldsToTime, ReadsUtcFieldsRightWhereTheLocalRulesDisagreeWithTheSystem) {
    const int64_t now = 1774864800;                            // 2026-03-30 10:00:00 UTC
    const TimeFields systemLocal = {2026, 3, 30, 12, 0, 0, 1}; // CEST, as Windows shows it
    const TimeFields systemUtc = {2026, 3, 30, 10, 0, 0, 1};
    EXPECT_EQ(FieldsToTime(&systemLocal, &kCentralEurope) - now, 3600);
    EXPECT_EQ(FieldsToTime(&systemUtc, &kUtcRules), now);
}

} // namespace
