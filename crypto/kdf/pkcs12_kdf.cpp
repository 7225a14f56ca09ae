#include "crypto/kdf/pkcs12_kdf.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/digest/digest.h"

namespace {

constexpr uint32_t V = 64;

uint32_t round_up(uint32_t n) {
    return (n + V - 1) / V * V;
}

struct KdfSecrets {
    DigestContext digest;
    uint8_t a[DIGEST_MAX_LEN];
    uint8_t b[V];
};

// I_j = (I_j + B + 1) mod 2^(8v), I_j and B big-endian.
void add_block(uint8_t* block, const uint8_t* b) {
    uint32_t carry = 1;
    for (uint32_t k = V; k > 0; --k) {
        carry += static_cast<uint32_t>(block[k - 1]) + b[k - 1];
        block[k - 1] = static_cast<uint8_t>(carry);
        carry >>= 8;
    }
}

void derive(KdfSecrets* s, AlgorithmCode digest, uint8_t id, uint8_t* i_buffer, uint32_t i_len,
            uint32_t iterations, uint8_t* out, uint32_t out_len) {
    uint8_t d[V];
    mem_fill(d, id, V);
    uint32_t done = 0;
    while (done < out_len) {
        uint32_t a_len = 0;
        digest_init(&s->digest, digest);
        digest_update(&s->digest, d, V);
        digest_update(&s->digest, i_buffer, i_len);
        digest_final(&s->digest, s->a, &a_len);
        for (uint32_t r = 1; r < iterations; ++r) {
            digest_init(&s->digest, digest);
            digest_update(&s->digest, s->a, a_len);
            digest_final(&s->digest, s->a, &a_len);
        }
        const uint32_t take = out_len - done < a_len ? out_len - done : a_len;
        mem_copy(out + done, s->a, take);
        done += take;
        if (done == out_len) {
            break;
        }
        for (uint32_t k = 0; k < V; ++k) {
            s->b[k] = s->a[k % a_len];
        }
        for (uint32_t j = 0; j < i_len; j += V) {
            add_block(i_buffer + j, s->b);
        }
    }
}

}  // namespace

Status pkcs12_kdf(AlgorithmCode digest, uint8_t id, const uint8_t* password, uint32_t password_len,
                  const uint8_t* salt, uint32_t salt_len, uint32_t iterations, uint8_t* out,
                  uint32_t out_len) {
    if (digest != ALG_SHA1 && digest != ALG_SHA256) {
        return STATUS_BAD_DIGEST;
    }
    if (iterations == 0 || out_len == 0 || salt_len > 1024 || password_len > PKCS12_MAX_PASSWORD) {
        return STATUS_BAD_LENGTH;
    }
    // The password as a BMPString with its terminator: 00 c1 00 c2 .. 00 00.
    const uint32_t bmp_len = 2 * password_len + 2;
    const uint32_t s_len = salt_len == 0 ? 0 : round_up(salt_len);
    const uint32_t p_len = round_up(bmp_len);
    const uint32_t i_len = s_len + p_len;
    uint8_t* i_buffer = new (std::nothrow) uint8_t[i_len == 0 ? 1 : i_len];
    KdfSecrets* s = new (std::nothrow) KdfSecrets;
    if (i_buffer == nullptr || s == nullptr) {
        delete[] i_buffer;
        delete s;
        return STATUS_NO_MEMORY;
    }
    for (uint32_t k = 0; k < s_len; ++k) {
        i_buffer[k] = salt[k % salt_len];
    }
    for (uint32_t k = 0; k < p_len; ++k) {
        const uint32_t at = k % bmp_len;
        // Even positions hold the high byte (00), odd ones the character;
        // the last two bytes are the terminator.
        i_buffer[s_len + k] = at % 2 == 0 || at / 2 >= password_len ? 0 : password[at / 2];
    }
    derive(s, digest, id, i_buffer, i_len, iterations, out, out_len);
    mem_fill(i_buffer, 0, i_len);
    delete[] i_buffer;
    mem_wipe(*s);
    delete s;
    return STATUS_OK;
}
