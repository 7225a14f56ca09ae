#include "crypto/bignum/bn_mont.h"

#include <array>
#include <atomic>
#include <type_traits>
#include <utility>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include "crypto/common/mem.h"

// Montgomery arithmetic over M 64-bit limbs, R = 2^(64M). Each routine is a
// template on M so that the compiler sees fixed loop bounds (and the
// assembler unrolls the rows of the ADX routines); one instance per limb
// count from 1 to 33 (65 digits) is picked at run time.
//
// A product or a square is formed in full (2M limbs) and then reduced
// (REDC): row i adds u*d with u = t[i] * (-d^-1) mod 2^64, which clears
// t[i]. The limb that row i carries out belongs at t[i + M]; it is kept in
// the cleared t[i] and all of them are added in one pass at the end (no row
// reads a position at or above M to choose its u, so the order does not
// matter).

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

// r = (t[0..M-1] + top * 2^(64M)) reduced below d, given that value < 2d.
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

// ---- Portable routines: 128-bit products in C++ ---------------------------

struct Portable {
    static constexpr uint32_t max_limbs = MAX_LIMBS;

    // r = t * R^-1 mod d for a double-length t (2M limbs) below d*R. t is consumed.
    template <uint32_t M>
    [[gnu::noinline]] static void redc(u64* r, u64* t, const u64* d, u64 dinv) {
        for (uint32_t i = 0; i < M; ++i) {
            u64 u = t[i] * dinv;
            u64 carry = 0;
            for (uint32_t j = 0; j < M; ++j) {
                u128 s = static_cast<u128>(u) * d[j] + t[i + j] + carry;
                t[i + j] = static_cast<u64>(s);
                carry = static_cast<u64>(s >> 64);
            }
            t[i] = carry;
        }
        u64 top = 0;
        for (uint32_t j = 0; j < M; ++j) {
            u128 s = static_cast<u128>(t[M + j]) + t[j] + top;
            t[M + j] = static_cast<u64>(s);
            top = static_cast<u64>(s >> 64);
        }
        final_subtract<M>(r, t + M, top, d);
    }

    // r = a^2 * R^-1 mod d for a below d. The cross products are formed once
    // and doubled, then the squares of the limbs are added.
    template <uint32_t M>
    [[gnu::noinline]] static void sqr(u64* r, const u64* a, const u64* d, u64 dinv) {
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
    [[gnu::noinline]] static void mul(u64* r, const u64* a, const u64* b, const u64* d, u64 dinv) {
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
};

// ---- x86-64 routines with BMI2 and ADX --------------------------------------
//
// mulx multiplies without touching the flags, adcx carries through CF only
// and adox through OF only, so a multiply-add row runs two carry chains side
// by side: the low halves of the products into t (CF) and the high half of
// each product into the next position (OF). The assembler unrolls each row
// (.rept, with an assembler symbol as the running byte offset). The array
// operands tell the compiler which memory a row reads and writes.

#if defined(__x86_64__)

struct Adx {
    // Rows are unrolled in full, so the code grows with M^2: these routines
    // serve moduli of up to 1024 bits (the primes of a 2048-bit key), the
    // portable ones the rest.
    static constexpr uint32_t max_limbs = 16;

    template <uint32_t L>
    using Limbs = u64[L];

    // t[0..L-1] += k * a[0..L-1]; returns the limb carried into t[L].
    template <uint32_t L>
    static inline u64 addmul_row(u64* t, const u64* a, u64 k) {
        u64 lo, hi, carry;
        __asm__(
            "xorl %k[carry], %k[carry]\n\t"
            ".set .Lreqwiz_off, 0\n\t"
            ".rept %c[len]\n\t"
            "mulxq .Lreqwiz_off(%[a]), %[lo], %[hi]\n\t"
            "adcxq .Lreqwiz_off(%[t]), %[lo]\n\t"
            "adoxq %[carry], %[lo]\n\t"
            "movq %[lo], .Lreqwiz_off(%[t])\n\t"
            "movq %[hi], %[carry]\n\t"
            ".set .Lreqwiz_off, .Lreqwiz_off + 8\n\t"
            ".endr\n\t"
            "movl $0, %k[lo]\n\t"
            "adcxq %[lo], %[carry]\n\t"
            "adoxq %[lo], %[carry]"
            : [carry] "=&r"(carry), [lo] "=&r"(lo), [hi] "=&r"(hi),
              "+m"(*reinterpret_cast<Limbs<L>*>(t))
            : [t] "r"(t), [a] "r"(a), "d"(k), [len] "i"(L),
              "m"(*reinterpret_cast<const Limbs<L>*>(a))
            : "cc");
        return carry;
    }

    // t[0..L-1] = k * a[0..L-1]; returns the limb carried into t[L].
    template <uint32_t L>
    static inline u64 mul_row(u64* t, const u64* a, u64 k) {
        u64 lo, hi, carry;
        __asm__(
            "xorl %k[carry], %k[carry]\n\t"
            ".set .Lreqwiz_off, 0\n\t"
            ".rept %c[len]\n\t"
            "mulxq .Lreqwiz_off(%[a]), %[lo], %[hi]\n\t"
            "adcxq %[carry], %[lo]\n\t"
            "movq %[lo], .Lreqwiz_off(%[t])\n\t"
            "movq %[hi], %[carry]\n\t"
            ".set .Lreqwiz_off, .Lreqwiz_off + 8\n\t"
            ".endr\n\t"
            "movl $0, %k[lo]\n\t"
            "adcxq %[lo], %[carry]"
            : [carry] "=&r"(carry), [lo] "=&r"(lo), [hi] "=&r"(hi),
              "=m"(*reinterpret_cast<Limbs<L>*>(t))
            : [t] "r"(t), [a] "r"(a), "d"(k), [len] "i"(L),
              "m"(*reinterpret_cast<const Limbs<L>*>(a))
            : "cc");
        return carry;
    }

    // t[0..2M-1] = 2 * t + the squares of a's limbs (a[i]^2 at t[2i]): the
    // doubling carries through CF, the squares through OF. The result fits.
    template <uint32_t M>
    static inline void double_add_squares(u64* t, const u64* a) {
        u64 x, lo, hi, k;
        __asm__(
            "xorl %k[x], %k[x]\n\t"
            ".set .Lreqwiz_off, 0\n\t"
            ".rept %c[len]\n\t"
            "movq .Lreqwiz_off(%[a]), %%rdx\n\t"
            "mulxq %%rdx, %[lo], %[hi]\n\t"
            "movq (2*.Lreqwiz_off)(%[t]), %[x]\n\t"
            "adcxq %[x], %[x]\n\t"
            "adoxq %[lo], %[x]\n\t"
            "movq %[x], (2*.Lreqwiz_off)(%[t])\n\t"
            "movq (2*.Lreqwiz_off+8)(%[t]), %[x]\n\t"
            "adcxq %[x], %[x]\n\t"
            "adoxq %[hi], %[x]\n\t"
            "movq %[x], (2*.Lreqwiz_off+8)(%[t])\n\t"
            ".set .Lreqwiz_off, .Lreqwiz_off + 8\n\t"
            ".endr"
            : [x] "=&r"(x), [lo] "=&r"(lo), [hi] "=&r"(hi), "=&d"(k),
              "+m"(*reinterpret_cast<Limbs<2 * M>*>(t))
            : [t] "r"(t), [a] "r"(a), [len] "i"(M), "m"(*reinterpret_cast<const Limbs<M>*>(a))
            : "cc");
    }

    // r[0..L-1] += b[0..L-1]; returns the carry out (0 or 1).
    template <uint32_t L>
    static inline u64 add_row(u64* r, const u64* b) {
        u64 x, carry;
        __asm__(
            "xorl %k[carry], %k[carry]\n\t"
            ".set .Lreqwiz_off, 0\n\t"
            ".rept %c[len]\n\t"
            "movq .Lreqwiz_off(%[b]), %[x]\n\t"
            "adcq %[x], .Lreqwiz_off(%[r])\n\t"
            ".set .Lreqwiz_off, .Lreqwiz_off + 8\n\t"
            ".endr\n\t"
            "setc %b[carry]"
            : [carry] "=&q"(carry), [x] "=&r"(x), "+m"(*reinterpret_cast<Limbs<L>*>(r))
            : [r] "r"(r), [b] "r"(b), [len] "i"(L), "m"(*reinterpret_cast<const Limbs<L>*>(b))
            : "cc");
        return carry;
    }

    // The cross products a[i] * a[j], i < j, for the rows i = I to M - 2
    // (row 0 was written by mul_row).
    template <uint32_t M, uint32_t I>
    static inline void cross_rows(u64* t, const u64* a) {
        if constexpr (I + 1 < M) {
            t[I + M] = addmul_row<M - 1 - I>(t + 2 * I + 1, a + I + 1, a[I]);
            cross_rows<M, I + 1>(t, a);
        }
    }

    template <uint32_t M>
    [[gnu::noinline]] static void redc(u64* r, u64* t, const u64* d, u64 dinv) {
        for (uint32_t i = 0; i < M; ++i)
            t[i] = addmul_row<M>(t + i, d, t[i] * dinv);
        u64 top = add_row<M>(t + M, t);
        final_subtract<M>(r, t + M, top, d);
    }

    template <uint32_t M>
    [[gnu::noinline]] static void sqr(u64* r, const u64* a, const u64* d, u64 dinv) {
        u64 t[2 * M];
        t[0] = 0;
        t[2 * M - 1] = 0;
        if constexpr (M > 1) {
            t[M] = mul_row<M - 1>(t + 1, a + 1, a[0]);
            cross_rows<M, 1>(t, a);
        }
        double_add_squares<M>(t, a);
        redc<M>(r, t, d, dinv);
    }

    template <uint32_t M>
    [[gnu::noinline]] static void mul(u64* r, const u64* a, const u64* b, const u64* d, u64 dinv) {
        u64 t[2 * M];
        t[M] = mul_row<M>(t, b, a[0]);
        for (uint32_t i = 1; i < M; ++i)
            t[i + M] = addmul_row<M>(t + i, b, a[i]);
        redc<M>(r, t, d, dinv);
    }
};

bool adx_available() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    constexpr unsigned BMI2 = 1u << 8, ADX = 1u << 19;
    return (ebx & BMI2) != 0 && (ebx & ADX) != 0;
}

#else

struct Adx : Portable {
    static constexpr uint32_t max_limbs = 0;
};

bool adx_available() {
    return false;
}

#endif

// The routines for M limbs: K's where it has them, else the portable ones.
template <uint32_t M, class K>
using KernelsFor = std::conditional_t<(M <= K::max_limbs), K, Portable>;

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

// Out of Montgomery form: r = a * R^-1 mod d (a multiplication by 1).
template <uint32_t M, class K>
void from_mont(u64* r, const u64* a, const u64* d, u64 dinv) {
    u64 t[2 * M];
    for (uint32_t j = 0; j < M; ++j) {
        t[j] = a[j];
        t[M + j] = 0;
    }
    K::template redc<M>(r, t, d, dinv);
    mem_wipe(t);
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

template <uint32_t M, class K>
void power(const PowerArgs& args) {
    u64 acc[M];
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
            K::template sqr<M>(acc, acc, d, args.dinv);
            if ((digit >> bit) & 1) {
                if (small)
                    mul_small<M>(acc, args.base, d);
                else
                    K::template mul<M>(acc, acc, args.base_mont, d, args.dinv);
            }
        }
        if (i == 0)
            break;
        digit = args.exponent[--i];
        bit = 31;
    }
    from_mont<M, K>(args.result, acc, d, args.dinv);
    mem_wipe(acc);
}

// Window width of the general exponentiation and its table of powers.
constexpr uint32_t WINDOW_BITS = 5;
constexpr uint32_t WINDOW_POWERS = 1u << WINDOW_BITS;

struct ExpArgs {
    const u64* base;          // b mod d
    const u64* r2;            // R^2 mod d
    const BnDigit* exponent;  // significant digits only
    uint32_t exponent_digits;
    const u64* modulus;
    u64 dinv;
    u64* result;  // b^c mod d, fully reduced
};

// `count` bits of e starting at bit `pos` (bits past the top read as zero).
uint32_t exponent_bits(const BnDigit* e, uint32_t digits, uint32_t pos, uint32_t count) {
    uint32_t value = 0;
    for (uint32_t k = count; k-- > 0;) {
        uint32_t b = pos + k;
        uint32_t bit = b / 32 < digits ? (e[b / 32] >> (b % 32)) & 1 : 0;
        value = (value << 1) | bit;
    }
    return value;
}

template <uint32_t M, class K>
void exp_window(const ExpArgs& args) {
    const u64* d = args.modulus;
    u64 table[WINDOW_POWERS][M];  // b^k * R mod d
    u64 acc[M];

    // R mod d (b^0) out of R^2 mod d, then b*R mod d and its powers.
    from_mont<M, K>(table[0], args.r2, d, args.dinv);
    K::template mul<M>(table[1], args.base, args.r2, d, args.dinv);
    for (uint32_t k = 2; k < WINDOW_POWERS; ++k)
        K::template mul<M>(table[k], table[k - 1], table[1], d, args.dinv);

    // Windows from the top; the first takes what is left over at the top.
    uint32_t cd = args.exponent_digits;
    uint32_t bits = 32 * (cd - 1) + bn_digit_bits(args.exponent[cd - 1]);
    uint32_t pos = (bits - 1) / WINDOW_BITS * WINDOW_BITS;
    uint32_t window = exponent_bits(args.exponent, cd, pos, WINDOW_BITS);
    for (uint32_t j = 0; j < M; ++j)
        acc[j] = table[window][j];
    while (pos > 0) {
        pos -= WINDOW_BITS;
        for (uint32_t s = 0; s < WINDOW_BITS; ++s)
            K::template sqr<M>(acc, acc, d, args.dinv);
        window = exponent_bits(args.exponent, cd, pos, WINDOW_BITS);
        if (window != 0)
            K::template mul<M>(acc, acc, table[window], d, args.dinv);
    }
    from_mont<M, K>(args.result, acc, d, args.dinv);
    mem_wipe(table);
    mem_wipe(acc);
}

using PowerFn = void (*)(const PowerArgs&);
using ExpFn = void (*)(const ExpArgs&);

template <class K, std::size_t... I>
constexpr std::array<PowerFn, sizeof...(I)> make_power_table(std::index_sequence<I...>) {
    return {&power<static_cast<uint32_t>(I + 1), KernelsFor<static_cast<uint32_t>(I + 1), K>>...};
}

template <class K, std::size_t... I>
constexpr std::array<ExpFn, sizeof...(I)> make_exp_table(std::index_sequence<I...>) {
    return {
        &exp_window<static_cast<uint32_t>(I + 1), KernelsFor<static_cast<uint32_t>(I + 1), K>>...};
}

// Indexed by kernel set (0 portable, 1 ADX), then by limb count - 1.
const std::array<std::array<PowerFn, MAX_LIMBS>, 2> POWER_BY_LIMBS = {
    make_power_table<Portable>(std::make_index_sequence<MAX_LIMBS>{}),
    make_power_table<Adx>(std::make_index_sequence<MAX_LIMBS>{})};
const std::array<std::array<ExpFn, MAX_LIMBS>, 2> EXP_BY_LIMBS = {
    make_exp_table<Portable>(std::make_index_sequence<MAX_LIMBS>{}),
    make_exp_table<Adx>(std::make_index_sequence<MAX_LIMBS>{})};

// The kernel set chosen: -1 until a test or benchmark picks one.
std::atomic<int> chosen_kernels{-1};

bool processor_has_adx() {
    static const bool has = adx_available();
    return has;
}

BnMontKernels kernels_in_use() {
    int chosen = chosen_kernels.load(std::memory_order_relaxed);
    if (chosen >= 0)
        return static_cast<BnMontKernels>(chosen);
    return processor_has_adx() ? BnMontKernels::Adx : BnMontKernels::Portable;
}

size_t kernel_index() {
    return kernels_in_use() == BnMontKernels::Adx ? 1 : 0;
}

// d (dd digits) as `limbs` 64-bit limbs.
void to_limbs(u64* out, const BnDigit* d, uint32_t dd, uint32_t limbs) {
    for (uint32_t j = 0; j < limbs; ++j) {
        BnDigit low = 2 * j < dd ? d[2 * j] : 0;
        BnDigit high = 2 * j + 1 < dd ? d[2 * j + 1] : 0;
        out[j] = (static_cast<u64>(high) << 32) | low;
    }
}

// a (d_digits digits) = the limbs, zero above them.
void from_limbs(BnDigit* a, uint32_t d_digits, const u64* limbs, uint32_t count) {
    bn_assign_zero(a, d_digits);
    for (uint32_t j = 0; j < count; ++j) {
        if (2 * j < d_digits)
            a[2 * j] = static_cast<BnDigit>(limbs[j]);
        if (2 * j + 1 < d_digits)
            a[2 * j + 1] = static_cast<BnDigit>(limbs[j] >> 32);
    }
}

}  // namespace

BnMontKernels bn_mont_kernels() {
    return kernels_in_use();
}

bool bn_mont_use_kernels(BnMontKernels kernels) {
    if (kernels == BnMontKernels::Adx && !processor_has_adx())
        return false;
    chosen_kernels.store(static_cast<int>(kernels), std::memory_order_relaxed);
    return true;
}

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
    to_limbs(modulus, d, dd, limbs);
    to_limbs(base_mont, base_digits, dd, limbs);

    PowerArgs args{base_mont, b, exponent, cd, modulus, neg_inverse(modulus[0]), result};
    POWER_BY_LIMBS[kernel_index()][limbs - 1](args);

    from_limbs(a, d_digits, result, limbs);
    mem_wipe(exponent);
    mem_wipe(modulus);
    mem_wipe(base_mont);
    mem_wipe(result);
    mem_wipe(base_digits);
    mem_wipe(shifted);
}

void bn_mod_exp_odd(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t c_digits,
                    const BnDigit* d, uint32_t d_digits) {
    uint32_t dd = bn_digits(d, d_digits);
    if (dd < 2 || (d[0] & 1) == 0) {
        bn_mod_exp(a, b, c, c_digits, d, d_digits);
        return;
    }
    uint32_t cd = bn_digits(c, c_digits);
    if (cd == 0) {
        bn_assign_zero(a, d_digits);
        a[0] = 1;
        return;
    }

    // The numbers of one call, wiped together.
    struct Work {
        BnDigit exponent[BN_MAX_DIGITS];
        BnDigit base[BN_MAX_DIGITS];
        BnDigit r[2 * MAX_LIMBS + 1];  // R, then R mod d
        BnDigit square[BN_MAX_DOUBLE_DIGITS];
        BnDigit r2[BN_MAX_DIGITS];  // R^2 mod d
        u64 modulus[MAX_LIMBS], base_limbs[MAX_LIMBS], r2_limbs[MAX_LIMBS], result[MAX_LIMBS];
    } w;
    uint32_t limbs = (dd + 1) / 2;
    bn_assign(w.exponent, c, cd);
    bn_mod(w.base, b, d_digits, d, dd);

    // R^2 mod d from R mod d, with the plain division.
    bn_assign_2exp(w.r, 64 * limbs, 2 * limbs + 1);
    bn_mod(w.r, w.r, 2 * limbs + 1, d, dd);
    bn_mult(w.square, w.r, w.r, dd);
    bn_mod(w.r2, w.square, 2 * dd, d, dd);

    to_limbs(w.modulus, d, dd, limbs);
    to_limbs(w.base_limbs, w.base, dd, limbs);
    to_limbs(w.r2_limbs, w.r2, dd, limbs);
    ExpArgs args{w.base_limbs, w.r2_limbs, w.exponent, cd, w.modulus, neg_inverse(w.modulus[0]),
                 w.result};
    EXP_BY_LIMBS[kernel_index()][limbs - 1](args);
    from_limbs(a, d_digits, w.result, limbs);
    mem_wipe(w);
}
