// Small steps of the backwards DER writer that the PKCS#12 writers share.
// Each returns the bytes it added, 0 on failure, like the writer itself.
// Internal to crypto/pkcs12.
#pragma once

#include <cstdint>

#include "crypto/der/der.h"

namespace pfx_der {

// A non-negative number as an INTEGER: 02 01 00, 02 02 08 00, ...
inline uint32_t write_uint(DerWriter* w, uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                        static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    ByteSpan span{bytes, 4};
    return der_write_integer(w, &span, 0);
}

inline uint32_t write_oid(DerWriter* w, const uint8_t* octets, uint32_t len) {
    return der_write_element(w, DER_OID, ByteSpan{const_cast<uint8_t*>(octets), len});
}

// A primitive element with `tag` and the given contents (04 for OCTET STRING).
inline uint32_t write_bytes(DerWriter* w, uint8_t tag, const uint8_t* data, uint32_t len) {
    return der_write_element(w, tag, ByteSpan{const_cast<uint8_t*>(data), len});
}

// A header with `tag` (DER_SEQUENCE, DER_SET, 0xA0, 04, ...) over the `body`
// bytes already in front; returns header + body.
inline uint32_t wrap(DerWriter* w, uint8_t tag, uint32_t body) {
    if (body == 0) {
        return 0;
    }
    const uint32_t header = der_write_header(w, tag, body);
    return header == 0 ? 0 : header + body;
}

// Adds `part` to *sum; false when the part failed.
inline bool add(uint32_t* sum, uint32_t part) {
    if (part == 0) {
        return false;
    }
    *sum += part;
    return true;
}

}  // namespace pfx_der
