#include <stdlib.h>

#include "app/time_check.h"

LocalTimeRules SystemLocalTimeRules(void) {
    TIME_ZONE_INFORMATION zone;
    DWORD state = GetTimeZoneInformation(&zone);
    return ChooseLocalTimeRules(getenv("TZ"), zone.Bias, zone.StandardBias,
                                state == TIME_ZONE_ID_DAYLIGHT);
}

// The clock is compared and set in UTC: the system's own daylight-saving
// dates then never enter the drift.
int32_t ReadPcTime(void) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    TimeFields fields = {now.wYear,   now.wMonth,  now.wDay,      now.wHour,
                         now.wMinute, now.wSecond, now.wDayOfWeek};
    return FieldsToTime(&fields, &kUtcRules);
}

// Only an elevated administrator holds the right to set the clock, and even
// then it has to be enabled first; it is restored afterwards.
static int SetSystemClock(const SYSTEMTIME* time) {
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
    if (adjusted)
        AdjustTokenPrivileges(token, FALSE, &previous, 0, NULL, NULL);
    if (opened)
        CloseHandle(token);
    return set;
}

int ApplyDrift(int32_t drift) {
    // Set right after the clock steps to a new second, so the sub-second part
    // the protocol cannot see is lost only once. A clock outside the readable
    // years reads -1 throughout: then t1 - drift is the server time itself.
    int32_t t0 = ReadPcTime();
    int32_t t1 = t0;
    while (t1 == t0 && t1 != -1)
        t1 = ReadPcTime();
    int64_t newTime = (int64_t)t1 - drift;
    TimeFields fields;
    int set = 0;
    if (newTime > 0 && newTime <= INT32_MAX &&
        TimeToFields((int32_t)newTime, &kUtcRules, &fields)) {
        SYSTEMTIME time = {
            (WORD)fields.year, (WORD)fields.month,  (WORD)fields.dayOfWeek, (WORD)fields.day,
            (WORD)fields.hour, (WORD)fields.minute, (WORD)fields.second,    0};
        set = SetSystemClock(&time);
    }
    PostMessageA(HWND_BROADCAST, WM_TIMECHANGE, 0, 0);
    return set;
}
