#include "protocol/exchange.h"

#include <string.h>

// A plain host value has no prefix: the Time Protocol comes last.
static const TimeProtocol* const kProtocols[] = {&kSntpProtocol, &kTimeProtocol};

static char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

static int HasPrefix(const char* text, const char* prefix) {
    for (; *prefix != '\0'; text++, prefix++)
        if (Lower(*text) != *prefix)
            return 0;
    return 1;
}

const TimeProtocol* ProtocolOfHost(const char* hostText, const char** serverName) {
    for (const TimeProtocol* protocol : kProtocols) {
        if (!HasPrefix(hostText, protocol->prefix))
            continue;
        const char* name = hostText + strlen(protocol->prefix);
        while (*name == ' ' || *name == '\t') // "ntp: time.example" is meant as a name
            name++;
        *serverName = name;
        return protocol;
    }
    *serverName = hostText;
    return &kTimeProtocol;
}

int64_t SecondsOfTicks(int64_t ticks) {
    const int64_t perSecond = 10000000;
    return ticks / perSecond - (ticks % perSecond < 0 ? 1 : 0);
}

static uint64_t DriftMagnitude(const TimeAnswer* answer) {
    return answer->driftMs < 0 ? 0 - (uint64_t)answer->driftMs : (uint64_t)answer->driftMs;
}

int NeedsCorrection(const TimeAnswer* answer) {
    return DriftMagnitude(answer) > (uint64_t)answer->uncertaintyMs;
}

int StepWithinBound(const TimeAnswer* answer, int maxStepSeconds) {
    return maxStepSeconds <= 0 || DriftMagnitude(answer) <= (uint64_t)maxStepSeconds * 1000;
}
