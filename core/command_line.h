// The program's argument text, taken from the whole command line as Windows
// keeps it, so that it does not depend on how the C runtime splits words.
#pragma once

#include <stddef.h>
#include <stdint.h>

// What follows the program's name in `commandLine`: right after the closing
// quote of a quoted name, or from the first blank or tab after an unquoted
// one, with the blanks and tabs there skipped. Points into commandLine.
const char* ArgumentText(const char* commandLine);

// The switches of a run. "/hide" keeps its old rule: those five characters
// anywhere, in that case. The others are whole words, in any case.
struct Switches {
    int hide;      // shows nothing; a time run corrects by itself and logs one event
    int check;     // asks and reports, never corrects
    int exitCode;  // a time run reports its outcome through the exit status
    int install;   // puts the program in Program Files and schedules it
    int uninstall; // removes the task and the event source
};

void ReadSwitches(const char* arguments, Switches* switches);

// A correction the person approved in an interactive run that lacked the
// right; the run it starts as administrator applies it and asks no server.
struct ApprovedCorrection {
    int64_t driftMs;
    int fine;         // 1: to the millisecond, at once; 0: whole seconds, at the next one
    int hostIndex;    // of the key "HostN" that answered
    char address[16]; // dotted, of the host that answered
};

// The arguments of that run: "/hide /correct:DRIFT:INDEX:ADDRESS", the drift
// as "90s" or, when fine, as "90250ms". Returns
// the length written (cut to size - 1 if it does not fit).
size_t FormatApprovedArguments(char* out, size_t size, const ApprovedCorrection* approved);

// 1 and *approved when the argument text carries a well-formed "/correct:".
int ReadApprovedCorrection(const char* arguments, ApprovedCorrection* approved);
