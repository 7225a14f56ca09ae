// AES-256 (FIPS 197) in cipher block chaining mode (SP 800-38A) over whole
// 16-byte blocks:
//
//   encrypt:  C_i = AES_K(P_i xor C_{i-1})      C_0 = IV
//   decrypt:  P_i = AES_K^-1(C_i) xor C_{i-1}
//
// Keys are 32 bytes, blocks and IVs 16. The cipher does not pad. The S-box
// is a table lookup indexed by secret bytes; this program encrypts a few
// kilobytes for a local file, where that timing is of no use to anyone.
#pragma once

#include <cstdint>

#include "crypto/common/status.h"

constexpr uint32_t AES_BLOCK_LEN = 16;
constexpr uint32_t AES256_KEY_LEN = 32;

// The state of one chain. It holds the expanded key: the caller wipes it
// (mem_wipe) when done.
struct AesCbcContext {
    // The 15 round keys of AES-256, 16 bytes each, in the order of the
    // encryption rounds (decryption walks them backwards).
    uint8_t round_keys[15][16];
    // The chaining value: the IV, then always the last ciphertext block.
    uint8_t chain[16];
    // Nonzero: the context encrypts. Zero: it decrypts.
    int32_t encrypt;
};

// Starts a chain with the 32-byte `key` and the 16-byte `iv` for the
// direction `encrypt`. `ctx` is fully overwritten; the key schedule's own
// work words are wiped. Nothing can fail.
void aes256_cbc_init(AesCbcContext* ctx, const uint8_t key[32], const uint8_t iv[16],
                     int32_t encrypt);

// Encrypts or decrypts `len` bytes (a multiple of 16; 0 does nothing) from
// `input` to `output`, continuing the chain across calls: 16 + 32 bytes in
// two calls give the same 48 bytes as one call. `output` may be `input`
// itself; no other overlap is allowed.
// Returns STATUS_OK, or STATUS_BAD_LENGTH (1030) when `len` is not a multiple
// of 16; then nothing is written and the context is unchanged.
Status aes256_cbc_update(AesCbcContext* ctx, uint8_t* output, const uint8_t* input, uint32_t len);
