// Local-time rules: the zone offset and the program's own daylight-saving
// dates, and conversions between time values and calendar fields.
// Time values are signed 64-bit seconds since 1970-01-01 00:00:00 UTC.
#pragma once

#include <stdint.h>

struct LocalTimeRules {
    int64_t offsetSeconds; // standard time's distance from UTC, positive west
    int daylight;          // 1: the daylight-saving dates below apply
};

struct TimeFields {
    int year;  // four digits
    int month; // 1-12
    int day;
    int hour;
    int minute;
    int second;
    int dayOfWeek;       // 0 is Sunday
    int millisecond = 0; // 0-999; the conversions below leave it 0
};

extern const LocalTimeRules kUtcRules;

// 1 and *rules when `tz` is a well-formed TZ text such as "EST5EDT" or "CET-1".
int ParseTzRules(const char* tz, LocalTimeRules* rules);

// Fields of `t` under `rules`; 0 when t is smaller than the zone offset or
// its local time falls after the year 9999.
int TimeToFields(int64_t t, const LocalTimeRules* rules, TimeFields* fields);

// Time value of fields read from a clock; -1 outside the years 1970 to 9999,
// for fields out of range, and when the count would not be above 0.
// dayOfWeek is not read.
int64_t FieldsToTime(const TimeFields* fields, const LocalTimeRules* rules);

// The whole seconds of a count of milliseconds, rounded down, and the
// milliseconds past them (0-999) in *millisecond.
int64_t SecondsOfMs(int64_t ms, int* millisecond);
