#include "core/agreement.h"

// Half the interval's width. A whole-second count is cut down to its second
// by the server, and the PC clock to its own when it is read: the drift
// they give may be a second off either way.
static int64_t Spread(const TimeAnswer* answer) {
    return answer->fine ? answer->uncertaintyMs : 1000;
}

// A whole-second count was read at the server some time during the round
// trip, not as it ended: the PC may have been that much further behind.
static int64_t Low(const TimeAnswer* answer) {
    return answer->driftMs - Spread(answer) - (answer->fine ? 0 : answer->roundTripMs);
}

static int64_t High(const TimeAnswer* answer) {
    return answer->driftMs + Spread(answer);
}

static int Contains(const TimeAnswer* answer, int64_t drift) {
    return Low(answer) <= drift && drift <= High(answer);
}

static int Meet(const TimeAnswer* a, const TimeAnswer* b) {
    return Low(a) <= High(b) && Low(b) <= High(a);
}

int Majority(int wanted) {
    return wanted / 2 + 1;
}

int AnswerCount(const AskedHost* hosts, int count) {
    int answers = 0;
    for (int i = 0; i < count; i++)
        answers += hosts[i].answered;
    return answers;
}

// The answers whose interval holds `point`: how many, and the most precise
// of them (the first asked of equals) in *precise.
static int GroupAt(const AskedHost* hosts, int count, int64_t point, int* precise) {
    int size = 0;
    *precise = -1;
    for (int j = 0; j < count; j++) {
        if (!hosts[j].answered || !Contains(&hosts[j].answer, point))
            continue;
        size++;
        if (*precise < 0 || Spread(&hosts[j].answer) < Spread(&hosts[*precise].answer))
            *precise = j;
    }
    return size;
}

// The point where most intervals meet can be taken at one of their lower
// ends: each is tried, and the answers whose interval holds it counted.
int AgreedAnswer(AskedHost* hosts, int count, int wanted) {
    int best = -1, bestSize = 0, precise;
    int64_t bestPoint = 0;
    for (int i = 0; i < count; i++) {
        if (!hosts[i].answered)
            continue;
        int64_t point = Low(&hosts[i].answer);
        int size = GroupAt(hosts, count, point, &precise);
        if (size > bestSize ||
            (size == bestSize && Spread(&hosts[precise].answer) < Spread(&hosts[best].answer))) {
            best = precise;
            bestSize = size;
            bestPoint = point;
        }
    }
    // Another group as large whose answer points elsewhere: the host order
    // alone would choose between them, so neither is agreed.
    int split = 0;
    for (int i = 0; i < count; i++)
        if (hosts[i].answered &&
            GroupAt(hosts, count, Low(&hosts[i].answer), &precise) == bestSize &&
            !Meet(&hosts[precise].answer, &hosts[best].answer))
            split = 1;
    for (int i = 0; i < count; i++)
        hosts[i].agreed = hosts[i].answered && Contains(&hosts[i].answer, bestPoint);
    return bestSize >= Majority(wanted) && !split ? best : -1;
}

int SamplesWanted(int setting, int scheduled) {
    return setting > 0 ? setting : scheduled ? 4 : 1;
}

int LeastDelayed(const TimeAnswer* samples, const int* usable, int count) {
    int best = -1;
    for (int i = 0; i < count; i++)
        if (usable[i] && (best < 0 || samples[i].roundTripMs < samples[best].roundTripMs))
            best = i;
    return best;
}
