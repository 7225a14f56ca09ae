#include "crypto/digest/md2.h"

#include "crypto/common/mem.h"

namespace {

// The substitution table: a permutation of 0..255 built from the digits of pi.
// clang-format off
constexpr uint8_t MD2_S[256] = {
     41,  46,  67, 201, 162, 216, 124,   1,  61,  54,  84, 161, 236, 240,   6,  19,
     98, 167,   5, 243, 192, 199, 115, 140, 152, 147,  43, 217, 188,  76, 130, 202,
     30, 155,  87,  60, 253, 212, 224,  22, 103,  66, 111,  24, 138,  23, 229,  18,
    190,  78, 196, 214, 218, 158, 222,  73, 160, 251, 245, 142, 187,  47, 238, 122,
    169, 104, 121, 145,  21, 178,   7,  63, 148, 194,  16, 137,  11,  34,  95,  33,
    128, 127,  93, 154,  90, 144,  50,  39,  53,  62, 204, 231, 191, 247, 151,   3,
    255,  25,  48, 179,  72, 165, 181, 209, 215,  94, 146,  42, 172,  86, 170, 198,
     79, 184,  56, 210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116,   4, 241,
     69, 157, 112,  89, 100, 113, 135,  32, 134,  91, 207, 101, 230,  45, 168,   2,
     27,  96,  37, 173, 174, 176, 185, 246,  28,  70,  97, 105,  52,  64, 126,  15,
     85,  71, 163,  35, 221,  81, 175,  58, 195,  92, 249, 206, 186, 197, 234,  38,
     44,  83,  13, 110, 133,  40, 132,   9, 211, 223, 205, 244,  65, 129,  77,  82,
    106, 220,  55, 200, 108, 193, 171, 250,  36, 225, 123,   8,  12, 189, 177,  74,
    120, 136, 149, 139, 227,  99, 232, 109, 233, 203, 213, 254,  59,   0,  29,  57,
    242, 239, 183,  14, 102,  88, 208, 228, 166, 119, 114, 248, 235, 117,  75,  10,
     49,  68,  80, 180, 143, 237,  31,  26, 219, 153, 141,  51, 159,  17, 131,  20,
};
// clang-format on

// Compresses one 16-byte block into the state and adds it to the checksum.
//
// The state step works on X = state | block | state ^ block (48 bytes):
// 18 passes over X, each byte in turn becoming X[k] ^ S[t] and then t, with t
// starting at 0 and increased by the pass number after each pass; the new
// state is X[0..15].
// The checksum step runs L from the last checksum byte through the block:
// C[j] = C[j] ^ S[M[j] ^ L], L = C[j].
// The local copy of the block is wiped before returning.
void md2_compress(uint8_t* state, uint8_t* checksum, const uint8_t* block) {
    uint8_t x[48];
    for (int j = 0; j < 16; ++j) {
        x[j] = state[j];
        x[16 + j] = block[j];
        x[32 + j] = static_cast<uint8_t>(state[j] ^ block[j]);
    }
    uint8_t t = 0;
    for (int pass = 0; pass < 18; ++pass) {
        for (int k = 0; k < 48; ++k) {
            x[k] ^= MD2_S[t];
            t = x[k];
        }
        t = static_cast<uint8_t>(t + pass);
    }
    mem_copy(state, x, 16);

    uint8_t l = checksum[15];
    for (int j = 0; j < 16; ++j) {
        checksum[j] ^= MD2_S[block[j] ^ l];
        l = checksum[j];
    }

    mem_wipe(x);
    mem_wipe(t);
    mem_wipe(l);
}

}  // namespace

void md2_init(Md2Context* ctx) {
    mem_wipe(*ctx);
}

void md2_update(Md2Context* ctx, const uint8_t* data, uint32_t len) {
    uint32_t index = ctx->count;
    ctx->count = (index + len) & 15;

    uint32_t done = 0;
    if (len >= 16 - index) {
        done = 16 - index;
        mem_copy(ctx->buffer + index, data, done);
        md2_compress(ctx->state, ctx->checksum, ctx->buffer);
        for (; len - done >= 16; done += 16) {
            md2_compress(ctx->state, ctx->checksum, data + done);
        }
        index = 0;
    }
    mem_copy(ctx->buffer + index, data + done, len - done);
}

// The message is padded with n bytes of value n, n = 16 - (length mod 16),
// so a length that is a multiple of 16 gets a whole block of 16s; then the
// checksum, as it stands after the padding, is fed as one last block.
//
//   message | n n .. n | checksum (16 bytes)
//           '-- 1..16 -'
void md2_final(uint8_t digest[16], Md2Context* ctx) {
    uint8_t pad[16];
    uint32_t n = 16 - ctx->count;
    mem_fill(pad, static_cast<uint8_t>(n), n);
    md2_update(ctx, pad, n);

    uint8_t checksum[16];
    mem_copy(checksum, ctx->checksum, 16);
    md2_update(ctx, checksum, 16);

    mem_copy(digest, ctx->state, 16);
    mem_wipe(checksum);
    mem_wipe(*ctx);
}
