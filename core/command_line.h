// The program's argument text, taken from the whole command line as Windows
// keeps it, so that it does not depend on how the C runtime splits words.
#pragma once

#include <stddef.h>
#include <stdint.h>

// What follows the program's name in `commandLine`: right after the closing
// quote of a quoted name, or from the first blank or tab after an unquoted
// one, with the blanks and tabs there skipped. Points into commandLine.
const char* ArgumentText(const char* commandLine);

// A correction the person approved in an interactive run that lacked the
// right; the run it starts as administrator applies it and asks no server.
struct ApprovedCorrection {
    int64_t driftMs;
    int fine;         // 1: to the millisecond, at once; 0: whole seconds, at the next one
    int hostIndex;    // of the key "HostN" that answered
    char address[46]; // of the host that answered, either family
};

enum {
    kRefusedWordSize = 72,         // a longer word is cut, and ends in "..."
    kScheduledMostSeconds = 86400, // the largest deadline /scheduled: takes
    kTimeoutMostSeconds = 3600,    // the longest /timeout:
};

enum Refusal {
    kRefusedNone,
    kRefusedUnknown,       // a word that is no switch of ours, or a switch written wrong
    kRefusedClash,         // two switches that ask for different runs
    kRefusedWithoutCheck,  // /warn:, /crit: or /timeout: without /check
    kRefusedWarnAboveCrit, // /warn: above /crit:
};

// The switches of a run, read from words split as Windows splits a command
// line (blanks, quotes). A word that holds "/hide", in that case, is /hide,
// as ever, unless it also holds another of our switches, in any case: then
// it is refused ("/check/hide"). The others are whole words in any case. Any other word that
// starts with "/" or "-" is refused, and so are two switches that ask for
// different runs; other words are ignored.
struct Switches {
    int hide;      // shows nothing; a time run corrects by itself and logs one event
    int check;     // asks and reports, never corrects
    int exitCode;  // a time run reports its outcome through the exit status
    int install;   // puts the program in Program Files and schedules it
    int uninstall; // removes what /install put in place
    int correct;   // /correct:...: applies the approved correction, asks no server
    ApprovedCorrection approved;
    int scheduledSeconds; // /scheduled:N, the task's own: a random wait first, and no host
                          // asked N s after the run began
    // /warn:SECONDS, /crit:SECONDS (with /check): a line for a monitoring system
    int thresholds;                 // 1 when either, or /timeout:, was written, well formed or not
    int warnMs, critMs;             // -1 when not given
    int timeoutSeconds;             // /timeout:SECONDS (with /check): the whole run ends by
                                    // then with a line; 0 when not given
    Refusal refusal;                // why the run is refused, or kRefusedNone
    char refused[kRefusedWordSize]; // the word that refused it
    const char* clashesWith;        // for kRefusedClash: the switch it cannot go with
};

// Reads the argument text into *switches; 1 when every switch is known and
// they go together, else 0 with the word refused.
int ReadSwitches(const char* arguments, Switches* switches);

// The arguments of the run that applies an approved correction: "/hide
// /correct:DRIFT:INDEX:ADDRESS", the drift as "90s" or, when fine, as
// "90250ms". Returns the length written (cut to size - 1 if it does not fit).
size_t FormatApprovedArguments(char* out, size_t size, const ApprovedCorrection* approved);
