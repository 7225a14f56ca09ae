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

// A short English sentence for a status, for diagnostics and test output.
// Unknown values give "unknown status".
const char* status_text(Status status);
