#include "crypto/request/req_subject.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/der/oid.h"

namespace {

// Writes one RDN, backwards: value, type, SEQUENCE header, SET header.
//
//   31 [len] 30 [len] 06 [len] [type] [value]
//
// `value_size` is the size of the value element already in front.
uint32_t write_rdn_over_value(DerWriter* w, const uint8_t* type, uint32_t type_len,
                              uint32_t value_size) {
    const uint32_t oid =
        der_write_element(w, DER_OID, ByteSpan{const_cast<uint8_t*>(type), type_len});
    if (oid == 0) {
        return 0;
    }
    const uint32_t pair = value_size + oid;
    const uint32_t pair_header = der_write_header(w, DER_SEQUENCE, pair);
    if (pair_header == 0) {
        return 0;
    }
    const uint32_t set = pair_header + pair;
    const uint32_t set_header = der_write_header(w, DER_SET, set);
    return set_header == 0 ? 0 : set_header + set;
}

// The value element of component `index`: a BIT STRING for the unique
// identifier (03 [len] 00 [bytes]), an IA5String for the e-mail, a
// PrintableString for every other component.
uint32_t write_component_value(DerWriter* w, uint32_t index, const ByteSpan& value) {
    if (index == SUBJECT_UNIQUE_IDENTIFIER) {
        const uint32_t bits = der_prepend(w, value);
        if (bits == 0) {
            return 0;
        }
        const uint32_t header = der_write_element(w, DER_BIT_STRING, value);
        return header == 0 ? 0 : header + bits;
    }
    const uint8_t tag = index == SUBJECT_EMAIL ? DER_IA5_STRING : DER_PRINTABLE_STRING;
    return der_write_element(w, tag, value);
}

bool component_present(const ByteSpan& span) {
    return span.data != nullptr && span.length != 0;
}

// Writes the RDN of component `index`, which is present. 0 on failure,
// including an index without an attribute type.
uint32_t write_component(DerWriter* w, uint32_t index, const ByteSpan& value) {
    uint8_t type[9];
    const int type_len = oid_for_name_component(index, type);
    if (type_len <= 0) {
        return 0;
    }
    const uint32_t value_size = write_component_value(w, index, value);
    if (value_size == 0) {
        return 0;
    }
    return write_rdn_over_value(w, type, static_cast<uint32_t>(type_len), value_size);
}

}  // namespace

uint32_t req_write_subject_name(DerWriter* w, const SubjectComponents& components) {
    // The e-mail is written first so that it ends up last; the others follow
    // in ascending index order and so appear in descending order.
    uint32_t body = 0;
    if (component_present(components[SUBJECT_EMAIL])) {
        const uint32_t n = write_component(w, SUBJECT_EMAIL, components[SUBJECT_EMAIL]);
        if (n == 0) {
            return 0;
        }
        body += n;
    }
    for (uint32_t index = 0; index < SUBJECT_COMPONENT_COUNT; ++index) {
        if (index == SUBJECT_EMAIL || !component_present(components[index])) {
            continue;
        }
        const uint32_t n = write_component(w, index, components[index]);
        if (n == 0) {
            return 0;
        }
        body += n;
    }
    const uint32_t header = der_write_header(w, DER_SEQUENCE, body);
    return header == 0 ? 0 : header + body;
}

uint32_t req_write_attributes(DerWriter* w, const AttributeSlots& slots) {
    uint32_t body = 0;
    for (uint32_t slot = 0; slot < ATTRIBUTE_SLOT_COUNT; ++slot) {
        if (slots[slot].data == nullptr) {
            continue;
        }
        // Backwards: value, SET header, type, SEQUENCE header.
        //   30 [len] 06 [len] [type] 31 [len] 13 [len] [bytes]
        uint8_t type[9];
        const int type_len = oid_for_slot(slot, type);
        if (type_len <= 0) {
            return 0;
        }
        const uint8_t tag = slot == SLOT_EMAIL ? DER_IA5_STRING : DER_PRINTABLE_STRING;
        const uint32_t value = der_write_element(w, tag, slots[slot]);
        if (value == 0) {
            return 0;
        }
        const uint32_t set_header = der_write_header(w, DER_SET, value);
        if (set_header == 0) {
            return 0;
        }
        const uint32_t oid =
            der_write_element(w, DER_OID, ByteSpan{type, static_cast<uint32_t>(type_len)});
        if (oid == 0) {
            return 0;
        }
        const uint32_t attribute = oid + set_header + value;
        const uint32_t header = der_write_header(w, DER_SEQUENCE, attribute);
        if (header == 0) {
            return 0;
        }
        body += header + attribute;
    }
    if (body == 0) {
        return 0;
    }
    const uint32_t header = der_write_header(w, DER_CONTEXT_0, body);
    return header == 0 ? 0 : header + body;
}

Status req_build_alt_names(AttributeSlots& slots, const ByteSpan* names) {
    if (names == nullptr) {
        return 0;
    }
    bool any_pointer = false;
    bool any_length = false;
    for (uint32_t i = 0; i < ALT_NAME_COUNT; ++i) {
        any_pointer = any_pointer || names[i].data != nullptr;
        any_length = any_length || names[i].length != 0;
    }
    if (!any_pointer || !any_length) {
        return 0;
    }

    // The writer only works in a local buffer; the slot is changed at the
    // very end, once everything has succeeded.
    static constexpr uint8_t tags[ALT_NAME_COUNT] = {
        DER_CONTEXT_1_PRIMITIVE,  // e-mail: rfc822Name
        DER_CONTEXT_2_PRIMITIVE,  // DNS name: dNSName
        DER_CONTEXT_7_PRIMITIVE,  // IP address: iPAddress
    };
    uint8_t buffer[ALT_NAMES_MAX_SIZE];
    DerWriter w;
    der_init(&w, buffer, ALT_NAMES_MAX_SIZE);
    uint32_t body = 0;
    for (uint32_t i = 0; i < ALT_NAME_COUNT; ++i) {
        if (names[i].data == nullptr || names[i].length == 0) {
            continue;
        }
        const uint32_t n = der_write_element(&w, tags[i], names[i]);
        if (n == 0) {
            return 0;
        }
        body += n;
    }
    if (der_write_header(&w, DER_SEQUENCE, body) == 0) {
        return 0;
    }
    ByteSpan encoding{nullptr, ALT_NAMES_MAX_SIZE};
    const uint32_t size = der_take(&w, &encoding);
    if (size == 0) {
        return 0;
    }
    uint8_t* copy = new (std::nothrow) uint8_t[size];
    if (copy == nullptr) {
        return 0;
    }
    mem_copy(copy, encoding.data, size);
    span_array_release(&slots[SLOT_SUBJECT_ALT_NAME], 1);
    slots[SLOT_SUBJECT_ALT_NAME] = ByteSpan{copy, size};
    return STATUS_BUILT;
}

void u32_to_be_bytes(uint32_t value, uint8_t out[4]) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

void span_array_release(ByteSpan* spans, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (spans[i].data == nullptr) {
            continue;
        }
        mem_fill(spans[i].data, 0, spans[i].length);
        delete[] spans[i].data;
        spans[i].data = nullptr;
        spans[i].length = 0;
    }
}
