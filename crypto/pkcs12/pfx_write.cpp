#include "crypto/pkcs12/pfx_write.h"

#include <cstddef>
#include <initializer_list>
#include <new>

#include "crypto/common/algorithm.h"
#include "crypto/common/mem.h"
#include "crypto/der/oid.h"
#include "crypto/digest/digest.h"
#include "crypto/kdf/pkcs12_kdf.h"
#include "crypto/mac/hmac.h"
#include "crypto/pkcs12/pfx_crypt.h"
#include "crypto/pkcs12/pfx_der.h"
#include "crypto/pkcs12/pfx_oids.h"
#include "crypto/request/key_encoding.h"
#include "crypto/request/req_sign.h"

using pfx_der::add;
using pfx_der::write_bytes;
using pfx_der::write_oid;
using pfx_der::write_uint;

namespace {

constexpr uint32_t kMaxFriendlyName = 256;
constexpr uint8_t kBmpString = 0x1E;
constexpr uint32_t kKeyArea = 2048;
constexpr uint32_t kAttributeArea = 2 * kMaxFriendlyName + 128;

uint32_t seq(DerWriter* w, uint32_t body) {
    return pfx_der::wrap(w, DER_SEQUENCE, body);
}

uint32_t explicit0(DerWriter* w, uint32_t body) {
    return pfx_der::wrap(w, 0xA0, body);
}

// Everything of one file that is not its output, wiped together.
struct PfxWork {
    DerWriter w;
    uint8_t key_info[kKeyArea];
    uint8_t key_cipher[kKeyArea + PFX_MAX_BLOCK];
    uint8_t one[kAttributeArea];
    uint8_t two[kAttributeArea];
    uint8_t attributes[2 * kAttributeArea + 8];
    uint32_t attributes_len;
    uint8_t bmp_name[2 * kMaxFriendlyName];
    uint8_t local_key_id[20];
    uint8_t key_salt[16];
    uint8_t cert_salt[16];
    uint8_t mac_salt[8];
    uint8_t mac_key[DIGEST_MAX_LEN];
    uint8_t mac[DIGEST_MAX_LEN];
    PfxScheme key_scheme;
    PfxScheme cert_scheme;
};

// The view of what a writer holds, taken out of it.
bool take(DerWriter* w, const uint8_t** data, uint32_t* len) {
    ByteSpan span{nullptr, w->capacity};
    if (der_take(w, &span) == 0) {
        return false;
    }
    *data = span.data;
    *len = span.length;
    return true;
}

// One attribute: SEQUENCE { type, SET { value } }, written at the end of
// `area` (kAttributeArea bytes); *data / *len view it.
bool write_attribute(DerWriter* w, uint8_t* area, const uint8_t (&type)[9], uint8_t value_tag,
                     const uint8_t* value, uint32_t value_len, const uint8_t** data,
                     uint32_t* len) {
    der_init(w, area, kAttributeArea);
    uint32_t body = 0;
    return add(&body, pfx_der::wrap(w, DER_SET, write_bytes(w, value_tag, value, value_len))) &&
           add(&body, write_oid(w, type, 9)) && seq(w, body) != 0 && take(w, data, len);
}

// X.690 order of two SET OF members: their encodings as octet strings.
bool before(const uint8_t* a, uint32_t a_len, const uint8_t* b, uint32_t b_len) {
    const uint32_t n = a_len < b_len ? a_len : b_len;
    for (uint32_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i];
        }
    }
    return a_len <= b_len;
}

// The bag attributes shared by the key and its certificate (layout in the
// header), into work->attributes.
bool write_attributes(PfxWork* work, const PfxInput* input) {
    uint32_t digest_len = 0;
    if (digest_oneshot(work->local_key_id, &digest_len, input->certificates[0].data,
                       input->certificates[0].length, ALG_SHA1) != STATUS_OK) {
        return false;
    }
    const uint8_t* id = nullptr;
    uint32_t id_len = 0;
    if (!write_attribute(&work->w, work->two, pfx_oid::kLocalKeyId, DER_OCTET_STRING,
                         work->local_key_id, 20, &id, &id_len)) {
        return false;
    }
    const uint8_t* members[2] = {id, nullptr};
    uint32_t lengths[2] = {id_len, 0};
    uint32_t count = 1;
    if (input->friendly_name_len != 0) {
        for (uint32_t i = 0; i < input->friendly_name_len; ++i) {
            work->bmp_name[2 * i] = 0;
            work->bmp_name[2 * i + 1] = input->friendly_name[i];
        }
        if (!write_attribute(&work->w, work->one, pfx_oid::kFriendlyName, kBmpString,
                             work->bmp_name, 2 * input->friendly_name_len, &members[1],
                             &lengths[1])) {
            return false;
        }
        count = 2;
        if (before(members[1], lengths[1], members[0], lengths[0])) {
            const uint8_t* m = members[0];
            members[0] = members[1];
            members[1] = m;
            const uint32_t l = lengths[0];
            lengths[0] = lengths[1];
            lengths[1] = l;
        }
    }
    der_init(&work->w, work->attributes, sizeof work->attributes);
    uint32_t body = 0;
    for (uint32_t i = count; i > 0; --i) {
        if (!add(&body, der_prepend(&work->w, ByteSpan{const_cast<uint8_t*>(members[i - 1]),
                                                       lengths[i - 1]}))) {
            return false;
        }
    }
    const uint8_t* set = nullptr;
    if (pfx_der::wrap(&work->w, DER_SET, body) == 0 ||
        !take(&work->w, &set, &work->attributes_len)) {
        return false;
    }
    // Moved to the start of the area, so a view of it stays simple.
    mem_copy(work->attributes, set, work->attributes_len);
    return true;
}

uint32_t prepend_attributes(PfxWork* work) {
    return der_prepend(&work->w, ByteSpan{work->attributes, work->attributes_len});
}

// The certificates' SafeContents, written with `w` into `area`; encrypted
// into `cipher` (cipher_len on return).
bool write_certificates(PfxWork* work, const PfxInput* input, uint8_t* area, uint32_t area_len,
                        uint8_t* cipher, uint32_t* cipher_len) {
    DerWriter* w = &work->w;
    der_init(w, area, area_len);
    uint32_t bags = 0;
    for (uint32_t i = input->certificate_count; i > 0; --i) {
        const ByteSpan& cert = input->certificates[i - 1];
        uint32_t bag = 0, cert_bag = 0;
        if (i == 1 && !add(&bag, prepend_attributes(work))) {
            return false;
        }
        if (!add(&cert_bag,
                 explicit0(w, write_bytes(w, DER_OCTET_STRING, cert.data, cert.length))) ||
            !add(&cert_bag,
                 write_oid(w, pfx_oid::kX509Certificate, sizeof pfx_oid::kX509Certificate)) ||
            !add(&bag, explicit0(w, seq(w, cert_bag))) ||
            !add(&bag, write_oid(w, pfx_oid::kCertBag, sizeof pfx_oid::kCertBag)) ||
            !add(&bags, seq(w, bag))) {
            return false;
        }
    }
    const uint8_t* plain = nullptr;
    uint32_t plain_len = 0;
    return seq(w, bags) != 0 && take(w, &plain, &plain_len) &&
           pfx_encrypt(&work->cert_scheme, input->password, input->password_len, plain, plain_len,
                       cipher, area_len, cipher_len) == PFX_CRYPT_OK;
}

// The PrivateKeyInfo, encrypted into work->key_cipher.
bool encrypt_key(PfxWork* work, const PfxInput* input, uint32_t* cipher_len) {
    der_init(&work->w, work->key_info, kKeyArea);
    const uint8_t* plain = nullptr;
    uint32_t plain_len = 0;
    return rsa_write_private_key_info(&work->w, ALG_RSA, input->key) != 0 &&
           take(&work->w, &plain, &plain_len) &&
           pfx_encrypt(&work->key_scheme, input->password, input->password_len, plain, plain_len,
                       work->key_cipher, sizeof work->key_cipher, cipher_len) == PFX_CRYPT_OK;
}

// The AuthenticatedSafe into `area`: the encrypted certificates, then the
// key's SafeContents in the clear (the key itself is shrouded).
bool write_authenticated_safe(PfxWork* work, uint32_t key_cipher_len, const uint8_t* cert_cipher,
                              uint32_t cert_cipher_len, uint8_t* area, uint32_t area_len,
                              const uint8_t** safe, uint32_t* safe_len) {
    DerWriter* w = &work->w;
    der_init(w, area, area_len);
    uint32_t bag = 0, epki = 0, key_info = 0;
    if (!add(&bag, prepend_attributes(work)) ||
        !add(&epki, write_bytes(w, DER_OCTET_STRING, work->key_cipher, key_cipher_len)) ||
        !add(&epki, pfx_write_scheme(w, &work->key_scheme)) ||
        !add(&bag, explicit0(w, seq(w, epki))) ||
        !add(&bag, write_oid(w, pfx_oid::kShroudedKeyBag, sizeof pfx_oid::kShroudedKeyBag)) ||
        !add(&key_info, explicit0(w, pfx_der::wrap(w, DER_OCTET_STRING, seq(w, seq(w, bag))))) ||
        !add(&key_info, write_oid(w, pfx_oid::kData, sizeof pfx_oid::kData))) {
        return false;
    }
    uint32_t contents = seq(w, key_info);
    uint32_t encrypted_info = 0, encrypted_data = 0, cert_info = 0;
    if (!add(&encrypted_info, write_bytes(w, 0x80, cert_cipher, cert_cipher_len)) ||
        !add(&encrypted_info, pfx_write_scheme(w, &work->cert_scheme)) ||
        !add(&encrypted_info, write_oid(w, pfx_oid::kData, sizeof pfx_oid::kData)) ||
        !add(&encrypted_data, seq(w, encrypted_info)) || !add(&encrypted_data, write_uint(w, 0)) ||
        !add(&cert_info, explicit0(w, seq(w, encrypted_data))) ||
        !add(&cert_info, write_oid(w, pfx_oid::kEncryptedData, sizeof pfx_oid::kEncryptedData)) ||
        !add(&contents, seq(w, cert_info))) {
        return false;
    }
    return seq(w, contents) != 0 && take(w, safe, safe_len);
}

// The PFX around the AuthenticatedSafe, with its MAC, into `out`.
bool write_pfx(PfxWork* work, const PfxInput* input, const uint8_t* safe, uint32_t safe_len,
               uint8_t* out, uint32_t capacity, uint32_t* out_len) {
    const AlgorithmCode digest = input->preset == PFX_PRESET_MODERN ? ALG_SHA256 : ALG_SHA1;
    const uint32_t mac_len = digest == ALG_SHA256 ? 32 : 20;
    uint32_t got = 0;
    if (pkcs12_kdf(digest, PKCS12_KDF_MAC, input->password, input->password_len, work->mac_salt,
                   sizeof work->mac_salt, PFX_ITERATIONS, work->mac_key, mac_len) != STATUS_OK ||
        hmac_oneshot(digest, work->mac_key, mac_len, safe, safe_len, work->mac, &got) !=
            STATUS_OK) {
        return false;
    }
    DerWriter* w = &work->w;
    der_init(w, out, capacity);
    uint32_t mac_data = 0, digest_info = 0, auth_safe = 0, pfx = 0;
    if (!add(&mac_data, write_uint(w, PFX_ITERATIONS)) ||
        !add(&mac_data, write_bytes(w, DER_OCTET_STRING, work->mac_salt, sizeof work->mac_salt)) ||
        !add(&digest_info, write_bytes(w, DER_OCTET_STRING, work->mac, mac_len)) ||
        !add(&digest_info, der_write_algorithm_id(w, digest)) ||
        !add(&mac_data, seq(w, digest_info)) || !add(&pfx, seq(w, mac_data)) ||
        !add(&auth_safe, explicit0(w, write_bytes(w, DER_OCTET_STRING, safe, safe_len))) ||
        !add(&auth_safe, write_oid(w, pfx_oid::kData, sizeof pfx_oid::kData)) ||
        !add(&pfx, seq(w, auth_safe)) || !add(&pfx, write_uint(w, 3))) {
        return false;
    }
    const uint8_t* file = nullptr;
    if (seq(w, pfx) == 0 || !take(w, &file, out_len)) {
        return false;
    }
    mem_copy(out, file, *out_len);
    return true;
}

Status write(PfxWork* work, const PfxInput* input, RandomPool* pool, uint8_t* area,
             uint32_t area_len, uint8_t* out, uint32_t capacity, uint32_t* out_len) {
    const bool modern = input->preset == PFX_PRESET_MODERN;
    const uint32_t salt_len = modern ? 16 : 8;
    for (PfxScheme* scheme : {&work->key_scheme, &work->cert_scheme}) {
        *scheme = PfxScheme{};
        scheme->kind = modern ? PFX_SCHEME_PBES2 : PFX_SCHEME_SHA_3DES;
        scheme->prf = ALG_SHA256;
        scheme->cipher = PFX_CIPHER_AES256_CBC;
        scheme->salt_len = salt_len;
        scheme->iterations = PFX_ITERATIONS;
        scheme->iv_len = modern ? 16 : 0;
        if (rand_generate(scheme->iv, 16, pool) != STATUS_OK) {
            return PFX_WRITE_NOT_SEEDED;
        }
    }
    work->key_scheme.salt = work->key_salt;
    work->cert_scheme.salt = work->cert_salt;
    if (rand_generate(work->key_salt, salt_len, pool) != STATUS_OK ||
        rand_generate(work->cert_salt, salt_len, pool) != STATUS_OK ||
        rand_generate(work->mac_salt, sizeof work->mac_salt, pool) != STATUS_OK) {
        return PFX_WRITE_NOT_SEEDED;
    }
    // The three large areas: the certificates in the clear, encrypted, and
    // the AuthenticatedSafe.
    uint8_t* plain = area;
    uint8_t* cipher = area + area_len;
    uint8_t* safe_area = area + 2 * area_len;
    uint32_t key_cipher_len = 0, cert_cipher_len = 0, safe_len = 0;
    const uint8_t* safe = nullptr;
    if (!write_attributes(work, input) || !encrypt_key(work, input, &key_cipher_len) ||
        !write_certificates(work, input, plain, area_len, cipher, &cert_cipher_len) ||
        !write_authenticated_safe(work, key_cipher_len, cipher, cert_cipher_len, safe_area,
                                  area_len, &safe, &safe_len)) {
        return PFX_WRITE_FAILED;
    }
    return write_pfx(work, input, safe, safe_len, out, capacity, out_len) ? PFX_WRITE_OK
                                                                          : PFX_WRITE_BAD_INPUT;
}

}  // namespace

uint32_t pfx_size_bound(const PfxInput* input) {
    uint32_t total = 8192 + 2 * input->friendly_name_len;
    for (uint32_t i = 0; i < input->certificate_count && i < PFX_MAX_CERTIFICATES; ++i) {
        total += input->certificates[i].length + 160;
    }
    return total;
}

Status pfx_write(const PfxInput* input, RandomPool* pool, uint8_t* out, uint32_t capacity,
                 uint32_t* out_len) {
    if (input->certificate_count == 0 || input->certificate_count > PFX_MAX_CERTIFICATES ||
        input->password_len > PKCS12_MAX_PASSWORD || input->friendly_name_len > kMaxFriendlyName ||
        (input->preset != PFX_PRESET_COMPATIBLE && input->preset != PFX_PRESET_MODERN)) {
        return PFX_WRITE_BAD_INPUT;
    }
    uint64_t certificates = 0;
    for (uint32_t i = 0; i < input->certificate_count; ++i) {
        if (input->certificates[i].data == nullptr || input->certificates[i].length == 0) {
            return PFX_WRITE_BAD_INPUT;
        }
        certificates += input->certificates[i].length;
    }
    if (certificates > (1u << 24)) {
        return PFX_WRITE_BAD_INPUT;
    }
    const uint32_t area_len = pfx_size_bound(input);
    PfxWork* work = new (std::nothrow) PfxWork;
    uint8_t* area = new (std::nothrow) uint8_t[3 * static_cast<size_t>(area_len)];
    Status status = PFX_WRITE_FAILED;
    if (work != nullptr && area != nullptr) {
        status = write(work, input, pool, area, area_len, out, capacity, out_len);
    }
    if (area != nullptr) {
        mem_fill(area, 0, 3 * area_len);
        delete[] area;
    }
    if (work != nullptr) {
        mem_wipe(*work);
        delete work;
    }
    return status;
}
