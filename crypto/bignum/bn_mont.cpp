#include "crypto/bignum/bn_mont.h"

#include <array>
#include <utility>

#include "crypto/common/mem.h"

// Montgomery arithmetic over M 64-bit limbs, R = 2^(64M). Each routine is a
// template on M so that the compiler sees fixed loop bounds; one instance per
// limb count from 1 to 33 (65 digits) is picked at run time.

namespace {

__extension__ typedef unsigned __int128 u128;
using u64 = uint64_t;

constexpr uint32_t MAX_LIMBS = (BN_MAX_DIGITS + 1) / 2;

// -d^-1 mod 2^64 for odd d: Newton's iteration doubles the correct bits
// (3, 6, 12, 24, 48, 96).
u64 neg_inverse(u64 d) {
    u64 inv = d;
    for (int i = 0; i < 5; ++i)
        inv *= 2 - d * inv;
    return 0 - inv;
}

// r = (t[M..2M-1] + top * 2^(64M)) reduced below d, given that value < 2d.
template <uint32_t M>
inline void final_subtract(u64* r, const u64* t, u64 top, const u64* d) {
    u64 diff[M];
    u64 borrow = 0;
    for (uint32_t j = 0; j < M; ++j) {
        u128 s = static_cast<u128>(t[j]) - d[j] - borrow;
        diff[j] = static_cast<u64>(s);
        borrow = static_cast<u64>(s >> 64) & 1;
    }
    // Keep t when it is below d: no top carry and the subtraction borrowed.
    bool keep = top == 0 && borrow != 0;
    for (uint32_t j = 0; j < M; ++j)
        r[j] = keep ? t[j] : diff[j];
}

// r = t * R^-1 mod d for a double-length t (2M limbs) below d*R. t is consumed.
template <uint32_t M>
inline void redc(u64* r, u64* t, const u64* d, u64 dinv) {
    u64 top = 0;  // carry out of t[i + M] from the previous row
    for (uint32_t i = 0; i < M; ++i) {
        u64 u = t[i] * dinv;
        u64 carry = 0;
        for (uint32_t j = 0; j < M; ++j) {
            u128 s = static_cast<u128>(u) * d[j] + t[i + j] + carry;
            t[i + j] = static_cast<u64>(s);
            carry = static_cast<u64>(s >> 64);
        }
        u128 s = static_cast<u128>(t[i + M]) + carry + top;
        t[i + M] = static_cast<u64>(s);
        top = static_cast<u64>(s >> 64);
    }
    final_subtract<M>(r, t + M, top, d);
}

// r = a^2 * R^-1 mod d for a below d. The cross products are formed once and
// doubled, then the squares of the limbs are added.
template <uint32_t M>
inline void mont_sqr(u64* r, const u64* a, const u64* d, u64 dinv) {
    u64 t[2 * M];
    for (uint32_t i = 0; i < 2 * M; ++i)
        t[i] = 0;
    for (uint32_t i = 0; i + 1 < M; ++i) {
        u64 carry = 0;
        for (uint32_t j = i + 1; j < M; ++j) {
            u128 s = static_cast<u128>(a[i]) * a[j] + t[i + j] + carry;
            t[i + j] = static_cast<u64>(s);
            carry = static_cast<u64>(s >> 64);
        }
        t[i + M] = carry;
    }
    u64 high_bit = 0;
    for (uint32_t i = 0; i < 2 * M; ++i) {
        u64 v = t[i];
        t[i] = (v << 1) | high_bit;
        high_bit = v >> 63;
    }
    u64 carry = 0;
    for (uint32_t i = 0; i < M; ++i) {
        u128 sq = static_cast<u128>(a[i]) * a[i];
        u128 s = static_cast<u128>(t[2 * i]) + static_cast<u64>(sq) + carry;
        t[2 * i] = static_cast<u64>(s);
        s = static_cast<u128>(t[2 * i + 1]) + static_cast<u64>(sq >> 64) +
            static_cast<u64>(s >> 64);
        t[2 * i + 1] = static_cast<u64>(s);
        carry = static_cast<u64>(s >> 64);
    }
    redc<M>(r, t, d, dinv);
}

// r = a * b * R^-1 mod d for a, b below d.
template <uint32_t M>
inline void mont_mul(u64* r, const u64* a, const u64* b, const u64* d, u64 dinv) {
    u64 t[2 * M];
    for (uint32_t i = 0; i < 2 * M; ++i)
        t[i] = 0;
    for (uint32_t i = 0; i < M; ++i) {
        u64 carry = 0;
        for (uint32_t j = 0; j < M; ++j) {
            u128 s = static_cast<u128>(a[i]) * b[j] + t[i + j] + carry;
            t[i + j] = static_cast<u64>(s);
            carry = static_cast<u64>(s >> 64);
        }
        t[i + M] = carry;
    }
    redc<M>(r, t, d, dinv);
}

// a = a * k mod d for a below d and a small k: a short multiply, then as many
// subtractions of d as needed (at most k - 1).
// Base 2, the test every candidate meets first, is a one-bit shift.
template <uint32_t M>
inline void mul_small(u64* a, u64 k, const u64* d) {
    u64 carry = 0;
    if (k == 2) {
        for (uint32_t j = 0; j < M; ++j) {
            u64 v = a[j];
            a[j] = (v << 1) | carry;
            carry = v >> 63;
        }
    } else {
        for (uint32_t j = 0; j < M; ++j) {
            u128 s = static_cast<u128>(a[j]) * k + carry;
            a[j] = static_cast<u64>(s);
            carry = static_cast<u64>(s >> 64);
        }
    }
    for (;;) {
        u64 diff[M];
        u64 borrow = 0;
        for (uint32_t j = 0; j < M; ++j) {
            u128 s = static_cast<u128>(a[j]) - d[j] - borrow;
            diff[j] = static_cast<u64>(s);
            borrow = static_cast<u64>(s >> 64) & 1;
        }
        if (carry < borrow)
            return;  // a < d
        carry -= borrow;
        for (uint32_t j = 0; j < M; ++j)
            a[j] = diff[j];
    }
}

// Bases up to this value are multiplied in with mul_small; larger ones with a
// Montgomery multiplication by b*R mod d.
constexpr BnDigit SMALL_BASE_LIMIT = 16;

struct PowerArgs {
    const u64* base_mont;  // b*R mod d
    BnDigit base;
    const BnDigit* exponent;  // significant digits only
    uint32_t exponent_digits;
    const u64* modulus;
    u64 dinv;
    u64* result;  // b^c mod d, fully reduced
};

template <uint32_t M>
void power(const PowerArgs& args) {
    u64 acc[M], one[2 * M];
    for (uint32_t j = 0; j < M; ++j)
        acc[j] = args.base_mont[j];
    const u64* d = args.modulus;
    bool small = args.base <= SMALL_BASE_LIMIT;

    // Left to right over the exponent's bits, the top set bit consumed by
    // starting from b itself.
    uint32_t i = args.exponent_digits - 1;
    BnDigit digit = args.exponent[i];
    int bit = static_cast<int>(bn_digit_bits(digit)) - 2;
    for (;;) {
        for (; bit >= 0; --bit) {
            mont_sqr<M>(acc, acc, d, args.dinv);
            if ((digit >> bit) & 1) {
                if (small)
                    mul_small<M>(acc, args.base, d);
                else
                    mont_mul<M>(acc, acc, args.base_mont, d, args.dinv);
            }
        }
        if (i == 0)
            break;
        digit = args.exponent[--i];
        bit = 31;
    }

    // Out of Montgomery form: multiply by 1.
    for (uint32_t j = 0; j < 2 * M; ++j)
        one[j] = 0;
    for (uint32_t j = 0; j < M; ++j)
        one[j] = acc[j];
    redc<M>(args.result, one, d, args.dinv);
    mem_wipe(acc);
    mem_wipe(one);
}

using PowerFn = void (*)(const PowerArgs&);

template <std::size_t... I>
constexpr std::array<PowerFn, sizeof...(I)> make_power_table(std::index_sequence<I...>) {
    return {&power<static_cast<uint32_t>(I + 1)>...};
}

constexpr auto POWER_BY_LIMBS = make_power_table(std::make_index_sequence<MAX_LIMBS>{});

}  // namespace

void bn_mod_exp_digit(BnDigit* a, BnDigit b, const BnDigit* c, uint32_t c_digits, const BnDigit* d,
                      uint32_t d_digits) {
    uint32_t dd = bn_digits(d, d_digits);
    if (dd < 2 || (d[0] & 1) == 0) {
        BnDigit base[BN_MAX_DIGITS];
        bn_assign_zero(base, d_digits);
        if (d_digits > 0)
            base[0] = b;
        bn_mod_exp(a, base, c, c_digits, d, d_digits);
        return;
    }
    uint32_t cd = bn_digits(c, c_digits);
    if (cd == 0) {
        bn_assign_zero(a, d_digits);
        a[0] = 1;
        return;
    }

    uint32_t limbs = (dd + 1) / 2;
    BnDigit exponent[BN_MAX_DIGITS];
    bn_assign(exponent, c, cd);

    // b*R mod d with the plain division: b placed 64*limbs bits up.
    BnDigit shifted[2 * MAX_LIMBS + 1];
    bn_assign_zero(shifted, 2 * limbs);
    shifted[2 * limbs] = b;
    BnDigit base_digits[BN_MAX_DIGITS + 1];
    bn_assign_zero(base_digits, 2 * limbs);
    bn_mod(base_digits, shifted, 2 * limbs + 1, d, dd);

    u64 modulus[MAX_LIMBS], base_mont[MAX_LIMBS], result[MAX_LIMBS];
    for (uint32_t j = 0; j < limbs; ++j) {
        BnDigit high = 2 * j + 1 < dd ? d[2 * j + 1] : 0;
        modulus[j] = (static_cast<u64>(high) << 32) | d[2 * j];
        base_mont[j] = (static_cast<u64>(base_digits[2 * j + 1]) << 32) | base_digits[2 * j];
    }

    PowerArgs args{base_mont, b, exponent, cd, modulus, neg_inverse(modulus[0]), result};
    POWER_BY_LIMBS[limbs - 1](args);

    bn_assign_zero(a, d_digits);
    for (uint32_t j = 0; j < limbs; ++j) {
        a[2 * j] = static_cast<BnDigit>(result[j]);
        if (2 * j + 1 < d_digits)
            a[2 * j + 1] = static_cast<BnDigit>(result[j] >> 32);
    }
    mem_wipe(exponent);
    mem_wipe(modulus);
    mem_wipe(base_mont);
    mem_wipe(result);
    mem_wipe(base_digits);
    mem_wipe(shifted);
}
