// /install and /uninstall: the program put where only administrators can
// change it, its event source and its scheduled task registered, or the
// task and the source removed. Win32.
#pragma once

#include "core/command_line.h"

// Does what the switches ask (/install, else /uninstall; /hide: no box, one
// event). The exit status: 0 done, 5 refused for want of the right, 6 failed.
int RunInstall(const Switches* switches);

// A run of the task by the installed copy: gives the task the interval that
// RunEvery now asks (policy over INI) when it differs from the one recorded
// at install, in place, records it and logs that it did, or why it could not.
void KeepTaskInterval(const char* exe, const char* ini);
