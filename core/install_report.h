// The texts of /install and /uninstall, and of what the task's runs do.
#pragma once

#include <stddef.h>

#include "core/clock_keepers.h"
#include "core/report.h"

enum IniPlacement {
    kIniCopied, // copied there
    kIniKept,   // the one there kept
    kIniNone,   // none: the servers come from Group Policy alone
};

// What /install or /uninstall did, or why it could not.
struct InstallFacts {
    const char* folder;    // where the program is installed
    int ini;               // an IniPlacement
    int runEveryMinutes;   // the task's interval
    int taskMode;          // a TaskMode: what the task's runs will do
    const char* movedTo;   // where a folder others could change was moved, or NULL
    char correctors[80];   // the other correctors of this clock, "" for none
    const char* failed;    // what could not be done, or NULL
    unsigned long error;   // Windows error code of that failure, or 0
    const char* errorText; // the system's text for it
};

// The box's and the event's text for kEventInstalled, kEventUninstalled
// or kEventInstallFailed (of an uninstall when `uninstall`).
size_t FormatInstallText(char* out, size_t size, EventId id, int uninstall,
                         const InstallFacts* facts);

// What a run of the task did when RunEvery changed (from `before` minutes to
// `now`): kEventTaskUpdated, or kEventInstallFailed with its error.
size_t FormatTaskUpdate(char* out, size_t size, EventId id, int before, int now,
                        const InstallFacts* facts);

// What the task's runs do, and why: "The task corrects the clock.", "The
// task only checks the clock here: this PC is a domain controller (the
// policy CheckOnly = 0 lets it correct)."
const char* TaskModeText(int taskMode);

// The name of a Task Scheduler error (0x80041315: "SCHED_E_SERVICE_NOT_RUNNING"),
// which the system has no text for; NULL for any other code.
const char* SchedulerErrorName(unsigned long error, char out[48]);

// The other correctors of this clock, by their bits in `found`: "Windows
// Time also sets this clock", "Windows Time and Hyper-V time sync also set
// this clock"; "" for none. The note that goes with it, for FormatText.
enum { kWindowsTime = 1, kHyperVTime = 2 };
size_t FormatCorrectors(char* out, size_t size, int found);
extern const char kCorrectorsNote[]; // "%s: leave it to one (see horavel.txt)."
