// SHA-256 (FIPS 180-4): 32-byte digest over 64-byte blocks.
#pragma once

#include <cstdint>

// The state of one SHA-256 computation. The caller owns it, usually on the
// stack.
//   state   chaining value H0 to H7
//   count   number of message bits fed so far, modulo 2^64, low word first;
//           (count / 8) mod 64 is also how many bytes wait in `buffer`
//   buffer  the bytes of the block not yet compressed
struct Sha256Context {
    uint32_t state[8];
    uint32_t count[2];
    uint8_t buffer[64];
};

// Starts a computation: the standard's initial chaining value, bit count 0,
// nothing buffered. Overwrites the whole context.
void sha256_init(Sha256Context* ctx);

// Feeds `len` bytes (0 allowed; `data` may then be null). The digest depends
// only on the concatenation of everything fed, however it is split.
void sha256_update(Sha256Context* ctx, const uint8_t* data, uint32_t len);

// Finishes the computation and writes the 32-byte digest to `digest` (which
// must not overlap `ctx`). Afterwards the whole context is zero; sha256_init
// must be called before it is used again.
void sha256_final(uint8_t digest[32], Sha256Context* ctx);
