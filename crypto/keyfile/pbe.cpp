#include "crypto/keyfile/pbe.h"

#include "crypto/cipher/des.h"
#include "crypto/common/mem.h"
#include "crypto/digest/digest.h"

namespace {

// Everything derived from the password, wiped together.
struct PbeSecrets {
    DigestContext digest;
    uint8_t t[DIGEST_MAX_LEN];        // the PBKDF1 value
    uint8_t scratch[DIGEST_MAX_LEN];  // the previous value while iterating
    uint8_t key[PBE_BLOCK_LEN];
    uint8_t iv[PBE_BLOCK_LEN];
    DesCbcContext des;
};

AlgorithmCode digest_for_scheme(AlgorithmCode algorithm) {
    switch (algorithm) {
        case ALG_PBE_MD2_DES_CBC:
            return ALG_MD2;
        case ALG_PBE_MD5_DES_CBC:
            return ALG_MD5;
        default:
            return 0;
    }
}

// out = H(first || second), two updates; *out_len = the digest length.
bool digest_two(DigestContext* ctx, AlgorithmCode code, const uint8_t* first, uint32_t first_len,
                const uint8_t* second, uint32_t second_len, uint8_t out[DIGEST_MAX_LEN],
                uint32_t* out_len) {
    return digest_init(ctx, code) == STATUS_OK &&
           digest_update(ctx, first, first_len) == STATUS_OK &&
           digest_update(ctx, second, second_len) == STATUS_OK &&
           digest_final(ctx, out, out_len) == STATUS_OK;
}

// Sets each byte's lowest bit so that it has an odd number of 1 bits.
void set_odd_parity(uint8_t key[PBE_BLOCK_LEN]) {
    for (uint32_t i = 0; i < PBE_BLOCK_LEN; ++i) {
        uint8_t ones = 0;
        for (uint8_t b = key[i]; b != 0; b = static_cast<uint8_t>(b >> 1)) {
            ones = static_cast<uint8_t>(ones + (b & 1));
        }
        if ((ones & 1) == 0) {
            key[i] ^= 1;
        }
    }
}

// PBKDF1 and the cipher set-up: T1 = H(password || salt), Ti = H(Ti-1),
// DES key = T[0..7] with odd parity, IV = T[8..15]; then the DES context for
// the direction asked.
bool derive(PbeSecrets* s, AlgorithmCode code, uint32_t iterations,
            const uint8_t salt[PBE_SALT_LEN], const uint8_t* password, uint32_t password_len,
            int32_t encrypt) {
    uint32_t t_len = 0;
    if (!digest_two(&s->digest, code, password, password_len, salt, PBE_SALT_LEN, s->t, &t_len)) {
        return false;
    }
    for (uint32_t i = 1; i < iterations; ++i) {
        mem_copy(s->scratch, s->t, DIGEST_MAX_LEN);
        if (!digest_two(&s->digest, code, s->scratch, t_len, nullptr, 0, s->t, &t_len)) {
            return false;
        }
    }
    mem_copy(s->key, s->t, PBE_BLOCK_LEN);
    mem_copy(s->iv, s->t + PBE_BLOCK_LEN, PBE_BLOCK_LEN);
    set_odd_parity(s->key);
    des_cbc_init(&s->des, s->key, s->iv, encrypt);
    return true;
}

uint32_t encrypt(PbeSecrets* s, AlgorithmCode code, const ByteSpan& plaintext, ByteSpan* ciphertext,
                 uint32_t iterations, uint8_t salt[PBE_SALT_LEN], const uint8_t* password,
                 uint32_t password_len) {
    const uint32_t pad = PBE_BLOCK_LEN - plaintext.length % PBE_BLOCK_LEN;
    if (plaintext.length > UINT32_MAX - PBE_BLOCK_LEN ||
        ciphertext->length < plaintext.length + pad) {
        return 0;
    }

    // Salt: H(password || plaintext), first 8 bytes.
    uint32_t t_len = 0;
    if (!digest_two(&s->digest, code, password, password_len, plaintext.data, plaintext.length,
                    s->t, &t_len)) {
        return 0;
    }
    mem_copy(salt, s->t, PBE_SALT_LEN);
    if (!derive(s, code, iterations, salt, password, password_len, 1)) {
        return 0;
    }

    mem_fill(plaintext.data + plaintext.length, static_cast<uint8_t>(pad), pad);
    const uint32_t padded = plaintext.length + pad;
    if (des_cbc_update(&s->des, ciphertext->data, plaintext.data, padded) != STATUS_OK) {
        return 0;
    }
    ciphertext->length = padded;
    return padded;
}

Status decrypt(PbeSecrets* s, AlgorithmCode code, const ByteSpan& ciphertext, uint8_t* plaintext,
               uint32_t* plaintext_len, uint32_t iterations, const uint8_t salt[PBE_SALT_LEN],
               const uint8_t* password, uint32_t password_len) {
    if (!derive(s, code, iterations, salt, password, password_len, 0) ||
        des_cbc_update(&s->des, plaintext, ciphertext.data, ciphertext.length) != STATUS_OK) {
        return PBE_FAILED;
    }
    // The last byte n (1 to 8) and the n - 1 before it must all be n; every
    // byte is looked at, whatever the first difference.
    const uint8_t n = plaintext[ciphertext.length - 1];
    uint8_t differ = static_cast<uint8_t>(n == 0 || n > PBE_BLOCK_LEN);
    const uint32_t checked = n == 0 || n > PBE_BLOCK_LEN ? PBE_BLOCK_LEN : n;
    for (uint32_t i = 1; i <= checked; ++i) {
        differ |= static_cast<uint8_t>(plaintext[ciphertext.length - i] ^ n);
    }
    if (differ != 0) {
        return PBE_BAD_PADDING;
    }
    *plaintext_len = ciphertext.length - n;
    return PBE_OK;
}

}  // namespace

uint32_t pbe_encrypt(const ByteSpan& plaintext, ByteSpan* ciphertext, AlgorithmCode algorithm,
                     uint32_t iterations, uint8_t salt[PBE_SALT_LEN], const uint8_t* password,
                     uint32_t password_len) {
    const AlgorithmCode code = digest_for_scheme(algorithm);
    if (code == 0 || iterations == 0 || (password == nullptr && password_len != 0)) {
        return 0;
    }
    PbeSecrets secrets;
    const uint32_t result =
        encrypt(&secrets, code, plaintext, ciphertext, iterations, salt, password, password_len);
    mem_wipe(secrets);
    return result;
}

Status pbe_decrypt(const ByteSpan& ciphertext, uint8_t* plaintext, uint32_t* plaintext_len,
                   AlgorithmCode algorithm, uint32_t iterations, const uint8_t salt[PBE_SALT_LEN],
                   const uint8_t* password, uint32_t password_len) {
    const AlgorithmCode code = digest_for_scheme(algorithm);
    if (code == 0 || iterations == 0 || (password == nullptr && password_len != 0) ||
        ciphertext.data == nullptr || ciphertext.length == 0 ||
        ciphertext.length % PBE_BLOCK_LEN != 0) {
        return PBE_FAILED;
    }
    PbeSecrets secrets;
    const Status result = decrypt(&secrets, code, ciphertext, plaintext, plaintext_len, iterations,
                                  salt, password, password_len);
    mem_wipe(secrets);
    return result;
}
