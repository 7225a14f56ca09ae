// The numbers of a private key record, decoded for checks in the tests.
#pragma once

#include <vector>

#include "crypto/bignum/bignum.h"
#include "crypto/rsa/rsa_key.h"

struct KeyNumbers {
    using Num = std::vector<BnDigit>;
    Num n, e, d, p, q, dp, dq, qinv;

    static Num decode(const uint8_t* bytes, uint32_t len) {
        Num a(BN_MAX_DIGITS);
        bn_decode(a.data(), BN_MAX_DIGITS, bytes, len);
        return a;
    }

    explicit KeyNumbers(const RsaPrivateKey& key)
        : n(decode(key.modulus, RSA_MAX_MODULUS_LEN)),
          e(decode(key.public_exponent, RSA_MAX_MODULUS_LEN)),
          d(decode(key.private_exponent, RSA_MAX_MODULUS_LEN)),
          p(decode(key.prime1, RSA_MAX_PRIME_LEN)),
          q(decode(key.prime2, RSA_MAX_PRIME_LEN)),
          dp(decode(key.exponent1, RSA_MAX_PRIME_LEN)),
          dq(decode(key.exponent2, RSA_MAX_PRIME_LEN)),
          qinv(decode(key.coefficient, RSA_MAX_PRIME_LEN)) {}
};

// Significant bits of a number of BN_MAX_DIGITS digits.
inline uint32_t bit_length(const std::vector<BnDigit>& a) {
    uint32_t digits = bn_digits(a.data(), BN_MAX_DIGITS);
    return digits == 0 ? 0 : 32 * (digits - 1) + bn_digit_bits(a[digits - 1]);
}
