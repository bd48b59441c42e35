// The time check: one run asks the configured time servers in turn, reports
// the first answer and corrects the PC clock by the drift when asked to.
#pragma once

#include <windows.h>

#include "core/command_line.h"
#include "core/report.h"

extern HINSTANCE programInstance;

// One run as the switches say (/hide, /check, /warn:, /crit:); its exit
// status: 1, as ever; with /exitcode, what the run ended with; with a
// threshold, the monitoring-plugin status, its one line written to the
// output when that is a file or a pipe.
int RunTimeCheck(const Switches* switches);

// The run started as administrator to apply a correction the person
// approved: it asks no server, and logs its event. Its exit status: 1 when
// the clock was set, else the Windows error code.
int RunApprovedCorrection(const ApprovedCorrection* approved);
