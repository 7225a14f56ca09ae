#include "crypto/der/der.h"

void der_init(DerWriter* w, uint8_t* buffer, uint32_t capacity) {
    w->data = buffer;
    w->capacity = capacity;
    w->position = capacity;
}

void der_save(const DerWriter* w, DerState* state) {
    state->data = w->data;
    state->capacity = w->capacity;
    state->position = w->position;
}

void der_restore(DerWriter* w, const DerState* state) {
    w->data = state->data;
    w->capacity = state->capacity;
    w->position = state->position;
}

uint32_t der_prepend_byte(DerWriter* w, uint8_t byte) {
    if (w->position == 0) {
        return 0;
    }
    w->position -= 1;
    w->data[w->position] = byte;
    return 1;
}

uint32_t der_prepend(DerWriter* w, const ByteSpan& span) {
    // Last byte first, so the bytes end up in their original order in front
    // of what was there. The room check comes before each byte: a buffer of
    // exactly the right size lets the first byte land at index 0.
    for (uint32_t i = span.length; i > 0; --i) {
        if (der_prepend_byte(w, span.data[i - 1]) == 0) {
            return 0;
        }
    }
    return span.length;
}

uint32_t der_take(DerWriter* w, ByteSpan* span) {
    if (w->position >= w->capacity) {
        return 0;
    }
    const uint32_t available = w->capacity - w->position;
    const uint32_t count = span->length < available ? span->length : available;
    span->data = w->data + w->position;
    span->length = count;
    w->position += count;
    return count;
}

uint32_t der_write_header(DerWriter* w, uint8_t tag, uint32_t length) {
    // Identifier, then length in one of two definite forms:
    //
    //   length < 128:   [tag] [length]
    //   otherwise:      [tag] [80 + n] [n octets, big-endian]   n = 1..4
    //
    // Written backwards: the length octets lowest first, then the count
    // octet, then the identifier.
    const uint8_t identifier = (tag == DER_SEQUENCE || tag == DER_SET) ? (tag | 0x20) : tag;
    uint32_t size = 0;
    if (length < 0x80) {
        if (der_prepend_byte(w, static_cast<uint8_t>(length)) == 0) {
            return 0;
        }
        size = 1;
    } else {
        uint32_t rest = length;
        uint32_t octets = 0;
        while (rest != 0) {
            if (der_prepend_byte(w, static_cast<uint8_t>(rest & 0xFF)) == 0) {
                return 0;
            }
            rest >>= 8;
            ++octets;
        }
        if (der_prepend_byte(w, static_cast<uint8_t>(0x80 + octets)) == 0) {
            return 0;
        }
        size = octets + 1;
    }
    if (der_prepend_byte(w, identifier) == 0) {
        return 0;
    }
    return size + 1;
}

uint32_t der_write_element(DerWriter* w, uint8_t tag, const ByteSpan& span) {
    switch (tag) {
        case DER_SEQUENCE:
        case DER_SET:
        case DER_INTEGER:
            // Contents already in front; only the header is missing.
            return der_write_header(w, tag, span.length);

        case DER_BIT_STRING: {
            //   03 [length = bits + 1] 00 [bits ... already in front]
            // The unused-bits octet is always 0: whole bytes only.
            if (span.length == UINT32_MAX) {
                return 0;
            }
            if (der_prepend_byte(w, 0x00) == 0) {
                return 0;
            }
            const uint32_t header = der_write_header(w, tag, span.length + 1);
            return header == 0 ? 0 : header + 1;
        }

        default: {
            if (span.length != 0 && der_prepend(w, span) == 0) {
                return 0;
            }
            const uint32_t header = der_write_header(w, tag, span.length);
            return header == 0 ? 0 : header + span.length;
        }
    }
}

uint32_t der_write_integer(DerWriter* w, ByteSpan* span, int no_sign_byte) {
    //   02 [length] [00 if the first kept byte has its top bit set] [kept bytes]
    if (span->length == 0) {
        return 0;
    }
    uint32_t first = 0;
    while (first + 1 < span->length && span->data[first] == 0x00) {
        ++first;
    }
    const bool sign = no_sign_byte == 0 && (span->data[first] & 0x80) != 0;

    const ByteSpan kept{span->data + first, span->length - first};
    if (der_prepend(w, kept) == 0) {
        return 0;
    }
    if (sign && der_prepend_byte(w, 0x00) == 0) {
        return 0;
    }
    const uint32_t contents = kept.length + (sign ? 1 : 0);
    span->length = contents;
    const uint32_t header = der_write_element(w, DER_INTEGER, *span);
    return header == 0 ? 0 : header + contents;
}
