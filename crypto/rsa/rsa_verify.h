// The RSA public-key operation and the strict check of a PKCS#1 v1.5 type-1
// signature block, the counterpart of rsa_sign_block.
#pragma once

#include <cstdint>

#include "crypto/common/status.h"
#include "crypto/rsa/rsa_key.h"

// out = input^e mod n as k = (key->bits + 7) / 8 big-endian bytes, leading
// zeros included; *out_len = k. `out` must hold k bytes and may share storage
// with `input`. Uses bn_mod_exp (about 70 KB of stack).
// Returns STATUS_OK; STATUS_RANGE (1025) with nothing written when the input,
// read as a big-endian number of any length, is not below the modulus (a
// zero modulus included); STATUS_BAD_MODULUS_SIZE (1031) when key->bits is 0
// or above 2048.
Status rsa_public(uint8_t* out, uint32_t* out_len, const uint8_t* input, uint32_t input_len,
                  const RsaPublicKey* key);

// Checks that `signature` is a type-1 signature of exactly `expected`
// (expected_len bytes, in this system a DER DigestInfo) under `key`:
//
//   signature^e mod n  ==  00 01 | FF .. FF (k - expected_len - 3, at least 8) | 00 | expected
//
// compared over all k bytes. Nothing is lenient: the signature must be
// exactly k bytes (no missing or extra leading zeros) and below n, the
// padding is only FF bytes, and `expected` must match in full, so a
// DigestInfo without its NULL parameters, with other lengths or with bytes
// after it does not pass.
// Returns STATUS_OK when it matches, STATUS_SIGNATURE_INVALID when it does
// not (an over-long `expected` included), STATUS_BAD_MODULUS_SIZE as
// rsa_public.
Status rsa_verify_block(const uint8_t* signature, uint32_t signature_len, const uint8_t* expected,
                        uint32_t expected_len, const RsaPublicKey* key);

// Checks that the private key's numbers belong together:
//   n = p * q (p, q above 1), e * d = 1 mod (p - 1) and mod (q - 1),
//   exponent1 = d mod (p - 1), exponent2 = d mod (q - 1),
//   coefficient * q = 1 mod p.
// Reads the full arrays (bits is not used). Returns STATUS_OK or the first
// of STATUS_KEY_MODULUS_MISMATCH, STATUS_KEY_EXPONENT_MISMATCH,
// STATUS_KEY_CRT_MISMATCH that applies. Every intermediate is wiped.
Status rsa_check_private_key(const RsaPrivateKey* key);
