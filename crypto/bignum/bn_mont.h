// Fast modular exponentiation of a one-digit base, for the probable-prime
// test of key generation. Odd moduli of two digits or more run on Montgomery
// multiplication with 64-bit limbs (a multiplication by the base is a short
// multiply and at most base-1 subtractions, so base 2 costs a shift); every
// other case goes to bn_mod_exp. The value computed is always the one that
// bn_mod_exp gives for the same operands.
#pragma once

#include <cstdint>

#include "crypto/bignum/bignum.h"

// a (d_digits digits) = b^c mod d, where the base b is a single digit: the
// same result as bn_mod_exp(a, B, c, c_digits, d, d_digits) with B the number
// b over d_digits digits (in particular 1 when the exponent is zero).
// c_digits and d_digits at most BN_MAX_DIGITS. a may share storage with c or d.
// The copies of d and c and the accumulated power are wiped before returning.
void bn_mod_exp_digit(BnDigit* a, BnDigit b, const BnDigit* c, uint32_t c_digits, const BnDigit* d,
                      uint32_t d_digits);
