// DES in cipher block chaining mode over whole 8-byte blocks.
//
// Blocks, keys and initialisation vectors are 8 bytes. The cipher knows
// nothing of padding: the caller pads its data to a multiple of 8 bytes.
#pragma once

#include <cstdint>

#include "crypto/common/status.h"

// The state of one chain. The caller owns it and should wipe it (mem_wipe)
// when done: it holds the expanded key. The cipher never clears it.
struct DesCbcContext {
    // The 16 round keys, two words per round, in the order the rounds use
    // them: encryption order, or for decryption that order reversed.
    uint32_t round_keys[32];
    // The chaining value: first the initialisation vector, afterwards always
    // the last ciphertext block, as two big-endian words.
    uint32_t chain[2];
    // Nonzero: the context encrypts. Zero: it decrypts.
    int32_t encrypt;
};

// Starts a new chain: stores `encrypt`, loads `iv` into the chaining value and
// expands `key` into round keys for that direction. The lowest bit of each key
// byte (the parity bit) is ignored; keys are not checked for parity, nor for
// being weak or semi-weak. `ctx` is fully overwritten; it need not be cleared
// beforehand. Nothing can fail.
void des_cbc_init(DesCbcContext* ctx, const uint8_t key[8], const uint8_t iv[8], int32_t encrypt);

// Encrypts or decrypts (as the context was set up) `len` bytes from `input`
// to `output`, `len` / 8 blocks, and carries the chaining value on, so
// successive calls continue one chain: 8 + 16 + 24 bytes in three calls give
// the same 48 bytes as one call.
//
// `len` is a byte count and must be a multiple of 8; 0 is allowed and does
// nothing (the pointers are then not used). `output` may be the same buffer as
// `input`: each input block is read whole before its output block is written.
// Any other overlap is not allowed.
//
// Returns STATUS_OK, or STATUS_BAD_LENGTH (1030) when `len` is not a multiple
// of 8; then nothing is written and the context is unchanged.
Status des_cbc_update(DesCbcContext* ctx, uint8_t* output, const uint8_t* input, uint32_t len);
