// Setting the clock as administrator, when an interactive run was refused
// for want of the right. Win32.
#pragma once

#include "app/command_line.h"

// 1 when this process already runs elevated: asking again would not help.
int IsElevated(void);

// Starts this program again as administrator, once the person consents, to
// apply the approved correction, and waits for it while the windows of this
// run stay responsive. 0 when the clock was set, else the Windows error code
// (ERROR_CANCELLED when the person declined the prompt).
unsigned long CorrectAsAdministrator(const char* exePath, const ApprovedCorrection* approved);

// The exit status of the run that applies an approved correction: 1 when the
// clock was set, else the Windows error code.
int ExitStatusOfCorrection(int set, unsigned long error);
