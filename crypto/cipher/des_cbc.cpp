#include "crypto/cipher/des.h"
#include "crypto/cipher/des_core.h"
#include "crypto/common/mem.h"

namespace {

// Bytes 0..3 of an 8-byte block form word 0 with byte 0 most significant,
// bytes 4..7 form word 1.
void load_block(uint32_t block[2], const uint8_t* bytes) {
    for (int w = 0; w < 2; ++w) {
        const uint8_t* b = bytes + 4 * w;
        block[w] = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) |
                   uint32_t{b[3]};
    }
}

void store_block(uint8_t* bytes, const uint32_t block[2]) {
    for (int w = 0; w < 2; ++w) {
        uint8_t* b = bytes + 4 * w;
        b[0] = static_cast<uint8_t>(block[w] >> 24);
        b[1] = static_cast<uint8_t>(block[w] >> 16);
        b[2] = static_cast<uint8_t>(block[w] >> 8);
        b[3] = static_cast<uint8_t>(block[w]);
    }
}

}  // namespace

void des_cbc_init(DesCbcContext* ctx, const uint8_t key[8], const uint8_t iv[8], int32_t encrypt) {
    ctx->encrypt = encrypt;
    load_block(ctx->chain, iv);
    des_key_schedule(ctx->round_keys, key, encrypt);
}

Status des_cbc_update(DesCbcContext* ctx, uint8_t* output, const uint8_t* input, uint32_t len) {
    if (len % 8 != 0) {
        return STATUS_BAD_LENGTH;
    }

    uint32_t block[2];       // the block being worked on
    uint32_t ciphertext[2];  // decryption: the input block, the next chaining value

    for (uint32_t offset = 0; offset < len; offset += 8) {
        load_block(block, input + offset);
        if (ctx->encrypt != 0) {
            // C = E(P xor chain); chain = C
            block[0] ^= ctx->chain[0];
            block[1] ^= ctx->chain[1];
            des_block(block, ctx->round_keys);
            ctx->chain[0] = block[0];
            ctx->chain[1] = block[1];
        } else {
            // P = D(C) xor chain; chain = C
            ciphertext[0] = block[0];
            ciphertext[1] = block[1];
            des_block(block, ctx->round_keys);
            block[0] ^= ctx->chain[0];
            block[1] ^= ctx->chain[1];
            ctx->chain[0] = ciphertext[0];
            ctx->chain[1] = ciphertext[1];
        }
        store_block(output + offset, block);
    }

    mem_wipe(block);
    mem_wipe(ciphertext);
    return STATUS_OK;
}
