#include "crypto/keyfile/keyfile.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/der/oid.h"
#include "crypto/keyfile/pbe.h"
#include "crypto/request/key_encoding.h"

namespace {

// Writes, backwards, everything of the file around the ciphertext (the
// layout drawn in keyfile.h). The lengths 0D and 1A are counted, not
// assumed: they come out as 13 and 26 for every scheme and count the writer
// accepts.
uint32_t write_envelope(DerWriter* w, AlgorithmCode algorithm, uint8_t iterations,
                        uint8_t salt[PBE_SALT_LEN], const ByteSpan& ciphertext) {
    uint8_t oid[OID_MAX_LEN];
    uint32_t oid_len = 0;
    if (oid_for_algorithm(algorithm, oid, &oid_len) != 0) {
        return 0;
    }
    const uint32_t data = der_write_element(w, DER_OCTET_STRING, ciphertext);
    if (data == 0) {
        return 0;
    }
    ByteSpan count{&iterations, 1};
    const uint32_t count_size = der_write_integer(w, &count, 1);
    if (count_size == 0) {
        return 0;
    }
    const uint32_t salt_size = der_write_element(w, DER_OCTET_STRING, ByteSpan{salt, PBE_SALT_LEN});
    if (salt_size == 0) {
        return 0;
    }
    const uint32_t parameters_body = salt_size + count_size;
    const uint32_t parameters_header = der_write_header(w, DER_SEQUENCE, parameters_body);
    if (parameters_header == 0) {
        return 0;
    }
    const uint32_t scheme = der_write_element(w, DER_OID, ByteSpan{oid, oid_len});
    if (scheme == 0) {
        return 0;
    }
    const uint32_t algorithm_body = scheme + parameters_header + parameters_body;
    const uint32_t algorithm_header = der_write_header(w, DER_SEQUENCE, algorithm_body);
    if (algorithm_header == 0) {
        return 0;
    }
    const uint32_t body = algorithm_header + algorithm_body + data;
    const uint32_t header = der_write_header(w, DER_SEQUENCE, body);
    return header == 0 ? 0 : header + body;
}

}  // namespace

uint32_t keyfile_write_encrypted_key_info(DerWriter* w, uint8_t* buffer, uint32_t capacity,
                                          AlgorithmCode algorithm, uint32_t iterations,
                                          const uint8_t* password, uint32_t password_len,
                                          const RsaPrivateKey* key, KeyProtectionBuffers* work) {
    if (iterations < KEYFILE_MIN_ITERATIONS || iterations > KEYFILE_MAX_ITERATIONS ||
        (algorithm != ALG_PBE_MD5_DES_CBC && algorithm != ALG_PBE_MD2_DES_CBC)) {
        return 0;
    }

    der_init(w, work->key_info, KEYFILE_BUFFER_SIZE);
    const uint32_t n = rsa_write_private_key_info(w, ALG_RSA, key);
    ByteSpan key_info{nullptr, KEYFILE_BUFFER_SIZE};
    if (n == 0 || der_take(w, &key_info) != n) {
        return 0;
    }
    // The copy leaves room behind it for the padding pbe_encrypt adds.
    if (n > KEYFILE_BUFFER_SIZE - PBE_BLOCK_LEN) {
        return 0;
    }
    mem_copy(work->plain, key_info.data, n);

    uint8_t salt[PBE_SALT_LEN];
    ByteSpan ciphertext{work->cipher, KEYFILE_BUFFER_SIZE};
    if (pbe_encrypt(ByteSpan{work->plain, n}, &ciphertext, algorithm, iterations, salt, password,
                    password_len) == 0) {
        return 0;
    }

    der_init(w, buffer, capacity);
    return write_envelope(w, algorithm, static_cast<uint8_t>(iterations), salt, ciphertext);
}

Status keyfile_protect_private_key(uint8_t* out, uint32_t* out_len, AlgorithmCode algorithm,
                                   uint32_t iterations, const uint8_t* password,
                                   uint32_t password_len, const RsaPrivateKey* key) {
    if (out == nullptr || out_len == nullptr || key == nullptr) {
        return KEYFILE_FAILED;
    }
    KeyProtectionBuffers* work = new (std::nothrow) KeyProtectionBuffers;
    if (work == nullptr) {
        return KEYFILE_FAILED;
    }
    Status status = KEYFILE_FAILED;
    DerWriter w;
    if (keyfile_write_encrypted_key_info(&w, work->encoded, KEYFILE_BUFFER_SIZE, algorithm,
                                         iterations, password, password_len, key, work) != 0) {
        ByteSpan file{nullptr, KEYFILE_BUFFER_SIZE};
        const uint32_t size = der_take(&w, &file);
        if (size != 0) {
            mem_copy(out, file.data, size);
            *out_len = size;
            status = KEYFILE_OK;
        }
    }
    mem_wipe(*work);
    delete work;
    return status;
}
