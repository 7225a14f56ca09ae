#include "crypto/kdf/pbkdf2.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/mac/hmac.h"

namespace {

// Everything derived from the password, wiped together.
struct Pbkdf2Secrets {
    HmacContext keyed;  // the HMAC after init, copied for every PRF call
    HmacContext work;
    uint8_t u[DIGEST_MAX_LEN];
    uint8_t t[DIGEST_MAX_LEN];
};

void derive(Pbkdf2Secrets* s, const uint8_t* salt, uint32_t salt_len, uint32_t iterations,
            uint8_t* dk, uint32_t dk_len) {
    uint32_t done = 0;
    for (uint32_t block = 1; done < dk_len; ++block) {
        const uint8_t index[4] = {static_cast<uint8_t>(block >> 24),
                                  static_cast<uint8_t>(block >> 16),
                                  static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
        uint32_t u_len = 0;
        s->work = s->keyed;
        hmac_update(&s->work, salt, salt_len);
        hmac_update(&s->work, index, 4);
        hmac_final(&s->work, s->u, &u_len);
        mem_copy(s->t, s->u, u_len);
        for (uint32_t j = 1; j < iterations; ++j) {
            s->work = s->keyed;
            hmac_update(&s->work, s->u, u_len);
            hmac_final(&s->work, s->u, &u_len);
            for (uint32_t k = 0; k < u_len; ++k) {
                s->t[k] ^= s->u[k];
            }
        }
        const uint32_t take = dk_len - done < u_len ? dk_len - done : u_len;
        mem_copy(dk + done, s->t, take);
        done += take;
    }
}

}  // namespace

Status pbkdf2_hmac(AlgorithmCode digest, const uint8_t* password, uint32_t password_len,
                   const uint8_t* salt, uint32_t salt_len, uint32_t iterations, uint8_t* dk,
                   uint32_t dk_len) {
    if (iterations == 0 || dk_len == 0) {
        return STATUS_BAD_LENGTH;
    }
    Pbkdf2Secrets* s = new (std::nothrow) Pbkdf2Secrets;
    if (s == nullptr) {
        return STATUS_NO_MEMORY;
    }
    Status status = hmac_init(&s->keyed, digest, password, password_len);
    if (status == STATUS_OK) {
        derive(s, salt, salt_len, iterations, dk, dk_len);
    }
    mem_wipe(*s);
    delete s;
    return status;
}
