// The Montgomery exponentiations must give exactly what the plain bn_mod_exp
// gives, on both sets of machine routines (the ADX one where the processor has
// it): a one-digit base for odd and even moduli, short and full-length ones,
// every base the prime test uses and bases too large for the short multiply;
// any base, including bases not below the modulus, with the general one.
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

// Runs `body` once per set of machine routines the processor has, then
// goes back to the one chosen at start.
template <typename Body>
void on_each_kernel_set(Body body) {
    const BnMontKernels initial = bn_mont_kernels();
    for (BnMontKernels kernels : {BnMontKernels::Portable, BnMontKernels::Adx}) {
        if (!bn_mont_use_kernels(kernels))
            continue;
        SCOPED_TRACE(kernels == BnMontKernels::Adx ? "ADX routines" : "portable routines");
        body();
    }
    ASSERT_TRUE(bn_mont_use_kernels(initial));
}

TEST(BnModExpDigit, AgreesWithPlainExponentiation) {
    on_each_kernel_set([] {
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
                Num c =
                    random_number(rng, s.c_digits, 1 + static_cast<uint32_t>(rng() % s.c_digits));
                Num b(s.d_digits, 0);
                b[0] = base;
                Num want(s.d_digits), got(s.d_digits, 0xEEEEEEEE);
                bn_mod_exp(want.data(), b.data(), c.data(), s.c_digits, d.data(), s.d_digits);
                bn_mod_exp_digit(got.data(), base, c.data(), s.c_digits, d.data(), s.d_digits);
                EXPECT_EQ(got, want) << "digits " << s.d_digits << " base " << base;
            }
        }
    });
}

TEST(BnModExpDigit, FullLengthExponentAndAliasing) {
    on_each_kernel_set([] {
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
    });
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

namespace {

// Moduli whose limbs are all ones or nearly so push every carry of the rows
// to the end: 2^k - 1 and 2^k - 3 for a number of lengths.
Num ones_modulus(uint32_t n, BnDigit low) {
    Num d(n, 0xFFFFFFFF);
    d[0] = low;
    return d;
}

TEST(BnModExpOdd, AgreesWithPlainExponentiation) {
    const Shape shapes[] = {
        {1, 1, 1, true},   {2, 1, 2, true},    {2, 2, 1, true},   {2, 2, 2, false},
        {3, 3, 3, true},   {4, 4, 4, true},    {7, 6, 7, true},   {8, 8, 8, true},
        {9, 9, 9, false},  {16, 16, 16, true}, {17, 17, 3, true}, {32, 32, 32, true},
        {33, 33, 2, true}, {64, 63, 2, true},  {65, 65, 1, true},
    };
    on_each_kernel_set([&] {
        std::mt19937_64 rng(11);
        for (const Shape& s : shapes) {
            for (int kind = 0; kind < 5; ++kind) {
                Num d = kind == 4 ? ones_modulus(s.d_digits, s.odd ? 0xFFFFFFFD : 0xFFFFFFFE)
                                  : random_number(rng, s.d_digits, s.significant);
                d[0] = s.odd ? (d[0] | 1) : (d[0] & ~1u);
                if (bn_is_zero(d.data(), s.d_digits))
                    d[0] = 2;
                // Bases: random (possibly not below d), zero, one, d - 1.
                Num b = random_number(rng, s.d_digits, s.d_digits);
                if (kind == 1)
                    b.assign(s.d_digits, 0);
                if (kind == 2)
                    b = Num(s.d_digits, 0), b[0] = 1;
                if (kind == 3 || kind == 4) {
                    Num one(s.d_digits, 0);
                    one[0] = 1;
                    bn_sub(b.data(), d.data(), one.data(), s.d_digits);
                }
                Num c = kind == 4 ? Num(s.c_digits, 0xFFFFFFFF)
                                  : random_number(rng, s.c_digits,
                                                  1 + static_cast<uint32_t>(rng() % s.c_digits));
                Num want(s.d_digits), got(s.d_digits, 0xEEEEEEEE);
                bn_mod_exp(want.data(), b.data(), c.data(), s.c_digits, d.data(), s.d_digits);
                bn_mod_exp_odd(got.data(), b.data(), c.data(), s.c_digits, d.data(), s.d_digits);
                EXPECT_EQ(got, want) << "digits " << s.d_digits << " kind " << kind;
            }
        }
    });
}

TEST(BnModExpOdd, ZeroExponentAliasingAndExponentLengths) {
    on_each_kernel_set([] {
        std::mt19937_64 rng(3);
        for (uint32_t n : {2u, 5u, 16u, 32u}) {
            Num d = random_number(rng, n, n);
            d[0] |= 1;
            Num b = random_number(rng, n, n);
            // A zero exponent gives 1, whatever the base.
            Num zero(n, 0), one(n, 0), got(n, 7);
            one[0] = 1;
            bn_mod_exp_odd(got.data(), b.data(), zero.data(), n, d.data(), n);
            EXPECT_EQ(got, one);
            // Exponents of 1 to 12 bits (a single window or two) and every
            // length to two digits above the modulus, result in place of the
            // base, then of the exponent.
            for (uint32_t bits : {1u, 2u, 4u, 5u, 6u, 10u, 11u, 12u, 32u * n + 64}) {
                uint32_t cn = (bits + 31) / 32;
                Num c = random_number(rng, cn, cn);
                if (bits % 32 != 0)
                    c[cn - 1] &= (1u << (bits % 32)) - 1;
                c[(bits - 1) / 32] |= 1u << ((bits - 1) % 32);
                Num want(n);
                bn_mod_exp(want.data(), b.data(), c.data(), cn, d.data(), n);
                Num in_base = b;
                bn_mod_exp_odd(in_base.data(), in_base.data(), c.data(), cn, d.data(), n);
                EXPECT_EQ(in_base, want) << n << " " << bits;
                if (cn >= n) {
                    Num in_exponent = c;
                    bn_mod_exp_odd(in_exponent.data(), b.data(), in_exponent.data(), cn, d.data(),
                                   n);
                    EXPECT_EQ(Num(in_exponent.begin(), in_exponent.begin() + n), want);
                }
            }
        }
    });
}

}  // namespace
