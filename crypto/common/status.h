// Status codes of the cryptographic library. Operations that are not encoders
// return one of these as a 32-bit value; 0 is success. The numbers are fixed:
// callers and stored diagnostics rely on them.
#pragma once

#include <cstdint>

using Status = uint32_t;

constexpr Status STATUS_OK = 0;
// A prime search ran past its range, or an RSA input is not below the modulus.
constexpr Status STATUS_RANGE = 1025;  // 0x0401
// The digest code names no supported digest.
constexpr Status STATUS_BAD_DIGEST = 1026;  // 0x0402
// Input too long for the RSA block, or a DES-CBC length not a multiple of 8.
constexpr Status STATUS_BAD_LENGTH = 1030;  // 0x0406
// Modulus size outside 508 to 2048 bits.
constexpr Status STATUS_BAD_MODULUS_SIZE = 1031;  // 0x0407
// The random generator has not absorbed 256 seed bytes yet.
constexpr Status STATUS_NOT_SEEDED = 1032;  // 0x0408
// Success of the request and alternative-name builders.
constexpr Status STATUS_BUILT = 2000;
// No working buffer could be obtained.
constexpr Status STATUS_NO_MEMORY = 1004;
// Building or signing the request failed.
constexpr Status STATUS_REQUEST_FAILED = 1008;

// An RSA signature is not the type-1 block of the expected contents.
constexpr Status STATUS_SIGNATURE_INVALID = 1061;
// A private key's numbers do not agree: n is not p * q.
constexpr Status STATUS_KEY_MODULUS_MISMATCH = 1062;
// A private key's numbers do not agree: e * d is not 1 modulo p - 1 and q - 1.
constexpr Status STATUS_KEY_EXPONENT_MISMATCH = 1063;
// A private key's numbers do not agree: a CRT value (d mod p-1, d mod q-1,
// q^-1 mod p) is wrong.
constexpr Status STATUS_KEY_CRT_MISMATCH = 1064;
// A key whose algorithm is not rsaEncryption.
constexpr Status STATUS_NOT_RSA = 1065;

// The DER reader (crypto/der/der_reader.h).
// The input ends inside an identifier, a length or a value.
constexpr Status STATUS_DER_TRUNCATED = 1050;
// An indefinite length (80): BER, not DER.
constexpr Status STATUS_DER_INDEFINITE_LENGTH = 1051;
// A length of more than four octets, or the reserved FF.
constexpr Status STATUS_DER_LENGTH_TOO_LONG = 1052;
// A long-form length that the short form, or fewer octets, would hold.
constexpr Status STATUS_DER_NON_MINIMAL_LENGTH = 1053;
// Bytes left after the last element of a structure or of the input.
constexpr Status STATUS_DER_TRAILING_DATA = 1054;
// The element has another tag than the one expected, or a multi-octet tag.
constexpr Status STATUS_DER_UNEXPECTED_TAG = 1055;
// The contents break the rules of their type (see the value readers).
constexpr Status STATUS_DER_BAD_VALUE = 1056;
// More entries than the caller's fixed table holds.
constexpr Status STATUS_DER_TOO_MANY = 1057;

// PEM and Base64 reading (crypto/der/pem.h).
// No BEGIN line, or no END line with the same label after it.
constexpr Status STATUS_PEM_NOT_FOUND = 1058;
// A character outside the Base64 alphabet (line breaks and spaces aside),
// misplaced padding, or set bits in the padding of the last character.
constexpr Status STATUS_BASE64_BAD = 1059;
// The decoded bytes do not fit the caller's output.
constexpr Status STATUS_BASE64_NO_ROOM = 1060;

// A short English sentence for a status, for diagnostics and test output.
// Unknown values give "unknown status".
const char* status_text(Status status);
