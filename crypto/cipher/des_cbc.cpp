#include "crypto/cipher/des.h"
#include "crypto/cipher/des_core.h"
#include "crypto/common/mem.h"

void des_cbc_init(DesCbcContext* ctx, const uint8_t key[8], const uint8_t iv[8], int32_t encrypt) {
    ctx->encrypt = encrypt;
    des_load_block(ctx->chain, iv);
    des_key_schedule(ctx->round_keys, key, encrypt);
}

Status des_cbc_update(DesCbcContext* ctx, uint8_t* output, const uint8_t* input, uint32_t len) {
    if (len % 8 != 0) {
        return STATUS_BAD_LENGTH;
    }

    uint32_t block[2];       // the block being worked on
    uint32_t ciphertext[2];  // decryption: the input block, the next chaining value

    for (uint32_t offset = 0; offset < len; offset += 8) {
        des_load_block(block, input + offset);
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
        des_store_block(output + offset, block);
    }

    mem_wipe(block);
    mem_wipe(ciphertext);
    return STATUS_OK;
}
