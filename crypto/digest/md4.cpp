#include "crypto/digest/md4.h"

#include "crypto/common/mem.h"
#include "crypto/digest/block64.h"

namespace {

inline uint32_t md4_f(uint32_t x, uint32_t y, uint32_t z) {
    return (x & y) | (~x & z);
}
inline uint32_t md4_g(uint32_t x, uint32_t y, uint32_t z) {
    return (x & y) | (x & z) | (y & z);
}
inline uint32_t md4_h(uint32_t x, uint32_t y, uint32_t z) {
    return x ^ y ^ z;
}

// One step of each round: a = (a + F(b, c, d) + x + k) <<< s, where k is 0 in
// round 1, the square root of 2 (0x5a827999) in round 2 and the square root
// of 3 (0x6ed9eba1) in round 3.
inline void md4_ff(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s) {
    a = rotl32(a + md4_f(b, c, d) + x, s);
}
inline void md4_gg(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s) {
    a = rotl32(a + md4_g(b, c, d) + x + 0x5a827999, s);
}
inline void md4_hh(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s) {
    a = rotl32(a + md4_h(b, c, d) + x + 0x6ed9eba1, s);
}

// Compresses one 64-byte block, read as sixteen little-endian words, into
// the chaining value. The 48 steps are written out; the local copy of the
// block and the working variables are wiped before returning.
void md4_compress(uint32_t* state, const uint8_t* block) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = load_le32(block + 4 * i);
    }
    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];

    // Round 1.
    md4_ff(a, b, c, d, x[0], 3);
    md4_ff(d, a, b, c, x[1], 7);
    md4_ff(c, d, a, b, x[2], 11);
    md4_ff(b, c, d, a, x[3], 19);
    md4_ff(a, b, c, d, x[4], 3);
    md4_ff(d, a, b, c, x[5], 7);
    md4_ff(c, d, a, b, x[6], 11);
    md4_ff(b, c, d, a, x[7], 19);
    md4_ff(a, b, c, d, x[8], 3);
    md4_ff(d, a, b, c, x[9], 7);
    md4_ff(c, d, a, b, x[10], 11);
    md4_ff(b, c, d, a, x[11], 19);
    md4_ff(a, b, c, d, x[12], 3);
    md4_ff(d, a, b, c, x[13], 7);
    md4_ff(c, d, a, b, x[14], 11);
    md4_ff(b, c, d, a, x[15], 19);
    // Round 2.
    md4_gg(a, b, c, d, x[0], 3);
    md4_gg(d, a, b, c, x[4], 5);
    md4_gg(c, d, a, b, x[8], 9);
    md4_gg(b, c, d, a, x[12], 13);
    md4_gg(a, b, c, d, x[1], 3);
    md4_gg(d, a, b, c, x[5], 5);
    md4_gg(c, d, a, b, x[9], 9);
    md4_gg(b, c, d, a, x[13], 13);
    md4_gg(a, b, c, d, x[2], 3);
    md4_gg(d, a, b, c, x[6], 5);
    md4_gg(c, d, a, b, x[10], 9);
    md4_gg(b, c, d, a, x[14], 13);
    md4_gg(a, b, c, d, x[3], 3);
    md4_gg(d, a, b, c, x[7], 5);
    md4_gg(c, d, a, b, x[11], 9);
    md4_gg(b, c, d, a, x[15], 13);
    // Round 3.
    md4_hh(a, b, c, d, x[0], 3);
    md4_hh(d, a, b, c, x[8], 9);
    md4_hh(c, d, a, b, x[4], 11);
    md4_hh(b, c, d, a, x[12], 15);
    md4_hh(a, b, c, d, x[2], 3);
    md4_hh(d, a, b, c, x[10], 9);
    md4_hh(c, d, a, b, x[6], 11);
    md4_hh(b, c, d, a, x[14], 15);
    md4_hh(a, b, c, d, x[1], 3);
    md4_hh(d, a, b, c, x[9], 9);
    md4_hh(c, d, a, b, x[5], 11);
    md4_hh(b, c, d, a, x[13], 15);
    md4_hh(a, b, c, d, x[3], 3);
    md4_hh(d, a, b, c, x[11], 9);
    md4_hh(c, d, a, b, x[7], 11);
    md4_hh(b, c, d, a, x[15], 15);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;

    mem_wipe(x);
    mem_wipe(a);
    mem_wipe(b);
    mem_wipe(c);
    mem_wipe(d);
}

}  // namespace

void md4_init(Md4Context* ctx) {
    mem_wipe(*ctx);
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
}

void md4_update(Md4Context* ctx, const uint8_t* data, uint32_t len) {
    block64_update<Md4Context, md4_compress>(ctx, data, len);
}

void md4_final(uint8_t digest[16], Md4Context* ctx) {
    block64_finish<Md4Context, md4_compress>(ctx, false);
    for (int i = 0; i < 4; ++i) {
        store_le32(digest + 4 * i, ctx->state[i]);
    }
    mem_wipe(*ctx);
}
