#include "core/setting_rules.h"

#include <limits.h>
#include <stddef.h>
#include <stdint.h>

#include "core/agreement.h"

const NumberRule kMaxHostRule = {"MaxHost", 99, 0, INT_MAX, 0};
const NumberRule kHostTimeoutRule = {"HostTimeout", 2000, 0, 32767, 0};
const NumberRule kMaxStepRule = {"MaxStep", 0, 0, INT_MAX, 0};
const NumberRule kAgreeRule = {"Agree", 1, 1, kMaxAgree, 0};
const NumberRule kRunEveryRule = {"RunEvery", 60, 15, 1440, 0};
// RFC 5905's limit by default; a domain controller on its own clock says 10 s.
const NumberRule kMaxDistanceRule = {"MaxDistance", 1500, 1, 16000, 1};

// 0: the run's own default (core/agreement.h's SamplesWanted).
const NumberRule kSamplesRule = {"Samples", 0, 1, kMaxSamples, 1};

// Policy values alone: the thresholds, in ms, of the task's runs that only check.
const NumberRule kCheckWarnRule = {"CheckWarn", 0, 1, 86400000, 1};
const NumberRule kCheckCritRule = {"CheckCrit", 0, 1, 86400000, 1};

const char kCheckOnlyPolicy[] = "CheckOnly";
const char kServersPolicyKey[] = "TimeServers";

static int Bounded(const NumberRule* rule, int64_t value) {
    if (value < rule->least)
        return rule->lowIsFallback ? rule->fallback : rule->least;
    return value > rule->most ? rule->most : (int)value;
}

int ChosenNumber(const NumberRule* rule, const int32_t* policy, const char* iniText) {
    return policy != NULL ? Bounded(rule, *policy) : NumberSetting(rule, iniText);
}

int NumberSetting(const NumberRule* rule, const char* text) {
    if (text == NULL)
        return rule->fallback;
    while (*text == ' ' || *text == '\t')
        text++;
    if (*text == '\0')
        return rule->fallback;
    int negative = *text == '-';
    text += negative || *text == '+';
    int64_t value = 0;
    // Past the bounds the digits no longer matter: the value stops growing.
    for (; *text >= '0' && *text <= '9'; text++)
        if (value <= INT_MAX)
            value = value * 10 + (*text - '0');
    return Bounded(rule, negative ? -value : value);
}
