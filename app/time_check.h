// The time check: one run asks the configured time servers in turn, reports
// the first answer and corrects the PC clock by the drift when asked to.
#pragma once

#include <windows.h>

#include "core/command_line.h"
#include "core/report.h"

extern HINSTANCE programInstance;

// One run as the switches say (/hide, /check); what it ended with.
EventId RunTimeCheck(const Switches* switches);

// The run started as administrator to apply a correction the person
// approved: it asks no server, and logs its event. Its exit status: 1 when
// the clock was set, else the Windows error code.
int RunApprovedCorrection(const ApprovedCorrection* approved);
