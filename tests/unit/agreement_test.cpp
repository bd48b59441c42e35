#include "core/agreement.h"
#include "core/setting_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An answer as its drift in ms: whole seconds (an interval of +-1 s), or
// fine with its uncertainty; "silent" for a host that gave no time.
struct Given {
    int64_t driftMs;
    int64_t uncertaintyMs;   // -1: whole seconds; -2: no answer
    int64_t roundTripMs = 0; // of a whole-second answer
};
const Given kSilent = {0, -2};

Given Whole(int64_t driftMs, int64_t roundTripMs = 0) {
    return {driftMs, -1, roundTripMs};
}

TEST(AgreedAnswer, SettlesOnTheMostPreciseAnswerOfAMajority) {
    const struct {
        const char* what;
        std::vector<Given> answers;
        int wanted;
        int chosen;         // -1: no majority
        std::string agreed; // one letter an answer: 1 in the group
    } cases[] = {
        {"one wanted: the one answer", {Whole(90000)}, 1, 0, "1"},
        {"a falseticker first", {Whole(-3600000), {90250, 41}, Whole(90000)}, 3, 1, "011"},
        {"a falseticker in the middle", {{90250, 41}, Whole(-3600000), Whole(90000)}, 3, 0, "101"},
        {"a falseticker last", {Whole(90000), {90250, 41}, {5000000, 12}}, 3, 1, "110"},
        {"three apart: no majority", {Whole(0), Whole(5000), Whole(10000)}, 3, -1, "100"},
        {"two of three wanted, the third silent",
         {Whole(90000), {90250, 41}, kSilent},
         3,
         1,
         "110"},
        {"one of three wanted: no majority", {Whole(90000), kSilent, kSilent}, 3, -1, "100"},
        {"two of four is no majority",
         {Whole(0), Whole(0), Whole(9000), Whole(9000)},
         4,
         -1,
         "1100"},
        {"touching intervals agree", {Whole(0), Whole(2000)}, 2, 0, "11"},
        {"a millisecond further apart they do not", {Whole(0), Whole(2001)}, 2, -1, "10"},
        {"equally precise: the first asked",
         {Whole(90000), Whole(90000), Whole(90000)},
         3,
         0,
         "111"},
        {"mixed precisions: the most precise",
         {Whole(90000), {90100, 200}, {90250, 41}},
         3,
         2,
         "111"},
        {"two majorities of one size that point apart: no agreement",
         {{5000, 5000}, {500, 500}, {9900, 100}},
         3,
         -1,
         "101"},
        {"two majorities of one size, +0.9 s and -0.9 s: no agreement",
         {Whole(0), {900, 50}, {-900, 50}},
         3,
         -1,
         "110"},
        // The whole-second answer's group is found at its own lower end: the split
        // must be judged on each group's most precise answer, not on it.
        {"a whole second between -1.000 and +0.975 that do not meet: no agreement",
         {Whole(0), {-1000, 50}, {975, 25}},
         3,
         -1,
         "101"},
        {"a count read during an 80 ms round trip each way meets SNTP's -50 ms",
         {{-50, 45}, Whole(1000, 160)},
         2,
         0,
         "11"},
        {"the round trip widens only towards a PC further behind",
         {{2050, 45}, Whole(1000, 160)},
         2,
         -1,
         "10"},
        {"a majority of the answers wanted, not of the hosts asked",
         {kSilent, Whole(0), Whole(0), Whole(9000)},
         3,
         1,
         "0110"},
    };
    for (const auto& c : cases) {
        std::vector<AskedHost> hosts(c.answers.size());
        for (size_t i = 0; i < c.answers.size(); i++) {
            hosts[i] = {};
            hosts[i].answered = c.answers[i].uncertaintyMs != -2;
            hosts[i].answer.driftMs = c.answers[i].driftMs;
            hosts[i].answer.fine = c.answers[i].uncertaintyMs >= 0;
            hosts[i].answer.uncertaintyMs = hosts[i].answer.fine ? c.answers[i].uncertaintyMs : 0;
            hosts[i].answer.roundTripMs = c.answers[i].roundTripMs;
        }
        EXPECT_EQ(AgreedAnswer(hosts.data(), (int)hosts.size(), c.wanted), c.chosen) << c.what;
        std::string agreed;
        for (const AskedHost& host : hosts)
            agreed += host.agreed ? '1' : '0';
        EXPECT_EQ(agreed, c.agreed) << c.what;
    }
}

// Of a burst, the sample whose round trip was shortest: the earlier of
// equals, never one that was refused.
TEST(LeastDelayed, KeepsTheSampleThatWaitedLeast) {
    const struct {
        const char* what;
        std::vector<int64_t> roundTrips; // -1: a refused sample
        int kept;
    } cases[] = {
        {"one sample", {80}, 0},
        {"the shortest, last", {95, 120, 41}, 2},
        {"of equals, the earlier", {60, 41, 41}, 1},
        {"a refused sample, however short, never", {50, -1, 70}, 0},
        {"none usable", {-1, -1}, -1},
        {"nothing asked", {}, -1},
    };
    for (const auto& c : cases) {
        std::vector<TimeAnswer> samples(c.roundTrips.size() + 1);
        std::vector<int> usable(c.roundTrips.size() + 1);
        for (size_t i = 0; i < c.roundTrips.size(); i++) {
            usable[i] = c.roundTrips[i] >= 0;
            samples[i].roundTripMs = usable[i] ? c.roundTrips[i] : 0;
        }
        EXPECT_EQ(LeastDelayed(samples.data(), usable.data(), (int)c.roundTrips.size()), c.kept)
            << c.what;
    }
}

// Samples: 4 for the task's runs, which nobody waits for, 1 for any other,
// a value set for every run, from 1 to 8.
TEST(SamplesWanted, DefaultsByTheRunsKind) {
    const struct {
        const char* iniText;
        int scheduled, wanted;
    } cases[] = {
        {nullptr, 1, 4}, {nullptr, 0, 1}, {"0", 1, 4}, {"-3", 0, 1},
        {"1", 1, 1},     {"8", 0, 8},     {"9", 1, 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SamplesWanted(NumberSetting(&kSamplesRule, c.iniText), c.scheduled), c.wanted)
            << (c.iniText ? c.iniText : "(absent)") << " scheduled " << c.scheduled;
}

} // namespace
