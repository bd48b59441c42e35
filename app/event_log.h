// The outcome of a run, as an event of the source "Horavel" in the Windows
// Application log: how unattended runs tell an administrator what they did.
#pragma once

#include "core/report.h"

// Records one event of the type its id calls for (information, warning or
// error), with the system's text for facts->error. A log that cannot be
// written is skipped: it never holds up or stops a run.
void LogEvent(EventId id, const EventFacts* facts);

// The same, with a text of the caller's.
void LogText(EventId id, const char* text);

// The same, with the text and the event's data: strings 2 and on.
void LogStrings(EventId id, const char* const* strings, int count);

// The system's text for a Windows error code, without its line end.
void SystemErrorText(unsigned long error, char* out, int size);
