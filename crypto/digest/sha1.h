// SHA-1 (FIPS 180-1): 20-byte digest over 64-byte blocks.
#pragma once

#include <cstdint>

// The state of one SHA-1 computation. The caller owns it, usually on the
// stack.
//   state   chaining value H0 to H4
//   count   number of message bits fed so far, modulo 2^64, low word first;
//           (count / 8) mod 64 is also how many bytes wait in `buffer`
//   buffer  the bytes of the block not yet compressed
struct Sha1Context {
    uint32_t state[5];
    uint32_t count[2];
    uint8_t buffer[64];
};

// Starts a computation: the standard's initial chaining value, bit count 0,
// nothing buffered. Overwrites the whole context.
void sha1_init(Sha1Context* ctx);

// Feeds `len` bytes (0 allowed; `data` may then be null). The digest depends
// only on the concatenation of everything fed, however it is split.
void sha1_update(Sha1Context* ctx, const uint8_t* data, uint32_t len);

// Finishes the computation and writes the 20-byte digest to `digest` (which
// must not overlap `ctx`). Afterwards the whole context is zero; sha1_init
// must be called before it is used again.
void sha1_final(uint8_t digest[20], Sha1Context* ctx);
