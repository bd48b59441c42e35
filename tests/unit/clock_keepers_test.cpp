#include "core/clock_keepers.h"

#include <gtest/gtest.h>

namespace {

// Windows Time's effective configuration: the policy's value wins where it
// sets one; a disabled service or client takes no time at all.
TEST(WindowsTime, JudgedByItsEffectiveConfiguration) {
    const struct {
        WindowsTimeSettings settings;
        int takesNetworkTime;
        DomainHold hold; // on a member server or PC (ProductType ServerNT / WinNT)
    } cases[] = {
        {{"", "NTP", -1, -1, 3}, 1, kDomainNone},
        {{"", "NT5DS", -1, -1, 3}, 1, kDomainHierarchy},
        {{"", "allsync", -1, 1, 2}, 1, kDomainHierarchy},
        {{"", "NoSync", -1, -1, 3}, 0, kDomainNone},
        {{"", "", -1, -1, 3}, 0, kDomainNone},
        {{"NoSync", "NT5DS", -1, -1, 3}, 0, kDomainNone},      // the policy turns it off
        {{"NT5DS", "NoSync", -1, -1, 3}, 1, kDomainHierarchy}, // and on
        {{"", "NT5DS", -1, -1, 4}, 0, kDomainNone},            // the service disabled
        {{"", "NT5DS", -1, 0, 3}, 0, kDomainNone},             // its client off
        {{"", "NT5DS", 0, 1, 3}, 0, kDomainNone},              // off by policy
        {{"", "NT5DS", 1, 0, 3}, 1, kDomainHierarchy},         // on by policy
        {{"", "NTP", -1, -1, -1}, 1, kDomainNone},             // no Start: not disabled
    };
    for (const auto& c : cases) {
        const WindowsTimeSettings& s = c.settings;
        EXPECT_EQ(WindowsTimeTakesNetworkTime(&s), c.takesNetworkTime)
            << s.policyType << "/" << s.serviceType << " " << s.policyClientEnabled << " "
            << s.serviceClientEnabled << " " << s.start;
        EXPECT_EQ(DomainHoldOf("WinNT", &s), c.hold) << s.policyType << "/" << s.serviceType;
        EXPECT_EQ(DomainHoldOf("LanmanNT", &s), kDomainController);
    }
    WindowsTimeSettings none = {"", "", -1, -1, -1};
    EXPECT_EQ(DomainHoldOf("lanmannt", &none), kDomainController);
    EXPECT_EQ(DomainHoldOf("LanmanNTX", &none), kDomainNone);
    EXPECT_EQ(DomainHoldOf("", &none), kDomainNone);
}

// CheckOnly is three-way: not configured leaves it to the domain's rule.
TEST(TaskModeOf, CheckOnlyNotConfiguredLeavesItToTheDomain) {
    const int32_t zero = 0, one = 1, two = 2;
    const struct {
        const int32_t* policy;
        DomainHold hold;
        TaskMode mode;
        int onlyChecks;
    } cases[] = {
        {nullptr, kDomainNone, kTaskCorrects, 0},
        {nullptr, kDomainController, kTaskChecksAsController, 1},
        {nullptr, kDomainHierarchy, kTaskChecksUnderHierarchy, 1},
        {&zero, kDomainController, kTaskCorrectsByPolicy, 0},
        {&zero, kDomainHierarchy, kTaskCorrectsByPolicy, 0},
        {&one, kDomainNone, kTaskChecksByPolicy, 1},
        {&two, kDomainNone, kTaskChecksByPolicy, 1},
    };
    for (const auto& c : cases) {
        TaskMode mode = TaskModeOf(c.policy, c.hold);
        EXPECT_EQ(mode, c.mode) << (c.policy ? *c.policy : -1) << " " << c.hold;
        EXPECT_EQ(TaskOnlyChecks(mode), c.onlyChecks) << mode;
    }
}

} // namespace
