// The texts of the report box, and of the events an unattended run leaves
// in the Windows event log.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/agreement.h"
#include "core/local_time.h"
#include "protocol/exchange.h"

enum {
    kReportSize = 768, // room for the longest report, with the hosts left out
    kCaptionSize = 40, // "Host Address : " and a dotted address
};

// The server line, the PC line, the hosts whose answers disagreed with it,
// and then either the drift question or, when the answer needs no
// correction, the no-correction text; times and drift to the millisecond for
// a fine answer. `pc` is NULL when the PC clock cannot be read. Returns the
// length written (cut to size - 1 if it does not fit).
size_t FormatReport(char* out, size_t size, const TimeFields* server, const TimeFields* pc,
                    const TimeAnswer* answer, const AskedHost* asked, int askedCount);

// The box of a run whose answers hold no majority: each host that answered
// and its offset (server minus PC), and the majority it takes.
size_t FormatDisagreement(char* out, size_t size, const AskedHost* asked, int askedCount,
                          int answersWanted);

// snprintf's work, alike with every C runtime: the text cut to size - 1
// characters if it does not fit, always terminated; the length written.
size_t FormatText(char* out, size_t size, const char* format, ...);

// "Host Address : " and the dotted address of the host that answered.
size_t FormatHostCaption(char* out, size_t size, const char* dottedAddress);

// What an event records. Event ids double as the ids of the message table.
enum EventId {
    kEventCorrected = 1,    // information
    kEventNoCorrection = 2, // information
    kEventNoAnswer = 3,     // warning
    kEventNotSet = 4,       // error
    kEventNoNetwork = 5,    // error: no server could be asked
    kEventStepTooLarge = 6, // error: a drift beyond MaxStep, not corrected
    kEventDisagree = 7,     // warning: no majority of the answers agrees, not corrected
    kEventTextSize = 4096,
};

struct EventFacts {
    const char* hostText;    // as configured
    const char* hostAddress; // dotted, of the host that answered
    const char* protocol;    // the name of the protocol that asked it
    TimeAnswer answer;       // pcMs -1 when the clock could not be read
    unsigned long error;     // Windows error code of a failure
    const char* errorText;   // the system's text for it
    int hostsAsked;
    const AskedHost* asked; // each of them, or NULL
    int timeoutMs;
    int maxStepSeconds;
    int64_t buildDate; // before it no clock is sound
    int answersWanted; // of which a majority must agree
};

// The event's text: what happened, with the host, the drift spelled out as
// ahead or behind, both times in UTC as ISO 8601, and for a failure its error.
size_t FormatEventText(char* out, size_t size, EventId id, const EventFacts* facts);

// A 64-bit count in decimal, without the C runtime's printf, which on older
// Windows knows no 64-bit conversion; `out` holds 22 characters. Returns
// where the text starts inside out.
const char* DecimalText(int64_t value, char* out);
