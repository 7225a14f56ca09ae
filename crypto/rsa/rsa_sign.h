// The RSA private-key operation (Chinese Remainder Theorem) and the PKCS#1
// v1.5 type-1 signature block built on it. The two exponentiations modulo the
// primes run on Montgomery multiplication (bn_mod_exp_odd, about 12 KB of
// stack); rsa_private_crt_plain computes the same on the plain bn_mod_exp.
#pragma once

#include <cstdint>

#include "crypto/common/status.h"
#include "crypto/rsa/rsa_key.h"

// Signs `input` (input_len bytes; in this system a DER DigestInfo): wraps it in
// a type-1 block of k = (key->bits + 7) / 8 bytes and applies rsa_private_crt.
// `out` must hold k bytes (at most 256); on success it holds the k-byte
// signature, leading zero bytes included, and *out_len = k. out may share
// storage with input.
// Returns STATUS_OK; STATUS_BAD_LENGTH (1030) when input_len > k - 11, before
// any arithmetic and with nothing written; STATUS_BAD_MODULUS_SIZE (1031) when
// key->bits is above 2048, with nothing written; otherwise the status of
// rsa_private_crt. The block buffer is wiped.
Status rsa_sign_block(uint8_t* out, uint32_t* out_len, const uint8_t* input, uint32_t input_len,
                      const RsaPrivateKey* key);

// out = input^d mod n as k = (key->bits + 7) / 8 big-endian bytes, computed from
// prime1, prime2, exponent1, exponent2 and coefficient (private_exponent is not
// read); *out_len = k. `out` must hold k bytes; out may share storage with input.
// Returns STATUS_OK; STATUS_RANGE (1025) with nothing written when the input,
// read as a big-endian number of any length, is not below the modulus;
// STATUS_BAD_MODULUS_SIZE (1031) with nothing written when key->bits is above
// 2048. Every intermediate is wiped.
Status rsa_private_crt(uint8_t* out, uint32_t* out_len, const uint8_t* input, uint32_t input_len,
                       const RsaPrivateKey* key);

// rsa_private_crt on the plain bn_mod_exp (about 70 KB of stack): the same
// bytes and statuses for every input, kept as the reference the fast path is
// checked against.
Status rsa_private_crt_plain(uint8_t* out, uint32_t* out_len, const uint8_t* input,
                             uint32_t input_len, const RsaPrivateKey* key);
