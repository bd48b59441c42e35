// Setting the clock as administrator, when an interactive run was refused
// for want of the right. Win32.
#pragma once

// 1 when this process already runs elevated: asking again would not help.
int IsElevated(void);

// Starts this program again as administrator with `arguments`, once the
// person consents, and waits for it while the windows of this run stay
// responsive. 1 when it ran, with its exit status in *status (left as the
// caller set it when the system started it without saying); 0 when it did
// not start, with the Windows error code in *status (ERROR_CANCELLED when
// the person declined the prompt).
int RunAsAdministrator(const char* exePath, const char* arguments, unsigned long* status);

// The exit status of the run that applies an approved correction: 1 when the
// clock was set, else the Windows error code.
int ExitStatusOfCorrection(int set, unsigned long error);
