#include "core/local_time.h"

#include <stddef.h>

const LocalTimeRules kUtcRules = {0, 0};

static const int64_t kSecondsPerDay = 86400;
static const int64_t kLastTime = 253402300799; // 9999-12-31 23:59:59: four-digit years
static const int kMaxTzHours = 99999;          // keeps a silly TZ text from overflowing

static int IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static int IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int ParseTzRules(const char* tz, LocalTimeRules* rules) {
    if (tz == NULL || !IsLetter(tz[0]) || !IsLetter(tz[1]) || !IsLetter(tz[2]))
        return 0;
    const char* p = tz + 3;
    int sign = 1;
    if (*p == '+' || *p == '-') {
        if (*p == '-')
            sign = -1;
        p++;
    }
    if (!IsDigit(*p))
        return 0;
    int hours = 0;
    for (; IsDigit(*p); p++)
        if (hours < kMaxTzHours)
            hours = hours * 10 + (*p - '0');
    // Minutes and whatever else stands before the daylight name do not count.
    while (*p != '\0' && !IsLetter(*p))
        p++;
    rules->offsetSeconds = (int64_t)sign * hours * 3600;
    rules->daylight = IsLetter(p[0]) && IsLetter(p[1]) && IsLetter(p[2]);
    return 1;
}

// Calendar sums run in int: days and years up to 9999 fit it, and on x86 a
// 64-bit division is a call into the compiler's runtime.
static int IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

static int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
// Years from 1 on.
static int DaysFromCivil(int year, int month, int day) {
    int y = month <= 2 ? year - 1 : year;
    int era = y / 400;
    int yearOfEra = y - era * 400;
    int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// Days from 1970-01-01 on.
static void CivilFromDays(int days, int* year, int* month, int* day) {
    days += 719468;
    int era = days / 146097;
    int dayOfEra = days - era * 146097;
    int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int monthIndex = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    *year = yearOfEra + era * 400 + (*month <= 2);
}

static int DayOfWeek(int days) {
    return (days + 4) % 7; // 1970-01-01 was a Thursday
}

static int FirstSunday(int year, int month) {
    int first = DaysFromCivil(year, month, 1);
    return first + (7 - DayOfWeek(first)) % 7;
}

static int LastSunday(int year, int month) {
    int last = DaysFromCivil(year, month, DaysInMonth(year, month));
    return last - DayOfWeek(last);
}

// The program's own dates: from 02:00 on the first Sunday in April (the last
// Sunday in April up to 1986) to 02:00 on the last Sunday in October. `hour`
// is the hour of whatever reading the caller makes on those two Sundays.
static int IsDaylightSaving(int year, int day, int hour) {
    int start = year <= 1986 ? LastSunday(year, 4) : FirstSunday(year, 4);
    int end = LastSunday(year, 10);
    if (day == start)
        return hour >= 2;
    if (day == end)
        return hour < 2;
    return day > start && day < end;
}

// A local count from 0 to the end of the year 9999.
static void SplitLocalCount(int64_t local, int* year, int* days, TimeFields* fields) {
    *days = (int)(local / kSecondsPerDay);
    int secondOfDay = (int)(local - (int64_t)*days * kSecondsPerDay);
    CivilFromDays(*days, year, &fields->month, &fields->day);
    fields->hour = secondOfDay / 3600;
    fields->minute = secondOfDay / 60 % 60;
    fields->second = secondOfDay % 60;
    fields->dayOfWeek = DayOfWeek(*days);
    fields->millisecond = 0;
}

int TimeToFields(int64_t t, const LocalTimeRules* rules, TimeFields* fields) {
    if (t < rules->offsetSeconds || t - rules->offsetSeconds > kLastTime)
        return 0;
    int64_t local = t - rules->offsetSeconds;
    int year, days;
    SplitLocalCount(local, &year, &days, fields);
    // Decided on the standard-time hour, so the hour skipped in spring never shows.
    if (rules->daylight && IsDaylightSaving(year, days, fields->hour))
        SplitLocalCount(local + 3600, &year, &days, fields);
    fields->year = year;
    return 1;
}

int64_t FieldsToTime(const TimeFields* f, const LocalTimeRules* rules) {
    if (f->year < 1970 || f->year > 9999 || f->month < 1 || f->month > 12 || f->day < 1 ||
        f->day > DaysInMonth(f->year, f->month) || f->hour < 0 || f->hour > 23 || f->minute < 0 ||
        f->minute > 59 || f->second < 0 || f->second > 59)
        return -1;
    int days = DaysFromCivil(f->year, f->month, f->day);
    int64_t t = (int64_t)days * kSecondsPerDay + f->hour * 3600 + f->minute * 60 + f->second +
                rules->offsetSeconds;
    if (rules->daylight && IsDaylightSaving(f->year, days, f->hour))
        t -= 3600;
    return t > 0 ? t : -1;
}

int64_t SecondsOfMs(int64_t ms, int* millisecond) {
    int64_t seconds = ms / 1000, rest = ms % 1000;
    if (rest < 0) {
        seconds--;
        rest += 1000;
    }
    *millisecond = (int)rest;
    return seconds;
}
