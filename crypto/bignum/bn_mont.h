// Fast modular exponentiation for odd moduli on Montgomery multiplication
// with 64-bit limbs: the probable-prime test of key generation (a one-digit
// base, where a multiplication by the base is a short multiply and at most
// base-1 subtractions, so base 2 costs a shift) and the private-key operation
// (any base). Moduli that are even or of a single digit go to bn_mod_exp. The
// value computed is always the one that bn_mod_exp gives for the same
// operands.
//
// Two sets of machine routines compute the same values: portable C++ with
// 128-bit products, and, on x86-64 processors with the BMI2 and ADX
// extensions, routines that keep the two carry chains of a multiply-add row
// apart (mulx, adcx, adox) for moduli of up to 1024 bits. The set is chosen
// once from the processor.
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

// a (d_digits digits) = b^c mod d: the same result as bn_mod_exp with the
// same arguments (b of d_digits digits, which may exceed d; 1 when the
// exponent is zero). Fixed 5-bit windows over a table of 32 powers, about
// 10 KB of stack. c_digits and d_digits at most BN_MAX_DIGITS; a may share
// storage with any operand. Every copy and intermediate is wiped before
// returning.
void bn_mod_exp_odd(BnDigit* a, const BnDigit* b, const BnDigit* c, uint32_t c_digits,
                    const BnDigit* d, uint32_t d_digits);

// ---- For tests and benchmarks ------------------------------------------------

enum class BnMontKernels { Portable, Adx };

// The set of machine routines in use.
BnMontKernels bn_mont_kernels();

// Switches to `kernels` for every later call, in every thread; not to be
// called while another thread computes. Returns false, changing nothing,
// when the processor cannot run them.
bool bn_mont_use_kernels(BnMontKernels kernels);
