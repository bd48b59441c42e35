// The time check: one run asks the configured time servers in turn, reports
// the first answer and corrects the PC clock by the drift when asked to.
#pragma once

#include <windows.h>

#include "app/local_time.h"

extern HINSTANCE programInstance;

void RunTimeCheck(int hideMode);

// The zone of the times shown, fixed once at start-up: TZ's rules when TZ is
// set and well formed, else the system's own zone and its daylight dates.
void FixShownZone(void);
// Local fields of t in that zone; 0 when it has none.
int ShownFields(int64_t t, TimeFields* fields);

// The platform's clock, in time values.
// The system clock in whole seconds (UTC); -1 outside the years 1970 to 9999.
int64_t ReadPcTime(void);
// Moves the system clock by -drift seconds at its next whole second and
// tells every window that the time changed. 1 when the clock was set, else 0
// and the Windows error code in *error.
int ApplyDrift(int64_t drift, unsigned long* error);
