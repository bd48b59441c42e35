// The seam between the run and its protocols: one question to one time
// server, whichever protocol asks it. A protocol builds the request, judges
// each datagram that arrives during the wait, and reads the answer into
// times; the run picks the protocol from the host value.
#pragma once

#include <stdint.h>

// Why a host that was asked gave no time.
enum NoTime {
    kNoTimeSilent,         // nothing came that answered the request
    kNoTimeRefused,        // the server refused to serve us (a Kiss-o'-Death)
    kNoTimeUnsynchronised, // the server says its own clock is not set
    kNoTimeUnusable,       // the answer carries no usable time
    kNoTimeUnresolved,     // its name gave no address, so no request reached it
    kNoTimeNotSent,        // the request could not be sent
    kNoTimeBeforeBuild,    // its clock reads a time before the build date: it was reset
    kNoTimeTooFar,         // its root distance is over MaxDistance
    kNoTimeMalformed,      // its name is no address: a zone index, a port
    kNoTimeNoFamily,       // an IPv6 address where IPv6 is switched off
    kNoTimeLinkLocal,      // an IPv6 link-local literal, which names no zone
};

// What an answer says, in milliseconds since 1970-01-01 00:00:00 UTC.
struct TimeAnswer {
    int64_t serverMs;        // the server's time at the moment pcMs was read
    int64_t pcMs;            // the PC clock then; -1 when it cannot be read
    int64_t driftMs;         // PC minus server
    int64_t uncertaintyMs;   // what the measurement cannot tell apart from no drift
    int fine;                // 1: to the millisecond; 0: in whole seconds
    int64_t roundTripMs = 0; // the request's: how much older than pcMs the server's reading may be
};

struct TimeProtocol;

struct TimeExchange {
    const TimeProtocol* protocol;
    int broadcast;     // the request went to 255.255.255.255: any host may answer
    int64_t buildDate; // no sound clock reads earlier; counts are read around it (protocol/era.h)
    int maxDistanceMs; // the largest root distance an SNTP answer may have
    int64_t rootDistanceMs; // of an SNTP answer refused for it
    uint64_t nonce;         // 64 random bits for the request
    int64_t sentAt;         // the PC clock at sending, 100 ns units since 1970
    int64_t judgedAt;       // the PC clock as a datagram is judged; 0 when none was taken
    NoTime why;             // when the answer gives no time
    char kissCode[5];       // a refusal's code, four letters
};

struct TimeProtocol {
    const char* name;   // as the event log names it
    const char* prefix; // in front of the server's name in a host value, in any case
    int serverPort;
    int localPort; // 0: any port the system picks
    int replySize; // the largest answer read
    // The request for exchange->nonce into out (replySize bytes); its length.
    int (*request)(const TimeExchange* exchange, unsigned char* out);
    // 1 when a datagram from the destination (any source, for a broadcast)
    // answers the request and ends the wait; exchange->judgedAt is the PC
    // clock as it is judged. length is -1 for a datagram too long to read. A
    // datagram that does not end the wait may leave in exchange->why what it
    // showed of the host. Any host may answer a broadcast: there only a
    // usable time ends the wait.
    int (*judge)(TimeExchange* exchange, const unsigned char* datagram, int length, int sourcePort);
    // 1 and *answer, its times as of exchange->judgedAt, when the answer
    // carries a usable time, else 0 with exchange->why.
    int (*read)(TimeExchange* exchange, const unsigned char* reply, int length, TimeAnswer* answer);
};

extern const TimeProtocol kTimeProtocol; // RFC 868, protocol/time_protocol.cpp
extern const TimeProtocol kSntpProtocol; // SNTPv4, protocol/sntp.cpp

// The whole seconds of a PC clock reading in 100 ns units, rounded down (also before 1970).
int64_t SecondsOfTicks(int64_t ticks);

// The protocol a host value asks with, and where the server's name starts in it.
const TimeProtocol* ProtocolOfHost(const char* hostText, const char** serverName);

// 1 when the drift is larger than what the measurement can tell.
int NeedsCorrection(const TimeAnswer* answer);

// 1 when an unattended run may step the clock by the drift: maxStepSeconds
// 0 or less sets no bound.
int StepWithinBound(const TimeAnswer* answer, int maxStepSeconds);
