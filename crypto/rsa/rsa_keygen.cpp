#include "crypto/rsa/rsa_keygen.h"

#include "crypto/common/mem.h"

namespace {

// The work buffers of one key generation, kept together so that a single
// wipe clears every secret on every way out.
struct KeygenWork {
    BnDigit lower[BN_MAX_DIGITS];
    BnDigit upper[BN_MAX_DIGITS];
    BnDigit step[BN_MAX_DIGITS];
    BnDigit one[BN_MAX_DIGITS];
    BnDigit e[BN_MAX_DIGITS];
    BnDigit p[BN_MAX_DIGITS];
    BnDigit q[BN_MAX_DIGITS];
    BnDigit p_minus_1[BN_MAX_DIGITS];
    BnDigit q_minus_1[BN_MAX_DIGITS];
    BnDigit n[BN_MAX_DOUBLE_DIGITS];
    BnDigit phi[BN_MAX_DOUBLE_DIGITS];
    BnDigit d[BN_MAX_DIGITS];
    BnDigit dp[BN_MAX_DIGITS];
    BnDigit dq[BN_MAX_DIGITS];
    BnDigit qinv[BN_MAX_DIGITS];
};

// One prime of `bits` bits with its two top bits set, over pd digits, that the
// exponent filter accepts. Each rejected prime costs a fresh random start.
Status find_prime(BnDigit* prime, uint32_t bits, uint32_t pd, KeygenWork* w, RandomPool* pool) {
    // lower = 2^(bits-1) + 2^(bits-2), upper = 2^bits - 1.
    bn_assign_2exp(w->lower, bits - 1, pd);
    bn_assign_2exp(w->upper, bits - 2, pd);
    bn_add(w->lower, w->lower, w->upper, pd);
    bn_assign_2exp(w->upper, bits, pd);
    bn_sub(w->upper, w->upper, w->one, pd);
    do {
        Status status = rsa_generate_prime(prime, w->lower, w->upper, w->step, pd, pool);
        if (status != STATUS_OK)
            return status;
    } while (!rsa_exponent_filter(prime, pd, w->e));
    return STATUS_OK;
}

}  // namespace

Status rsa_generate_key_pair(RsaPublicKey* public_key, RsaPrivateKey* private_key,
                             const RsaKeySpec* spec, RandomPool* pool) {
    uint32_t bits = spec->bits;
    if (bits < RSA_MIN_MODULUS_BITS || bits > RSA_MAX_MODULUS_BITS)
        return STATUS_BAD_MODULUS_SIZE;

    uint32_t pbits = (bits + 1) / 2;  // an odd size gives p the extra bit
    uint32_t qbits = bits - pbits;
    uint32_t nd = (bits + 31) / 32;
    uint32_t pd = (nd + 1) / 2;

    KeygenWork w;
    bn_assign_zero(w.one, BN_MAX_DIGITS);
    w.one[0] = 1;
    bn_assign_zero(w.step, BN_MAX_DIGITS);
    w.step[0] = 2;
    bn_assign_zero(w.e, BN_MAX_DIGITS);
    w.e[0] = spec->big_exponent != 0 ? 65537 : 3;

    Status status = find_prime(w.p, pbits, pd, &w, pool);
    if (status == STATUS_OK)
        status = find_prime(w.q, qbits, pd, &w, pool);
    if (status != STATUS_OK) {
        mem_wipe(w);
        return status;
    }
    if (bn_cmp(w.p, w.q, pd) < 0) {
        bn_assign(w.d, w.p, pd);
        bn_assign(w.p, w.q, pd);
        bn_assign(w.q, w.d, pd);
    }

    // n = p*q; qinv = q^-1 mod p; d = e^-1 mod (p-1)(q-1); dp, dq = d mod p-1, q-1.
    bn_mult(w.n, w.p, w.q, pd);
    bn_mod_inv(w.qinv, w.q, w.p, pd);
    bn_sub(w.p_minus_1, w.p, w.one, pd);
    bn_sub(w.q_minus_1, w.q, w.one, pd);
    bn_mult(w.phi, w.p_minus_1, w.q_minus_1, pd);
    bn_mod_inv(w.d, w.e, w.phi, nd);
    bn_mod(w.dp, w.d, nd, w.p_minus_1, pd);
    bn_mod(w.dq, w.d, nd, w.q_minus_1, pd);

    public_key->bits = static_cast<uint16_t>(bits);
    bn_encode(public_key->modulus, RSA_MAX_MODULUS_LEN, w.n, nd);
    bn_encode(public_key->public_exponent, RSA_MAX_MODULUS_LEN, w.e, 1);

    private_key->bits = static_cast<uint16_t>(bits);
    mem_copy(private_key->modulus, public_key->modulus, RSA_MAX_MODULUS_LEN);
    mem_copy(private_key->public_exponent, public_key->public_exponent, RSA_MAX_MODULUS_LEN);
    bn_encode(private_key->private_exponent, RSA_MAX_MODULUS_LEN, w.d, nd);
    bn_encode(private_key->prime1, RSA_MAX_PRIME_LEN, w.p, pd);
    bn_encode(private_key->prime2, RSA_MAX_PRIME_LEN, w.q, pd);
    bn_encode(private_key->exponent1, RSA_MAX_PRIME_LEN, w.dp, pd);
    bn_encode(private_key->exponent2, RSA_MAX_PRIME_LEN, w.dq, pd);
    bn_encode(private_key->coefficient, RSA_MAX_PRIME_LEN, w.qinv, pd);

    mem_wipe(w);
    return STATUS_OK;
}
