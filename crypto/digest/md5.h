// MD5 (RFC 1321): 16-byte digest over 64-byte blocks.
#pragma once

#include <cstdint>

// The state of one MD5 computation. The caller owns it, usually on the stack.
//   state   chaining value A, B, C, D
//   count   number of message bits fed so far, modulo 2^64, low word first;
//           (count / 8) mod 64 is also how many bytes wait in `buffer`
//   buffer  the bytes of the block not yet compressed
struct Md5Context {
    uint32_t state[4];
    uint32_t count[2];
    uint8_t buffer[64];
};

// Starts a computation: the standard's initial chaining value, bit count 0,
// nothing buffered. Overwrites the whole context.
void md5_init(Md5Context* ctx);

// Feeds `len` bytes (0 allowed; `data` may then be null). The digest depends
// only on the concatenation of everything fed, however it is split.
void md5_update(Md5Context* ctx, const uint8_t* data, uint32_t len);

// Finishes the computation and writes the 16-byte digest to `digest` (which
// must not overlap `ctx`). Afterwards the whole context is zero; md5_init must
// be called before it is used again.
void md5_final(uint8_t digest[16], Md5Context* ctx);
