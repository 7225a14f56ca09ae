#include "crypto/pkcs12/pfx_read.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/der/der_reader.h"
#include "crypto/der/oid.h"
#include "crypto/kdf/pkcs12_kdf.h"
#include "crypto/mac/hmac.h"
#include "crypto/pkcs12/pfx_oids.h"
#include "crypto/request/key_decoding.h"

namespace {

#define PFX_TRY(expression, failure)     \
    do {                                 \
        if ((expression) != STATUS_OK) { \
            return failure;              \
        }                                \
    } while (0)
#define DER_TRY(expression) PFX_TRY(expression, PFX_READ_NOT_PFX)

struct Reader {
    const uint8_t* password;
    uint32_t password_len;
    PfxContents* out;
    uint32_t used;  // bytes of out->storage in use
};

bool is_oid(const DerElement& e, const uint8_t* octets, uint32_t len) {
    if (e.tag != DER_TAG_OID || e.length != len) {
        return false;
    }
    for (uint32_t i = 0; i < len; ++i) {
        if (e.value[i] != octets[i]) {
            return false;
        }
    }
    return true;
}

template <uint32_t N>
bool is_oid(const DerElement& e, const uint8_t (&oid)[N]) {
    return is_oid(e, oid, N);
}

// The one element inside an [0] EXPLICIT wrapper.
Status explicit_content(DerReader* r, DerElement* inner) {
    DerElement wrapper;
    DerReader fields;
    DER_TRY(der_read_expect(r, der_context_constructed(0), &wrapper));
    DER_TRY(der_enter(&wrapper, &fields));
    DER_TRY(der_read_element(&fields, inner));
    DER_TRY(der_expect_end(&fields));
    return PFX_READ_OK;
}

Status map_crypt(Status s) {
    return s == PFX_CRYPT_BAD_PADDING ? PFX_READ_WRONG_PASSWORD : PFX_READ_UNSUPPORTED;
}

Status store_key(Reader* r, const uint8_t* der, uint32_t len) {
    if (r->out->has_key) {
        return PFX_READ_UNSUPPORTED;
    }
    const Status read = rsa_read_private_key_info(der, len, &r->out->key);
    if (read == STATUS_NOT_RSA || read == STATUS_BAD_MODULUS_SIZE) {
        return PFX_READ_UNSUPPORTED;
    }
    if (read != STATUS_OK) {
        return PFX_READ_WRONG_PASSWORD;
    }
    r->out->has_key = true;
    return PFX_READ_OK;
}

// EncryptedPrivateKeyInfo ::= SEQUENCE { scheme, encryptedData OCTET STRING }
Status read_shrouded_key(Reader* r, const DerElement& value) {
    DerReader fields;
    DerElement algorithm, data;
    DER_TRY(der_enter(&value, &fields));
    DER_TRY(der_read_expect(&fields, DER_TAG_SEQUENCE, &algorithm));
    DER_TRY(der_read_expect(&fields, DER_TAG_OCTET_STRING, &data));
    DER_TRY(der_expect_end(&fields));
    PfxScheme scheme;
    PFX_TRY(pfx_read_scheme(algorithm.start, algorithm.size, &scheme), PFX_READ_UNSUPPORTED);
    r->out->key_scheme = scheme.kind;
    r->out->key_prf = scheme.prf;
    r->out->key_cipher = scheme.cipher;
    uint8_t* plain = new (std::nothrow) uint8_t[data.length == 0 ? 1 : data.length];
    if (plain == nullptr) {
        return PFX_READ_NO_MEMORY;
    }
    uint32_t plain_len = 0;
    Status status = pfx_decrypt(&scheme, r->password, r->password_len, data.value, data.length,
                                plain, &plain_len);
    status = status == PFX_CRYPT_OK ? store_key(r, plain, plain_len) : map_crypt(status);
    mem_fill(plain, 0, data.length);
    delete[] plain;
    return status;
}

// CertBag ::= SEQUENCE { certId x509Certificate, certValue [0] EXPLICIT OCTET STRING }
Status read_cert_bag(Reader* r, const DerElement& value) {
    DerReader fields;
    DerElement id, cert;
    DER_TRY(der_enter(&value, &fields));
    DER_TRY(der_read_expect(&fields, DER_TAG_OID, &id));
    if (!is_oid(id, pfx_oid::kX509Certificate)) {
        ++r->out->other_bags;
        return PFX_READ_OK;
    }
    const Status inner = explicit_content(&fields, &cert);
    if (inner != PFX_READ_OK) {
        return inner;
    }
    DER_TRY(der_expect_end(&fields));
    if (cert.tag != DER_TAG_OCTET_STRING || cert.length == 0) {
        return PFX_READ_NOT_PFX;
    }
    if (r->out->certificate_count == PFX_READ_MAX_CERTIFICATES) {
        return PFX_READ_UNSUPPORTED;
    }
    r->out->certificates[r->out->certificate_count++] =
        ByteSpan{const_cast<uint8_t*>(cert.value), cert.length};
    return PFX_READ_OK;
}

// SafeContents ::= SEQUENCE OF SafeBag { bagId, bagValue [0], bagAttributes SET OPTIONAL }
Status read_safe_contents(Reader* r, const uint8_t* der, uint32_t len) {
    DerReader top, bags;
    DerElement e;
    der_reader_init(&top, der, len);
    DER_TRY(der_read_expect(&top, DER_TAG_SEQUENCE, &e));
    PFX_TRY(der_expect_end(&top), PFX_READ_WRONG_PASSWORD);
    DER_TRY(der_enter(&e, &bags));
    while (!der_at_end(&bags)) {
        DerElement bag, id, value;
        DerReader fields;
        DER_TRY(der_read_expect(&bags, DER_TAG_SEQUENCE, &bag));
        DER_TRY(der_enter(&bag, &fields));
        DER_TRY(der_read_expect(&fields, DER_TAG_OID, &id));
        Status status = explicit_content(&fields, &value);
        if (status != PFX_READ_OK) {
            return status;
        }
        if (der_next_is(&fields, DER_TAG_SET)) {
            DER_TRY(der_read_element(&fields, &e));
        }
        DER_TRY(der_expect_end(&fields));
        if (is_oid(id, pfx_oid::kShroudedKeyBag) && value.tag == DER_TAG_SEQUENCE) {
            status = read_shrouded_key(r, value);
        } else if (is_oid(id, pfx_oid::kKeyBag)) {
            status = store_key(r, value.start, value.size);
        } else if (is_oid(id, pfx_oid::kCertBag) && value.tag == DER_TAG_SEQUENCE) {
            status = read_cert_bag(r, value);
        } else {
            ++r->out->other_bags;
            status = PFX_READ_OK;
        }
        if (status != PFX_READ_OK) {
            return status;
        }
    }
    return PFX_READ_OK;
}

// EncryptedData ::= SEQUENCE { version, EncryptedContentInfo { data,
// scheme, [0] IMPLICIT ciphertext } }: decrypted into the storage.
Status read_encrypted_data(Reader* r, const DerElement& value) {
    DerReader fields, info;
    DerElement e, type, algorithm, data;
    DER_TRY(der_enter(&value, &fields));
    DER_TRY(der_read_expect(&fields, DER_TAG_INTEGER, &e));
    DER_TRY(der_read_expect(&fields, DER_TAG_SEQUENCE, &e));
    DER_TRY(der_expect_end(&fields));
    DER_TRY(der_enter(&e, &info));
    DER_TRY(der_read_expect(&info, DER_TAG_OID, &type));
    DER_TRY(der_read_expect(&info, DER_TAG_SEQUENCE, &algorithm));
    DER_TRY(der_read_expect(&info, der_context_primitive(0), &data));
    DER_TRY(der_expect_end(&info));
    if (!is_oid(type, pfx_oid::kData)) {
        return PFX_READ_UNSUPPORTED;
    }
    PfxScheme scheme;
    PFX_TRY(pfx_read_scheme(algorithm.start, algorithm.size, &scheme), PFX_READ_UNSUPPORTED);
    r->out->certificate_scheme = scheme.kind;
    r->out->certificate_prf = scheme.prf;
    r->out->certificate_cipher = scheme.cipher;
    if (data.length > r->out->storage_len - r->used) {
        return PFX_READ_NOT_PFX;
    }
    uint8_t* plain = r->out->storage + r->used;
    uint32_t plain_len = 0;
    const Status status = pfx_decrypt(&scheme, r->password, r->password_len, data.value,
                                      data.length, plain, &plain_len);
    if (status != PFX_CRYPT_OK) {
        return map_crypt(status);
    }
    r->used += plain_len;
    return read_safe_contents(r, plain, plain_len);
}

// macData: the HMAC over the AuthenticatedSafe, compared in full.
Status check_mac(Reader* r, DerReader* pfx, const DerElement& content) {
    if (der_at_end(pfx)) {
        return PFX_READ_UNSUPPORTED;
    }
    DerReader mac_data, digest_info, algorithm;
    DerElement e, oid, mac, salt;
    DER_TRY(der_read_expect(pfx, DER_TAG_SEQUENCE, &e));
    DER_TRY(der_expect_end(pfx));
    DER_TRY(der_enter(&e, &mac_data));
    DER_TRY(der_read_expect(&mac_data, DER_TAG_SEQUENCE, &e));
    DER_TRY(der_enter(&e, &digest_info));
    DER_TRY(der_read_expect(&digest_info, DER_TAG_SEQUENCE, &e));
    DER_TRY(der_enter(&e, &algorithm));
    DER_TRY(der_read_expect(&algorithm, DER_TAG_OID, &oid));
    if (!der_at_end(&algorithm)) {
        DER_TRY(der_read_element(&algorithm, &e));
        DER_TRY(der_get_null(&e));
        DER_TRY(der_expect_end(&algorithm));
    }
    DER_TRY(der_read_expect(&digest_info, DER_TAG_OCTET_STRING, &mac));
    DER_TRY(der_expect_end(&digest_info));
    DER_TRY(der_read_expect(&mac_data, DER_TAG_OCTET_STRING, &salt));
    uint32_t iterations = 1;
    if (!der_at_end(&mac_data)) {
        DER_TRY(der_read_expect(&mac_data, DER_TAG_INTEGER, &e));
        DER_TRY(der_get_uint32(&e, &iterations));
        DER_TRY(der_expect_end(&mac_data));
    }
    const AlgorithmCode digest = algorithm_for_oid(oid.value, oid.length);
    const uint32_t mac_len = digest == ALG_SHA256 ? 32 : 20;
    if ((digest != ALG_SHA1 && digest != ALG_SHA256) || iterations == 0 ||
        iterations > PFX_MAX_ITERATIONS || salt.length == 0 || salt.length > 1024) {
        return PFX_READ_UNSUPPORTED;
    }
    r->out->mac_digest = digest;
    r->out->mac_iterations = iterations;
    uint8_t key[DIGEST_MAX_LEN];
    uint8_t expected[DIGEST_MAX_LEN];
    uint32_t got = 0;
    Status status = PFX_READ_UNSUPPORTED;
    if (pkcs12_kdf(digest, PKCS12_KDF_MAC, r->password, r->password_len, salt.value, salt.length,
                   iterations, key, mac_len) == STATUS_OK &&
        hmac_oneshot(digest, key, mac_len, content.value, content.length, expected, &got) ==
            STATUS_OK) {
        uint8_t differ = static_cast<uint8_t>(mac.length != mac_len);
        for (uint32_t i = 0; i < mac_len && i < mac.length; ++i) {
            differ |= static_cast<uint8_t>(expected[i] ^ mac.value[i]);
        }
        status = differ == 0 ? PFX_READ_OK : PFX_READ_WRONG_PASSWORD;
    }
    mem_wipe(key);
    mem_wipe(expected);
    return status;
}

Status read(Reader* r, const uint8_t* file, uint32_t len) {
    DerReader top, pfx, auth_safe, safes;
    DerElement e, type, content;
    uint32_t version = 0;
    der_reader_init(&top, file, len);
    DER_TRY(der_read_expect(&top, DER_TAG_SEQUENCE, &e));
    DER_TRY(der_expect_end(&top));
    DER_TRY(der_enter(&e, &pfx));
    DER_TRY(der_read_expect(&pfx, DER_TAG_INTEGER, &e));
    DER_TRY(der_get_uint32(&e, &version));
    DER_TRY(der_read_expect(&pfx, DER_TAG_SEQUENCE, &e));
    DER_TRY(der_enter(&e, &auth_safe));
    DER_TRY(der_read_expect(&auth_safe, DER_TAG_OID, &type));
    if (version != 3 || !is_oid(type, pfx_oid::kData)) {
        return PFX_READ_NOT_PFX;
    }
    Status status = explicit_content(&auth_safe, &content);
    if (status != PFX_READ_OK) {
        return status;
    }
    DER_TRY(der_expect_end(&auth_safe));
    if (content.tag != DER_TAG_OCTET_STRING) {
        return PFX_READ_NOT_PFX;
    }
    status = check_mac(r, &pfx, content);
    if (status != PFX_READ_OK) {
        return status;
    }
    DerReader list;
    der_reader_init(&safes, content.value, content.length);
    DER_TRY(der_read_expect(&safes, DER_TAG_SEQUENCE, &e));
    DER_TRY(der_expect_end(&safes));
    DER_TRY(der_enter(&e, &list));
    while (!der_at_end(&list)) {
        DerElement info, value;
        DerReader fields;
        DER_TRY(der_read_expect(&list, DER_TAG_SEQUENCE, &info));
        DER_TRY(der_enter(&info, &fields));
        DER_TRY(der_read_expect(&fields, DER_TAG_OID, &type));
        status = explicit_content(&fields, &value);
        if (status != PFX_READ_OK) {
            return status;
        }
        DER_TRY(der_expect_end(&fields));
        if (is_oid(type, pfx_oid::kData) && value.tag == DER_TAG_OCTET_STRING) {
            status = read_safe_contents(r, value.value, value.length);
        } else if (is_oid(type, pfx_oid::kEncryptedData) && value.tag == DER_TAG_SEQUENCE) {
            status = read_encrypted_data(r, value);
        } else {
            status = PFX_READ_UNSUPPORTED;
        }
        if (status != PFX_READ_OK) {
            return status;
        }
    }
    return PFX_READ_OK;
}

#undef DER_TRY
#undef PFX_TRY

}  // namespace

Status pfx_read(const uint8_t* file, uint32_t len, const uint8_t* password, uint32_t password_len,
                PfxContents* contents) {
    mem_wipe(*contents);
    contents->storage = new (std::nothrow) uint8_t[len == 0 ? 1 : len];
    if (contents->storage == nullptr) {
        return PFX_READ_NO_MEMORY;
    }
    contents->storage_len = len;
    Reader r{password, password_len, contents, 0};
    const Status status = read(&r, file, len);
    if (status != PFX_READ_OK) {
        pfx_release(contents);
    }
    return status;
}

void pfx_release(PfxContents* contents) {
    if (contents->storage != nullptr) {
        mem_fill(contents->storage, 0, contents->storage_len);
        delete[] contents->storage;
    }
    mem_wipe(*contents);
}
