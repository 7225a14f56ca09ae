// RSA key-pair generation from a seeded random pool, and the prime search it
// is built from. The key pair that comes out of a given pool state is fixed:
// the same pool gives the same primes, whatever the speed of the arithmetic.
#pragma once

#include <array>
#include <cstdint>

#include "crypto/bignum/bignum.h"
#include "crypto/common/status.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_key.h"

// The odd primes from 3 to 8191 in increasing order, followed by a 0 entry.
constexpr uint32_t RSA_SMALL_PRIME_COUNT = 1027;
extern const std::array<uint16_t, RSA_SMALL_PRIME_COUNT + 1> rsa_small_primes;

// Generates a key pair with a modulus of exactly spec->bits bits (508 to 2048)
// and the public exponent 65537 (spec->big_exponent non-zero) or 3 (zero).
// p, the larger prime, has (bits + 1) / 2 bits, q the rest; both have their two
// top bits set, and primes p with gcd(p - 1, e) != 1 are skipped.
// Returns STATUS_OK; STATUS_BAD_MODULUS_SIZE (1031) for a size out of range,
// before anything is drawn from the pool; STATUS_NOT_SEEDED (1032) for an
// unseeded pool; STATUS_RANGE (1025) when a prime search ran past its range.
// The records are written only on success; the pool advances in every case
// but the first. Every intermediate that held key material is wiped.
Status rsa_generate_key_pair(RsaPublicKey* public_key, RsaPrivateKey* private_key,
                             const RsaKeySpec* spec, RandomPool* pool);

// Finds a probable prime a with lower <= a <= upper and a = 1 (mod step), all
// numbers of n digits (n at most BN_MAX_DIGITS, step non-zero, lower <= upper).
// Draws 4n bytes from the pool for a random start in the range, moves it to the
// next value that is 1 mod step, and walks upwards in steps of `step` until
// rsa_probable_prime accepts. Returns STATUS_OK with a set; the status of
// rand_generate (a untouched) when the pool fails; STATUS_RANGE (1025) when the
// walk would pass `upper` (a then holds the last candidate tried). a may share
// storage with none of the other arguments.
Status rsa_generate_prime(BnDigit* a, const BnDigit* lower, const BnDigit* upper,
                          const BnDigit* step, uint32_t n, RandomPool* pool);

// Returns 1 when a (n digits) passes trial division by the small-prime table
// (a one-digit a equal to a table prime passes it) and then the Fermat tests
// base^a mod a == base for the bases 2, 3 and 5; else 0. The residues and
// powers it computed are wiped.
int rsa_probable_prime(const BnDigit* a, uint32_t n);

// Returns 1 when gcd(p - 1, e) = 1, else 0; p and e of n digits. The copy of
// p - 1 is wiped.
int rsa_exponent_filter(const BnDigit* p, uint32_t n, const BnDigit* e);
