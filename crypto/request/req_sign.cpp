#include "crypto/request/req_sign.h"

#include "crypto/common/mem.h"
#include "crypto/der/oid.h"
#include "crypto/digest/digest.h"
#include "crypto/rsa/rsa_sign.h"

namespace {

// The digest a signature algorithm runs on; 0 when the code is not one of
// the RSA signature algorithms.
AlgorithmCode digest_for_signature(AlgorithmCode signature_code) {
    switch (signature_code) {
        case ALG_MD2_WITH_RSA:
            return ALG_MD2;
        case ALG_MD4_WITH_RSA:
            return ALG_MD4;
        case ALG_MD5_WITH_RSA:
            return ALG_MD5;
        case ALG_SHA1_WITH_RSA:
            return ALG_SHA1;
        default:
            return 0;
    }
}

uint32_t sign_with_scratch(DerWriter* w, AlgorithmCode signature_code, const uint8_t* data,
                           uint32_t data_len, const RsaPrivateKey* key, uint8_t* signature,
                           uint32_t* signature_len, uint8_t digest[DIGEST_MAX_LEN]) {
    const AlgorithmCode digest_code = digest_for_signature(signature_code);
    if (digest_code == 0) {
        return 0;
    }
    uint32_t digest_len = 0;
    if (digest_oneshot(digest, &digest_len, data, data_len, digest_code) != STATUS_OK) {
        return 0;
    }
    if (req_write_digest_info(w, digest_code, digest, digest_len) == 0) {
        return 0;
    }
    ByteSpan digest_info{nullptr, REQ_DIGEST_INFO_MAX_SIZE};
    if (der_take(w, &digest_info) == 0) {
        return 0;
    }
    if (rsa_sign_block(signature, signature_len, digest_info.data, digest_info.length, key) !=
        STATUS_OK) {
        return 0;
    }
    return *signature_len;
}

}  // namespace

uint32_t req_write_digest_info(DerWriter* w, AlgorithmCode digest_code, uint8_t* digest,
                               uint32_t digest_len) {
    const uint32_t octets = der_write_element(w, DER_OCTET_STRING, ByteSpan{digest, digest_len});
    if (octets == 0) {
        return 0;
    }
    const uint32_t algorithm = der_write_algorithm_id(w, digest_code);
    if (algorithm == 0) {
        return 0;
    }
    const uint32_t header = der_write_header(w, DER_SEQUENCE, algorithm + octets);
    return header == 0 ? 0 : header + algorithm + octets;
}

Status digest_oneshot(uint8_t* out, uint32_t* out_len, const uint8_t* data, uint32_t data_len,
                      AlgorithmCode code) {
    DigestContext context;
    Status status = digest_init(&context, code);
    if (status == STATUS_OK) {
        status = digest_update(&context, data, data_len);
    }
    if (status == STATUS_OK) {
        status = digest_final(&context, out, out_len);
    }
    mem_wipe(context);
    return status;
}

uint32_t req_sign(DerWriter* w, AlgorithmCode signature_code, const uint8_t* data,
                  uint32_t data_len, const RsaPrivateKey* key, uint8_t* signature,
                  uint32_t* signature_len) {
    der_init(w, w->scratch, REQ_DIGEST_INFO_MAX_SIZE);
    uint8_t digest[DIGEST_MAX_LEN];
    const uint32_t result =
        sign_with_scratch(w, signature_code, data, data_len, key, signature, signature_len, digest);
    mem_wipe(digest);
    mem_fill(w->scratch, 0, REQ_DIGEST_INFO_MAX_SIZE);
    return result;
}
