#include "crypto/bignum/bignum.h"

#include <initializer_list>

#include "crypto/common/mem.h"

// The straightforward implementation: schoolbook multiplication, normalised
// long division, fixed 8-bit windows for exponentiation. Every routine wipes
// the part of its working buffers it used before it returns: their numbers
// are often a key's primes and exponents, and the stack they lie on is
// reused by whatever runs next. Key generation runs
// its hot loop on the Montgomery routines of bn_mont.cpp, which compute the
// same values; these stay the reference they are checked against.

namespace {

// Wipes the first `n` digits of a working buffer.
void wipe_digits(BnDigit* a, uint32_t n) {
    mem_fill(a, 0, n * static_cast<uint32_t>(sizeof(BnDigit)));
}

// Working remainder of the division: a double-length dividend plus its carry.
constexpr uint32_t DIV_WORK_DIGITS = BN_MAX_DOUBLE_DIGITS + 1;

// a += k * c over n digits; returns the carry into position n.
BnDigit add_digit_mult(BnDigit* a, BnDigit k, const BnDigit* c, uint32_t n) {
    uint64_t carry = 0;
    for (uint32_t j = 0; j < n; ++j) {
        uint64_t t = static_cast<uint64_t>(k) * c[j] + a[j] + carry;
        a[j] = static_cast<BnDigit>(t);
        carry = t >> 32;
    }
    return static_cast<BnDigit>(carry);
}

}  // namespace

void bn_decode(BnDigit* a, uint32_t n, const uint8_t* bytes, uint32_t len) {
    uint32_t i = 0;
    int64_t pos = static_cast<int64_t>(len) - 1;
    for (; i < n && pos >= 0; ++i) {
        BnDigit t = 0;
        for (uint32_t shift = 0; shift < 32 && pos >= 0; shift += 8, --pos)
            t |= static_cast<BnDigit>(bytes[pos]) << shift;
        a[i] = t;
    }
    for (; i < n; ++i)
        a[i] = 0;
}

void bn_encode(uint8_t* bytes, uint32_t len, const BnDigit* a, uint32_t n) {
    uint32_t i = 0;
    int64_t pos = static_cast<int64_t>(len) - 1;
    for (; i < n && pos >= 0; ++i) {
        BnDigit t = a[i];
        for (uint32_t shift = 0; shift < 32 && pos >= 0; shift += 8, --pos)
            bytes[pos] = static_cast<uint8_t>(t >> shift);
    }
    for (; pos >= 0; --pos)
        bytes[pos] = 0;
}

void bn_assign(BnDigit* a, const BnDigit* b, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        a[i] = b[i];
}

void bn_assign_zero(BnDigit* a, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        a[i] = 0;
}

void bn_assign_2exp(BnDigit* a, uint32_t bit, uint32_t n) {
    bn_assign_zero(a, n);
    if (bit / 32 < n)
        a[bit / 32] = BnDigit{1} << (bit % 32);
}

int bn_cmp(const BnDigit* a, const BnDigit* b, uint32_t n) {
    for (uint32_t i = n; i-- > 0;) {
        if (a[i] > b[i])
            return 1;
        if (a[i] < b[i])
            return -1;
    }
    return 0;
}

int bn_is_zero(const BnDigit* a, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (a[i] != 0)
            return 0;
    }
    return 1;
}

uint32_t bn_digits(const BnDigit* a, uint32_t n) {
    while (n > 0 && a[n - 1] == 0)
        --n;
    return n;
}

uint32_t bn_digit_bits(BnDigit d) {
    uint32_t bits = 0;
    while (d != 0) {
        ++bits;
        d >>= 1;
    }
    return bits;
}

BnDigit bn_add(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n) {
    BnDigit carry = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t t = static_cast<uint64_t>(b[i]) + c[i] + carry;
        a[i] = static_cast<BnDigit>(t);
        carry = static_cast<BnDigit>(t >> 32);
    }
    return carry;
}

BnDigit bn_sub(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n) {
    BnDigit borrow = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t t = static_cast<uint64_t>(b[i]) - c[i] - borrow;
        a[i] = static_cast<BnDigit>(t);
        borrow = static_cast<BnDigit>((t >> 32) & 1);
    }
    return borrow;
}

BnDigit bn_lshift(BnDigit* a, const BnDigit* b, uint32_t bits, uint32_t n) {
    if (bits >= 32)
        return 0;
    BnDigit carry = 0;
    for (uint32_t i = 0; i < n; ++i) {
        BnDigit t = b[i];
        a[i] = (t << bits) | carry;
        carry = bits != 0 ? t >> (32 - bits) : 0;
    }
    return carry;
}

BnDigit bn_rshift(BnDigit* a, const BnDigit* b, uint32_t bits, uint32_t n) {
    if (bits >= 32)
        return 0;
    BnDigit carry = 0;
    for (uint32_t i = n; i-- > 0;) {
        BnDigit t = b[i];
        a[i] = (t >> bits) | carry;
        carry = bits != 0 ? t << (32 - bits) : 0;
    }
    return carry;
}

void bn_mult(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n) {
    BnDigit t[BN_MAX_DOUBLE_DIGITS];
    bn_assign_zero(t, 2 * n);
    uint32_t bd = bn_digits(b, n);
    uint32_t cd = bn_digits(c, n);
    for (uint32_t i = 0; i < bd; ++i) {
        if (b[i] != 0)
            t[i + cd] += add_digit_mult(t + i, b[i], c, cd);
    }
    bn_assign(a, t, 2 * n);
    wipe_digits(t, 2 * n);
}

void bn_digit_mult(BnDigit out[2], BnDigit b, BnDigit c) {
    uint64_t t = static_cast<uint64_t>(b) * c;
    out[0] = static_cast<BnDigit>(t);
    out[1] = static_cast<BnDigit>(t >> 32);
}

BnDigit bn_sub_digit_mult(BnDigit* a, const BnDigit* b, BnDigit k, const BnDigit* d, uint32_t n) {
    if (k == 0)
        return 0;
    BnDigit borrow = 0;
    for (uint32_t i = 0; i < n; ++i) {
        // k*d[i] + borrow never overflows 64 bits; its low digit is taken
        // from b[i] and its high digit (plus a borrow) moves up a position.
        uint64_t p = static_cast<uint64_t>(k) * d[i] + borrow;
        BnDigit low = static_cast<BnDigit>(p);
        BnDigit bi = b[i];
        borrow = static_cast<BnDigit>(p >> 32) + (bi < low ? 1 : 0);
        a[i] = bi - low;
    }
    return borrow;
}

BnDigit bn_digit_div(const BnDigit b[2], BnDigit c) {
    uint64_t value = (static_cast<uint64_t>(b[1]) << 32) | b[0];
    return static_cast<BnDigit>(value / c);
}

void bn_div(BnDigit* q, BnDigit* r, const BnDigit* c, uint32_t c_digits, const BnDigit* d,
            uint32_t d_digits) {
    uint32_t dd = bn_digits(d, d_digits);
    if (dd == 0)
        return;

    // Normalise: shift dividend and divisor left until the divisor's top
    // digit has its highest bit set, so that quotient estimates are close.
    uint32_t shift = 32 - bn_digit_bits(d[dd - 1]);
    BnDigit cc[DIV_WORK_DIGITS];
    BnDigit dv[BN_MAX_DIGITS];
    bn_assign_zero(cc, dd);
    bn_assign_zero(dv, dd);
    cc[c_digits] = bn_lshift(cc, c, shift, c_digits);
    bn_lshift(dv, d, shift, dd);
    BnDigit t = dv[dd - 1];

    bn_assign_zero(q, c_digits);
    for (int64_t i = static_cast<int64_t>(c_digits) - dd; i >= 0; --i) {
        BnDigit* window = cc + i;
        // The estimate divides by t + 1, so it never exceeds the true digit;
        // the loop below makes up the difference.
        BnDigit estimate;
        if (t == 0xFFFFFFFF) {
            estimate = window[dd];
        } else {
            BnDigit top[2] = {window[dd - 1], window[dd]};
            estimate = bn_digit_div(top, t + 1);
            mem_wipe(top);
        }
        window[dd] -= bn_sub_digit_mult(window, window, estimate, dv, dd);
        while (window[dd] != 0 || bn_cmp(window, dv, dd) >= 0) {
            ++estimate;
            window[dd] -= bn_sub(window, window, dv, dd);
        }
        q[i] = estimate;
    }

    bn_assign_zero(r, d_digits);
    bn_rshift(r, cc, shift, dd);
    wipe_digits(cc, c_digits + 1);
    wipe_digits(dv, dd);
}

void bn_mod(BnDigit* a, const BnDigit* b, uint32_t b_digits, const BnDigit* c, uint32_t c_digits) {
    BnDigit q[BN_MAX_DOUBLE_DIGITS];
    bn_div(q, a, b, b_digits, c, c_digits);
    wipe_digits(q, b_digits);
}

BnDigit bn_mod_digit(const BnDigit* b, uint32_t n, BnDigit d) {
    if (d == 0)
        return 0;
    uint64_t rem = 0;
    for (uint32_t i = n; i-- > 0;)
        rem = ((rem << 32) | b[i]) % d;
    return static_cast<BnDigit>(rem);
}

void bn_mod_mult(BnDigit* a, const BnDigit* b, const BnDigit* c, const BnDigit* d, uint32_t n) {
    BnDigit t[BN_MAX_DOUBLE_DIGITS];
    bn_mult(t, b, c, n);
    bn_mod(a, t, 2 * n, d, n);
    wipe_digits(t, 2 * n);
}

void bn_mod_exp(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t c_digits, const BnDigit* d,
                uint32_t d_digits) {
    // powers[k - 1] = b^k mod d for k = 1..255 (b^1 is b as given).
    BnDigit powers[255][BN_MAX_DIGITS];
    bn_assign(powers[0], b, d_digits);
    for (uint32_t k = 1; k < 255; ++k)
        bn_mod_mult(powers[k], powers[k - 1], b, d, d_digits);

    BnDigit acc[BN_MAX_DIGITS];
    bn_assign_zero(acc, d_digits);
    acc[0] = 1;

    uint32_t cd = bn_digits(c, c_digits);
    for (uint32_t i = cd; i-- > 0;) {
        BnDigit digit = c[i];
        uint32_t budget = 32;
        if (i == cd - 1) {
            while ((digit >> 24) == 0) {
                digit <<= 8;
                budget -= 8;
            }
        }
        for (; budget > 0; budget -= 8, digit <<= 8) {
            for (int s = 0; s < 8; ++s)
                bn_mod_mult(acc, acc, acc, d, d_digits);
            BnDigit window = digit >> 24;
            if (window != 0)
                bn_mod_mult(acc, acc, powers[window - 1], d, d_digits);
        }
    }
    bn_assign(a, acc, d_digits);
    for (BnDigit* power : powers)
        wipe_digits(power, d_digits);
    wipe_digits(acc, d_digits);
}

void bn_mod_inv(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n) {
    BnDigit x[BN_MAX_DIGITS], y[BN_MAX_DIGITS], r[BN_MAX_DIGITS], s[BN_MAX_DIGITS];
    BnDigit q[BN_MAX_DIGITS], t[BN_MAX_DIGITS], w[BN_MAX_DIGITS];
    BnDigit prod[BN_MAX_DOUBLE_DIGITS];
    bn_assign_zero(x, n);
    x[0] = 1;
    bn_assign_zero(y, n);
    bn_assign(r, b, n);
    bn_assign(s, c, n);
    int sign = 1;

    // Invariant: b*x = +-r and b*y = -+s modulo c, with x and y below c.
    while (!bn_is_zero(s, n)) {
        bn_div(q, t, r, n, s, n);
        bn_mult(prod, q, y, n);
        bn_add(w, x, prod, n);
        bn_assign(x, y, n);
        bn_assign(y, w, n);
        bn_assign(r, s, n);
        bn_assign(s, t, n);
        sign = -sign;
    }
    if (sign < 0)
        bn_sub(a, c, x, n);
    else
        bn_assign(a, x, n);
    for (BnDigit* used : {x, y, r, s, q, t, w})
        wipe_digits(used, n);
    wipe_digits(prod, 2 * n);
}

void bn_gcd(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n) {
    // Three buffers in rotation: each remainder lands in the buffer after the
    // current one, so nothing is copied inside the loop.
    BnDigit buf[3][BN_MAX_DIGITS];
    bn_assign(buf[0], c, n);
    bn_assign(buf[1], b, n);
    uint32_t cur = 1;
    while (!bn_is_zero(buf[cur], n)) {
        uint32_t prev = (cur + 2) % 3;
        uint32_t next = (cur + 1) % 3;
        bn_mod(buf[next], buf[prev], n, buf[cur], n);
        cur = next;
    }
    bn_assign(a, buf[(cur + 2) % 3], n);
    for (BnDigit* used : buf)
        wipe_digits(used, n);
}
