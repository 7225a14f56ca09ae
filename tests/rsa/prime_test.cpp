// The small-prime table, the probable-prime test on numbers whose fate is
// known, the prime search's range handling and the exponent filter.
#include <gtest/gtest.h>

#include <vector>

#include "crypto/rsa/rsa_keygen.h"
#include "tests/rsa/seeded_pool.h"

namespace {

using Num = std::vector<BnDigit>;

Num number(uint64_t v, uint32_t n) {
    Num a(n, 0);
    a[0] = static_cast<BnDigit>(v);
    if (n > 1)
        a[1] = static_cast<BnDigit>(v >> 32);
    return a;
}

bool is_prime_by_trial(uint32_t v) {
    if (v < 2)
        return false;
    for (uint32_t d = 2; d * d <= v; ++d) {
        if (v % d == 0)
            return false;
    }
    return true;
}

TEST(SmallPrimes, EveryOddPrimeBelow8192InOrderThenZero) {
    EXPECT_EQ(rsa_small_primes[0], 3);
    EXPECT_EQ(rsa_small_primes[RSA_SMALL_PRIME_COUNT - 1], 8191);
    EXPECT_EQ(rsa_small_primes[RSA_SMALL_PRIME_COUNT], 0);
    std::vector<uint16_t> expected;
    for (uint32_t v = 3; v < 8192; v += 2) {
        if (is_prime_by_trial(v))
            expected.push_back(static_cast<uint16_t>(v));
    }
    ASSERT_EQ(expected.size(), RSA_SMALL_PRIME_COUNT);
    EXPECT_EQ(std::vector<uint16_t>(rsa_small_primes.begin(), rsa_small_primes.end() - 1),
              expected);
}

// (6k+1)(12k+1)(18k+1) with all three factors prime is a Carmichael number:
// it passes every Fermat test with a base coprime to it.
Num carmichael(uint64_t k, uint32_t n) {
    Num f1 = number(6 * k + 1, n), f2 = number(12 * k + 1, n), f3 = number(18 * k + 1, n);
    Num t(2 * n), r(2 * n);
    bn_mult(t.data(), f1.data(), f2.data(), n);
    bn_mult(r.data(), t.data(), f3.data(), n);
    r.resize(n);
    return r;
}

TEST(ProbablePrime, NumbersWithKnownOutcome) {
    struct Case {
        uint64_t value;
        int expected;
    } cases[] = {
        {0, 0},
        {1, 0},  // passes trial division, 2^1 mod 1 = 0
        {2, 0},  // not in the odd table; 2^2 mod 2 = 0
        {3, 0},  // a table prime, but 3^3 mod 3 = 0 differs from 3
        {5, 0},  // likewise for base 5
        {7, 1},  // a table prime that passes every base
        {9, 0},
        {8191, 1},  // the last table prime
        {8193, 0},  // 3 * 2731
        {8209, 1},  // the first prime above the table
        {8191ull * 8209, 0},
        {67108859, 1},                 // 2^26 - 5, prime
        {4294967291ull, 1},            // largest prime below 2^32
        {18446744073709551557ull, 1},  // largest prime below 2^64
        {(1ull << 61) - 1, 1},         // Mersenne prime
        // (4^31 - 1)/3 = (2^31 - 1)(2^31 + 1)/3: both factors prime and above
        // the table; a Fermat pseudoprime to bases 2 and 3 but not to 5.
        {0x1555555555555555ull, 0},
        // 3711619793521 = 8521 * 17041 * 25561, a Carmichael number whose
        // factors are all above the table: every Fermat test passes.
        {3711619793521ull, 1},
    };
    for (uint32_t n : {2u, 3u, 8u}) {
        for (const Case& c : cases) {
            Num a = number(c.value, n);
            EXPECT_EQ(rsa_probable_prime(a.data(), n), c.expected) << c.value << " over " << n;
        }
    }
}

TEST(ProbablePrime, LargerPseudoprimes) {
    // 160-bit Carmichael number with three large prime factors: accepted.
    Num c = carmichael(1000000000012481ull, 6);
    EXPECT_EQ(bn_digits(c.data(), 6), 5u);
    EXPECT_EQ(rsa_probable_prime(c.data(), 6), 1);

    // (4^61 - 1)/3 passes bases 2 and 3 only: rejected by the base-5 test.
    Num w(5, 0);
    const uint8_t bytes[] = {0x01, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55,
                             0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
    bn_decode(w.data(), 5, bytes, sizeof bytes);
    EXPECT_EQ(rsa_probable_prime(w.data(), 5), 0);
}

TEST(ExponentFilter, RejectsPrimesWithPMinusOneSharingAFactorWithE) {
    struct Case {
        uint64_t p, e;
        int expected;
    } cases[] = {
        {7, 3, 0},   // 6 shares 3
        {11, 3, 1},  // 10
        {65537 * 2 + 1, 65537, 0},
        {65537 * 4 + 3, 65537, 1},
        {8209, 65537, 1},
    };
    for (const Case& c : cases) {
        Num p = number(c.p, 2), e = number(c.e, 2);
        EXPECT_EQ(rsa_exponent_filter(p.data(), 2, e.data()), c.expected) << c.p;
    }
}

TEST(GeneratePrime, FindsPrimesInsideTheRangeAndStopsAtItsTop) {
    RandomPool pool = seeded_pool(1);
    Num step = number(2, 2);

    // [24, 28] holds no prime: whatever the start, the walk runs out.
    Num lower = number(24, 2), upper = number(28, 2), a(2);
    EXPECT_EQ(rsa_generate_prime(a.data(), lower.data(), upper.data(), step.data(), 2, &pool),
              STATUS_RANGE);

    // [8190, 8210] holds 8191 and 8209.
    lower = number(8190, 2);
    upper = number(8210, 2);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(rsa_generate_prime(a.data(), lower.data(), upper.data(), step.data(), 2, &pool),
                  STATUS_OK);
        EXPECT_TRUE(a[0] == 8191 || a[0] == 8209) << a[0];
    }

    // Step 6: candidates are 1 mod 6.
    Num step6 = number(6, 2);
    lower = number(1000000, 2);
    upper = number(2000000, 2);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(rsa_generate_prime(a.data(), lower.data(), upper.data(), step6.data(), 2, &pool),
                  STATUS_OK);
        EXPECT_EQ(a[0] % 6, 1u);
        EXPECT_TRUE(a[0] >= 1000000 && a[0] <= 2000000 && is_prime_by_trial(a[0])) << a[0];
    }

    RandomPool unseeded;
    rand_init(&unseeded);
    Num untouched = number(77, 2);
    EXPECT_EQ(
        rsa_generate_prime(untouched.data(), lower.data(), upper.data(), step.data(), 2, &unseeded),
        STATUS_NOT_SEEDED);
    EXPECT_EQ(untouched, number(77, 2));
}

}  // namespace
