// The x86 build's own 64-bit division, against the native one's.
#include <gtest/gtest.h>

#include <stdint.h>

extern "C" {
int64_t __divmoddi4(int64_t n, int64_t d, int64_t* remainder);
int64_t __divdi3(int64_t n, int64_t d);
int64_t __moddi3(int64_t n, int64_t d);
uint64_t __udivdi3(uint64_t n, uint64_t d);
uint64_t __umoddi3(uint64_t n, uint64_t d);
}

TEST(Divide64, AgreesWithTheNativeOperators) {
    const int64_t values[] = {0,
                              1,
                              -1,
                              7,
                              -7,
                              10000000,
                              -10000000,
                              4294967296,
                              86400000,
                              -1796083200123,
                              INT64_MAX,
                              INT64_MIN + 1,
                              0x123456789ABCDEF,
                              -0x123456789ABCDEF};
    for (int64_t n : values) {
        for (int64_t d : values) {
            if (d == 0)
                continue;
            int64_t remainder;
            EXPECT_EQ(__divmoddi4(n, d, &remainder), n / d) << n << " / " << d;
            EXPECT_EQ(remainder, n % d) << n << " % " << d;
            EXPECT_EQ(__divdi3(n, d), n / d) << n << " / " << d;
            EXPECT_EQ(__moddi3(n, d), n % d) << n << " % " << d;
            EXPECT_EQ(__udivdi3((uint64_t)n, (uint64_t)d), (uint64_t)n / (uint64_t)d);
            EXPECT_EQ(__umoddi3((uint64_t)n, (uint64_t)d), (uint64_t)n % (uint64_t)d);
        }
    }
}
