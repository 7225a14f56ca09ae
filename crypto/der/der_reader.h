// The DER reader: walks DER input element by element without copying it.
//
// Every element is identifier, length, value:
//
//   [tag] [length]           [value: `length` bytes]
//    30    82 01 0A           ...
//          '- 0x80 + n, then n big-endian octets (n = 1 to 4), or one
//             octet below 0x80
//
// A reader is a window on the caller's bytes. Reading an element moves past
// it; entering a constructed element gives a reader over its value alone,
// so a structure is walked the way it nests:
//
//   DerReader top, request;
//   DerElement e;
//   der_reader_init(&top, data, len);
//   der_read_expect(&top, DER_TAG_SEQUENCE, &e);   // the outer SEQUENCE
//   der_enter(&e, &request);                       // its contents
//   ... read the children of `request` ...
//   der_expect_end(&request);                      // nothing may follow them
//
// Only DER is accepted: indefinite lengths, long-form lengths that a shorter
// form would hold (81 05, 82 00 80), lengths of more than four octets,
// lengths that run past the enclosing window, tag numbers of 31 and above
// (multi-octet identifiers) and unread bytes after the last child of a
// structure each give their own status, never an out-of-bounds read. The
// value readers below check the contents of the universal types the same
// way (minimal INTEGERs, BIT STRING padding, OID sub-identifiers, dates).
//
// The reader never allocates and never writes to the input. Elements and
// values are views into the input and are valid as long as it is.
#pragma once

#include <cstdint>

#include "crypto/common/status.h"

// Statuses: STATUS_DER_* in crypto/common/status.h.

// Identifier octets, as they appear in the input (constructed bit included).
constexpr uint8_t DER_TAG_BOOLEAN = 0x01;
constexpr uint8_t DER_TAG_INTEGER = 0x02;
constexpr uint8_t DER_TAG_BIT_STRING = 0x03;
constexpr uint8_t DER_TAG_OCTET_STRING = 0x04;
constexpr uint8_t DER_TAG_NULL = 0x05;
constexpr uint8_t DER_TAG_OID = 0x06;
constexpr uint8_t DER_TAG_UTF8_STRING = 0x0C;
constexpr uint8_t DER_TAG_PRINTABLE_STRING = 0x13;
constexpr uint8_t DER_TAG_T61_STRING = 0x14;
constexpr uint8_t DER_TAG_IA5_STRING = 0x16;
constexpr uint8_t DER_TAG_UTC_TIME = 0x17;
constexpr uint8_t DER_TAG_GENERALIZED_TIME = 0x18;
constexpr uint8_t DER_TAG_UNIVERSAL_STRING = 0x1C;
constexpr uint8_t DER_TAG_BMP_STRING = 0x1E;
constexpr uint8_t DER_TAG_SEQUENCE = 0x30;
constexpr uint8_t DER_TAG_SET = 0x31;
// Bits of an identifier octet.
constexpr uint8_t DER_CLASS_MASK = 0xC0;
constexpr uint8_t DER_CLASS_CONTEXT = 0x80;
constexpr uint8_t DER_CONSTRUCTED = 0x20;

// Context-specific identifier octets: [n] constructed and [n] primitive.
constexpr uint8_t der_context_constructed(uint8_t n) {
    return static_cast<uint8_t>(DER_CLASS_CONTEXT | DER_CONSTRUCTED | n);
}
constexpr uint8_t der_context_primitive(uint8_t n) {
    return static_cast<uint8_t>(DER_CLASS_CONTEXT | n);
}

// A window on input bytes: data[position .. length-1] is still to be read.
struct DerReader {
    const uint8_t* data;
    uint32_t length;
    uint32_t position;
};

// One element as read.
//   tag            the identifier octet (tag numbers 0 to 30 only)
//   start          the first byte of the identifier
//   size           identifier + length octets + value, in bytes
//   value, length  the contents
struct DerElement {
    uint8_t tag;
    const uint8_t* start;
    uint32_t size;
    const uint8_t* value;
    uint32_t length;
};

// Points the reader at `length` bytes at `data` (null only with length 0).
void der_reader_init(DerReader* r, const uint8_t* data, uint32_t length);

// True when nothing is left to read.
bool der_at_end(const DerReader* r);

// Bytes left to read.
uint32_t der_remaining(const DerReader* r);

// Reads the next element, whatever its tag, and moves past it. Returns
// STATUS_OK, or one of TRUNCATED, INDEFINITE_LENGTH, LENGTH_TOO_LONG,
// NON_MINIMAL_LENGTH, UNEXPECTED_TAG (multi-octet identifier); on failure the
// reader does not move and *e is not to be used.
Status der_read_element(DerReader* r, DerElement* e);

// Looks at the next element without moving. Same statuses.
Status der_peek_element(const DerReader* r, DerElement* e);

// Reads the next element and requires identifier `tag`: STATUS_DER_UNEXPECTED_TAG
// (and no move) when it has another one.
Status der_read_expect(DerReader* r, uint8_t tag, DerElement* e);

// True when the next element can be read and has identifier `tag`: for
// OPTIONAL and DEFAULT fields.
bool der_next_is(const DerReader* r, uint8_t tag);

// A reader over the value of `e`, which must be constructed (bit 0x20):
// STATUS_DER_UNEXPECTED_TAG otherwise.
Status der_enter(const DerElement* e, DerReader* inner);

// STATUS_OK when the reader has nothing left, else STATUS_DER_TRAILING_DATA.
Status der_expect_end(const DerReader* r);

// ---- Values -------------------------------------------------------------------

// A non-negative INTEGER as its magnitude: *bytes / *count without the 00
// sign byte (zero is one byte 00). STATUS_DER_BAD_VALUE when the element is
// not an INTEGER, is empty, is not minimal (00 before a byte below 0x80, FF
// before a byte of 0x80 or more) or is negative.
Status der_get_unsigned(const DerElement* e, const uint8_t** bytes, uint32_t* count);

// A non-negative INTEGER that fits 32 bits, into *value. BAD_VALUE as above,
// and also for a larger number.
Status der_get_uint32(const DerElement* e, uint32_t* value);

// A BOOLEAN: one byte, 00 (false) or FF (true); anything else is BAD_VALUE.
Status der_get_boolean(const DerElement* e, bool* value);

// A NULL: no contents.
Status der_get_null(const DerElement* e);

// A BIT STRING: *bits / *count are the bytes after the unused-bits octet and
// *unused that octet (0 to 7). BAD_VALUE when the element is not a BIT
// STRING, is empty, the octet is above 7, is not 0 with no bits, or the
// unused bits are not zero.
Status der_get_bit_string(const DerElement* e, const uint8_t** bits, uint32_t* count,
                          uint8_t* unused);

// An OBJECT IDENTIFIER's contents octets, checked: not empty, no
// sub-identifier starting with 80 (non-minimal), the last octet closing its
// sub-identifier, no sub-identifier above 32 bits.
Status der_get_oid(const DerElement* e, const uint8_t** octets, uint32_t* count);

// Writes the dotted form of OID contents ("1.2.840.113549") to `out` with a
// terminating 0; `capacity` bytes are available. Returns the text length, or
// 0 when the contents are not a valid identifier or the text does not fit.
uint32_t der_oid_text(const uint8_t* octets, uint32_t count, char* out, uint32_t capacity);

// A UTCTime (YYMMDDHHMMSSZ, years 50-99 as 19xx) or GeneralizedTime
// (YYYYMMDDHHMMSSZ), the only forms DER allows for them. BAD_VALUE for any
// other tag, form or an impossible date or time.
struct DerTime {
    uint32_t year;
    uint32_t month;   // 1-12
    uint32_t day;     // 1-31, checked against the month
    uint32_t hour;    // 0-23
    uint32_t minute;  // 0-59
    uint32_t second;  // 0-59
};
Status der_get_time(const DerElement* e, DerTime* time);

// One AttributeTypeAndValue of a Name: the type's identifier (contents
// octets) and the value's tag and contents, pointing into the input.
struct DerNameEntry {
    const uint8_t* type;
    uint32_t type_len;
    uint8_t value_tag;
    const uint8_t* value;
    uint32_t value_len;
};

// Reads the Name at `r`:
//   Name ::= SEQUENCE OF SET OF SEQUENCE { type OBJECT IDENTIFIER, value ANY }
// Its entries go to entries[0..*count) in order, at most `capacity` of them;
// `whole` receives the Name element itself. Returns STATUS_OK; a reader
// status for anything malformed; STATUS_DER_BAD_VALUE for an empty RDN;
// STATUS_DER_TOO_MANY past `capacity`.
Status der_read_name(DerReader* r, DerNameEntry* entries, uint32_t capacity, uint32_t* count,
                     DerElement* whole);
