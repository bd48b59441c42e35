// /install and /uninstall: the program put where only administrators can
// change it, its event source and its scheduled task registered, or the
// task and the source removed. Win32.
#pragma once

#include "core/command_line.h"

// Does what the switches ask (/install, else /uninstall; /hide: no box, one
// event). The exit status: 0 done, 5 refused for want of the right, 6 failed.
int RunInstall(const Switches* switches);
