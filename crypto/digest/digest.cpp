#include "crypto/digest/digest.h"

Status digest_init(DigestContext* ctx, AlgorithmCode algorithm) {
    ctx->algorithm = algorithm;
    switch (algorithm) {
        case ALG_MD2:
            md2_init(&ctx->state.md2);
            return STATUS_OK;
        case ALG_SHA0:
            sha0_init(&ctx->state.sha0);
            return STATUS_OK;
        case ALG_MD4:
            md4_init(&ctx->state.md4);
            return STATUS_OK;
        case ALG_MD5:
            md5_init(&ctx->state.md5);
            return STATUS_OK;
        case ALG_SHA1:
            sha1_init(&ctx->state.sha1);
            return STATUS_OK;
        case ALG_SHA256:
            sha256_init(&ctx->state.sha256);
            return STATUS_OK;
        default:
            return STATUS_BAD_DIGEST;
    }
}

Status digest_update(DigestContext* ctx, const uint8_t* data, uint32_t len) {
    switch (ctx->algorithm) {
        case ALG_MD2:
            md2_update(&ctx->state.md2, data, len);
            return STATUS_OK;
        case ALG_SHA0:
            sha0_update(&ctx->state.sha0, data, len);
            return STATUS_OK;
        case ALG_MD4:
            md4_update(&ctx->state.md4, data, len);
            return STATUS_OK;
        case ALG_MD5:
            md5_update(&ctx->state.md5, data, len);
            return STATUS_OK;
        case ALG_SHA1:
            sha1_update(&ctx->state.sha1, data, len);
            return STATUS_OK;
        case ALG_SHA256:
            sha256_update(&ctx->state.sha256, data, len);
            return STATUS_OK;
        default:
            return STATUS_BAD_DIGEST;
    }
}

Status digest_final(DigestContext* ctx, uint8_t* digest, uint32_t* digest_len) {
    *digest_len = ctx->algorithm == ALG_SHA256                                 ? 32
                  : (ctx->algorithm == ALG_SHA0 || ctx->algorithm == ALG_SHA1) ? 20
                                                                               : 16;
    switch (ctx->algorithm) {
        case ALG_MD2:
            md2_final(digest, &ctx->state.md2);
            return STATUS_OK;
        case ALG_SHA0:
            sha0_final(digest, &ctx->state.sha0);
            return STATUS_OK;
        case ALG_MD4:
            md4_final(digest, &ctx->state.md4);
            return STATUS_OK;
        case ALG_MD5:
            md5_final(digest, &ctx->state.md5);
            return STATUS_OK;
        case ALG_SHA1:
            sha1_final(digest, &ctx->state.sha1);
            return STATUS_OK;
        case ALG_SHA256:
            sha256_final(digest, &ctx->state.sha256);
            return STATUS_OK;
        default:
            return STATUS_BAD_DIGEST;
    }
}
