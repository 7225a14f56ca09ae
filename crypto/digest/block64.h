// Pieces shared by the digests that work on 64-byte blocks (MD4, MD5, SHA-1,
// SHA-0): word loads and stores in either byte order, rotation, and the
// buffering and padding that all four do the same way. Internal to
// crypto/digest; callers use the per-algorithm headers.
#pragma once

#include <cstdint>

#include "crypto/common/mem.h"

inline uint32_t rotl32(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline uint32_t load_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline uint32_t load_be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

inline void store_le32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void store_be32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// The first padding byte 0x80 followed by zeros; a final step feeds 1 to 64
// bytes of it.
inline constexpr uint8_t BLOCK64_PADDING[64] = {0x80};

// Feeds `len` bytes to a context that has `state`, a bit count `count[2]`
// (low word first) and a 64-byte `buffer`. The bytes already waiting sit at
// (bit count / 8) mod 64 in the buffer. Once the buffer is full it is
// compressed; further whole blocks are compressed straight from `data`, and
// the tail waits in the buffer for the next call.
template <typename Context, void (*Compress)(uint32_t* state, const uint8_t* block)>
void block64_update(Context* ctx, const uint8_t* data, uint32_t len) {
    uint32_t index = (ctx->count[0] >> 3) & 63;

    uint32_t low = ctx->count[0] + (len << 3);
    if (low < ctx->count[0]) {
        ctx->count[1]++;
    }
    ctx->count[0] = low;
    ctx->count[1] += len >> 29;

    uint32_t done = 0;
    if (len >= 64 - index) {
        done = 64 - index;
        mem_copy(ctx->buffer + index, data, done);
        Compress(ctx->state, ctx->buffer);
        for (; len - done >= 64; done += 64) {
            Compress(ctx->state, data + done);
        }
        index = 0;
    }
    mem_copy(ctx->buffer + index, data + done, len - done);
}

// Pads the message and appends its bit length as 8 bytes, which leaves the
// buffer empty and the whole message compressed.
//
//   message | 80 00 .. 00 | bit count
//           '-- to 56 mod 64 --'  8 bytes: little-endian low word first, or
//                                 big-endian high word first
//
// The count is taken before the padding changes it.
template <typename Context, void (*Compress)(uint32_t* state, const uint8_t* block)>
void block64_finish(Context* ctx, bool big_endian) {
    uint8_t bits[8];
    if (big_endian) {
        store_be32(bits, ctx->count[1]);
        store_be32(bits + 4, ctx->count[0]);
    } else {
        store_le32(bits, ctx->count[0]);
        store_le32(bits + 4, ctx->count[1]);
    }
    uint32_t index = (ctx->count[0] >> 3) & 63;
    uint32_t pad = index < 56 ? 56 - index : 120 - index;
    block64_update<Context, Compress>(ctx, BLOCK64_PADDING, pad);
    block64_update<Context, Compress>(ctx, bits, 8);
}
