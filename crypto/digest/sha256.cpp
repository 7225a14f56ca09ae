#include "crypto/digest/sha256.h"

#include "crypto/common/mem.h"
#include "crypto/digest/block64.h"

namespace {

// The 64 round constants: the first 32 bits of the fractional parts of the
// cube roots of the first 64 primes.
constexpr uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

inline uint32_t rotr32(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

inline uint32_t big_sigma0(uint32_t x) {
    return rotr32(x, 2) ^ rotr32(x, 13) ^ rotr32(x, 22);
}
inline uint32_t big_sigma1(uint32_t x) {
    return rotr32(x, 6) ^ rotr32(x, 11) ^ rotr32(x, 25);
}
inline uint32_t small_sigma0(uint32_t x) {
    return rotr32(x, 7) ^ rotr32(x, 18) ^ (x >> 3);
}
inline uint32_t small_sigma1(uint32_t x) {
    return rotr32(x, 17) ^ rotr32(x, 19) ^ (x >> 10);
}

// One round: with T1 = h + S1(e) + Ch(e, f, g) + k + w and
// T2 = S0(a) + Maj(a, b, c), d += T1 and h = T1 + T2. As with SHA-1 the caller
// renames the eight variables from round to round instead of moving them.
inline void sha256_round(uint32_t a, uint32_t b, uint32_t c, uint32_t& d, uint32_t e, uint32_t f,
                         uint32_t g, uint32_t& h, uint32_t k, uint32_t w) {
    const uint32_t t1 = h + big_sigma1(e) + ((e & f) ^ (~e & g)) + k + w;
    const uint32_t t2 = big_sigma0(a) + ((a & b) ^ (a & c) ^ (b & c));
    d += t1;
    h = t1 + t2;
}

// Message word t (16 to 63) in the sixteen-word circular schedule: it takes
// the place of word t - 16, which no later round needs.
inline uint32_t expand(uint32_t* w, int t) {
    w[t & 15] += small_sigma1(w[(t - 2) & 15]) + w[(t - 7) & 15] + small_sigma0(w[(t - 15) & 15]);
    return w[t & 15];
}

// Compresses one 64-byte block, read as sixteen big-endian words, into the
// chaining value. Round t works on a..h = v[-t mod 8], v[1 - t mod 8], ...:
// the variable that the round's h became is the next round's a. The
// schedule and the working variables are wiped before returning.
void sha256_compress(uint32_t* state, const uint8_t* block) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) {
        w[i] = load_be32(block + 4 * i);
    }
    uint32_t v[8];
    for (int i = 0; i < 8; ++i) {
        v[i] = state[i];
    }
    for (int t = 0; t < 64; ++t) {
        const uint32_t word = t < 16 ? w[t] : expand(w, t);
        sha256_round(v[(8 - t) & 7], v[(9 - t) & 7], v[(10 - t) & 7], v[(11 - t) & 7],
                     v[(12 - t) & 7], v[(13 - t) & 7], v[(14 - t) & 7], v[(15 - t) & 7], K[t],
                     word);
    }
    for (int i = 0; i < 8; ++i) {
        state[i] += v[i];
    }
    mem_wipe(w);
    mem_wipe(v);
}

}  // namespace

void sha256_init(Sha256Context* ctx) {
    mem_wipe(*ctx);
    ctx->state[0] = 0x6a09e667;
    ctx->state[1] = 0xbb67ae85;
    ctx->state[2] = 0x3c6ef372;
    ctx->state[3] = 0xa54ff53a;
    ctx->state[4] = 0x510e527f;
    ctx->state[5] = 0x9b05688c;
    ctx->state[6] = 0x1f83d9ab;
    ctx->state[7] = 0x5be0cd19;
}

void sha256_update(Sha256Context* ctx, const uint8_t* data, uint32_t len) {
    block64_update<Sha256Context, sha256_compress>(ctx, data, len);
}

void sha256_final(uint8_t digest[32], Sha256Context* ctx) {
    block64_finish<Sha256Context, sha256_compress>(ctx, true);
    for (int i = 0; i < 8; ++i) {
        store_be32(digest + 4 * i, ctx->state[i]);
    }
    mem_wipe(*ctx);
}
