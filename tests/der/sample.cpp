#include "tests/der/sample.h"

#include <cstring>

#include "crypto/der/oid.h"

namespace der_sample {

namespace {

// Adds a step's byte count to a running total; false at the first failure.
struct Sum {
    uint32_t total = 0;
    bool add(uint32_t n) {
        total += n;
        return n != 0;
    }
};

// SEQUENCE { OID, string } inside an RDN or an attribute, then `outer` over it.
uint32_t write_typed_string(DerWriter* w, uint8_t outer, uint8_t string_tag, uint8_t oid[9],
                            int oid_len, const char* text) {
    if (oid_len < 0) {
        return 0;
    }
    std::vector<uint8_t> value(text, text + std::strlen(text));
    Sum inner;
    if (!inner.add(der_write_element(
            w, string_tag, ByteSpan{value.data(), static_cast<uint32_t>(value.size())})) ||
        !inner.add(der_write_element(w, DER_OID, ByteSpan{oid, static_cast<uint32_t>(oid_len)}))) {
        return 0;
    }
    Sum all;
    all.total = inner.total;
    if (!all.add(der_write_header(w, DER_SEQUENCE, inner.total)) ||
        !all.add(der_write_header(w, outer, all.total))) {
        return 0;
    }
    return all.total;
}

}  // namespace

std::vector<uint8_t> long_payload() {
    std::vector<uint8_t> bytes(200);
    for (uint32_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return bytes;
}

uint32_t write(DerWriter* w) {
    Sum body;
    if (!body.add(der_write_element(w, DER_NULL, ByteSpan{})) ||
        !body.add(der_write_algorithm_id(w, ALG_MD5)) ||
        !body.add(der_write_algorithm_id(w, ALG_MD5_WITH_RSA))) {
        return 0;
    }

    std::vector<uint8_t> payload = long_payload();
    if (!body.add(
            der_write_element(w, DER_OCTET_STRING,
                              ByteSpan{payload.data(), static_cast<uint32_t>(payload.size())}))) {
        return 0;
    }

    uint8_t bits[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    const ByteSpan bit_span{bits, sizeof bits};
    if (!body.add(der_prepend(w, bit_span)) ||
        !body.add(der_write_element(w, DER_BIT_STRING, bit_span))) {
        return 0;
    }

    uint8_t oid[9];
    int oid_len = oid_for_slot(0, oid);
    if (!body.add(write_typed_string(w, DER_CONTEXT_0, DER_IA5_STRING, oid, oid_len, "a@b.es"))) {
        return 0;
    }
    oid_len = oid_for_name_component(2, oid);
    if (!body.add(write_typed_string(w, DER_SET, DER_PRINTABLE_STRING, oid, oid_len, "Prueba"))) {
        return 0;
    }

    if (!body.add(der_write_algorithm_id(w, ALG_RSA))) {
        return 0;
    }

    uint8_t big[] = {0x00, 0x00, 0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    ByteSpan big_span{big, sizeof big};
    if (!body.add(der_write_integer(w, &big_span, 0))) {
        return 0;
    }
    uint8_t zero[] = {0x00};
    ByteSpan zero_span{zero, sizeof zero};
    if (!body.add(der_write_integer(w, &zero_span, 1))) {
        return 0;
    }

    const uint32_t header = der_write_header(w, DER_SEQUENCE, body.total);
    return header == 0 ? 0 : header + body.total;
}

}  // namespace der_sample
