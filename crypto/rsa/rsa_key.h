// The RSA key records: fixed-size, every number big-endian and right-aligned
// in its array, with zero bytes on the left. Sizes follow from the largest
// modulus, 2048 bits: 256 bytes for modulus-sized numbers, 128 for primes.
#pragma once

#include <cstdint>

constexpr uint32_t RSA_MAX_MODULUS_BITS = 2048;
constexpr uint32_t RSA_MIN_MODULUS_BITS = 508;
constexpr uint32_t RSA_MAX_MODULUS_LEN = 256;
constexpr uint32_t RSA_MAX_PRIME_LEN = 128;

// A request for a key pair.
struct RsaKeySpec {
    uint32_t bits;         // modulus size, 508 to 2048
    int32_t big_exponent;  // non-zero: e = 65537; zero: e = 3
};

struct RsaPublicKey {
    uint16_t bits;
    uint8_t modulus[RSA_MAX_MODULUS_LEN];
    uint8_t public_exponent[RSA_MAX_MODULUS_LEN];
};

struct RsaPrivateKey {
    uint16_t bits;
    uint8_t modulus[RSA_MAX_MODULUS_LEN];
    uint8_t public_exponent[RSA_MAX_MODULUS_LEN];
    uint8_t private_exponent[RSA_MAX_MODULUS_LEN];
    uint8_t prime1[RSA_MAX_PRIME_LEN];       // p, the larger prime
    uint8_t prime2[RSA_MAX_PRIME_LEN];       // q, the smaller prime
    uint8_t exponent1[RSA_MAX_PRIME_LEN];    // d mod (p-1)
    uint8_t exponent2[RSA_MAX_PRIME_LEN];    // d mod (q-1)
    uint8_t coefficient[RSA_MAX_PRIME_LEN];  // q^-1 mod p
};
