// Triple DES (SP 800-67, keying option 1: three independent keys) in cipher
// block chaining mode over whole 8-byte blocks:
//
//   encrypt:  C_i = E_K3(D_K2(E_K1(P_i xor C_{i-1})))      C_0 = IV
//   decrypt:  P_i = D_K1(E_K2(D_K3(C_i))) xor C_{i-1}
//
// The 24-byte key is K1 || K2 || K3. A two-key triple DES key (K1 || K2) is
// passed as K1 || K2 || K1. As with single DES the cipher does not pad.
#pragma once

#include <cstdint>

#include "crypto/common/status.h"

// The state of one chain. It holds the expanded keys: the caller wipes it
// (mem_wipe) when done.
struct Des3CbcContext {
    // Round keys of the three passes, in the order a block goes through
    // them: for encryption K1 (encrypting), K2 (decrypting), K3
    // (encrypting); for decryption K3, K2, K1 with the directions swapped.
    uint32_t round_keys[3][32];
    // The chaining value: the IV, then always the last ciphertext block.
    uint32_t chain[2];
    // Nonzero: the context encrypts. Zero: it decrypts.
    int32_t encrypt;
};

// Starts a chain with the 24-byte `key` and the 8-byte `iv` for the
// direction `encrypt`. Parity bits are ignored and keys are not checked.
// `ctx` is fully overwritten. Nothing can fail.
void des3_cbc_init(Des3CbcContext* ctx, const uint8_t key[24], const uint8_t iv[8],
                   int32_t encrypt);

// Encrypts or decrypts `len` bytes (a multiple of 8; 0 does nothing) from
// `input` to `output`, continuing the chain across calls. `output` may be
// `input` itself; no other overlap is allowed.
// Returns STATUS_OK, or STATUS_BAD_LENGTH (1030) when `len` is not a multiple
// of 8; then nothing is written and the context is unchanged.
Status des3_cbc_update(Des3CbcContext* ctx, uint8_t* output, const uint8_t* input, uint32_t len);
