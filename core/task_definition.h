// The scheduled task that /install registers, as Task Scheduler 2.0's XML:
// the installed program run as SYSTEM with /hide /exitcode, at start-up, at
// a steady interval with a random delay, and on waking from sleep.
#pragma once

#include <stddef.h>

enum {
    kRunEveryDefault = 60, // minutes between runs, unless the INI's RunEvery says
    kRunEveryLeast = 15,
    kRunEveryMost = 1440,
};

struct TaskDefinition {
    const char* command;       // the installed exe's full path
    const char* startBoundary; // when the interval counts from, in UTC: "2026-12-09T10:00:00Z"
    int runEveryMinutes;       // kRunEveryLeast to kRunEveryMost
};

// The task's XML into out; the length of the whole text, as snprintf, so
// that a result of size or more means it did not fit.
size_t FormatTaskXml(char* out, size_t size, const TaskDefinition* task);

// 1 when the Windows Time service's Parameters\Type takes time from the
// network ("NTP", "NT5DS", "AllSync"); "NoSync" and "" do not.
int TakesNetworkTime(const char* type);
