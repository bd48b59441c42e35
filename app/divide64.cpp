// 64-bit division for the x86 build, which has no instruction for it: the
// compiler calls these for every int64_t / and %. libgcc's own are fast and
// take 2 KB of a 48 KiB exe, for a few dozen divisions a run; these are one
// loop, slow and small.
#include <stdint.h>

extern "C" {

uint64_t __udivmoddi4(uint64_t n, uint64_t d, uint64_t* remainder) {
    uint64_t quotient = 0, rest = 0;
    for (int bit = 63; bit >= 0; bit--) {
        rest = rest << 1 | (n >> bit & 1);
        if (rest >= d) {
            rest -= d;
            quotient |= (uint64_t)1 << bit;
        }
    }
    if (remainder != 0)
        *remainder = rest;
    return quotient;
}

uint64_t __udivdi3(uint64_t n, uint64_t d) {
    return __udivmoddi4(n, d, 0);
}

uint64_t __umoddi3(uint64_t n, uint64_t d) {
    uint64_t rest;
    __udivmoddi4(n, d, &rest);
    return rest;
}

// Rounded toward zero, the remainder taking the dividend's sign, as C has it.
int64_t __divmoddi4(int64_t n, int64_t d, int64_t* remainder) {
    uint64_t rest, quotient = __udivmoddi4(n < 0 ? 0 - (uint64_t)n : (uint64_t)n,
                                           d < 0 ? 0 - (uint64_t)d : (uint64_t)d, &rest);
    if (remainder != 0)
        *remainder = n < 0 ? (int64_t)(0 - rest) : (int64_t)rest;
    return (n < 0) != (d < 0) ? (int64_t)(0 - quotient) : (int64_t)quotient;
}

int64_t __divdi3(int64_t n, int64_t d) {
    return __divmoddi4(n, d, 0);
}

int64_t __moddi3(int64_t n, int64_t d) {
    int64_t rest;
    __divmoddi4(n, d, &rest);
    return rest;
}
}
