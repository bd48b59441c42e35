#include "app/agreement.h"

// Half the interval's width. A whole-second count is cut down to its second
// by the server, and the PC clock to its own when it is read: the drift
// they give may be a second off either way.
static int64_t Spread(const TimeAnswer* answer) {
    return answer->fine ? answer->uncertaintyMs : 1000;
}

static int Contains(const TimeAnswer* answer, int64_t drift) {
    return answer->driftMs - Spread(answer) <= drift && drift <= answer->driftMs + Spread(answer);
}

// The point where most intervals meet can be taken at one of their lower
// ends: each is tried, and the answers whose interval holds it counted.
int AgreedAnswer(AskedHost* hosts, int count, int wanted) {
    int best = -1, bestSize = 0;
    int64_t bestPoint = 0;
    for (int i = 0; i < count; i++) {
        if (!hosts[i].answered)
            continue;
        int64_t point = hosts[i].answer.driftMs - Spread(&hosts[i].answer);
        int size = 0, precise = -1;
        for (int j = 0; j < count; j++) {
            if (!hosts[j].answered || !Contains(&hosts[j].answer, point))
                continue;
            size++;
            if (precise < 0 || Spread(&hosts[j].answer) < Spread(&hosts[precise].answer))
                precise = j;
        }
        if (size > bestSize ||
            (size == bestSize && Spread(&hosts[precise].answer) < Spread(&hosts[best].answer))) {
            best = precise;
            bestSize = size;
            bestPoint = point;
        }
    }
    for (int i = 0; i < count; i++)
        hosts[i].agreed = hosts[i].answered && Contains(&hosts[i].answer, bestPoint);
    return bestSize * 2 > wanted ? best : -1;
}
