#include "crypto/x509/pkcs7.h"

#include "crypto/der/der_reader.h"

namespace {

// 1.2.840.113549.1.7.2
const uint8_t kSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

#define P7_TRY(expression)                       \
    do {                                         \
        const Status try_status_ = (expression); \
        if (try_status_ != STATUS_OK) {          \
            return try_status_;                  \
        }                                        \
    } while (0)

bool is_oid(const DerElement& e, const uint8_t* octets, uint32_t len) {
    if (e.length != len) {
        return false;
    }
    for (uint32_t i = 0; i < len; ++i) {
        if (e.value[i] != octets[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

Status pkcs7_read_certificates(const uint8_t* data, uint32_t len,
                               Pkcs7Certificate certs[PKCS7_MAX_CERTIFICATES], uint32_t* count) {
    *count = 0;
    DerReader top, info, wrapper, signed_data, list;
    DerElement e, oid;
    der_reader_init(&top, data, len);
    P7_TRY(der_read_expect(&top, DER_TAG_SEQUENCE, &e));
    P7_TRY(der_expect_end(&top));
    P7_TRY(der_enter(&e, &info));
    P7_TRY(der_read_expect(&info, DER_TAG_OID, &oid));
    if (!is_oid(oid, kSignedData, sizeof kSignedData)) {
        return STATUS_DER_BAD_VALUE;
    }
    P7_TRY(der_read_expect(&info, der_context_constructed(0), &e));
    P7_TRY(der_expect_end(&info));
    P7_TRY(der_enter(&e, &wrapper));
    P7_TRY(der_read_expect(&wrapper, DER_TAG_SEQUENCE, &e));
    P7_TRY(der_expect_end(&wrapper));
    P7_TRY(der_enter(&e, &signed_data));
    P7_TRY(der_read_expect(&signed_data, DER_TAG_INTEGER, &e));
    P7_TRY(der_read_expect(&signed_data, DER_TAG_SET, &e));
    P7_TRY(der_read_expect(&signed_data, DER_TAG_SEQUENCE, &e));
    if (der_next_is(&signed_data, der_context_constructed(0))) {
        P7_TRY(der_read_element(&signed_data, &e));
        P7_TRY(der_enter(&e, &list));
        while (!der_at_end(&list)) {
            DerElement cert;
            P7_TRY(der_read_expect(&list, DER_TAG_SEQUENCE, &cert));
            if (*count == PKCS7_MAX_CERTIFICATES) {
                return STATUS_DER_TOO_MANY;
            }
            certs[*count] = Pkcs7Certificate{cert.start, cert.size};
            ++*count;
        }
    }
    if (der_next_is(&signed_data, der_context_constructed(1))) {
        P7_TRY(der_read_element(&signed_data, &e));
    }
    P7_TRY(der_read_expect(&signed_data, DER_TAG_SET, &e));
    return der_expect_end(&signed_data);
}
