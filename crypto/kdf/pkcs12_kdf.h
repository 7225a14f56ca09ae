// The PKCS#12 key derivation (RFC 7292 appendix B.2), which the PKCS#12 file
// uses for its MAC key and for the pbeWithSHAAnd* encryption keys and IVs.
// With H a digest of u output bytes and v = 64 block bytes:
//
//   D = v copies of the purpose byte ID (1 key, 2 IV, 3 MAC key)
//   S = the salt repeated to a multiple of v bytes (empty for an empty salt)
//   P = the password as a BMPString with its two-byte terminator, repeated
//       to a multiple of v bytes (an empty password is the terminator alone)
//   I = S || P
//   for each of ceil(n / u) output blocks:
//     A = H^r(D || I)                   (r = iterations)
//     B = A repeated to v bytes
//     every v-byte block I_j of I becomes (I_j + B + 1) mod 2^(8v)
//   output = A_1 || A_2 || .. cut to n bytes
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"

// Purpose bytes.
constexpr uint8_t PKCS12_KDF_KEY = 1;
constexpr uint8_t PKCS12_KDF_IV = 2;
constexpr uint8_t PKCS12_KDF_MAC = 3;

// The longest password, in ISO-8859-1 characters, that the derivation takes.
constexpr uint32_t PKCS12_MAX_PASSWORD = 1024;

// Derives `out_len` bytes (1 or more) into `out` for purpose `id` from the
// ISO-8859-1 `password` (password_len characters, each becoming the BMP code
// unit 00 xx; then 00 00 is appended, also to an empty password), the salt (salt_len bytes, at most
// 1024) and `iterations` (1 or more) with `digest` ALG_SHA1 or ALG_SHA256. Returns STATUS_OK;
// STATUS_BAD_DIGEST for another digest; STATUS_BAD_LENGTH for iterations or out_len 0, a salt over
// 1024 bytes or a password over PKCS12_MAX_PASSWORD; STATUS_NO_MEMORY. Nothing is written on
// failure. Every intermediate (I, A, B, the digest state) is wiped.
Status pkcs12_kdf(AlgorithmCode digest, uint8_t id, const uint8_t* password, uint32_t password_len,
                  const uint8_t* salt, uint32_t salt_len, uint32_t iterations, uint8_t* out,
                  uint32_t out_len);
