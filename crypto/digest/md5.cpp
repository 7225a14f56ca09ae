#include "crypto/digest/md5.h"

#include "crypto/common/mem.h"
#include "crypto/digest/block64.h"

namespace {

inline uint32_t md5_f(uint32_t x, uint32_t y, uint32_t z) {
    return (x & y) | (~x & z);
}
inline uint32_t md5_g(uint32_t x, uint32_t y, uint32_t z) {
    return (x & z) | (y & ~z);
}
inline uint32_t md5_h(uint32_t x, uint32_t y, uint32_t z) {
    return x ^ y ^ z;
}
inline uint32_t md5_i(uint32_t x, uint32_t y, uint32_t z) {
    return y ^ (x | ~z);
}

// One step of each round: a = b + ((a + F(b, c, d) + x + t) <<< s), with t
// the step's constant, the integer part of 2^32 * |sin(step + 1)|.
inline void md5_ff(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
    a = b + rotl32(a + md5_f(b, c, d) + x + t, s);
}
inline void md5_gg(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
    a = b + rotl32(a + md5_g(b, c, d) + x + t, s);
}
inline void md5_hh(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
    a = b + rotl32(a + md5_h(b, c, d) + x + t, s);
}
inline void md5_ii(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
    a = b + rotl32(a + md5_i(b, c, d) + x + t, s);
}

// Compresses one 64-byte block, read as sixteen little-endian words, into
// the chaining value. The 64 steps are written out; the local copy of the
// block and the working variables are wiped before returning.
void md5_compress(uint32_t* state, const uint8_t* block) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = load_le32(block + 4 * i);
    }
    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];

    // Round 1.
    md5_ff(a, b, c, d, x[0], 7, 0xd76aa478);
    md5_ff(d, a, b, c, x[1], 12, 0xe8c7b756);
    md5_ff(c, d, a, b, x[2], 17, 0x242070db);
    md5_ff(b, c, d, a, x[3], 22, 0xc1bdceee);
    md5_ff(a, b, c, d, x[4], 7, 0xf57c0faf);
    md5_ff(d, a, b, c, x[5], 12, 0x4787c62a);
    md5_ff(c, d, a, b, x[6], 17, 0xa8304613);
    md5_ff(b, c, d, a, x[7], 22, 0xfd469501);
    md5_ff(a, b, c, d, x[8], 7, 0x698098d8);
    md5_ff(d, a, b, c, x[9], 12, 0x8b44f7af);
    md5_ff(c, d, a, b, x[10], 17, 0xffff5bb1);
    md5_ff(b, c, d, a, x[11], 22, 0x895cd7be);
    md5_ff(a, b, c, d, x[12], 7, 0x6b901122);
    md5_ff(d, a, b, c, x[13], 12, 0xfd987193);
    md5_ff(c, d, a, b, x[14], 17, 0xa679438e);
    md5_ff(b, c, d, a, x[15], 22, 0x49b40821);
    // Round 2.
    md5_gg(a, b, c, d, x[1], 5, 0xf61e2562);
    md5_gg(d, a, b, c, x[6], 9, 0xc040b340);
    md5_gg(c, d, a, b, x[11], 14, 0x265e5a51);
    md5_gg(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    md5_gg(a, b, c, d, x[5], 5, 0xd62f105d);
    md5_gg(d, a, b, c, x[10], 9, 0x02441453);
    md5_gg(c, d, a, b, x[15], 14, 0xd8a1e681);
    md5_gg(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    md5_gg(a, b, c, d, x[9], 5, 0x21e1cde6);
    md5_gg(d, a, b, c, x[14], 9, 0xc33707d6);
    md5_gg(c, d, a, b, x[3], 14, 0xf4d50d87);
    md5_gg(b, c, d, a, x[8], 20, 0x455a14ed);
    md5_gg(a, b, c, d, x[13], 5, 0xa9e3e905);
    md5_gg(d, a, b, c, x[2], 9, 0xfcefa3f8);
    md5_gg(c, d, a, b, x[7], 14, 0x676f02d9);
    md5_gg(b, c, d, a, x[12], 20, 0x8d2a4c8a);
    // Round 3.
    md5_hh(a, b, c, d, x[5], 4, 0xfffa3942);
    md5_hh(d, a, b, c, x[8], 11, 0x8771f681);
    md5_hh(c, d, a, b, x[11], 16, 0x6d9d6122);
    md5_hh(b, c, d, a, x[14], 23, 0xfde5380c);
    md5_hh(a, b, c, d, x[1], 4, 0xa4beea44);
    md5_hh(d, a, b, c, x[4], 11, 0x4bdecfa9);
    md5_hh(c, d, a, b, x[7], 16, 0xf6bb4b60);
    md5_hh(b, c, d, a, x[10], 23, 0xbebfbc70);
    md5_hh(a, b, c, d, x[13], 4, 0x289b7ec6);
    md5_hh(d, a, b, c, x[0], 11, 0xeaa127fa);
    md5_hh(c, d, a, b, x[3], 16, 0xd4ef3085);
    md5_hh(b, c, d, a, x[6], 23, 0x04881d05);
    md5_hh(a, b, c, d, x[9], 4, 0xd9d4d039);
    md5_hh(d, a, b, c, x[12], 11, 0xe6db99e5);
    md5_hh(c, d, a, b, x[15], 16, 0x1fa27cf8);
    md5_hh(b, c, d, a, x[2], 23, 0xc4ac5665);
    // Round 4.
    md5_ii(a, b, c, d, x[0], 6, 0xf4292244);
    md5_ii(d, a, b, c, x[7], 10, 0x432aff97);
    md5_ii(c, d, a, b, x[14], 15, 0xab9423a7);
    md5_ii(b, c, d, a, x[5], 21, 0xfc93a039);
    md5_ii(a, b, c, d, x[12], 6, 0x655b59c3);
    md5_ii(d, a, b, c, x[3], 10, 0x8f0ccc92);
    md5_ii(c, d, a, b, x[10], 15, 0xffeff47d);
    md5_ii(b, c, d, a, x[1], 21, 0x85845dd1);
    md5_ii(a, b, c, d, x[8], 6, 0x6fa87e4f);
    md5_ii(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    md5_ii(c, d, a, b, x[6], 15, 0xa3014314);
    md5_ii(b, c, d, a, x[13], 21, 0x4e0811a1);
    md5_ii(a, b, c, d, x[4], 6, 0xf7537e82);
    md5_ii(d, a, b, c, x[11], 10, 0xbd3af235);
    md5_ii(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    md5_ii(b, c, d, a, x[9], 21, 0xeb86d391);

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

void md5_init(Md5Context* ctx) {
    mem_wipe(*ctx);
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
}

void md5_update(Md5Context* ctx, const uint8_t* data, uint32_t len) {
    block64_update<Md5Context, md5_compress>(ctx, data, len);
}

void md5_final(uint8_t digest[16], Md5Context* ctx) {
    block64_finish<Md5Context, md5_compress>(ctx, false);
    for (int i = 0; i < 4; ++i) {
        store_le32(digest + 4 * i, ctx->state[i]);
    }
    mem_wipe(*ctx);
}
