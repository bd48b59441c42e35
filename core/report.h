// The texts of the report box, and of the events an unattended run leaves
// in the Windows event log.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/agreement.h"
#include "core/local_time.h"
#include "core/text_buffer.h"
#include "protocol/exchange.h"

enum {
    kReportSize = 1536, // room for the longest report, with the hosts left out
    kCaptionSize = 64,  // "Host Address : " and an address of either family
};

// The server line, the PC line, the hosts whose answers disagreed with it,
// a line when the servers were set by Group Policy,
// and then either the drift (and, when `asking`, the question whether to fix
// it) or, when the answer needs no correction, the no-correction text; times
// and drift to the millisecond for a fine answer. `pc` is NULL when the PC
// clock cannot be read. Returns the length written (cut to size - 1 if it
// does not fit).
size_t FormatReport(char* out, size_t size, const TimeFields* server, const TimeFields* pc,
                    const TimeAnswer* answer, const AskedHost* asked, int askedCount, int asking,
                    int fromPolicy = 0);

// "Host Address : " and the dotted address of the host that answered.
size_t FormatHostCaption(char* out, size_t size, const char* dottedAddress);

// What a run ended with, and the event it records. Event ids double as the
// ids of the message table.
enum EventId {
    kEventCorrected = 1,      // information
    kEventNoCorrection = 2,   // information
    kEventNoAnswer = 3,       // warning: no usable time, or too few for Agree
    kEventNotSet = 4,         // error
    kEventNoNetwork = 5,      // error: no server could be asked
    kEventStepTooLarge = 6,   // error: a drift beyond MaxStep, not corrected
    kEventDisagree = 7,       // warning: no majority of the answers agrees, not corrected
    kEventDriftLeft = 8,      // information: a drift measured and left (/check, or No)
    kEventNothingToAsk = 9,   // error: the configuration names no server
    kEventInstalled = 10,     // information
    kEventUninstalled = 11,   // information
    kEventInstallFailed = 12, // error: /install or /uninstall could not be done
    kEventRefused = 13,       // error: a switch unknown, or two that do not go together
    kEventDriftWarning = 14,  // warning: /check found a drift beyond /warn:
    kEventDriftCritical = 15, // error: /check found a drift beyond /crit:
    kEventCorrectors = 16,    // warning: /install found another corrector of this clock
    kEventTaskUpdated = 17,   // information: a run of the task gave it RunEvery's new interval
    kEventTextSize = 4096,
};

// The exit status that reports what a run ended with, for /exitcode.
enum ExitCode {
    kExitClockRight = 0, // right, or corrected; an install done
    kExitNoTime = 2,     // no server gave a usable time
    kExitDisagree = 3,   // the servers disagreed
    kExitDriftLeft = 4,  // a drift found and left: /check, No, or beyond MaxStep
    kExitNotSet = 5,     // the clock could not be set; an install refused for want of the right
    kExitFailed = 6,     // nothing to ask, the network could not be used; an install failed
};

int ExitCodeOf(EventId result);

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
    int64_t buildDate;           // before it no clock is sound
    int answersWanted;           // of which a majority must agree
    int stoppedAtDeadline = 0;   // 1: a run of the task stopped asking at its deadline
    int maxDistanceMs = 1500;    // MaxDistance
    int fromPolicy = 0;          // 1: the servers came from Group Policy
    int thresholdMs = 0;         // of kEventDriftWarning or kEventDriftCritical
    int thresholdFromPolicy = 0; // 1: CheckWarn or CheckCrit, in ms; 0: /warn: or /crit:
    int taskMode = 0;            // a TaskMode (core/clock_keepers.h) of a run of the task
    int samples = 0;             // of the answer's burst: more than 1 when it was one
};

// The box of an interactive run that stepped nothing for want of a time
// (kEventNoAnswer) or of agreement (kEventDisagree): "No response from any
// server !", "Too few time servers answered..." or "The time servers
// disagree...", then each address asked with its offset (server minus PC)
// or why it gave no time, and the majority that was wanted.
size_t FormatNoTimeBox(char* out, size_t size, EventId id, const EventFacts* facts);

// The event's text: what happened, with the host, the drift spelled out as
// ahead or behind, both times in UTC as ISO 8601, and for a failure its error.
size_t FormatEventText(char* out, size_t size, EventId id, const EventFacts* facts);

struct Switches;

// Why the switches were refused: the word, and what it cannot go with.
size_t FormatRefusal(char* out, size_t size, const Switches* switches);

// The monitoring-plugin convention's statuses, which /check with /warn: or
// /crit: exits with.
enum CheckStatus { kCheckOk, kCheckWarning, kCheckCritical, kCheckUnknown };

// The status of an offset (server minus PC) under thresholds (-1: not
// given): its absolute value above crit is critical, above warn a warning.
CheckStatus CheckStatusOf(int64_t offsetMs, int warnMs, int critMs);

// The one line of /check for a monitoring system, in the monitoring-plugin
// guidelines' grammar: "HORAVEL OK - drift +0.012 s from ntp:time.nist.gov
// (192.0.2.5) | drift=0.012s;-0.5:0.5;-5:5", with notes on other correctors
// and servers from policy; CRITICAL with each host asked and why when the
// run got no usable time; UNKNOWN for a refusal, nothing configured or a
// network this PC could not use. *status is the status it reports.
size_t FormatCheckLine(char* out, size_t size, EventId result, const EventFacts* facts,
                       const Switches* switches, const char* correctors, CheckStatus* status);

// The line of a check that ran out of its /timeout: CRITICAL.
size_t FormatTimeoutLine(char* out, size_t size, int seconds);

// A 64-bit count in decimal, without the C runtime's printf, which on older
// Windows knows no 64-bit conversion; `out` holds 22 characters. Returns
// where the text starts inside out.
const char* DecimalText(int64_t value, char* out);
