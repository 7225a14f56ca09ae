#include "crypto/rsa/rsa_verify.h"

#include "crypto/bignum/bignum.h"
#include "crypto/common/mem.h"

namespace {

constexpr uint32_t BLOCK_OVERHEAD = 11;  // 00 01, eight FF, 00

struct PublicWork {
    BnDigit c[BN_MAX_DIGITS];
    BnDigit n[BN_MAX_DIGITS];
    BnDigit e[BN_MAX_DIGITS];
    BnDigit m[BN_MAX_DIGITS];
};

// The numbers of one key check, wiped together.
struct CheckWork {
    BnDigit n[BN_MAX_DIGITS];
    BnDigit e[BN_MAX_DIGITS];
    BnDigit d[BN_MAX_DIGITS];
    BnDigit p[BN_MAX_DIGITS];
    BnDigit q[BN_MAX_DIGITS];
    BnDigit dp[BN_MAX_DIGITS];
    BnDigit dq[BN_MAX_DIGITS];
    BnDigit qinv[BN_MAX_DIGITS];
    BnDigit p1[BN_MAX_DIGITS];
    BnDigit q1[BN_MAX_DIGITS];
    BnDigit one[BN_MAX_DIGITS];
    BnDigit r[BN_MAX_DIGITS];
    BnDigit product[BN_MAX_DOUBLE_DIGITS];
};

Status check_numbers(CheckWork* w, const RsaPrivateKey* key) {
    constexpr uint32_t N = BN_MAX_DIGITS;
    bn_decode(w->n, N, key->modulus, RSA_MAX_MODULUS_LEN);
    bn_decode(w->e, N, key->public_exponent, RSA_MAX_MODULUS_LEN);
    bn_decode(w->d, N, key->private_exponent, RSA_MAX_MODULUS_LEN);
    bn_decode(w->p, N, key->prime1, RSA_MAX_PRIME_LEN);
    bn_decode(w->q, N, key->prime2, RSA_MAX_PRIME_LEN);
    bn_decode(w->dp, N, key->exponent1, RSA_MAX_PRIME_LEN);
    bn_decode(w->dq, N, key->exponent2, RSA_MAX_PRIME_LEN);
    bn_decode(w->qinv, N, key->coefficient, RSA_MAX_PRIME_LEN);
    bn_assign_zero(w->one, N);
    w->one[0] = 1;

    // n = p * q, with both primes above 1.
    if (bn_cmp(w->p, w->one, N) <= 0 || bn_cmp(w->q, w->one, N) <= 0) {
        return STATUS_KEY_MODULUS_MISMATCH;
    }
    bn_mult(w->product, w->p, w->q, N);
    if (bn_cmp(w->product, w->n, N) != 0 || !bn_is_zero(w->product + N, N)) {
        return STATUS_KEY_MODULUS_MISMATCH;
    }

    // e * d = 1 modulo p - 1 and modulo q - 1.
    bn_sub(w->p1, w->p, w->one, N);
    bn_sub(w->q1, w->q, w->one, N);
    bn_mult(w->product, w->e, w->d, N);
    const BnDigit* moduli[2] = {w->p1, w->q1};
    for (const BnDigit* m : moduli) {
        bn_mod(w->r, w->product, 2 * N, m, N);
        if (bn_cmp(w->r, w->one, N) != 0) {
            return STATUS_KEY_EXPONENT_MISMATCH;
        }
    }

    // The CRT values.
    bn_mod(w->r, w->d, N, w->p1, N);
    if (bn_cmp(w->r, w->dp, N) != 0) {
        return STATUS_KEY_CRT_MISMATCH;
    }
    bn_mod(w->r, w->d, N, w->q1, N);
    if (bn_cmp(w->r, w->dq, N) != 0) {
        return STATUS_KEY_CRT_MISMATCH;
    }
    bn_mod_mult(w->r, w->qinv, w->q, w->p, N);
    if (bn_cmp(w->r, w->one, N) != 0) {
        return STATUS_KEY_CRT_MISMATCH;
    }
    return STATUS_OK;
}

}  // namespace

Status rsa_public(uint8_t* out, uint32_t* out_len, const uint8_t* input, uint32_t input_len,
                  const RsaPublicKey* key) {
    if (key->bits == 0 || key->bits > RSA_MAX_MODULUS_BITS) {
        return STATUS_BAD_MODULUS_SIZE;
    }
    const uint32_t k = (key->bits + 7u) / 8u;
    while (input_len > 0 && input[0] == 0) {
        ++input;
        --input_len;
    }
    if (input_len > RSA_MAX_MODULUS_LEN) {
        return STATUS_RANGE;
    }

    PublicWork w{};
    bn_decode(w.c, BN_MAX_DIGITS, input, input_len);
    bn_decode(w.n, BN_MAX_DIGITS, key->modulus, RSA_MAX_MODULUS_LEN);
    bn_decode(w.e, BN_MAX_DIGITS, key->public_exponent, RSA_MAX_MODULUS_LEN);
    const uint32_t nd = bn_digits(w.n, BN_MAX_DIGITS);
    if (nd == 0 || bn_cmp(w.c, w.n, BN_MAX_DIGITS) >= 0) {
        mem_wipe(w);
        return STATUS_RANGE;
    }
    const uint32_t ed = bn_digits(w.e, BN_MAX_DIGITS);
    bn_mod_exp(w.m, w.c, w.e, ed, w.n, nd);
    bn_encode(out, k, w.m, nd);
    *out_len = k;
    mem_wipe(w);
    return STATUS_OK;
}

Status rsa_verify_block(const uint8_t* signature, uint32_t signature_len, const uint8_t* expected,
                        uint32_t expected_len, const RsaPublicKey* key) {
    if (key->bits == 0 || key->bits > RSA_MAX_MODULUS_BITS) {
        return STATUS_BAD_MODULUS_SIZE;
    }
    const uint32_t k = (key->bits + 7u) / 8u;
    if (signature_len != k || static_cast<uint64_t>(expected_len) + BLOCK_OVERHEAD > k) {
        return STATUS_SIGNATURE_INVALID;
    }
    uint8_t block[RSA_MAX_MODULUS_LEN];
    uint32_t block_len = 0;
    if (rsa_public(block, &block_len, signature, signature_len, key) != STATUS_OK ||
        block_len != k) {
        mem_wipe(block);
        return STATUS_SIGNATURE_INVALID;
    }
    // Every byte is compared, whatever the first difference.
    const uint32_t pad = k - expected_len - 3;
    uint8_t differ = static_cast<uint8_t>(block[0] | (block[1] ^ 0x01) | block[2 + pad]);
    for (uint32_t i = 0; i < pad; ++i) {
        differ |= static_cast<uint8_t>(block[2 + i] ^ 0xFF);
    }
    for (uint32_t i = 0; i < expected_len; ++i) {
        differ |= static_cast<uint8_t>(block[3 + pad + i] ^ expected[i]);
    }
    mem_wipe(block);
    return differ == 0 ? STATUS_OK : STATUS_SIGNATURE_INVALID;
}

Status rsa_check_private_key(const RsaPrivateKey* key) {
    CheckWork w;
    const Status status = check_numbers(&w, key);
    mem_wipe(w);
    return status;
}
