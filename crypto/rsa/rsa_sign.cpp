#include "crypto/rsa/rsa_sign.h"

#include "crypto/bignum/bignum.h"
#include "crypto/bignum/bn_mont.h"
#include "crypto/common/mem.h"

namespace {

// Minimum overhead of a type-1 block: 00 01, eight FF bytes, 00.
constexpr uint32_t BLOCK_OVERHEAD = 11;

// The numbers of one private-key operation, wiped together on every way out.
struct CrtWork {
    BnDigit c[BN_MAX_DIGITS];
    BnDigit n[BN_MAX_DIGITS];
    BnDigit p[BN_MAX_DIGITS];
    BnDigit q[BN_MAX_DIGITS];
    BnDigit dp[BN_MAX_DIGITS];
    BnDigit dq[BN_MAX_DIGITS];
    BnDigit qinv[BN_MAX_DIGITS];
    BnDigit cp[BN_MAX_DIGITS];
    BnDigit cq[BN_MAX_DIGITS];
    BnDigit mp[BN_MAX_DIGITS];
    BnDigit mq[BN_MAX_DIGITS];
    BnDigit h[BN_MAX_DIGITS];
    BnDigit hq[BN_MAX_DOUBLE_DIGITS];
    BnDigit m[BN_MAX_DIGITS];
};

using ModExp = void (*)(BnDigit*, const BnDigit*, const BnDigit*, uint32_t, const BnDigit*,
                        uint32_t);

Status private_crt(uint8_t* out, uint32_t* out_len, const uint8_t* input, uint32_t input_len,
                   const RsaPrivateKey* key, ModExp mod_exp) {
    if (key->bits > RSA_MAX_MODULUS_BITS)
        return STATUS_BAD_MODULUS_SIZE;
    uint32_t k = (key->bits + 7u) / 8u;

    // Leading zero bytes do not change the number. Anything longer than the
    // largest modulus is at least 2^2048 and so not below any modulus; the
    // decoder would otherwise drop those bytes silently.
    while (input_len > 0 && input[0] == 0) {
        ++input;
        --input_len;
    }
    if (input_len > RSA_MAX_MODULUS_LEN)
        return STATUS_RANGE;

    CrtWork w{};
    bn_decode(w.c, BN_MAX_DIGITS, input, input_len);
    bn_decode(w.n, BN_MAX_DIGITS, key->modulus, RSA_MAX_MODULUS_LEN);
    bn_decode(w.p, BN_MAX_DIGITS, key->prime1, RSA_MAX_PRIME_LEN);
    bn_decode(w.q, BN_MAX_DIGITS, key->prime2, RSA_MAX_PRIME_LEN);
    bn_decode(w.dp, BN_MAX_DIGITS, key->exponent1, RSA_MAX_PRIME_LEN);
    bn_decode(w.dq, BN_MAX_DIGITS, key->exponent2, RSA_MAX_PRIME_LEN);
    bn_decode(w.qinv, BN_MAX_DIGITS, key->coefficient, RSA_MAX_PRIME_LEN);
    uint32_t cd = bn_digits(w.c, BN_MAX_DIGITS);
    uint32_t pd = bn_digits(w.p, BN_MAX_DIGITS);
    uint32_t nd = bn_digits(w.n, BN_MAX_DIGITS);
    if (cd > nd || bn_cmp(w.c, w.n, nd) >= 0) {
        mem_wipe(w);
        return STATUS_RANGE;
    }

    // mp = c^dp mod p, mq = c^dq mod q; q < p, so p's digit count serves both.
    bn_mod(w.cp, w.c, cd, w.p, pd);
    bn_mod(w.cq, w.c, cd, w.q, pd);
    mod_exp(w.mp, w.cp, w.dp, pd, w.p, pd);
    mod_exp(w.mq, w.cq, w.dq, pd, w.q, pd);

    // m = ((mp - mq) * qinv mod p) * q + mq, the difference taken modulo p.
    if (bn_cmp(w.mp, w.mq, pd) >= 0) {
        bn_sub(w.h, w.mp, w.mq, pd);
    } else {
        bn_sub(w.h, w.mq, w.mp, pd);
        bn_sub(w.h, w.p, w.h, pd);
    }
    bn_mod_mult(w.h, w.h, w.qinv, w.p, pd);
    bn_mult(w.hq, w.h, w.q, pd);
    bn_add(w.m, w.hq, w.mq, nd);

    bn_encode(out, k, w.m, nd);
    *out_len = k;
    mem_wipe(w);
    return STATUS_OK;
}

}  // namespace

Status rsa_private_crt(uint8_t* out, uint32_t* out_len, const uint8_t* input, uint32_t input_len,
                       const RsaPrivateKey* key) {
    return private_crt(out, out_len, input, input_len, key, bn_mod_exp_odd);
}

Status rsa_private_crt_plain(uint8_t* out, uint32_t* out_len, const uint8_t* input,
                             uint32_t input_len, const RsaPrivateKey* key) {
    return private_crt(out, out_len, input, input_len, key, bn_mod_exp);
}

Status rsa_sign_block(uint8_t* out, uint32_t* out_len, const uint8_t* input, uint32_t input_len,
                      const RsaPrivateKey* key) {
    if (key->bits > RSA_MAX_MODULUS_BITS)
        return STATUS_BAD_MODULUS_SIZE;
    uint32_t k = (key->bits + 7u) / 8u;
    if (static_cast<uint64_t>(input_len) + BLOCK_OVERHEAD > k)
        return STATUS_BAD_LENGTH;

    // Type-1 block of k bytes:
    //   00 01 | FF .. FF (k - input_len - 3 bytes, at least 8) | 00 | input
    uint8_t block[RSA_MAX_MODULUS_LEN];
    uint32_t pad = k - input_len - 3;
    block[0] = 0x00;
    block[1] = 0x01;
    mem_fill(block + 2, 0xFF, pad);
    block[2 + pad] = 0x00;
    mem_copy(block + 3 + pad, input, input_len);

    Status status = rsa_private_crt(out, out_len, block, k, key);
    mem_wipe(block);
    return status;
}
