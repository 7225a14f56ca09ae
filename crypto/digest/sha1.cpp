#include "crypto/digest/sha1.h"

#include "crypto/common/mem.h"
#include "crypto/digest/block64.h"
#include "crypto/digest/sha_steps.h"

namespace {

// Message word t (16 to 79): (w[t-3] ^ w[t-8] ^ w[t-14] ^ w[t-16]) <<< 1. The
// schedule is kept in sixteen words; word t takes the place of word t - 16,
// which no later step needs.
inline uint32_t sha1_expand(uint32_t* w, int t) {
    uint32_t v = w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15];
    w[t & 15] = rotl32(v, 1);
    return w[t & 15];
}

// Compresses one 64-byte block, read as sixteen big-endian words, into the
// chaining value. The 80 steps are written out, each later message word is
// formed as its step needs it, and the schedule and the five working
// variables are wiped before returning.
void sha1_compress(uint32_t* state, const uint8_t* block) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) {
        w[i] = load_be32(block + 4 * i);
    }
    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];
    uint32_t e = state[4];

    // Steps 0 to 19.
    sha_step1(a, b, c, d, e, w[0]);
    sha_step1(e, a, b, c, d, w[1]);
    sha_step1(d, e, a, b, c, w[2]);
    sha_step1(c, d, e, a, b, w[3]);
    sha_step1(b, c, d, e, a, w[4]);
    sha_step1(a, b, c, d, e, w[5]);
    sha_step1(e, a, b, c, d, w[6]);
    sha_step1(d, e, a, b, c, w[7]);
    sha_step1(c, d, e, a, b, w[8]);
    sha_step1(b, c, d, e, a, w[9]);
    sha_step1(a, b, c, d, e, w[10]);
    sha_step1(e, a, b, c, d, w[11]);
    sha_step1(d, e, a, b, c, w[12]);
    sha_step1(c, d, e, a, b, w[13]);
    sha_step1(b, c, d, e, a, w[14]);
    sha_step1(a, b, c, d, e, w[15]);
    sha_step1(e, a, b, c, d, sha1_expand(w, 16));
    sha_step1(d, e, a, b, c, sha1_expand(w, 17));
    sha_step1(c, d, e, a, b, sha1_expand(w, 18));
    sha_step1(b, c, d, e, a, sha1_expand(w, 19));
    // Steps 20 to 39.
    sha_step2(a, b, c, d, e, sha1_expand(w, 20));
    sha_step2(e, a, b, c, d, sha1_expand(w, 21));
    sha_step2(d, e, a, b, c, sha1_expand(w, 22));
    sha_step2(c, d, e, a, b, sha1_expand(w, 23));
    sha_step2(b, c, d, e, a, sha1_expand(w, 24));
    sha_step2(a, b, c, d, e, sha1_expand(w, 25));
    sha_step2(e, a, b, c, d, sha1_expand(w, 26));
    sha_step2(d, e, a, b, c, sha1_expand(w, 27));
    sha_step2(c, d, e, a, b, sha1_expand(w, 28));
    sha_step2(b, c, d, e, a, sha1_expand(w, 29));
    sha_step2(a, b, c, d, e, sha1_expand(w, 30));
    sha_step2(e, a, b, c, d, sha1_expand(w, 31));
    sha_step2(d, e, a, b, c, sha1_expand(w, 32));
    sha_step2(c, d, e, a, b, sha1_expand(w, 33));
    sha_step2(b, c, d, e, a, sha1_expand(w, 34));
    sha_step2(a, b, c, d, e, sha1_expand(w, 35));
    sha_step2(e, a, b, c, d, sha1_expand(w, 36));
    sha_step2(d, e, a, b, c, sha1_expand(w, 37));
    sha_step2(c, d, e, a, b, sha1_expand(w, 38));
    sha_step2(b, c, d, e, a, sha1_expand(w, 39));
    // Steps 40 to 59.
    sha_step3(a, b, c, d, e, sha1_expand(w, 40));
    sha_step3(e, a, b, c, d, sha1_expand(w, 41));
    sha_step3(d, e, a, b, c, sha1_expand(w, 42));
    sha_step3(c, d, e, a, b, sha1_expand(w, 43));
    sha_step3(b, c, d, e, a, sha1_expand(w, 44));
    sha_step3(a, b, c, d, e, sha1_expand(w, 45));
    sha_step3(e, a, b, c, d, sha1_expand(w, 46));
    sha_step3(d, e, a, b, c, sha1_expand(w, 47));
    sha_step3(c, d, e, a, b, sha1_expand(w, 48));
    sha_step3(b, c, d, e, a, sha1_expand(w, 49));
    sha_step3(a, b, c, d, e, sha1_expand(w, 50));
    sha_step3(e, a, b, c, d, sha1_expand(w, 51));
    sha_step3(d, e, a, b, c, sha1_expand(w, 52));
    sha_step3(c, d, e, a, b, sha1_expand(w, 53));
    sha_step3(b, c, d, e, a, sha1_expand(w, 54));
    sha_step3(a, b, c, d, e, sha1_expand(w, 55));
    sha_step3(e, a, b, c, d, sha1_expand(w, 56));
    sha_step3(d, e, a, b, c, sha1_expand(w, 57));
    sha_step3(c, d, e, a, b, sha1_expand(w, 58));
    sha_step3(b, c, d, e, a, sha1_expand(w, 59));
    // Steps 60 to 79.
    sha_step4(a, b, c, d, e, sha1_expand(w, 60));
    sha_step4(e, a, b, c, d, sha1_expand(w, 61));
    sha_step4(d, e, a, b, c, sha1_expand(w, 62));
    sha_step4(c, d, e, a, b, sha1_expand(w, 63));
    sha_step4(b, c, d, e, a, sha1_expand(w, 64));
    sha_step4(a, b, c, d, e, sha1_expand(w, 65));
    sha_step4(e, a, b, c, d, sha1_expand(w, 66));
    sha_step4(d, e, a, b, c, sha1_expand(w, 67));
    sha_step4(c, d, e, a, b, sha1_expand(w, 68));
    sha_step4(b, c, d, e, a, sha1_expand(w, 69));
    sha_step4(a, b, c, d, e, sha1_expand(w, 70));
    sha_step4(e, a, b, c, d, sha1_expand(w, 71));
    sha_step4(d, e, a, b, c, sha1_expand(w, 72));
    sha_step4(c, d, e, a, b, sha1_expand(w, 73));
    sha_step4(b, c, d, e, a, sha1_expand(w, 74));
    sha_step4(a, b, c, d, e, sha1_expand(w, 75));
    sha_step4(e, a, b, c, d, sha1_expand(w, 76));
    sha_step4(d, e, a, b, c, sha1_expand(w, 77));
    sha_step4(c, d, e, a, b, sha1_expand(w, 78));
    sha_step4(b, c, d, e, a, sha1_expand(w, 79));

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;

    mem_wipe(w);
    mem_wipe(a);
    mem_wipe(b);
    mem_wipe(c);
    mem_wipe(d);
    mem_wipe(e);
}

}  // namespace

void sha1_init(Sha1Context* ctx) {
    mem_wipe(*ctx);
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
    ctx->state[4] = 0xc3d2e1f0;
}

void sha1_update(Sha1Context* ctx, const uint8_t* data, uint32_t len) {
    block64_update<Sha1Context, sha1_compress>(ctx, data, len);
}

void sha1_final(uint8_t digest[20], Sha1Context* ctx) {
    block64_finish<Sha1Context, sha1_compress>(ctx, true);
    for (int i = 0; i < 5; ++i) {
        store_be32(digest + 4 * i, ctx->state[i]);
    }
    mem_wipe(*ctx);
}
