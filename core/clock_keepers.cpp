#include "core/clock_keepers.h"

#include <stddef.h>

static char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

static int SameWord(const char* text, const char* lowerWord) {
    while (*text != '\0' && Lower(*text) == *lowerWord) {
        text++;
        lowerWord++;
    }
    return *text == '\0' && *lowerWord == '\0';
}

// As Windows Time reads them: the policy's value wins where it sets one.
static const char* EffectiveType(const WindowsTimeSettings* settings) {
    return settings->policyType[0] != '\0' ? settings->policyType : settings->serviceType;
}

static int ClientEnabled(const WindowsTimeSettings* settings) {
    int enabled = settings->policyClientEnabled != -1 ? settings->policyClientEnabled
                                                      : settings->serviceClientEnabled;
    return enabled != 0 && settings->start != 4;
}

int WindowsTimeTakesNetworkTime(const WindowsTimeSettings* settings) {
    const char* type = EffectiveType(settings);
    return type[0] != '\0' && !SameWord(type, "nosync") && ClientEnabled(settings);
}

DomainHold DomainHoldOf(const char* productType, const WindowsTimeSettings* settings) {
    if (SameWord(productType, "lanmannt"))
        return kDomainController;
    const char* type = EffectiveType(settings);
    return (SameWord(type, "nt5ds") || SameWord(type, "allsync")) && ClientEnabled(settings)
               ? kDomainHierarchy
               : kDomainNone;
}

TaskMode TaskModeOf(const int32_t* checkOnlyPolicy, DomainHold hold) {
    if (checkOnlyPolicy != NULL)
        return *checkOnlyPolicy == 0 ? kTaskCorrectsByPolicy : kTaskChecksByPolicy;
    return hold == kDomainController  ? kTaskChecksAsController
           : hold == kDomainHierarchy ? kTaskChecksUnderHierarchy
                                      : kTaskCorrects;
}

int TaskOnlyChecks(TaskMode mode) {
    return mode == kTaskChecksAsController || mode == kTaskChecksUnderHierarchy ||
           mode == kTaskChecksByPolicy;
}
