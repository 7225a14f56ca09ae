#include "crypto/cipher/des_ede3.h"

#include "crypto/cipher/des_core.h"
#include "crypto/common/mem.h"

void des3_cbc_init(Des3CbcContext* ctx, const uint8_t key[24], const uint8_t iv[8],
                   int32_t encrypt) {
    ctx->encrypt = encrypt;
    des_load_block(ctx->chain, iv);
    if (encrypt != 0) {
        des_key_schedule(ctx->round_keys[0], key, 1);
        des_key_schedule(ctx->round_keys[1], key + 8, 0);
        des_key_schedule(ctx->round_keys[2], key + 16, 1);
    } else {
        des_key_schedule(ctx->round_keys[0], key + 16, 0);
        des_key_schedule(ctx->round_keys[1], key + 8, 1);
        des_key_schedule(ctx->round_keys[2], key, 0);
    }
}

Status des3_cbc_update(Des3CbcContext* ctx, uint8_t* output, const uint8_t* input, uint32_t len) {
    if (len % 8 != 0) {
        return STATUS_BAD_LENGTH;
    }
    uint32_t block[2];
    uint32_t ciphertext[2];
    for (uint32_t offset = 0; offset < len; offset += 8) {
        des_load_block(block, input + offset);
        ciphertext[0] = block[0];
        ciphertext[1] = block[1];
        if (ctx->encrypt != 0) {
            block[0] ^= ctx->chain[0];
            block[1] ^= ctx->chain[1];
        }
        for (const uint32_t* keys : ctx->round_keys) {
            des_block(block, keys);
        }
        if (ctx->encrypt != 0) {
            ctx->chain[0] = block[0];
            ctx->chain[1] = block[1];
        } else {
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
