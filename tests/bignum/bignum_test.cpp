// The plain multi-precision operations: fixed edge behaviours as tables,
// arithmetic against 128-bit machine arithmetic for small numbers and against
// the identities that tie the operations together for large ones.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

#include "crypto/bignum/bignum.h"

namespace {

__extension__ typedef unsigned __int128 u128;

using Num = std::vector<BnDigit>;

u128 to_u128(const BnDigit* a, uint32_t n) {
    u128 v = 0;
    for (uint32_t i = std::min<uint32_t>(n, 4); i-- > 0;)
        v = (v << 32) | a[i];
    return v;
}

// Random numbers whose digits are drawn from a mix that favours the values
// where carries and estimates go wrong: 0, all ones, the top bit alone.
class Numbers {
  public:
    explicit Numbers(uint64_t seed) : rng_(seed) {}

    BnDigit digit() {
        switch (rng_() % 6) {
            case 0:
                return 0;
            case 1:
                return 0xFFFFFFFF;
            case 2:
                return 0x80000000;
            default:
                return static_cast<BnDigit>(rng_());
        }
    }
    // A number of n digits with exactly `significant` significant digits.
    Num make(uint32_t n, uint32_t significant) {
        Num a(n, 0);
        for (uint32_t i = 0; i < significant; ++i)
            a[i] = digit();
        if (significant > 0 && a[significant - 1] == 0)
            a[significant - 1] = 1 + static_cast<BnDigit>(rng_() % 0xFFFFFFFE);
        return a;
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }

  private:
    std::mt19937_64 rng_;
};

TEST(BignumBytes, DecodeAndEncodeFixedCases) {
    const uint8_t three[] = {0x01, 0x02, 0x03};
    BnDigit a[2] = {0xDEAD, 0xBEEF};
    bn_decode(a, 2, three, 3);
    EXPECT_EQ(a[0], 0x00010203u);
    EXPECT_EQ(a[1], 0u);

    // Leading bytes that do not fit are ignored.
    const uint8_t nine[] = {0xAA, 1, 2, 3, 4, 5, 6, 7, 8};
    bn_decode(a, 2, nine, 9);
    EXPECT_EQ(a[0], 0x05060708u);
    EXPECT_EQ(a[1], 0x01020304u);

    // Encoding keeps the len low-order bytes...
    uint8_t out[10];
    const BnDigit value[2] = {0x05060708, 0x01020304};
    bn_encode(out, 3, value, 2);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{6, 7, 8}));
    // ...and pads with leading zeros when len exceeds 4n.
    std::fill(out, out + 10, 0xEE);
    bn_encode(out, 10, value, 2);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 10),
              (std::vector<uint8_t>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));

    // Empty string decodes to zero; zero digits encode to zero bytes.
    bn_decode(a, 2, nullptr, 0);
    EXPECT_EQ(bn_is_zero(a, 2), 1);
    bn_encode(out, 4, value, 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(BignumBytes, RoundTripOfEveryLength) {
    for (uint32_t len = 0; len <= 4 * BN_MAX_DIGITS; ++len) {
        std::vector<uint8_t> in(len), out(len);
        for (uint32_t i = 0; i < len; ++i)
            in[i] = static_cast<uint8_t>(i * 37 + len);
        BnDigit a[BN_MAX_DIGITS];
        bn_decode(a, BN_MAX_DIGITS, in.data(), len);
        bn_encode(out.data(), len, a, BN_MAX_DIGITS);
        EXPECT_EQ(in, out) << len;
    }
}

TEST(BignumBasics, SizesComparisonsAndPowersOfTwo) {
    struct {
        BnDigit d;
        uint32_t bits;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {0xFFFF, 16}, {0x80000000, 32}, {0xFFFFFFFF, 32}};
    for (const auto& c : cases)
        EXPECT_EQ(bn_digit_bits(c.d), c.bits) << c.d;

    const BnDigit x[4] = {5, 0, 7, 0};
    EXPECT_EQ(bn_digits(x, 4), 3u);
    EXPECT_EQ(bn_digits(x, 2), 1u);
    EXPECT_EQ(bn_digits(x, 0), 0u);
    EXPECT_EQ(bn_is_zero(x + 1, 1), 1);
    EXPECT_EQ(bn_is_zero(x, 4), 0);

    const BnDigit y[4] = {6, 0, 7, 0};
    EXPECT_EQ(bn_cmp(x, y, 4), -1);
    EXPECT_EQ(bn_cmp(y, x, 4), 1);
    EXPECT_EQ(bn_cmp(x, x, 4), 0);
    const BnDigit big[2] = {0, 0x80000000}, small[2] = {0xFFFFFFFF, 0x7FFFFFFF};
    EXPECT_EQ(bn_cmp(big, small, 2), 1);  // unsigned digits

    BnDigit p[3];
    bn_assign_2exp(p, 0, 3);
    EXPECT_EQ(p[0], 1u);
    bn_assign_2exp(p, 95, 3);
    EXPECT_EQ(p[2], 0x80000000u);
    EXPECT_EQ(p[0] | p[1], 0u);
    bn_assign_2exp(p, 96, 3);
    EXPECT_EQ(bn_is_zero(p, 3), 1);
}

TEST(BignumAddSub, MatchMachineArithmeticWithCarryAndBorrow) {
    Numbers gen(1);
    for (int i = 0; i < 2000; ++i) {
        Num b = gen.make(4, gen.below(5)), c = gen.make(4, gen.below(5));
        u128 vb = to_u128(b.data(), 4), vc = to_u128(c.data(), 4);
        Num a(4);
        BnDigit carry = bn_add(a.data(), b.data(), c.data(), 4);
        EXPECT_EQ(to_u128(a.data(), 4), vb + vc);
        EXPECT_EQ(carry, (vb + vc < vb) ? 1u : 0u);
        BnDigit borrow = bn_sub(a.data(), b.data(), c.data(), 4);
        EXPECT_EQ(to_u128(a.data(), 4), vb - vc);
        EXPECT_EQ(borrow, vb < vc ? 1u : 0u);
    }
}

TEST(BignumShift, ShiftsOfThirtyTwoOrMoreWriteNothing) {
    for (uint32_t bits : {32u, 33u, 1000u}) {
        const BnDigit b[2] = {0x12345678, 0x9ABCDEF0};
        BnDigit a[2] = {0xAAAAAAAA, 0xBBBBBBBB};
        EXPECT_EQ(bn_lshift(a, b, bits, 2), 0u);
        EXPECT_EQ(a[0], 0xAAAAAAAAu);
        EXPECT_EQ(a[1], 0xBBBBBBBBu);
        EXPECT_EQ(bn_rshift(a, b, bits, 2), 0u);
        EXPECT_EQ(a[0], 0xAAAAAAAAu);
        EXPECT_EQ(a[1], 0xBBBBBBBBu);
    }
}

TEST(BignumShift, ShiftsMatchMachineArithmeticInPlace) {
    Numbers gen(2);
    for (uint32_t bits = 0; bits < 32; ++bits) {
        for (int i = 0; i < 20; ++i) {
            Num b = gen.make(4, 4);
            u128 v = to_u128(b.data(), 4);
            Num a = b;
            BnDigit out = bn_lshift(a.data(), a.data(), bits, 4);
            EXPECT_EQ(to_u128(a.data(), 4), v << bits);
            EXPECT_EQ(out, bits == 0 ? 0u : static_cast<BnDigit>(v >> (128 - bits)));
            a = b;
            out = bn_rshift(a.data(), a.data(), bits, 4);
            EXPECT_EQ(to_u128(a.data(), 4), v >> bits);
            EXPECT_EQ(out, bits == 0 ? 0u : static_cast<BnDigit>(v << (32 - bits)));
        }
    }
}

TEST(BignumDigit, DigitRoutinesMatchMachineArithmetic) {
    Numbers gen(3);
    for (int i = 0; i < 2000; ++i) {
        BnDigit b = gen.digit(), c = gen.digit();
        BnDigit prod[2];
        bn_digit_mult(prod, b, c);
        EXPECT_EQ((static_cast<uint64_t>(prod[1]) << 32) | prod[0], static_cast<uint64_t>(b) * c);

        BnDigit divisor = c == 0 ? 1 : c;
        BnDigit two[2] = {b, static_cast<BnDigit>(gen.digit() % divisor)};
        uint64_t value = (static_cast<uint64_t>(two[1]) << 32) | two[0];
        EXPECT_EQ(bn_digit_div(two, divisor), value / divisor);
    }
    for (int i = 0; i < 500; ++i) {
        Num b = gen.make(3, 3), d = gen.make(3, 3);
        BnDigit k = gen.digit() | 1;  // k = 0 writes nothing; checked below
        Num a(3);
        BnDigit high = bn_sub_digit_mult(a.data(), b.data(), k, d.data(), 3);
        // b - k*d = a - high * 2^96, all exact in 128 bits.
        u128 lhs = to_u128(b.data(), 3) - static_cast<u128>(k) * to_u128(d.data(), 3);
        u128 rhs = to_u128(a.data(), 3) - (static_cast<u128>(high) << 96);
        EXPECT_EQ(lhs, rhs);
    }
    // k = 0 writes nothing.
    const BnDigit b[2] = {1, 2}, d[2] = {3, 4};
    BnDigit a[2] = {9, 9};
    EXPECT_EQ(bn_sub_digit_mult(a, b, 0, d, 2), 0u);
    EXPECT_EQ(a[0], 9u);
    EXPECT_EQ(a[1], 9u);
}

TEST(BignumMult, SmallProductsMatchMachineArithmetic) {
    Numbers gen(4);
    for (int i = 0; i < 2000; ++i) {
        Num b = gen.make(2, gen.below(3)), c = gen.make(2, gen.below(3));
        Num a(4);
        bn_mult(a.data(), b.data(), c.data(), 2);
        EXPECT_EQ(to_u128(a.data(), 4),
                  static_cast<u128>(to_u128(b.data(), 2)) * to_u128(c.data(), 2));
    }
}

// q*d + r == c and r < d, computed with bn_mult and bn_add over double length.
void expect_division_identity(const Num& c, const Num& d, const Num& q, const Num& r,
                              uint32_t c_digits, uint32_t d_digits) {
    ASSERT_LE(c_digits, 2 * BN_MAX_DIGITS);
    EXPECT_EQ(bn_cmp(r.data(), d.data(), d_digits), -1);
    // Multiply in slices: q may be up to 130 digits, d up to 65.
    uint32_t width = std::max(c_digits, d_digits);
    Num acc(2 * width + 2, 0);
    for (uint32_t i = 0; i < c_digits; ++i) {
        uint64_t carry = 0;
        for (uint32_t j = 0; j < d_digits; ++j) {
            uint64_t t = static_cast<uint64_t>(q[i]) * d[j] + acc[i + j] + carry;
            acc[i + j] = static_cast<BnDigit>(t);
            carry = t >> 32;
        }
        for (uint32_t k = i + d_digits; carry != 0; ++k) {
            uint64_t t = static_cast<uint64_t>(acc[k]) + carry;
            acc[k] = static_cast<BnDigit>(t);
            carry = t >> 32;
        }
    }
    Num rr(acc.size(), 0), cc(acc.size(), 0);
    std::copy(r.begin(), r.begin() + d_digits, rr.begin());
    std::copy(c.begin(), c.begin() + c_digits, cc.begin());
    bn_add(acc.data(), acc.data(), rr.data(), static_cast<uint32_t>(acc.size()));
    EXPECT_EQ(acc, cc);
}

TEST(BignumDiv, QuotientAndRemainderSatisfyTheDivisionIdentity) {
    Numbers gen(5);
    for (int i = 0; i < 600; ++i) {
        uint32_t c_digits = 1 + gen.below(2 * BN_MAX_DIGITS);
        uint32_t d_digits = 1 + gen.below(BN_MAX_DIGITS);
        Num c = gen.make(c_digits, gen.below(c_digits + 1));
        Num d = gen.make(d_digits, 1 + gen.below(d_digits));
        Num q(c_digits, 0xEE), r(d_digits, 0xEE);
        bn_div(q.data(), r.data(), c.data(), c_digits, d.data(), d_digits);
        expect_division_identity(c, d, q, r, c_digits, d_digits);
    }
}

TEST(BignumDiv, EstimatesThatNeedSeveralCorrections) {
    // Divisors whose normalised top digit is 0x80000000 with all-ones below
    // make the estimate (which divides by the top digit plus one) fall short
    // the most; all-ones top digits take the other estimate branch.
    const Num divisors[] = {
        {0xFFFFFFFF, 0xFFFFFFFF, 0x80000000}, {0xFFFFFFFF, 0x80000000},
        {0xFFFFFFFF, 0xFFFFFFFF, 0x00000001}, {0x00000000, 0x00000000, 0xFFFFFFFF},
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, {0x00000001, 0x00000000, 0x80000000}};
    const Num dividends[] = {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x7FFFFFFF},
                             {0, 0, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF},
                             {0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0x80000000}};
    for (const Num& d : divisors) {
        for (const Num& c : dividends) {
            auto cd = static_cast<uint32_t>(c.size()), dd = static_cast<uint32_t>(d.size());
            Num q(cd), r(dd);
            bn_div(q.data(), r.data(), c.data(), cd, d.data(), dd);
            expect_division_identity(c, d, q, r, cd, dd);
        }
    }
}

TEST(BignumDiv, ZeroDivisorAndShortDividend) {
    const BnDigit c[3] = {1, 2, 3}, zero[2] = {0, 0};
    BnDigit q[3] = {7, 7, 7}, r[2] = {8, 8};
    bn_div(q, r, c, 3, zero, 2);
    EXPECT_EQ(q[0] + q[1] + q[2], 21u);
    EXPECT_EQ(r[0] + r[1], 16u);
    BnDigit m[2] = {9, 9};
    bn_mod(m, c, 3, zero, 2);
    EXPECT_EQ(m[0] + m[1], 18u);
    bn_mod_mult(m, c, c, zero, 2);
    EXPECT_EQ(m[0] + m[1], 18u);

    // Fewer significant digits than the divisor: quotient 0, remainder c.
    const BnDigit small[4] = {5, 6, 0, 0}, d[4] = {1, 2, 3, 0};
    BnDigit q4[4], r4[4];
    bn_div(q4, r4, small, 4, d, 4);
    EXPECT_EQ(bn_is_zero(q4, 4), 1);
    EXPECT_EQ(bn_cmp(r4, small, 4), 0);
}

TEST(BignumMod, DoubleLengthOperandAndDigitRemainder) {
    Numbers gen(6);
    for (int i = 0; i < 200; ++i) {
        Num b = gen.make(2 * BN_MAX_DIGITS, 1 + gen.below(2 * BN_MAX_DIGITS));
        uint32_t dd = 1 + gen.below(BN_MAX_DIGITS);
        Num c = gen.make(dd, dd);
        Num a(dd), q(2 * BN_MAX_DIGITS), r(dd);
        bn_mod(a.data(), b.data(), 2 * BN_MAX_DIGITS, c.data(), dd);
        bn_div(q.data(), r.data(), b.data(), 2 * BN_MAX_DIGITS, c.data(), dd);
        EXPECT_EQ(a, r);

        BnDigit s = gen.digit();
        if (s == 0)
            s = 3;
        Num sd(2 * BN_MAX_DIGITS, 0);
        sd[0] = s;
        Num rs(2 * BN_MAX_DIGITS);
        bn_mod(rs.data(), b.data(), 2 * BN_MAX_DIGITS, sd.data(), 1);
        EXPECT_EQ(bn_mod_digit(b.data(), 2 * BN_MAX_DIGITS, s), rs[0]);
    }
    const BnDigit x[1] = {5};
    EXPECT_EQ(bn_mod_digit(x, 1, 0), 0u);
}

// b^e mod m in 128-bit arithmetic, for m below 2^64.
uint64_t pow_mod_u64(uint64_t b, uint64_t e, uint64_t m) {
    u128 result = 1 % m, base = b % m;
    while (e != 0) {
        if (e & 1)
            result = result * base % m;
        base = base * base % m;
        e >>= 1;
    }
    return static_cast<uint64_t>(result);
}

TEST(BignumModExp, SmallModuliMatchMachineArithmetic) {
    Numbers gen(7);
    for (int i = 0; i < 60; ++i) {
        Num b = gen.make(2, gen.below(3)), c = gen.make(2, 1 + gen.below(2)),
            d = gen.make(2, 1 + gen.below(2));
        Num a(2);
        bn_mod_exp(a.data(), b.data(), c.data(), 2, d.data(), 2);
        uint64_t m = static_cast<uint64_t>(to_u128(d.data(), 2));
        EXPECT_EQ(static_cast<uint64_t>(to_u128(a.data(), 2)),
                  pow_mod_u64(static_cast<uint64_t>(to_u128(b.data(), 2)),
                              static_cast<uint64_t>(to_u128(c.data(), 2)), m));
    }
}

TEST(BignumModExp, ZeroExponentGivesOneUnreducedAndShortTopDigit) {
    const BnDigit zero[2] = {0, 0}, b[2] = {12345, 0};
    for (BnDigit modulus : {1u, 2u, 1000003u}) {
        const BnDigit d[2] = {modulus, 0};
        BnDigit a[2] = {77, 77};
        bn_mod_exp(a, b, zero, 2, d, 2);
        EXPECT_EQ(a[0], 1u);
        EXPECT_EQ(a[1], 0u);
    }
    // Exponent 0x101: only the two low bytes of the top digit are windows.
    const BnDigit e[1] = {0x101};
    const BnDigit d[2] = {0xFFFFFFFB, 0x7};
    BnDigit a[2];
    bn_mod_exp(a, b, e, 1, d, 2);
    uint64_t m = (7ull << 32) | 0xFFFFFFFB;
    EXPECT_EQ((static_cast<uint64_t>(a[1]) << 32) | a[0], pow_mod_u64(12345, 0x101, m));
}

TEST(BignumModExp, LargeModulusExponentsAdd) {
    // b^(x+y) = b^x * b^y mod d over 32 digits, and the result may overwrite
    // any operand.
    Numbers gen(8);
    const uint32_t n = 32;
    Num b = gen.make(n, n), d = gen.make(n, n), x = gen.make(n, n), y = gen.make(n, n - 1);
    d[0] |= 1;
    bn_mod(b.data(), b.data(), n, d.data(), n);
    x[n - 1] &= 0x7FFFFFFF;
    Num s(n), px(n), py(n), ps(n), prod(n);
    bn_add(s.data(), x.data(), y.data(), n);
    bn_mod_exp(px.data(), b.data(), x.data(), n, d.data(), n);
    bn_mod_exp(py.data(), b.data(), y.data(), n, d.data(), n);
    bn_mod_exp(ps.data(), b.data(), s.data(), n, d.data(), n);
    bn_mod_mult(prod.data(), px.data(), py.data(), d.data(), n);
    EXPECT_EQ(prod, ps);

    Num in_place = b;
    bn_mod_exp(in_place.data(), in_place.data(), x.data(), n, d.data(), n);
    EXPECT_EQ(in_place, px);
    in_place = d;
    bn_mod_exp(in_place.data(), b.data(), x.data(), n, in_place.data(), n);
    EXPECT_EQ(in_place, px);
}

TEST(BignumInvGcd, FixedCases) {
    BnDigit a[2];
    const BnDigit three[2] = {3, 0}, seven[2] = {7, 0};
    bn_mod_inv(a, three, seven, 2);
    EXPECT_EQ(a[0], 5u);
    EXPECT_EQ(a[1], 0u);

    const BnDigit f4[2] = {65537, 0}, p16[2] = {65536, 0}, zero[2] = {0, 0};
    bn_gcd(a, f4, p16, 2);
    EXPECT_EQ(a[0], 1u);
    bn_gcd(a, f4, zero, 2);
    EXPECT_EQ(a[0], 65537u);
    bn_gcd(a, zero, f4, 2);
    EXPECT_EQ(a[0], 65537u);
}

TEST(BignumInvGcd, SmallValuesMatchMachineArithmetic) {
    Numbers gen(9);
    for (int i = 0; i < 1000; ++i) {
        Num b = gen.make(2, gen.below(3)), c = gen.make(2, 1 + gen.below(2));
        uint64_t vb = static_cast<uint64_t>(to_u128(b.data(), 2));
        uint64_t vc = static_cast<uint64_t>(to_u128(c.data(), 2));
        Num g(2);
        bn_gcd(g.data(), b.data(), c.data(), 2);
        EXPECT_EQ(static_cast<uint64_t>(to_u128(g.data(), 2)), std::gcd(vb, vc));
        if (std::gcd(vb, vc) == 1 && vc > 1) {
            Num inv(2);
            bn_mod_inv(inv.data(), b.data(), c.data(), 2);
            uint64_t vi = static_cast<uint64_t>(to_u128(inv.data(), 2));
            EXPECT_LT(vi, vc);
            EXPECT_EQ(static_cast<u128>(vb) * vi % vc, 1u) << vb << " " << vc;
        }
    }
}

TEST(BignumInvGcd, LargeInverseAndCommonFactor) {
    Numbers gen(10);
    const uint32_t n = 64;
    for (int i = 0; i < 5; ++i) {
        Num c = gen.make(n, n), b = gen.make(n, n - 3), g(n), inv(n), check(n);
        bn_gcd(g.data(), b.data(), c.data(), n);
        if (bn_digits(g.data(), n) != 1 || g[0] != 1)
            continue;
        bn_mod_inv(inv.data(), b.data(), c.data(), n);
        bn_mod_mult(check.data(), b.data(), inv.data(), c.data(), n);
        EXPECT_EQ(bn_digits(check.data(), n), 1u);
        EXPECT_EQ(check[0], 1u);
        // The result may overwrite the modulus.
        Num alias = c;
        bn_mod_inv(alias.data(), b.data(), alias.data(), n);
        EXPECT_EQ(alias, inv);
    }
    // gcd(x*g, y*g) is a multiple of g.
    Num x = gen.make(n, 20), y = gen.make(n, 20), f = gen.make(n, 10), xf(2 * n), yf(2 * n);
    bn_mult(xf.data(), x.data(), f.data(), n);
    bn_mult(yf.data(), y.data(), f.data(), n);
    Num g(n), rem(n);
    bn_gcd(g.data(), xf.data(), yf.data(), n);
    bn_mod(rem.data(), g.data(), n, f.data(), n);
    EXPECT_EQ(bn_is_zero(rem.data(), n), 1);
}

TEST(BignumAliasing, ResultsMayOverwriteOperands) {
    Numbers gen(11);
    const uint32_t n = 8;
    Num b = gen.make(2 * n, n), c = gen.make(2 * n, n), d = gen.make(2 * n, n - 2);

    Num want(2 * n), got;
    bn_add(want.data(), b.data(), c.data(), n);
    got = b;
    bn_add(got.data(), got.data(), c.data(), n);
    EXPECT_EQ(std::vector(got.begin(), got.begin() + n),
              std::vector(want.begin(), want.begin() + n));

    bn_mult(want.data(), b.data(), c.data(), n);
    got = b;
    bn_mult(got.data(), got.data(), c.data(), n);
    EXPECT_EQ(got, want);
    got = c;
    bn_mult(got.data(), b.data(), got.data(), n);
    EXPECT_EQ(got, want);

    Num q(2 * n), r(2 * n);
    bn_div(q.data(), r.data(), b.data(), n, d.data(), n);
    Num q2 = b, r2 = d;
    bn_div(q2.data(), r2.data(), q2.data(), n, r2.data(), n);
    EXPECT_EQ(std::vector(q2.begin(), q2.begin() + n), std::vector(q.begin(), q.begin() + n));
    EXPECT_EQ(std::vector(r2.begin(), r2.begin() + n), std::vector(r.begin(), r.begin() + n));

    bn_mod_mult(want.data(), b.data(), c.data(), d.data(), n);
    got = d;
    bn_mod_mult(got.data(), b.data(), c.data(), got.data(), n);
    EXPECT_EQ(std::vector(got.begin(), got.begin() + n),
              std::vector(want.begin(), want.begin() + n));

    bn_gcd(want.data(), b.data(), d.data(), n);
    got = b;
    bn_gcd(got.data(), got.data(), d.data(), n);
    EXPECT_EQ(std::vector(got.begin(), got.begin() + n),
              std::vector(want.begin(), want.begin() + n));
}

}  // namespace
