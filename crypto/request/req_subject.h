// The subject Name and the attributes of a certification request, built from
// two arrays of byte strings, and the small builders that fill those arrays.
//
// Values are written byte for byte as the caller supplies them: no character
// set is enforced or converted, so accented ISO-8859-1 letters (or any other
// byte) can stand inside a PrintableString.
#pragma once

#include <cstdint>

#include "crypto/common/bytes.h"
#include "crypto/common/status.h"
#include "crypto/der/der.h"

// Subject name components, one per name attribute, indexed by component
// number. An entry with a null pointer or a length of 0 is absent.
//
//   index  attribute                  index  attribute
//   0      organizationName           8      localityName
//   1      organizationalUnitName     9      uniqueIdentifier (BIT STRING)
//   2      commonName                 10     serialNumber
//   3      title                      11     emailAddress (IA5String)
//   4      streetAddress              12     businessCategory
//   5      postalCode                 13     telephoneNumber
//   6      countryName                14     facsimileTelephoneNumber
//   7      stateOrProvinceName        15-19  no attribute: a value there makes
//                                            the Name fail
constexpr uint32_t SUBJECT_COMPONENT_COUNT = 20;
constexpr uint32_t SUBJECT_EMAIL = 11;
constexpr uint32_t SUBJECT_UNIQUE_IDENTIFIER = 9;
using SubjectComponents = ByteSpan[SUBJECT_COMPONENT_COUNT];

// Request attribute slots, indexed by slot number; the slot selects the
// attribute type (oid_for_slot in crypto/der/oid.h). An entry is present when
// its pointer is not null, whatever its length (length 0 gives an empty
// string value). Slot 24 has no type: a value there makes the attributes fail.
constexpr uint32_t ATTRIBUTE_SLOT_COUNT = 25;
constexpr uint32_t SLOT_EMAIL = 0;  // written as IA5String
constexpr uint32_t SLOT_CHALLENGE_PASSWORD = 1;
constexpr uint32_t SLOT_NUMBER = 3;             // 4 bytes from u32_to_be_bytes
constexpr uint32_t SLOT_SUBJECT_ALT_NAME = 20;  // filled by req_build_alt_names
using AttributeSlots = ByteSpan[ATTRIBUTE_SLOT_COUNT];

// The alternative names handed to req_build_alt_names, in this order.
constexpr uint32_t ALT_NAME_EMAIL = 0;
constexpr uint32_t ALT_NAME_DNS = 1;
constexpr uint32_t ALT_NAME_IP = 2;  // 4 bytes, one per dotted decimal number
constexpr uint32_t ALT_NAME_COUNT = 3;

// Room req_build_alt_names gives the GeneralNames encoding.
constexpr uint32_t ALT_NAMES_MAX_SIZE = 256;

// Writes the subject Name:
//
//   30 [len]                        Name ::= SEQUENCE OF
//     31 [len]                        RelativeDistinguishedName ::= SET {
//       30 [len]                        AttributeTypeAndValue ::= SEQUENCE {
//         06 [len] [type]                 type   OBJECT IDENTIFIER,
//         13 [len] [value bytes]          value  PrintableString }}
//     ...                             one RDN per present component
//
// Index 11 is written as an IA5String (16), index 9 as a BIT STRING with no
// unused bits (03 [len] 00 [value bytes]). The RDNs stand in descending index
// order with the e-mail last: 14, 13, 12, 10, 9, ..., 1, 0, 11. With no
// component present the Name is 30 00.
// Returns the bytes added, or 0 when a component 15 to 19 is present or the
// writer ran out of room.
uint32_t req_write_subject_name(DerWriter* w, const SubjectComponents& components);

// Writes the request attributes element:
//
//   A0 [len]                        [0] IMPLICIT SET OF
//     30 [len]                        Attribute ::= SEQUENCE {
//       06 [len] [type]                 type    OBJECT IDENTIFIER,
//       31 [len]                        values  SET {
//         13 [len] [slot bytes]           PrintableString (IA5String for slot 0) }}
//     ...                             one Attribute per present slot
//
// The attributes stand in descending slot order. The slot's bytes are the
// string's contents whatever they are: slot 3 holds 4 raw bytes, slot 20 a
// complete GeneralNames encoding.
// Returns the bytes added; 0 when no slot is present, when slot 24 is present,
// or when the writer ran out of room (the caller cannot tell these apart and
// leaves the element out in every case).
uint32_t req_write_attributes(DerWriter* w, const AttributeSlots& slots);

// Builds the subject alternative names from `names` (ALT_NAME_COUNT entries:
// e-mail, DNS name, IP address; an entry is used when both its pointer and
// its length are set):
//
//   30 [len]                        GeneralNames ::= SEQUENCE OF GeneralName
//     87 [len] [IP address]           iPAddress   [7]
//     82 [len] [DNS name]             dNSName     [2]
//     81 [len] [e-mail]               rfc822Name  [1]
//
// e.g. only the IP address 10.0.0.1: 30 06 87 04 0A 00 00 01.
// On success the encoding (at most ALT_NAMES_MAX_SIZE bytes) is stored in a
// string allocated with new[] in slots[SLOT_SUBJECT_ALT_NAME], releasing the
// string that slot held before, and STATUS_BUILT (2000) is returned.
// Returns 0 and leaves the slot as it was when `names` is null, when no
// entry has a pointer or no entry has a length, when the encoding does not fit
// in ALT_NAMES_MAX_SIZE bytes, or when the string cannot be allocated.
Status req_build_alt_names(AttributeSlots& slots, const ByteSpan* names);

// Stores `value` in out[0..3], most significant byte first: 1 gives
// 00 00 00 01, 0xFFFFFFFF gives FF FF FF FF.
void u32_to_be_bytes(uint32_t value, uint8_t out[4]);

// For each of the first `count` entries of `spans` whose pointer is not null:
// overwrites its `length` bytes with zeros (a challenge password may be among
// them), releases the string with delete[], and sets the pointer to null and
// the length to 0. Every string in the arrays must have been allocated with
// new[] (req_build_alt_names does so); calling it twice is harmless.
void span_array_release(ByteSpan* spans, uint32_t count);
