// Who else keeps this PC's clock, judged as Windows judges it, and what the
// task's runs may do about it: never fight the domain's time keeping.
#pragma once

#include <stdint.h>

// Windows Time's configuration as the registry holds it: the policy's
// values (HKLM\SOFTWARE\Policies\Microsoft\W32Time) and the service's own.
// A text is "" and a number -1 when absent.
struct WindowsTimeSettings {
    const char* policyType; // Parameters\Type
    const char* serviceType;
    int policyClientEnabled; // TimeProviders\NtpClient\Enabled
    int serviceClientEnabled;
    int start; // the service's Start; 4 is disabled
};

// 1 when Windows Time takes network time by its effective configuration:
// each value the policy's where it sets one, else the service's; a Type
// other than NoSync, its NTP client not turned off, the service not disabled.
int WindowsTimeTakesNetworkTime(const WindowsTimeSettings* settings);

// Where the domain governs this clock.
enum DomainHold {
    kDomainNone,
    kDomainController, // ProductType LanmanNT: the clock the whole domain follows
    kDomainHierarchy,  // Windows Time follows the domain hierarchy (NT5DS, AllSync)
};

DomainHold DomainHoldOf(const char* productType, const WindowsTimeSettings* settings);

// What the task's runs do, and why.
enum TaskMode {
    kTaskCorrects,             // nothing against it
    kTaskChecksAsController,   // the domain's rule, CheckOnly not configured
    kTaskChecksUnderHierarchy, // the same
    kTaskChecksByPolicy,       // CheckOnly = 1 (or any value but 0)
    kTaskCorrectsByPolicy,     // CheckOnly = 0, whatever the domain
};

// `checkOnlyPolicy` is NULL when the policy is not configured.
TaskMode TaskModeOf(const int32_t* checkOnlyPolicy, DomainHold hold);

// 1 when the task's runs of this mode never correct.
int TaskOnlyChecks(TaskMode mode);
