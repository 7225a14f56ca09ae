#include "crypto/der/der_reader.h"

namespace {

// The header of the element at data[position..length-1]: its identifier,
// the header size and the value length, all checked against the window.
Status parse_header(const DerReader* r, DerElement* e) {
    const uint32_t left = r->length - r->position;
    const uint8_t* p = r->data + r->position;
    if (left < 2) {
        return STATUS_DER_TRUNCATED;
    }
    // Tag number 31 in the low five bits announces a multi-octet identifier,
    // which nothing read here uses.
    if ((p[0] & 0x1F) == 0x1F) {
        return STATUS_DER_UNEXPECTED_TAG;
    }
    uint32_t header = 2;
    uint32_t length = p[1];
    if (length == 0x80) {
        return STATUS_DER_INDEFINITE_LENGTH;
    }
    if (length > 0x80) {
        const uint32_t octets = length - 0x80;
        if (octets > 4) {
            return STATUS_DER_LENGTH_TOO_LONG;
        }
        if (left - 2 < octets) {
            return STATUS_DER_TRUNCATED;
        }
        if (p[2] == 0) {
            return STATUS_DER_NON_MINIMAL_LENGTH;
        }
        length = 0;
        for (uint32_t i = 0; i < octets; ++i) {
            length = (length << 8) | p[2 + i];
        }
        if (length < 0x80) {
            return STATUS_DER_NON_MINIMAL_LENGTH;
        }
        header += octets;
    }
    if (left - header < length) {
        return STATUS_DER_TRUNCATED;
    }
    e->tag = p[0];
    e->start = p;
    e->size = header + length;
    e->value = p + header;
    e->length = length;
    return STATUS_OK;
}

bool is_digits(const uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') {
            return false;
        }
    }
    return true;
}

uint32_t two_digits(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] - '0') * 10 + static_cast<uint32_t>(p[1] - '0');
}

uint32_t days_in_month(uint32_t year, uint32_t month) {
    static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

void der_reader_init(DerReader* r, const uint8_t* data, uint32_t length) {
    r->data = data;
    r->length = data == nullptr ? 0 : length;
    r->position = 0;
}

bool der_at_end(const DerReader* r) {
    return r->position >= r->length;
}

uint32_t der_remaining(const DerReader* r) {
    return r->position >= r->length ? 0 : r->length - r->position;
}

Status der_peek_element(const DerReader* r, DerElement* e) {
    if (r->position >= r->length) {
        return STATUS_DER_TRUNCATED;
    }
    return parse_header(r, e);
}

Status der_read_element(DerReader* r, DerElement* e) {
    const Status status = der_peek_element(r, e);
    if (status == STATUS_OK) {
        r->position += e->size;
    }
    return status;
}

Status der_read_expect(DerReader* r, uint8_t tag, DerElement* e) {
    DerElement next;
    const Status status = der_peek_element(r, &next);
    if (status != STATUS_OK) {
        return status;
    }
    if (next.tag != tag) {
        return STATUS_DER_UNEXPECTED_TAG;
    }
    *e = next;
    r->position += next.size;
    return STATUS_OK;
}

bool der_next_is(const DerReader* r, uint8_t tag) {
    DerElement next;
    return der_peek_element(r, &next) == STATUS_OK && next.tag == tag;
}

Status der_enter(const DerElement* e, DerReader* inner) {
    if ((e->tag & DER_CONSTRUCTED) == 0) {
        return STATUS_DER_UNEXPECTED_TAG;
    }
    der_reader_init(inner, e->value, e->length);
    return STATUS_OK;
}

Status der_expect_end(const DerReader* r) {
    return der_at_end(r) ? STATUS_OK : STATUS_DER_TRAILING_DATA;
}

Status der_get_unsigned(const DerElement* e, const uint8_t** bytes, uint32_t* count) {
    if (e->tag != DER_TAG_INTEGER || e->length == 0) {
        return STATUS_DER_BAD_VALUE;
    }
    const uint8_t* v = e->value;
    if (e->length > 1 && ((v[0] == 0x00 && v[1] < 0x80) || (v[0] == 0xFF && v[1] >= 0x80))) {
        return STATUS_DER_BAD_VALUE;
    }
    if (v[0] >= 0x80) {
        return STATUS_DER_BAD_VALUE;
    }
    if (e->length > 1 && v[0] == 0x00) {
        *bytes = v + 1;
        *count = e->length - 1;
    } else {
        *bytes = v;
        *count = e->length;
    }
    return STATUS_OK;
}

Status der_get_uint32(const DerElement* e, uint32_t* value) {
    const uint8_t* bytes = nullptr;
    uint32_t count = 0;
    const Status status = der_get_unsigned(e, &bytes, &count);
    if (status != STATUS_OK) {
        return status;
    }
    if (count > 4) {
        return STATUS_DER_BAD_VALUE;
    }
    uint32_t v = 0;
    for (uint32_t i = 0; i < count; ++i) {
        v = (v << 8) | bytes[i];
    }
    *value = v;
    return STATUS_OK;
}

Status der_get_boolean(const DerElement* e, bool* value) {
    if (e->tag != DER_TAG_BOOLEAN || e->length != 1 || (e->value[0] != 0 && e->value[0] != 0xFF)) {
        return STATUS_DER_BAD_VALUE;
    }
    *value = e->value[0] == 0xFF;
    return STATUS_OK;
}

Status der_get_null(const DerElement* e) {
    return e->tag == DER_TAG_NULL && e->length == 0 ? STATUS_OK : STATUS_DER_BAD_VALUE;
}

Status der_get_bit_string(const DerElement* e, const uint8_t** bits, uint32_t* count,
                          uint8_t* unused) {
    if (e->tag != DER_TAG_BIT_STRING || e->length == 0) {
        return STATUS_DER_BAD_VALUE;
    }
    const uint8_t pad = e->value[0];
    if (pad > 7 || (pad != 0 && e->length == 1)) {
        return STATUS_DER_BAD_VALUE;
    }
    if (pad != 0 && (e->value[e->length - 1] & ((1u << pad) - 1)) != 0) {
        return STATUS_DER_BAD_VALUE;
    }
    *bits = e->value + 1;
    *count = e->length - 1;
    *unused = pad;
    return STATUS_OK;
}

Status der_get_oid(const DerElement* e, const uint8_t** octets, uint32_t* count) {
    if (e->tag != DER_TAG_OID || e->length == 0) {
        return STATUS_DER_BAD_VALUE;
    }
    // Each sub-identifier: base-128 digits, high bit set on all but the
    // last, no leading 80 digit, at most 32 bits.
    bool starting = true;
    uint64_t value = 0;
    for (uint32_t i = 0; i < e->length; ++i) {
        const uint8_t b = e->value[i];
        if (starting && b == 0x80) {
            return STATUS_DER_BAD_VALUE;
        }
        value = (value << 7) | (b & 0x7F);
        if (value > 0xFFFFFFFFu) {
            return STATUS_DER_BAD_VALUE;
        }
        starting = (b & 0x80) == 0;
        if (starting) {
            value = 0;
        }
    }
    if (!starting) {
        return STATUS_DER_BAD_VALUE;
    }
    *octets = e->value;
    *count = e->length;
    return STATUS_OK;
}

uint32_t der_oid_text(const uint8_t* octets, uint32_t count, char* out, uint32_t capacity) {
    DerElement e{DER_TAG_OID, nullptr, 0, octets, count};
    const uint8_t* checked = nullptr;
    uint32_t checked_count = 0;
    if (octets == nullptr || der_get_oid(&e, &checked, &checked_count) != STATUS_OK) {
        return 0;
    }
    uint32_t used = 0;
    // Appends the decimal form of v; false when it does not fit with the
    // terminator.
    auto put_number = [&](uint64_t v) {
        char digits[24];
        uint32_t n = 0;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        if (capacity - used <= n) {
            return false;
        }
        while (n > 0) {
            out[used++] = digits[--n];
        }
        return true;
    };
    auto put_dot = [&]() {
        if (capacity - used <= 1) {
            return false;
        }
        out[used++] = '.';
        return true;
    };
    if (capacity == 0) {
        return 0;
    }
    uint64_t value = 0;
    bool first = true;
    for (uint32_t i = 0; i < count; ++i) {
        value = (value << 7) | (octets[i] & 0x7F);
        if ((octets[i] & 0x80) != 0) {
            continue;
        }
        if (first) {
            // The first sub-identifier packs two arcs: 40 * x + y, x at most 2.
            const uint64_t x = value < 80 ? value / 40 : 2;
            if (!put_number(x) || !put_dot() || !put_number(value - 40 * x)) {
                return 0;
            }
            first = false;
        } else if (!put_dot() || !put_number(value)) {
            return 0;
        }
        value = 0;
    }
    out[used] = '\0';
    return used;
}

Status der_get_time(const DerElement* e, DerTime* time) {
    const uint8_t* v = e->value;
    uint32_t year = 0;
    const uint8_t* rest = nullptr;
    if (e->tag == DER_TAG_UTC_TIME && e->length == 13 && is_digits(v, 12) && v[12] == 'Z') {
        const uint32_t yy = two_digits(v);
        year = yy >= 50 ? 1900 + yy : 2000 + yy;
        rest = v + 2;
    } else if (e->tag == DER_TAG_GENERALIZED_TIME && e->length == 15 && is_digits(v, 14) &&
               v[14] == 'Z') {
        year = two_digits(v) * 100 + two_digits(v + 2);
        rest = v + 4;
    } else {
        return STATUS_DER_BAD_VALUE;
    }
    DerTime t{year,
              two_digits(rest),
              two_digits(rest + 2),
              two_digits(rest + 4),
              two_digits(rest + 6),
              two_digits(rest + 8)};
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > days_in_month(t.year, t.month) ||
        t.hour > 23 || t.minute > 59 || t.second > 59) {
        return STATUS_DER_BAD_VALUE;
    }
    *time = t;
    return STATUS_OK;
}

Status der_read_name(DerReader* r, DerNameEntry* entries, uint32_t capacity, uint32_t* count,
                     DerElement* whole) {
    *count = 0;
    DerReader rdns;
    Status status = der_read_expect(r, DER_TAG_SEQUENCE, whole);
    if (status == STATUS_OK)
        status = der_enter(whole, &rdns);
    while (status == STATUS_OK && !der_at_end(&rdns)) {
        DerElement rdn;
        DerReader pairs;
        status = der_read_expect(&rdns, DER_TAG_SET, &rdn);
        if (status == STATUS_OK)
            status = der_enter(&rdn, &pairs);
        if (status == STATUS_OK && der_at_end(&pairs))
            status = STATUS_DER_BAD_VALUE;
        while (status == STATUS_OK && !der_at_end(&pairs)) {
            DerElement pair, type, value;
            DerReader fields;
            status = der_read_expect(&pairs, DER_TAG_SEQUENCE, &pair);
            if (status == STATUS_OK)
                status = der_enter(&pair, &fields);
            if (status == STATUS_OK && *count == capacity)
                status = STATUS_DER_TOO_MANY;
            if (status != STATUS_OK)
                break;
            DerNameEntry& entry = entries[*count];
            status = der_read_expect(&fields, DER_TAG_OID, &type);
            if (status == STATUS_OK)
                status = der_get_oid(&type, &entry.type, &entry.type_len);
            if (status == STATUS_OK)
                status = der_read_element(&fields, &value);
            if (status == STATUS_OK)
                status = der_expect_end(&fields);
            if (status == STATUS_OK) {
                entry.value_tag = value.tag;
                entry.value = value.value;
                entry.value_len = value.length;
                ++*count;
            }
        }
    }
    return status;
}
