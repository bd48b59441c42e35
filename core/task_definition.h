// The scheduled task that /install registers, as Task Scheduler 2.0's XML:
// the installed program run as SYSTEM at start-up, at a steady interval, on
// waking from sleep and when a network connects; each run started by the
// task waits a random time first and stops asking at its own deadline,
// below the task's time limit, so that it always ends with its event.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
    kScheduledWaitMostSeconds =
        300, // a run started by the task first waits a random time up to this
};

struct TaskDefinition {
    const char* command;   // the installed exe's full path
    int64_t startBoundary; // when the interval counts from, seconds since 1970 UTC: a fixed
                           // time in the past, never the PC clock, which may be years ahead
    int runEveryMinutes;   // 15 to 1440: RunEvery (core/setting_rules.h)
    const char* version;   // the program's, for the task's registration information
};

// The task's XML into out; the length of the whole text, as snprintf, so
// that a result of size or more means it did not fit.
size_t FormatTaskXml(char* out, size_t size, const TaskDefinition* task);

// The longest random wait of a run started with /scheduled:deadlineSeconds:
// five minutes, but never more than half the deadline.
int ScheduledWaitMostSeconds(int deadlineSeconds);
