// The Montgomery exponentiation of a one-digit base must give exactly what
// the plain bn_mod_exp gives, for odd and even moduli, short and full-length
// ones, every base the prime test uses and bases too large for the short
// multiply.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crypto/bignum/bn_mont.h"

namespace {

using Num = std::vector<BnDigit>;

Num random_number(std::mt19937_64& rng, uint32_t n, uint32_t significant) {
    Num a(n, 0);
    for (uint32_t i = 0; i < significant; ++i)
        a[i] = static_cast<BnDigit>(rng());
    if (significant > 0 && a[significant - 1] == 0)
        a[significant - 1] = 1;
    return a;
}

struct Shape {
    uint32_t d_digits;     // buffer length of modulus and result
    uint32_t significant;  // significant digits of the modulus
    uint32_t c_digits;     // exponent length
    bool odd;
};

TEST(BnModExpDigit, AgreesWithPlainExponentiation) {
    const Shape shapes[] = {
        {1, 1, 1, true},   {2, 1, 2, true},   {2, 2, 1, true},   {2, 2, 2, false},
        {3, 3, 3, true},   {4, 3, 4, true},   {5, 5, 2, true},   {8, 8, 8, true},
        {9, 9, 9, false},  {16, 16, 3, true}, {17, 17, 2, true}, {33, 32, 1, true},
        {65, 65, 2, true}, {65, 64, 1, true},
    };
    const BnDigit bases[] = {0, 1, 2, 3, 5, 16, 17, 0xFFFFFFFF};
    std::mt19937_64 rng(42);
    for (const Shape& s : shapes) {
        for (BnDigit base : bases) {
            Num d = random_number(rng, s.d_digits, s.significant);
            d[0] = s.odd ? (d[0] | 1) : (d[0] & ~1u);
            if (bn_is_zero(d.data(), s.d_digits))
                d[0] = 2;
            Num c = random_number(rng, s.c_digits, 1 + static_cast<uint32_t>(rng() % s.c_digits));
            Num b(s.d_digits, 0);
            b[0] = base;
            Num want(s.d_digits), got(s.d_digits, 0xEEEEEEEE);
            bn_mod_exp(want.data(), b.data(), c.data(), s.c_digits, d.data(), s.d_digits);
            bn_mod_exp_digit(got.data(), base, c.data(), s.c_digits, d.data(), s.d_digits);
            EXPECT_EQ(got, want) << "digits " << s.d_digits << " base " << base;
        }
    }
}

TEST(BnModExpDigit, FullLengthExponentAndAliasing) {
    // The probable-prime test raises to the modulus itself: c = d, result in place.
    std::mt19937_64 rng(7);
    for (uint32_t n : {2u, 16u, 32u}) {
        Num d = random_number(rng, n, n);
        d[0] |= 1;
        for (BnDigit base : {2u, 3u, 5u}) {
            Num b(n, 0);
            b[0] = base;
            Num want(n);
            bn_mod_exp(want.data(), b.data(), d.data(), n, d.data(), n);
            Num got = d;
            bn_mod_exp_digit(got.data(), base, got.data(), n, got.data(), n);
            EXPECT_EQ(got, want) << n << " " << base;
        }
    }
}

TEST(BnModExpDigit, ZeroExponentGivesOne) {
    const BnDigit zero[3] = {0, 0, 0};
    for (BnDigit low : {1u, 3u, 4u}) {
        const BnDigit d[3] = {low, 0, low == 4 ? 0u : 1u};
        BnDigit a[3] = {9, 9, 9};
        bn_mod_exp_digit(a, 7, zero, 3, d, 3);
        EXPECT_EQ(a[0], 1u);
        EXPECT_EQ(a[1] | a[2], 0u);
    }
}

}  // namespace
