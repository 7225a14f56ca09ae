// Arithmetic on non-negative integers of up to 2048 bits plus one guard digit.
//
// A number is an array of 32-bit digits, least significant digit first, and a
// digit count that the caller passes with it. Digits past the count are neither
// read nor written unless a function says so. No function allocates, keeps
// state or reports an error: preconditions (counts within the capacities below,
// buffers large enough) are the caller's. The primitives do not wipe their
// stack scratch; the callers that handle secrets wipe the buffers they own.
//
// Aliasing: unless a function says otherwise, any result may share storage
// with any operand of the same call.
#pragma once

#include <cstdint>

using BnDigit = uint32_t;

// Capacity of a number buffer in digits: 2048 bits is 64 digits, plus one.
constexpr uint32_t BN_MAX_DIGITS = 65;
// Capacity of a double-length buffer (products, operands of a reduction).
constexpr uint32_t BN_MAX_DOUBLE_DIGITS = 2 * BN_MAX_DIGITS;
constexpr uint32_t BN_DIGIT_BITS = 32;

// ---- Byte form ---------------------------------------------------------------

// a (n digits) = the big-endian string bytes[0..len). Digit i takes the bytes
// at len-1-4i (least significant) down to len-4-4i. Bytes that do not fit in n
// digits (the leading ones) are ignored; digits that get no bytes are zero.
void bn_decode(BnDigit* a, uint32_t n, const uint8_t* bytes, uint32_t len);

// Writes a (n digits) as exactly len big-endian bytes. Digits that do not fit
// are dropped without notice (the len low-order bytes are kept); when len is
// more than 4*n the leading bytes are zero.
void bn_encode(uint8_t* bytes, uint32_t len, const BnDigit* a, uint32_t n);

// ---- Assignment, comparison, size -------------------------------------------

// a = b over n digits.
void bn_assign(BnDigit* a, const BnDigit* b, uint32_t n);

// a = 0 over n digits.
void bn_assign_zero(BnDigit* a, uint32_t n);

// a = 2^bit over n digits; a = 0 when bit >= 32*n.
void bn_assign_2exp(BnDigit* a, uint32_t bit, uint32_t n);

// Returns 1 if a > b, 0 if a == b, -1 if a < b, both of n digits.
int bn_cmp(const BnDigit* a, const BnDigit* b, uint32_t n);

// Returns 1 if a (n digits) is zero, else 0.
int bn_is_zero(const BnDigit* a, uint32_t n);

// Returns the number of significant digits of a (n digits): the index of its
// highest non-zero digit plus one, 0 for zero.
uint32_t bn_digits(const BnDigit* a, uint32_t n);

// Returns the number of significant bits of d: 0 for 0, 32 when the top bit is set.
uint32_t bn_digit_bits(BnDigit d);

// ---- Addition, subtraction, shifts -------------------------------------------

// a = b + c modulo 2^(32n); returns the carry out of the top digit (0 or 1).
BnDigit bn_add(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n);

// a = b - c modulo 2^(32n); returns the borrow out of the top digit (0 or 1).
BnDigit bn_sub(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n);

// a = b * 2^bits modulo 2^(32n), for bits 0 to 31; returns the bits shifted
// out of the top digit (in the low end of the returned digit). With bits >= 32
// nothing is written and 0 is returned.
BnDigit bn_lshift(BnDigit* a, const BnDigit* b, uint32_t bits, uint32_t n);

// a = b / 2^bits, for bits 0 to 31; returns the bits shifted out of the bottom
// digit, in the high end of the returned digit. With bits >= 32 nothing is
// written and 0 is returned.
BnDigit bn_rshift(BnDigit* a, const BnDigit* b, uint32_t bits, uint32_t n);

// ---- Multiplication and division ---------------------------------------------

// a (2n digits) = b * c, b and c of n digits, n at most BN_MAX_DIGITS.
void bn_mult(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n);

// q (c_digits digits) = c / d and r (d_digits digits) = c mod d.
// c_digits at most BN_MAX_DOUBLE_DIGITS, d_digits at most BN_MAX_DIGITS.
// q and r must not share storage with each other. When d is zero nothing is
// written to q or r.
void bn_div(BnDigit* q, BnDigit* r, const BnDigit* c, uint32_t c_digits, const BnDigit* d,
            uint32_t d_digits);

// a (c_digits digits) = b mod c; b_digits at most BN_MAX_DOUBLE_DIGITS,
// c_digits at most BN_MAX_DIGITS. When c is zero a is left untouched.
void bn_mod(BnDigit* a, const BnDigit* b, uint32_t b_digits, const BnDigit* c, uint32_t c_digits);

// Returns b (n digits) mod d for a single non-zero digit d; returns 0 when d
// is zero.
BnDigit bn_mod_digit(const BnDigit* b, uint32_t n, BnDigit d);

// ---- Modular arithmetic -------------------------------------------------------

// a = b * c mod d, all of n digits. When d is zero a is left untouched.
void bn_mod_mult(BnDigit* a, const BnDigit* b, const BnDigit* c, const BnDigit* d, uint32_t n);

// a (d_digits digits) = b^c mod d. b and d have d_digits digits, the exponent
// c has c_digits digits. With a zero exponent the result is 1, not reduced
// (so 1 even when d is 1). Uses about 66 KB of stack for its table of powers.
void bn_mod_exp(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t c_digits, const BnDigit* d,
                uint32_t d_digits);

// a = b^-1 mod c over n digits (n at most BN_MAX_DIGITS). Requires
// gcd(b, c) = 1; otherwise the result is meaningless.
void bn_mod_inv(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n);

// a = gcd(b, c) over n digits. gcd(x, 0) = gcd(0, x) = x.
void bn_gcd(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t n);

// ---- Digit-level routines -----------------------------------------------------

// out[1]:out[0] (high, low) = b * c, the full 64-bit product.
void bn_digit_mult(BnDigit out[2], BnDigit b, BnDigit c);

// a = b - k*d over n digits; returns the digit that must still be subtracted
// from the next higher position. With k = 0 nothing is written and 0 is
// returned.
BnDigit bn_sub_digit_mult(BnDigit* a, const BnDigit* b, BnDigit k, const BnDigit* d, uint32_t n);

// Returns the floor of the two-digit value b[1]:b[0] (high, low) divided by c.
// Requires b[1] < c, so the quotient fits one digit.
BnDigit bn_digit_div(const BnDigit b[2], BnDigit c);
