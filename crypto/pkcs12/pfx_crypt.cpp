#include "crypto/pkcs12/pfx_crypt.h"

#include <new>

#include "crypto/cipher/aes.h"
#include "crypto/cipher/des_ede3.h"
#include "crypto/common/mem.h"
#include "crypto/der/der_reader.h"
#include "crypto/kdf/pbkdf2.h"
#include "crypto/kdf/pkcs12_kdf.h"
#include "crypto/pkcs12/pfx_der.h"
#include "crypto/pkcs12/pfx_oids.h"

using pfx_der::add;
using pfx_der::write_oid;
using pfx_der::write_uint;

namespace {

uint32_t wrap(DerWriter* w, uint32_t body) {
    return pfx_der::wrap(w, DER_SEQUENCE, body);
}

uint32_t write_octets(DerWriter* w, const uint8_t* octets, uint32_t len) {
    return pfx_der::write_bytes(w, DER_OCTET_STRING, octets, len);
}

// The longest UTF-8 form of a password the PKCS#12 derivation takes.
constexpr uint32_t kMaxUtf8 = 2 * PKCS12_MAX_PASSWORD;

// Everything derived from the password, wiped together.
struct CryptSecrets {
    uint8_t utf8[kMaxUtf8];
    uint8_t key[32];
    uint8_t iv[PFX_MAX_BLOCK];
    union {
        Des3CbcContext des3;
        AesCbcContext aes;
    } cipher;
};

uint32_t block_of(const PfxScheme* s) {
    return s->kind == PFX_SCHEME_PBES2 && s->cipher == PFX_CIPHER_AES256_CBC ? 16 : 8;
}

bool scheme_ok(const PfxScheme* s) {
    if (s->salt == nullptr || s->salt_len == 0 || s->salt_len > PFX_MAX_SALT ||
        s->iterations == 0 || s->iterations > PFX_MAX_ITERATIONS) {
        return false;
    }
    if (s->kind == PFX_SCHEME_SHA_3DES) {
        return true;
    }
    return s->kind == PFX_SCHEME_PBES2 && (s->prf == ALG_SHA1 || s->prf == ALG_SHA256) &&
           (s->cipher == PFX_CIPHER_AES256_CBC || s->cipher == PFX_CIPHER_DES_EDE3_CBC) &&
           s->iv_len == block_of(s);
}

// ISO-8859-1 to UTF-8: bytes below 80 stay, the others become two bytes.
uint32_t to_utf8(const uint8_t* latin1, uint32_t len, uint8_t* out) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < len; ++i) {
        if (latin1[i] < 0x80) {
            out[n++] = latin1[i];
        } else {
            out[n++] = static_cast<uint8_t>(0xC0 | (latin1[i] >> 6));
            out[n++] = static_cast<uint8_t>(0x80 | (latin1[i] & 0x3F));
        }
    }
    return n;
}

// Derives key and IV and starts the cipher for the direction asked.
bool start(CryptSecrets* s, const PfxScheme* scheme, const uint8_t* password, uint32_t password_len,
           int32_t encrypt) {
    if (password_len > PKCS12_MAX_PASSWORD) {
        return false;
    }
    if (scheme->kind == PFX_SCHEME_SHA_3DES) {
        if (pkcs12_kdf(ALG_SHA1, PKCS12_KDF_KEY, password, password_len, scheme->salt,
                       scheme->salt_len, scheme->iterations, s->key, 24) != STATUS_OK ||
            pkcs12_kdf(ALG_SHA1, PKCS12_KDF_IV, password, password_len, scheme->salt,
                       scheme->salt_len, scheme->iterations, s->iv, 8) != STATUS_OK) {
            return false;
        }
        des3_cbc_init(&s->cipher.des3, s->key, s->iv, encrypt);
        return true;
    }
    const uint32_t key_len = scheme->cipher == PFX_CIPHER_AES256_CBC ? 32 : 24;
    const uint32_t utf8_len = to_utf8(password, password_len, s->utf8);
    if (pbkdf2_hmac(scheme->prf, s->utf8, utf8_len, scheme->salt, scheme->salt_len,
                    scheme->iterations, s->key, key_len) != STATUS_OK) {
        return false;
    }
    if (scheme->cipher == PFX_CIPHER_AES256_CBC) {
        aes256_cbc_init(&s->cipher.aes, s->key, scheme->iv, encrypt);
    } else {
        des3_cbc_init(&s->cipher.des3, s->key, scheme->iv, encrypt);
    }
    return true;
}

Status run(CryptSecrets* s, const PfxScheme* scheme, uint8_t* out, const uint8_t* in,
           uint32_t len) {
    if (scheme->kind == PFX_SCHEME_PBES2 && scheme->cipher == PFX_CIPHER_AES256_CBC) {
        return aes256_cbc_update(&s->cipher.aes, out, in, len);
    }
    return des3_cbc_update(&s->cipher.des3, out, in, len);
}

#define CRYPT_TRY(expression)                    \
    do {                                         \
        const Status try_status_ = (expression); \
        if (try_status_ != STATUS_OK) {          \
            return PFX_CRYPT_UNSUPPORTED;        \
        }                                        \
    } while (0)

Status read_pbes2(DerReader* params, PfxScheme* s) {
    DerElement e, oid;
    DerReader outer, kdf, kdf_params, enc;
    CRYPT_TRY(der_read_expect(params, DER_TAG_SEQUENCE, &e));
    CRYPT_TRY(der_expect_end(params));
    CRYPT_TRY(der_enter(&e, &outer));
    // keyDerivationFunc
    CRYPT_TRY(der_read_expect(&outer, DER_TAG_SEQUENCE, &e));
    CRYPT_TRY(der_enter(&e, &kdf));
    CRYPT_TRY(der_read_expect(&kdf, DER_TAG_OID, &oid));
    if (!pfx_oid::is(oid.value, oid.length, pfx_oid::kPbkdf2)) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    CRYPT_TRY(der_read_expect(&kdf, DER_TAG_SEQUENCE, &e));
    CRYPT_TRY(der_expect_end(&kdf));
    CRYPT_TRY(der_enter(&e, &kdf_params));
    CRYPT_TRY(der_read_expect(&kdf_params, DER_TAG_OCTET_STRING, &e));
    s->salt = e.value;
    s->salt_len = e.length;
    CRYPT_TRY(der_read_expect(&kdf_params, DER_TAG_INTEGER, &e));
    CRYPT_TRY(der_get_uint32(&e, &s->iterations));
    // keyLength, optional: checked against the cipher below.
    uint32_t stated_key_length = 0;
    if (der_next_is(&kdf_params, DER_TAG_INTEGER)) {
        CRYPT_TRY(der_read_element(&kdf_params, &e));
        CRYPT_TRY(der_get_uint32(&e, &stated_key_length));
        if (stated_key_length == 0) {
            return PFX_CRYPT_UNSUPPORTED;
        }
    }
    s->prf = ALG_SHA1;
    if (!der_at_end(&kdf_params)) {
        DerReader prf;
        CRYPT_TRY(der_read_expect(&kdf_params, DER_TAG_SEQUENCE, &e));
        CRYPT_TRY(der_expect_end(&kdf_params));
        CRYPT_TRY(der_enter(&e, &prf));
        CRYPT_TRY(der_read_expect(&prf, DER_TAG_OID, &oid));
        if (pfx_oid::is(oid.value, oid.length, pfx_oid::kHmacSha256)) {
            s->prf = ALG_SHA256;
        } else if (!pfx_oid::is(oid.value, oid.length, pfx_oid::kHmacSha1)) {
            return PFX_CRYPT_UNSUPPORTED;
        }
        if (!der_at_end(&prf)) {
            CRYPT_TRY(der_read_element(&prf, &e));
            CRYPT_TRY(der_get_null(&e));
            CRYPT_TRY(der_expect_end(&prf));
        }
    }
    // encryptionScheme
    CRYPT_TRY(der_read_expect(&outer, DER_TAG_SEQUENCE, &e));
    CRYPT_TRY(der_expect_end(&outer));
    CRYPT_TRY(der_enter(&e, &enc));
    CRYPT_TRY(der_read_expect(&enc, DER_TAG_OID, &oid));
    uint32_t key_len = 0;
    if (pfx_oid::is(oid.value, oid.length, pfx_oid::kAes256Cbc)) {
        s->cipher = PFX_CIPHER_AES256_CBC;
        key_len = 32;
    } else if (pfx_oid::is(oid.value, oid.length, pfx_oid::kDesEde3Cbc)) {
        s->cipher = PFX_CIPHER_DES_EDE3_CBC;
        key_len = 24;
    } else {
        return PFX_CRYPT_UNSUPPORTED;
    }
    if (stated_key_length != 0 && stated_key_length != key_len) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    CRYPT_TRY(der_read_expect(&enc, DER_TAG_OCTET_STRING, &e));
    CRYPT_TRY(der_expect_end(&enc));
    if (e.length != block_of(s)) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    mem_copy(s->iv, e.value, e.length);
    s->iv_len = e.length;
    return PFX_CRYPT_OK;
}

}  // namespace

uint32_t pfx_write_scheme(DerWriter* w, const PfxScheme* s) {
    uint32_t body = 0;
    if (s->kind == PFX_SCHEME_SHA_3DES) {
        uint32_t params = 0;
        if (!add(&params, write_uint(w, s->iterations)) ||
            !add(&params, write_octets(w, s->salt, s->salt_len)) || !add(&body, wrap(w, params)) ||
            !add(&body, write_oid(w, pfx_oid::kSha3Des, sizeof pfx_oid::kSha3Des))) {
            return 0;
        }
        return wrap(w, body);
    }
    if (s->kind != PFX_SCHEME_PBES2 || s->prf != ALG_SHA256 || s->cipher != PFX_CIPHER_AES256_CBC ||
        s->iv_len != 16) {
        return 0;
    }
    uint32_t enc = 0, prf = 0, kdf_params = 0, kdf = 0, pbes2 = 0;
    if (!add(&enc, write_octets(w, s->iv, 16)) ||
        !add(&enc, write_oid(w, pfx_oid::kAes256Cbc, sizeof pfx_oid::kAes256Cbc)) ||
        !add(&pbes2, wrap(w, enc)) || !add(&prf, der_write_element(w, DER_NULL, ByteSpan{})) ||
        !add(&prf, write_oid(w, pfx_oid::kHmacSha256, sizeof pfx_oid::kHmacSha256)) ||
        !add(&kdf_params, wrap(w, prf)) || !add(&kdf_params, write_uint(w, s->iterations)) ||
        !add(&kdf_params, write_octets(w, s->salt, s->salt_len)) ||
        !add(&kdf, wrap(w, kdf_params)) ||
        !add(&kdf, write_oid(w, pfx_oid::kPbkdf2, sizeof pfx_oid::kPbkdf2)) ||
        !add(&pbes2, wrap(w, kdf)) || !add(&body, wrap(w, pbes2)) ||
        !add(&body, write_oid(w, pfx_oid::kPbes2, sizeof pfx_oid::kPbes2))) {
        return 0;
    }
    return wrap(w, body);
}

Status pfx_read_scheme(const uint8_t* der, uint32_t len, PfxScheme* s) {
    *s = PfxScheme{};
    DerReader top, fields, params;
    DerElement e, oid;
    der_reader_init(&top, der, len);
    CRYPT_TRY(der_read_expect(&top, DER_TAG_SEQUENCE, &e));
    CRYPT_TRY(der_expect_end(&top));
    CRYPT_TRY(der_enter(&e, &fields));
    CRYPT_TRY(der_read_expect(&fields, DER_TAG_OID, &oid));
    if (pfx_oid::is(oid.value, oid.length, pfx_oid::kPbes2)) {
        s->kind = PFX_SCHEME_PBES2;
        const Status status = read_pbes2(&fields, s);
        return status == PFX_CRYPT_OK && scheme_ok(s) ? PFX_CRYPT_OK : PFX_CRYPT_UNSUPPORTED;
    }
    if (!pfx_oid::is(oid.value, oid.length, pfx_oid::kSha3Des)) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    s->kind = PFX_SCHEME_SHA_3DES;
    CRYPT_TRY(der_read_expect(&fields, DER_TAG_SEQUENCE, &e));
    CRYPT_TRY(der_expect_end(&fields));
    CRYPT_TRY(der_enter(&e, &params));
    CRYPT_TRY(der_read_expect(&params, DER_TAG_OCTET_STRING, &e));
    s->salt = e.value;
    s->salt_len = e.length;
    CRYPT_TRY(der_read_expect(&params, DER_TAG_INTEGER, &e));
    CRYPT_TRY(der_get_uint32(&e, &s->iterations));
    CRYPT_TRY(der_expect_end(&params));
    return scheme_ok(s) ? PFX_CRYPT_OK : PFX_CRYPT_UNSUPPORTED;
}

#undef CRYPT_TRY

Status pfx_encrypt(const PfxScheme* scheme, const uint8_t* password, uint32_t password_len,
                   const uint8_t* in, uint32_t in_len, uint8_t* out, uint32_t out_capacity,
                   uint32_t* out_len) {
    if (!scheme_ok(scheme)) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    const uint32_t block = block_of(scheme);
    const uint32_t pad = block - in_len % block;
    if (in_len > UINT32_MAX - block || out_capacity < in_len + pad) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    CryptSecrets* s = new (std::nothrow) CryptSecrets;
    if (s == nullptr) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    Status status = PFX_CRYPT_UNSUPPORTED;
    if (start(s, scheme, password, password_len, 1)) {
        mem_copy(out, in, in_len);
        mem_fill(out + in_len, static_cast<uint8_t>(pad), pad);
        if (run(s, scheme, out, out, in_len + pad) == STATUS_OK) {
            *out_len = in_len + pad;
            status = PFX_CRYPT_OK;
        }
    }
    mem_wipe(*s);
    delete s;
    return status;
}

Status pfx_decrypt(const PfxScheme* scheme, const uint8_t* password, uint32_t password_len,
                   const uint8_t* in, uint32_t in_len, uint8_t* out, uint32_t* out_len) {
    if (!scheme_ok(scheme)) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    const uint32_t block = block_of(scheme);
    if (in_len == 0 || in_len % block != 0) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    CryptSecrets* s = new (std::nothrow) CryptSecrets;
    if (s == nullptr) {
        return PFX_CRYPT_UNSUPPORTED;
    }
    Status status = PFX_CRYPT_UNSUPPORTED;
    if (start(s, scheme, password, password_len, 0) &&
        run(s, scheme, out, in, in_len) == STATUS_OK) {
        // The last byte n (1 to one block) and the n - 1 before it must all
        // be n; every byte of the last block is looked at.
        const uint8_t n = out[in_len - 1];
        uint8_t differ = static_cast<uint8_t>(n == 0 || n > block);
        const uint32_t checked = n == 0 || n > block ? block : n;
        for (uint32_t i = 1; i <= checked; ++i) {
            differ |= static_cast<uint8_t>(out[in_len - i] ^ n);
        }
        if (differ != 0) {
            status = PFX_CRYPT_BAD_PADDING;
        } else {
            *out_len = in_len - n;
            status = PFX_CRYPT_OK;
        }
    }
    mem_wipe(*s);
    delete s;
    return status;
}
