#include "app/clock.h"

#include <stdlib.h>

#include <windows.h>

// The zone of the times shown, fixed at start-up.
static int tzGoverns;
static LocalTimeRules tzRules;
static TIME_ZONE_INFORMATION systemZone;

static const int64_t kTicksPerMs = 10000;
static const int64_t kFileTimeOf1970 = 116444736000000000; // in 100 ns units since 1601

void FixShownZone(void) {
    tzGoverns = ParseTzRules(getenv("TZ"), &tzRules);
    // A zone the system cannot tell is shown as UTC.
    if (GetTimeZoneInformation(&systemZone) == TIME_ZONE_ID_INVALID)
        ZeroMemory(&systemZone, sizeof systemZone);
}

static SYSTEMTIME ToSystemTime(const TimeFields* f) {
    SYSTEMTIME time = {(WORD)f->year, (WORD)f->month,  (WORD)f->dayOfWeek, (WORD)f->day,
                       (WORD)f->hour, (WORD)f->minute, (WORD)f->second,    (WORD)f->millisecond};
    return time;
}

static TimeFields FromSystemTime(const SYSTEMTIME* t) {
    TimeFields fields = {t->wYear,   t->wMonth,  t->wDay,       t->wHour,
                         t->wMinute, t->wSecond, t->wDayOfWeek, t->wMilliseconds};
    return fields;
}

static int SecondFields(int64_t t, TimeFields* fields) {
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

int ShownFields(int64_t ms, TimeFields* fields) {
    int millisecond;
    if (!SecondFields(SecondsOfMs(ms, &millisecond), fields))
        return 0;
    fields->millisecond = millisecond;
    return 1;
}

typedef void(WINAPI* ReadFileTime)(FILETIME*);
static ReadFileTime readPreciseTime; // Windows 8 on
static int preciseTimeLookedUp;

// The system clock to the tick, or finer where the system can.
static int64_t ReadFineClock(void) {
    if (!preciseTimeLookedUp) {
        preciseTimeLookedUp = 1;
        readPreciseTime = (ReadFileTime)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                              "GetSystemTimePreciseAsFileTime");
    }
    FILETIME now;
    if (readPreciseTime != NULL)
        readPreciseTime(&now);
    else
        GetSystemTimeAsFileTime(&now);
    return (int64_t)((uint64_t)now.dwHighDateTime << 32 | now.dwLowDateTime) - kFileTimeOf1970;
}

// The clock is compared and set in UTC: the system's own daylight-saving
// dates then never enter the drift.
int64_t ReadPcTimeMs(void) {
    int64_t ticks = ReadFineClock();
    return ticks / kTicksPerMs - (ticks % kTicksPerMs < 0 ? 1 : 0);
}

static int64_t exchangeStart;
static LARGE_INTEGER exchangeCounter, counterFrequency;

void StartExchangeClock(void) {
    QueryPerformanceFrequency(&counterFrequency);
    exchangeStart = ReadFineClock();
    QueryPerformanceCounter(&exchangeCounter);
}

int64_t ExchangeClockNow(void) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    int64_t counts = now.QuadPart - exchangeCounter.QuadPart, frequency = counterFrequency.QuadPart;
    if (frequency <= 0)
        return ReadFineClock();
    return exchangeStart + counts / frequency * 10000000 +
           counts % frequency * 10000000 / frequency;
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

// The clock's reading after its next whole second, in milliseconds. Read
// from the fine clock, which reads any year: the calendar reading gives up
// outside 1970 to 9999, where the drift was still measured.
static int64_t NextWholeSecond(void) {
    int milliseconds;
    int64_t t0 = SecondsOfMs(ReadPcTimeMs(), &milliseconds);
    if (milliseconds < 1000 - kSpinMilliseconds)
        Sleep((DWORD)(1000 - kSpinMilliseconds - milliseconds));
    int64_t t1 = t0;
    while (t1 == t0)
        t1 = SecondsOfMs(ReadPcTimeMs(), &milliseconds);
    return t1 * 1000;
}

static const int64_t kLastMs = 253402300799999; // 9999-12-31 23:59:59.999

int ApplyDrift(int64_t driftMs, int wholeSeconds, unsigned long* error) {
    int64_t newMs = (wholeSeconds ? NextWholeSecond() : ReadPcTimeMs()) - driftMs;
    TimeFields fields;
    int set = 0;
    *error = ERROR_INVALID_TIME;
    if (newMs > 0 && newMs <= kLastMs && TimeToFields(newMs / 1000, &kUtcRules, &fields)) {
        fields.millisecond = (int)(newMs % 1000);
        SYSTEMTIME time = ToSystemTime(&fields);
        set = SetSystemClock(&time, error);
    }
    PostMessageA(HWND_BROADCAST, WM_TIMECHANGE, 0, 0);
    return set;
}
