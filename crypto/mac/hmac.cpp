#include "crypto/mac/hmac.h"

#include "crypto/common/mem.h"

Status hmac_init(HmacContext* ctx, AlgorithmCode digest, const uint8_t* key, uint32_t key_len) {
    if (digest != ALG_SHA1 && digest != ALG_SHA256) {
        mem_wipe(*ctx);
        return STATUS_BAD_DIGEST;
    }
    uint8_t padded[HMAC_BLOCK_LEN] = {};
    if (key_len > HMAC_BLOCK_LEN) {
        // A long key is replaced by its digest.
        uint32_t len = 0;
        digest_init(&ctx->inner, digest);
        digest_update(&ctx->inner, key, key_len);
        digest_final(&ctx->inner, padded, &len);
    } else if (key_len != 0) {
        mem_copy(padded, key, key_len);
    }
    for (uint32_t i = 0; i < HMAC_BLOCK_LEN; ++i) {
        padded[i] ^= 0x36;
    }
    digest_init(&ctx->inner, digest);
    digest_update(&ctx->inner, padded, HMAC_BLOCK_LEN);
    // 0x36 ^ 0x5C turns the inner pad into the outer one.
    for (uint32_t i = 0; i < HMAC_BLOCK_LEN; ++i) {
        padded[i] ^= 0x36 ^ 0x5C;
    }
    digest_init(&ctx->outer, digest);
    digest_update(&ctx->outer, padded, HMAC_BLOCK_LEN);
    mem_wipe(padded);
    return STATUS_OK;
}

void hmac_update(HmacContext* ctx, const uint8_t* data, uint32_t len) {
    digest_update(&ctx->inner, data, len);
}

void hmac_final(HmacContext* ctx, uint8_t mac[DIGEST_MAX_LEN], uint32_t* mac_len) {
    uint8_t inner[DIGEST_MAX_LEN];
    uint32_t inner_len = 0;
    digest_final(&ctx->inner, inner, &inner_len);
    digest_update(&ctx->outer, inner, inner_len);
    digest_final(&ctx->outer, mac, mac_len);
    mem_wipe(inner);
    mem_wipe(*ctx);
}

Status hmac_oneshot(AlgorithmCode digest, const uint8_t* key, uint32_t key_len, const uint8_t* data,
                    uint32_t len, uint8_t mac[DIGEST_MAX_LEN], uint32_t* mac_len) {
    HmacContext ctx;
    const Status status = hmac_init(&ctx, digest, key, key_len);
    if (status != STATUS_OK) {
        return status;
    }
    hmac_update(&ctx, data, len);
    hmac_final(&ctx, mac, mac_len);
    return STATUS_OK;
}
