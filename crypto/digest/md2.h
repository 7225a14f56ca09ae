// MD2 (RFC 1319): 16-byte digest over 16-byte blocks.
#pragma once

#include <cstdint>

// The state of one MD2 computation. The caller owns it, usually on the stack.
//   state     the 16-byte chaining state
//   checksum  the running 16-byte checksum of the blocks compressed so far
//   count     how many bytes wait in `buffer`, 0 to 15
//   buffer    the bytes of the block not yet compressed
struct Md2Context {
    uint8_t state[16];
    uint8_t checksum[16];
    uint32_t count;
    uint8_t buffer[16];
};

// Starts a computation: state and checksum all zero, nothing buffered.
// Overwrites the whole context.
void md2_init(Md2Context* ctx);

// Feeds `len` bytes (0 allowed; `data` may then be null). The digest depends
// only on the concatenation of everything fed, however it is split.
void md2_update(Md2Context* ctx, const uint8_t* data, uint32_t len);

// Finishes the computation and writes the 16-byte digest to `digest` (which
// must not overlap `ctx`). Afterwards the whole context is zero; md2_init must
// be called before it is used again.
void md2_final(uint8_t digest[16], Md2Context* ctx);
