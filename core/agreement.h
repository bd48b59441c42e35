// The hosts a run asked, what each gave, and which of their answers agree.
// Each answer stands for an interval of drifts that its measurement cannot
// tell apart: SNTP's drift plus or minus its uncertainty, a whole-second
// count's plus or minus one second and, towards a PC further behind, its
// round trip. A run that wants several answers keeps the largest group
// whose intervals share a point (Marzullo's intersection) and steps only
// when that group is a majority of the answers it wanted.
#pragma once

#include "core/net_address.h"
#include "protocol/exchange.h"

// A host asked, and what it gave: a usable time, or why none.
struct AskedHost {
    int hostIndex;                  // N of the key "HostN"
    const char* hostText;           // as configured
    const char* protocol;           // the name of the protocol that asked it
    char address[kAddressTextSize]; // for a broadcast, of the host whose reply was taken
    NoTime why;                     // when it gave no time
    char kissCode[5];
    int64_t rootDistanceMs; // of an answer refused for it
    int answered;           // 1: it gave a usable time, in answer
    int agreed;             // 1: its answer is in the largest group that agrees
    TimeAnswer answer;      // of a burst, its least delayed sample
    int samples;            // the usable samples of its burst; 0 or 1: one request
};

enum {
    kMaxAgree = 16,          // answers a run may want
    kMaxSamples = 8,         // SNTP requests a run may send one server
    kSampleSpacingMs = 4000, // between two of them: NIST's least
};

// How many SNTP requests each server is asked: Samples when set (1 to 8),
// else 4 for a run of the task, which nobody waits for, and 1 for any other.
int SamplesWanted(int setting, int scheduled);

// Of a burst's samples, the one whose round trip was shortest, the earlier
// of equals: it waited least in the queues, so its offset is the least
// disturbed. Unusable samples are never chosen; -1 when none is usable.
int LeastDelayed(const TimeAnswer* samples, const int* usable, int count);

// Marks `agreed` on the answers of the largest group that agrees: of two
// groups of one size, the one whose most precise answer is more precise,
// then the one found first. Returns the index in `hosts` of the group's most
// precise answer (the first asked of equals) when the group holds a majority
// of the answers wanted and no other group as large points elsewhere (its
// most precise answer does not meet this one), else -1: no agreement.
int AgreedAnswer(AskedHost* hosts, int count, int wanted);

// The smallest group that is a majority of the answers wanted.
int Majority(int wanted);

// How many of the hosts gave a usable time. Fewer than Majority(wanted):
// too few answered to agree, rather than a disagreement.
int AnswerCount(const AskedHost* hosts, int count);
