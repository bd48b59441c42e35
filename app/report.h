// The texts of the report box, and of the events an unattended run leaves
// in the Windows event log.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "app/local_time.h"

enum {
    kReportSize = 256, // room for the longest report
    kCaptionSize = 40, // "Host Address : " and a dotted address
};

// The server line, the PC line and then either the drift question or, when
// drift is 0, the no-correction text. `pc` is NULL when the PC clock cannot
// be read. Returns the length written (cut to size - 1 if it does not fit).
size_t FormatReport(char* out, size_t size, const TimeFields* server, const TimeFields* pc,
                    int64_t drift);

// "Host Address : " and the dotted address of the host that answered.
size_t FormatHostCaption(char* out, size_t size, const char* dottedAddress);

// What an event records. Event ids double as the ids of the message table.
enum EventId {
    kEventCorrected = 1,    // information
    kEventNoCorrection = 2, // information
    kEventNoAnswer = 3,     // warning
    kEventNotSet = 4,       // error
    kEventNoNetwork = 5,    // error: no server could be asked
    kEventTextSize = 1024,
};

struct EventFacts {
    const char* hostText;    // as configured
    const char* hostAddress; // dotted, of the host that answered
    int64_t serverTime;
    int64_t pcTime; // -1 when the clock could not be read
    int64_t drift;
    unsigned long error;   // Windows error code of a failure
    const char* errorText; // the system's text for it
    int hostsAsked;
    int timeoutMs;
};

// The event's text: what happened, with the host, the drift spelled out as
// ahead or behind, both times in UTC as ISO 8601, and for a failure its error.
size_t FormatEventText(char* out, size_t size, EventId id, const EventFacts* facts);
