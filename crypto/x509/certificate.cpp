#include "crypto/x509/certificate.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/der/der.h"
#include "crypto/der/oid.h"
#include "crypto/digest/digest.h"
#include "crypto/request/key_decoding.h"
#include "crypto/request/req_parse.h"
#include "crypto/request/req_sign.h"
#include "crypto/rsa/rsa_verify.h"

namespace {

#define CERT_TRY(expression)                     \
    do {                                         \
        const Status try_status_ = (expression); \
        if (try_status_ != STATUS_OK) {          \
            return try_status_;                  \
        }                                        \
    } while (0)

Status read_oid(DerReader* r, const uint8_t** octets, uint32_t* count) {
    DerElement e;
    CERT_TRY(der_read_expect(r, DER_TAG_OID, &e));
    return der_get_oid(&e, octets, count);
}

// Name ::= SEQUENCE OF SET OF SEQUENCE { type OBJECT IDENTIFIER, value ANY }
Status read_name(DerReader* r, CertName* name) {
    DerElement whole;
    CERT_TRY(der_read_name(r, name->entries, CERT_MAX_NAME_ENTRIES, &name->count, &whole));
    name->der = whole.start;
    name->der_len = whole.size;
    return STATUS_OK;
}

// AlgorithmIdentifier: the identifier and whether the parameters are NULL
// or absent; the whole element for comparing the inner and outer ones.
Status read_algorithm(DerReader* r, const uint8_t** octets, uint32_t* count, bool* null_params,
                      DerElement* whole) {
    DerReader fields;
    CERT_TRY(der_read_expect(r, DER_TAG_SEQUENCE, whole));
    CERT_TRY(der_enter(whole, &fields));
    CERT_TRY(read_oid(&fields, octets, count));
    *null_params = true;
    if (!der_at_end(&fields)) {
        DerElement parameters;
        CERT_TRY(der_read_element(&fields, &parameters));
        CERT_TRY(der_expect_end(&fields));
        *null_params = der_get_null(&parameters) == STATUS_OK;
    }
    return STATUS_OK;
}

Status read_public_key_info(DerReader* r, ParsedCertificate* cert) {
    DerElement spki, algorithm, bits;
    DerReader fields, algorithm_fields;
    CERT_TRY(der_read_expect(r, DER_TAG_SEQUENCE, &spki));
    CERT_TRY(der_enter(&spki, &fields));
    CERT_TRY(der_read_expect(&fields, DER_TAG_SEQUENCE, &algorithm));
    CERT_TRY(der_enter(&algorithm, &algorithm_fields));
    CERT_TRY(read_oid(&algorithm_fields, &cert->key_algorithm, &cert->key_algorithm_len));
    CERT_TRY(der_read_expect(&fields, DER_TAG_BIT_STRING, &bits));
    CERT_TRY(der_expect_end(&fields));
    const uint8_t* key_bits = nullptr;
    uint32_t key_bits_len = 0;
    uint8_t unused = 0;
    CERT_TRY(der_get_bit_string(&bits, &key_bits, &key_bits_len, &unused));
    cert->public_key_info = spki.start;
    cert->public_key_info_len = spki.size;
    cert->key_status = rsa_read_public_key_info(spki.start, spki.size, &cert->key);
    if (cert->key_status != STATUS_OK && cert->key_status != STATUS_NOT_RSA &&
        cert->key_status != STATUS_BAD_MODULUS_SIZE) {
        return cert->key_status;
    }
    return STATUS_OK;
}

// Extensions ::= SEQUENCE SIZE (1..MAX) OF SEQUENCE { extnID OID,
// critical BOOLEAN DEFAULT FALSE, extnValue OCTET STRING }
Status read_extensions(const DerElement* outer) {
    DerReader wrapper, list;
    DerElement sequence;
    CERT_TRY(der_enter(outer, &wrapper));
    CERT_TRY(der_read_expect(&wrapper, DER_TAG_SEQUENCE, &sequence));
    CERT_TRY(der_expect_end(&wrapper));
    CERT_TRY(der_enter(&sequence, &list));
    if (der_at_end(&list)) {
        return STATUS_DER_BAD_VALUE;
    }
    while (!der_at_end(&list)) {
        DerElement extension, e;
        DerReader fields;
        const uint8_t* octets = nullptr;
        uint32_t count = 0;
        CERT_TRY(der_read_expect(&list, DER_TAG_SEQUENCE, &extension));
        CERT_TRY(der_enter(&extension, &fields));
        CERT_TRY(read_oid(&fields, &octets, &count));
        if (der_next_is(&fields, DER_TAG_BOOLEAN)) {
            bool critical = false;
            CERT_TRY(der_read_element(&fields, &e));
            CERT_TRY(der_get_boolean(&e, &critical));
        }
        CERT_TRY(der_read_expect(&fields, DER_TAG_OCTET_STRING, &e));
        CERT_TRY(der_expect_end(&fields));
    }
    return STATUS_OK;
}

bool same_bytes(const uint8_t* a, uint32_t a_len, const uint8_t* b, uint32_t b_len) {
    if (a_len != b_len) {
        return false;
    }
    for (uint32_t i = 0; i < a_len; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

Status parse(const uint8_t* data, uint32_t len, ParsedCertificate* cert) {
    DerReader top, outer, tbs, validity;
    DerElement whole, tbs_element, e, inner_algorithm, outer_algorithm, signature;
    der_reader_init(&top, data, len);
    CERT_TRY(der_read_expect(&top, DER_TAG_SEQUENCE, &whole));
    cert->der = whole.start;
    cert->der_len = whole.size;
    CERT_TRY(der_enter(&whole, &outer));
    CERT_TRY(der_read_expect(&outer, DER_TAG_SEQUENCE, &tbs_element));
    cert->tbs = tbs_element.start;
    cert->tbs_len = tbs_element.size;
    CERT_TRY(der_enter(&tbs_element, &tbs));

    cert->version = 1;
    if (der_next_is(&tbs, der_context_constructed(0))) {
        DerReader wrapper;
        DerElement number;
        uint32_t value = 0;
        CERT_TRY(der_read_element(&tbs, &e));
        CERT_TRY(der_enter(&e, &wrapper));
        CERT_TRY(der_read_expect(&wrapper, DER_TAG_INTEGER, &number));
        CERT_TRY(der_expect_end(&wrapper));
        CERT_TRY(der_get_uint32(&number, &value));
        if (value > 2) {
            return STATUS_DER_BAD_VALUE;
        }
        cert->version = value + 1;
    }
    CERT_TRY(der_read_expect(&tbs, DER_TAG_INTEGER, &e));
    // The serial is kept as written (RFC 5280 asks for a positive number,
    // but negative ones exist); it must still be a minimal INTEGER.
    if (e.length == 0 || (e.length > 1 && ((e.value[0] == 0x00 && e.value[1] < 0x80) ||
                                           (e.value[0] == 0xFF && e.value[1] >= 0x80)))) {
        return STATUS_DER_BAD_VALUE;
    }
    cert->serial = e.value;
    cert->serial_len = e.length;

    const uint8_t* inner_oid = nullptr;
    uint32_t inner_oid_len = 0;
    bool inner_null = false;
    CERT_TRY(read_algorithm(&tbs, &inner_oid, &inner_oid_len, &inner_null, &inner_algorithm));
    CERT_TRY(read_name(&tbs, &cert->issuer));
    CERT_TRY(der_read_expect(&tbs, DER_TAG_SEQUENCE, &e));
    CERT_TRY(der_enter(&e, &validity));
    CERT_TRY(der_read_element(&validity, &e));
    CERT_TRY(der_get_time(&e, &cert->not_before));
    CERT_TRY(der_read_element(&validity, &e));
    CERT_TRY(der_get_time(&e, &cert->not_after));
    CERT_TRY(der_expect_end(&validity));
    CERT_TRY(read_name(&tbs, &cert->subject));
    CERT_TRY(read_public_key_info(&tbs, cert));
    for (uint8_t n = 1; n <= 2; ++n) {
        if (der_next_is(&tbs, der_context_primitive(n)) ||
            der_next_is(&tbs, der_context_constructed(n))) {
            CERT_TRY(der_read_element(&tbs, &e));
        }
    }
    if (der_next_is(&tbs, der_context_constructed(3))) {
        CERT_TRY(der_read_element(&tbs, &e));
        CERT_TRY(read_extensions(&e));
    }
    CERT_TRY(der_expect_end(&tbs));

    CERT_TRY(read_algorithm(&outer, &cert->signature_algorithm, &cert->signature_algorithm_len,
                            &cert->signature_parameters_ok, &outer_algorithm));
    if (!same_bytes(inner_algorithm.start, inner_algorithm.size, outer_algorithm.start,
                    outer_algorithm.size)) {
        return STATUS_DER_BAD_VALUE;
    }
    cert->signature_code =
        algorithm_for_oid(cert->signature_algorithm, cert->signature_algorithm_len);
    CERT_TRY(der_read_expect(&outer, DER_TAG_BIT_STRING, &signature));
    CERT_TRY(der_expect_end(&outer));
    uint8_t unused = 0;
    CERT_TRY(der_get_bit_string(&signature, &cert->signature, &cert->signature_len, &unused));
    return unused == 0 ? STATUS_OK : STATUS_DER_BAD_VALUE;
}

#undef CERT_TRY

}  // namespace

Status cert_parse(const uint8_t* data, uint32_t len, ParsedCertificate* cert) {
    mem_wipe(*cert);
    return parse(data, len, cert);
}

Status cert_verify_signature(const ParsedCertificate* cert, const RsaPublicKey* issuer_key) {
    const AlgorithmCode digest_code = req_checked_digest(cert->signature_code);
    if (digest_code == 0 || !cert->signature_parameters_ok) {
        return STATUS_BAD_DIGEST;
    }
    uint8_t digest[DIGEST_MAX_LEN];
    uint32_t digest_len = 0;
    Status status = digest_oneshot(digest, &digest_len, cert->tbs, cert->tbs_len, digest_code);
    if (status != STATUS_OK) {
        return status;
    }
    uint8_t area[128];
    DerWriter* w = new (std::nothrow) DerWriter;
    if (w == nullptr) {
        return STATUS_NO_MEMORY;
    }
    der_init(w, area, sizeof area);
    const uint32_t size = req_write_digest_info(w, digest_code, digest, digest_len);
    status = size == 0 ? STATUS_BAD_DIGEST
                       : rsa_verify_block(cert->signature, cert->signature_len,
                                          area + sizeof area - size, size, issuer_key);
    delete w;
    return status;
}

bool cert_same_name(const CertName* a, const CertName* b) {
    return same_bytes(a->der, a->der_len, b->der, b->der_len);
}

int cert_compare_time(const DerTime* a, const DerTime* b) {
    const uint32_t left[6] = {a->year, a->month, a->day, a->hour, a->minute, a->second};
    const uint32_t right[6] = {b->year, b->month, b->day, b->hour, b->minute, b->second};
    for (int i = 0; i < 6; ++i) {
        if (left[i] != right[i]) {
            return left[i] < right[i] ? -1 : 1;
        }
    }
    return 0;
}
