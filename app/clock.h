// The PC clock: reading it, showing times in the zone of the PC, and
// setting it. Win32.
#pragma once

#include <stdint.h>

#include "core/local_time.h"

// The zone of the times shown, fixed once at start-up: TZ's rules when TZ is
// set and well formed, else the system's own zone and its daylight dates.
void FixShownZone(void);
// Local fields of a time in milliseconds since 1970 in that zone; 0 when it has none.
int ShownFields(int64_t ms, TimeFields* fields);

// The system clock in milliseconds (UTC), to the tick or finer, in any year.
int64_t ReadPcTimeMs(void);

// The clock of one exchange with a server, in 100 ns units since 1970: one
// reading of the system clock when it starts, then the performance
// counter's intervals, so that neither the clock's tick nor a change of the
// clock meanwhile enters the round trip.
void StartExchangeClock(void);
int64_t ExchangeClockNow(void);

// Moves the system clock by -driftMs and tells every window that the time
// changed: for a drift in whole seconds at the clock's next whole second, so
// that the fraction the protocol cannot see is lost only once; otherwise at
// once. 1 when the clock was set, else 0 and the Windows error code in *error.
int ApplyDrift(int64_t driftMs, int wholeSeconds, unsigned long* error);
