#include "crypto/keyfile/keyfile_open.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/der/der_reader.h"
#include "crypto/der/oid.h"
#include "crypto/keyfile/keyfile.h"
#include "crypto/keyfile/pbe.h"
#include "crypto/request/key_decoding.h"

namespace {

// Reads the envelope: the scheme and its parameters into *info, the
// ciphertext into *data.
Status read_envelope(const uint8_t* file, uint32_t len, KeyFileInfo* info, DerElement* data) {
    DerReader top, outer, algorithm, parameters;
    DerElement e, oid, salt, count;
    der_reader_init(&top, file, len);
    bool ok = der_read_expect(&top, DER_TAG_SEQUENCE, &e) == STATUS_OK &&
              der_expect_end(&top) == STATUS_OK && der_enter(&e, &outer) == STATUS_OK &&
              der_read_expect(&outer, DER_TAG_SEQUENCE, &e) == STATUS_OK &&
              der_enter(&e, &algorithm) == STATUS_OK &&
              der_read_expect(&algorithm, DER_TAG_OID, &oid) == STATUS_OK &&
              der_get_oid(&oid, &info->scheme_oid, &info->scheme_oid_len) == STATUS_OK &&
              der_read_expect(&outer, DER_TAG_OCTET_STRING, data) == STATUS_OK &&
              der_expect_end(&outer) == STATUS_OK;
    if (!ok) {
        return KEYFILE_NOT_ENCRYPTED_KEY;
    }
    info->scheme = algorithm_for_oid(info->scheme_oid, info->scheme_oid_len);
    if (info->scheme != ALG_PBE_MD5_DES_CBC && info->scheme != ALG_PBE_MD2_DES_CBC) {
        return KEYFILE_UNSUPPORTED;
    }
    ok = der_read_expect(&algorithm, DER_TAG_SEQUENCE, &e) == STATUS_OK &&
         der_expect_end(&algorithm) == STATUS_OK && der_enter(&e, &parameters) == STATUS_OK &&
         der_read_expect(&parameters, DER_TAG_OCTET_STRING, &salt) == STATUS_OK &&
         der_read_expect(&parameters, DER_TAG_INTEGER, &count) == STATUS_OK &&
         der_get_uint32(&count, &info->iterations) == STATUS_OK &&
         der_expect_end(&parameters) == STATUS_OK;
    if (!ok) {
        return KEYFILE_NOT_ENCRYPTED_KEY;
    }
    if (salt.length != PBE_SALT_LEN || info->iterations == 0 ||
        info->iterations > KEYFILE_MAX_OPEN_ITERATIONS || data->length == 0 ||
        data->length % PBE_BLOCK_LEN != 0) {
        return KEYFILE_UNSUPPORTED;
    }
    mem_copy(info->salt, salt.value, PBE_SALT_LEN);
    return KEYFILE_OK;
}

Status open_key(const uint8_t* file, uint32_t len, const uint8_t* password, uint32_t password_len,
                RsaPrivateKey* key, KeyFileInfo* info) {
    DerElement data;
    Status status = read_envelope(file, len, info, &data);
    if (status != KEYFILE_OK) {
        return status;
    }
    uint8_t* plain = new (std::nothrow) uint8_t[data.length];
    if (plain == nullptr) {
        return KEYFILE_NO_MEMORY;
    }
    uint32_t plain_len = 0;
    const Status decrypted =
        pbe_decrypt(ByteSpan{const_cast<uint8_t*>(data.value), data.length}, plain, &plain_len,
                    info->scheme, info->iterations, info->salt, password, password_len);
    if (decrypted == PBE_OK) {
        const Status read = rsa_read_private_key_info(plain, plain_len, key);
        if (read == STATUS_OK) {
            status = KEYFILE_OK;
        } else if (read == STATUS_NOT_RSA || read == STATUS_BAD_MODULUS_SIZE) {
            // A well-formed key of another kind or size: the password was
            // right, the key is not one this system can use.
            status = KEYFILE_UNSUPPORTED;
        } else {
            status = KEYFILE_WRONG_PASSWORD;
        }
    } else {
        status = decrypted == PBE_BAD_PADDING ? KEYFILE_WRONG_PASSWORD : KEYFILE_UNSUPPORTED;
    }
    mem_fill(plain, 0, data.length);
    delete[] plain;
    return status;
}

}  // namespace

Status keyfile_open_private_key(const uint8_t* file, uint32_t len, const uint8_t* password,
                                uint32_t password_len, RsaPrivateKey* key, KeyFileInfo* info) {
    *info = KeyFileInfo{};
    const Status status = open_key(file, len, password, password_len, key, info);
    if (status != KEYFILE_OK) {
        mem_wipe(*key);
    }
    return status;
}

Status keyfile_read_info(const uint8_t* file, uint32_t len, KeyFileInfo* info) {
    *info = KeyFileInfo{};
    DerElement data;
    return read_envelope(file, len, info, &data);
}
