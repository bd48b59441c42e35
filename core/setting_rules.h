// The numbers of the configuration: each key's default and bounds, and how
// a value written for it reads, in the INI or as a Group Policy value.
#pragma once

#include <stdint.h>

struct NumberRule {
    const char* key;   // in the section "Time Servers"
    int fallback;      // when the key is absent or empty
    int least, most;   // a value beyond them reads as the nearest
    int lowIsFallback; // 1: below `least` reads as the fallback instead
};

extern const NumberRule kMaxHostRule;     // Host0 to Host(MaxHost - 1) are read; 0: none
extern const NumberRule kHostTimeoutRule; // ms per answer; a signed 16-bit count for the channel
extern const NumberRule kMaxStepRule;     // seconds an unattended run may step; 0: no bound
extern const NumberRule kAgreeRule;       // answers a run wants before it decides
extern const NumberRule kRunEveryRule;    // minutes between the task's runs
extern const NumberRule kMaxDistanceRule; // ms of root distance an SNTP answer may have
extern const NumberRule kSamplesRule;     // SNTP requests per server; 0: the run's default
extern const NumberRule kCheckWarnRule;   // policy only: ms beyond which a checking task warns
extern const NumberRule kCheckCritRule;   // and beyond which its event is an error; 0: none

// The value of a key whose text is `text` (NULL when absent), read as the
// profile calls read a number: blanks, a sign and decimal digits, anything
// after them ignored, no digits 0; then bounded by its rule.
int NumberSetting(const NumberRule* rule, const char* text);

// The value of a key set as a policy (a REG_DWORD, read as signed: 0xFFFFFFFF
// is -1) when `policy` is not NULL, else as the INI writes it: a policy
// overrides the INI key by key.
int ChosenNumber(const NumberRule* rule, const int32_t* policy, const char* iniText);

// Policy values beside the numbers: 1 makes every run of the task a /check;
// the servers, "Host1", "Host2", ..., in a subkey of their own.
extern const char kCheckOnlyPolicy[];
extern const char kServersPolicyKey[];
