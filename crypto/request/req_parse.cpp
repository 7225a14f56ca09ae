#include "crypto/request/req_parse.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/der/der.h"
#include "crypto/der/der_reader.h"
#include "crypto/der/oid.h"
#include "crypto/digest/digest.h"
#include "crypto/request/key_decoding.h"
#include "crypto/request/req_sign.h"
#include "crypto/rsa/rsa_verify.h"

namespace {

// Every step returns a status; the first failure ends the reading.
#define REQ_TRY(expression)                      \
    do {                                         \
        const Status try_status_ = (expression); \
        if (try_status_ != STATUS_OK) {          \
            return try_status_;                  \
        }                                        \
    } while (0)

Status read_oid(DerReader* r, const uint8_t** octets, uint32_t* count) {
    DerElement e;
    REQ_TRY(der_read_expect(r, DER_TAG_OID, &e));
    return der_get_oid(&e, octets, count);
}

// Name ::= SEQUENCE OF SET OF SEQUENCE { type OBJECT IDENTIFIER, value ANY }
Status read_name(DerReader* info, ParsedRequest* out) {
    DerElement name;
    return der_read_name(info, out->name, REQ_MAX_NAME_ENTRIES, &out->name_count, &name);
}

// SubjectPublicKeyInfo ::= SEQUENCE { algorithm SEQUENCE { OID, parameters
// ANY OPTIONAL }, subjectPublicKey BIT STRING }; the RSA key read when the
// algorithm is rsaEncryption.
Status read_public_key_info(DerReader* info, ParsedRequest* out) {
    DerElement spki, algorithm, bits;
    DerReader fields, algorithm_fields;
    REQ_TRY(der_read_expect(info, DER_TAG_SEQUENCE, &spki));
    REQ_TRY(der_enter(&spki, &fields));
    REQ_TRY(der_read_expect(&fields, DER_TAG_SEQUENCE, &algorithm));
    REQ_TRY(der_enter(&algorithm, &algorithm_fields));
    REQ_TRY(read_oid(&algorithm_fields, &out->key_algorithm, &out->key_algorithm_len));
    if (!der_at_end(&algorithm_fields)) {
        DerElement parameters;
        REQ_TRY(der_read_element(&algorithm_fields, &parameters));
        REQ_TRY(der_expect_end(&algorithm_fields));
    }
    REQ_TRY(der_read_expect(&fields, DER_TAG_BIT_STRING, &bits));
    REQ_TRY(der_expect_end(&fields));
    const uint8_t* key_bits = nullptr;
    uint32_t key_bits_len = 0;
    uint8_t unused = 0;
    REQ_TRY(der_get_bit_string(&bits, &key_bits, &key_bits_len, &unused));

    out->public_key_info = spki.start;
    out->public_key_info_len = spki.size;
    out->key_status = rsa_read_public_key_info(spki.start, spki.size, &out->key);
    if (out->key_status != STATUS_OK && out->key_status != STATUS_NOT_RSA &&
        out->key_status != STATUS_BAD_MODULUS_SIZE) {
        return out->key_status;
    }
    return STATUS_OK;
}

// attributes [0] IMPLICIT SET OF SEQUENCE { type OID, values SET OF ANY }
Status read_attributes(DerReader* info, ParsedRequest* out) {
    if (der_at_end(info)) {
        return STATUS_OK;
    }
    DerElement element;
    DerReader attributes;
    REQ_TRY(der_read_expect(info, der_context_constructed(0), &element));
    REQ_TRY(der_enter(&element, &attributes));
    out->has_attributes = true;
    while (!der_at_end(&attributes)) {
        DerElement attribute, set;
        DerReader fields, values;
        REQ_TRY(der_read_expect(&attributes, DER_TAG_SEQUENCE, &attribute));
        REQ_TRY(der_enter(&attribute, &fields));
        if (out->attribute_count == REQ_MAX_ATTRIBUTES) {
            return STATUS_DER_TOO_MANY;
        }
        ReqAttribute& entry = out->attributes[out->attribute_count];
        REQ_TRY(read_oid(&fields, &entry.type, &entry.type_len));
        REQ_TRY(der_read_expect(&fields, DER_TAG_SET, &set));
        REQ_TRY(der_expect_end(&fields));
        REQ_TRY(der_enter(&set, &values));
        entry.values = set.value;
        entry.values_len = set.length;
        entry.value_count = 0;
        while (!der_at_end(&values)) {
            DerElement value;
            REQ_TRY(der_read_element(&values, &value));
            ++entry.value_count;
        }
        ++out->attribute_count;
    }
    return STATUS_OK;
}

Status parse(const uint8_t* data, uint32_t len, ParsedRequest* out) {
    DerReader top, request, info;
    DerElement whole, info_element, version, algorithm, signature;
    der_reader_init(&top, data, len);
    REQ_TRY(der_read_expect(&top, DER_TAG_SEQUENCE, &whole));
    out->der_length = whole.size;
    REQ_TRY(der_enter(&whole, &request));

    REQ_TRY(der_read_expect(&request, DER_TAG_SEQUENCE, &info_element));
    out->info = info_element.start;
    out->info_len = info_element.size;
    REQ_TRY(der_enter(&info_element, &info));
    uint32_t version_number = 0;
    REQ_TRY(der_read_expect(&info, DER_TAG_INTEGER, &version));
    REQ_TRY(der_get_uint32(&version, &version_number));
    if (version_number != 0) {
        return STATUS_DER_BAD_VALUE;
    }
    REQ_TRY(read_name(&info, out));
    REQ_TRY(read_public_key_info(&info, out));
    REQ_TRY(read_attributes(&info, out));
    REQ_TRY(der_expect_end(&info));

    DerReader algorithm_fields;
    REQ_TRY(der_read_expect(&request, DER_TAG_SEQUENCE, &algorithm));
    REQ_TRY(der_enter(&algorithm, &algorithm_fields));
    REQ_TRY(read_oid(&algorithm_fields, &out->signature_algorithm, &out->signature_algorithm_len));
    out->signature_parameters_ok = true;
    if (!der_at_end(&algorithm_fields)) {
        DerElement parameters;
        REQ_TRY(der_read_element(&algorithm_fields, &parameters));
        REQ_TRY(der_expect_end(&algorithm_fields));
        out->signature_parameters_ok = der_get_null(&parameters) == STATUS_OK;
    }
    out->signature_code = algorithm_for_oid(out->signature_algorithm, out->signature_algorithm_len);

    REQ_TRY(der_read_expect(&request, DER_TAG_BIT_STRING, &signature));
    REQ_TRY(der_expect_end(&request));
    uint8_t unused = 0;
    REQ_TRY(der_get_bit_string(&signature, &out->signature, &out->signature_len, &unused));
    return unused == 0 ? STATUS_OK : STATUS_DER_BAD_VALUE;
}

#undef REQ_TRY

}  // namespace

Status req_parse(const uint8_t* data, uint32_t len, ParsedRequest* out) {
    mem_wipe(*out);
    return parse(data, len, out);
}

AlgorithmCode req_checked_digest(AlgorithmCode signature_code) {
    switch (signature_code) {
        case ALG_MD5_WITH_RSA:
            return ALG_MD5;
        case ALG_SHA1_WITH_RSA:
            return ALG_SHA1;
        case ALG_SHA256_WITH_RSA:
            return ALG_SHA256;
        default:
            return 0;
    }
}

Status req_verify_signature(const ParsedRequest* request) {
    const AlgorithmCode digest_code = req_checked_digest(request->signature_code);
    if (digest_code == 0 || !request->signature_parameters_ok) {
        return STATUS_BAD_DIGEST;
    }
    if (request->key_status != STATUS_OK) {
        return request->key_status;
    }
    uint8_t digest[DIGEST_MAX_LEN];
    uint32_t digest_len = 0;
    Status status =
        digest_oneshot(digest, &digest_len, request->info, request->info_len, digest_code);
    if (status != STATUS_OK) {
        return status;
    }
    // The DigestInfo the signer must have signed, byte for byte.
    uint8_t area[128];
    DerWriter* w = new (std::nothrow) DerWriter;
    if (w == nullptr) {
        return STATUS_NO_MEMORY;
    }
    der_init(w, area, sizeof area);
    const uint32_t size = req_write_digest_info(w, digest_code, digest, digest_len);
    status = size == 0 ? STATUS_BAD_DIGEST
                       : rsa_verify_block(request->signature, request->signature_len,
                                          area + sizeof area - size, size, &request->key);
    delete w;
    return status;
}
