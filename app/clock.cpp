#include <stdlib.h>

#include "app/time_check.h"

// The zone of the times shown, fixed at start-up.
static int tzGoverns;
static LocalTimeRules tzRules;
static TIME_ZONE_INFORMATION systemZone;

void FixShownZone(void) {
    tzGoverns = ParseTzRules(getenv("TZ"), &tzRules);
    // A zone the system cannot tell is shown as UTC.
    if (GetTimeZoneInformation(&systemZone) == TIME_ZONE_ID_INVALID)
        ZeroMemory(&systemZone, sizeof systemZone);
}

static SYSTEMTIME ToSystemTime(const TimeFields* f) {
    SYSTEMTIME time = {(WORD)f->year, (WORD)f->month,  (WORD)f->dayOfWeek, (WORD)f->day,
                       (WORD)f->hour, (WORD)f->minute, (WORD)f->second,    0};
    return time;
}

static TimeFields FromSystemTime(const SYSTEMTIME* t) {
    TimeFields fields = {t->wYear,   t->wMonth,  t->wDay,      t->wHour,
                         t->wMinute, t->wSecond, t->wDayOfWeek};
    return fields;
}

int ShownFields(int64_t t, TimeFields* fields) {
    if (tzGoverns)
        return TimeToFields(t, &tzRules, fields);
    // The system's own conversion knows the zone's real daylight-saving dates.
    TimeFields utc;
    if (!TimeToFields(t, &kUtcRules, &utc))
        return 0;
    SYSTEMTIME universal = ToSystemTime(&utc), local;
    if (!SystemTimeToTzSpecificLocalTime(&systemZone, &universal, &local))
        return 0;
    *fields = FromSystemTime(&local);
    return 1;
}

// The system clock in whole seconds, and the milliseconds into the second.
static int64_t ReadClock(int* milliseconds) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    TimeFields fields = FromSystemTime(&now);
    *milliseconds = now.wMilliseconds;
    return FieldsToTime(&fields, &kUtcRules);
}

// The clock is compared and set in UTC: the system's own daylight-saving
// dates then never enter the drift.
int64_t ReadPcTime(void) {
    int milliseconds;
    return ReadClock(&milliseconds);
}

// Only an elevated administrator holds the right to set the clock, and even
// then it has to be enabled first; it is restored afterwards.
static int SetSystemClock(const SYSTEMTIME* time, unsigned long* error) {
    HANDLE token;
    TOKEN_PRIVILEGES enable, previous;
    DWORD previousSize;
    int adjusted = 0;
    int opened =
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    if (opened) {
        enable.PrivilegeCount = 1;
        enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(NULL, SE_SYSTEMTIME_NAME, &enable.Privileges[0].Luid))
            adjusted = AdjustTokenPrivileges(token, FALSE, &enable, sizeof previous, &previous,
                                             &previousSize);
    }
    int set = SetSystemTime(time) != 0;
    *error = set ? 0 : GetLastError();
    if (adjusted)
        AdjustTokenPrivileges(token, FALSE, &previous, 0, NULL, NULL);
    if (opened)
        CloseHandle(token);
    return set;
}

// Sleeps end up to a scheduler tick (15.6 ms) late: wake this long before the
// next second and spin through the rest.
enum { kSpinMilliseconds = 30 };

int ApplyDrift(int64_t drift, unsigned long* error) {
    // Set right after the clock steps to a new second, so the sub-second part
    // the protocol cannot see is lost only once. A clock outside the readable
    // years reads -1 throughout: then t1 - drift is the server time itself.
    int milliseconds;
    int64_t t0 = ReadClock(&milliseconds);
    if (t0 != -1 && milliseconds < 1000 - kSpinMilliseconds)
        Sleep((DWORD)(1000 - kSpinMilliseconds - milliseconds));
    int64_t t1 = t0;
    while (t1 == t0 && t1 != -1)
        t1 = ReadPcTime();
    int64_t newTime = t1 - drift;
    TimeFields fields;
    int set = 0;
    *error = ERROR_INVALID_TIME;
    if (newTime > 0 && TimeToFields(newTime, &kUtcRules, &fields)) {
        SYSTEMTIME time = ToSystemTime(&fields);
        set = SetSystemClock(&time, error);
    }
    PostMessageA(HWND_BROADCAST, WM_TIMECHANGE, 0, 0);
    return set;
}
