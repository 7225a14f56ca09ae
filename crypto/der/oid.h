// Object identifiers: algorithm codes, subject name component types and
// request attribute types, and the AlgorithmIdentifier writer.
//
// Identifiers are handed out as the contents octets of an OBJECT IDENTIFIER
// (no tag, no length), e.g. 2A 86 48 86 F7 0D 02 05 for md5
// (1.2.840.113549.2.5). The tables are fixed and built into the program.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/der/der.h"

// Room an output area needs for any algorithm identifier (the PKCS#12
// password-based schemes 108 to 110 take 10 octets).
constexpr uint32_t OID_MAX_LEN = 10;

// Copies the contents octets of the identifier of `code` into `out` and
// their count (5, 8, 9 or 10) into *out_len; returns 0. Returns 1 for a code
// without an identifier (everything but 2, 4, 5, 6, 7 and 100 to 113; the
// digest code 3 has none) and leaves `out` and *out_len untouched.
int oid_for_algorithm(AlgorithmCode code, uint8_t out[OID_MAX_LEN], uint32_t* out_len);

// Copies the contents octets of the attribute type of subject name component
// `index` into `out` (room for 9 octets) and returns their count (3 or 9).
// Returns -1 for an index without a type (15 and above); `out` untouched.
//
//   0 organizationName        5 postalCode            10 serialNumber
//   1 organizationalUnitName  6 countryName           11 emailAddress
//   2 commonName              7 stateOrProvinceName   12 businessCategory
//   3 title                   8 localityName          13 telephoneNumber
//   4 streetAddress           9 uniqueIdentifier      14 facsimileTelephoneNumber
int oid_for_name_component(uint32_t index, uint8_t out[9]);

// The same for request attribute slots 0 to 23 (emailAddress,
// challengePassword, ..., subjectAltName at 20, ...); returns 3, 6, 8 or 9.
// Returns -1 for slot 24 and above, which have no type; `out` untouched.
int oid_for_slot(uint32_t slot, uint8_t out[9]);

// The reverse lookups, for readers: the table entry whose contents octets
// are exactly `len` bytes at `octets`. algorithm_for_oid returns its code or
// 0 (no code is 0); the other two return the component index or slot, or -1.
// emailAddress is both name component 11 and attribute slot 0.
AlgorithmCode algorithm_for_oid(const uint8_t* octets, uint32_t len);
int name_component_for_oid(const uint8_t* octets, uint32_t len);
int slot_for_oid(const uint8_t* octets, uint32_t len);

// Writes AlgorithmIdentifier ::= SEQUENCE { algorithm OBJECT IDENTIFIER,
// parameters NULL } for `code`; the parameters are NULL for every code.
//
//   30 [len] 06 [n] [identifier, n octets] 05 00
//
// Returns its size (14, 15 or 16 bytes for 8-, 9- or 10-octet identifiers;
// 11 for 5), or 0 when the code has no identifier (nothing is written) or
// the writer ran out of room (partial bytes stay, as with every writer call).
uint32_t der_write_algorithm_id(DerWriter* w, AlgorithmCode code);
