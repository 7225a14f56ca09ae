// The private key file: the RSA private key as a PKCS#8 EncryptedPrivateKeyInfo
// in DER, encrypted under the access password with pbeWithMD5AndDES-CBC (or
// pbeWithMD2AndDES-CBC). Any standard PKCS#8 reader opens it given the same
// password.
//
//   30 82 [len]                    EncryptedPrivateKeyInfo ::= SEQUENCE {
//     30 1A                          encryptionAlgorithm ::= SEQUENCE {
//       06 09 2A 86 48 86 F7 0D 01 05 03    pbeWithMD5AndDES-CBC (..05 01: MD2),
//       30 0D                            PBEParameter ::= SEQUENCE {
//         04 08 [8 salt bytes]             salt            OCTET STRING,
//         02 01 [count]                    iterationCount  INTEGER 1..127 }},
//     04 82 [len] [ciphertext]       encryptedData  OCTET STRING: the
//                                    PrivateKeyInfo (crypto/request/key_encoding.h)
//                                    plus 1 to 8 padding bytes, encrypted }
//
// The salt is the first 8 bytes of H(password || PrivateKeyInfo): the same key
// protected twice under the same password gives the same file.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/der/der.h"
#include "crypto/rsa/rsa_key.h"

// Size of each work buffer, and so the largest key file.
constexpr uint32_t KEYFILE_BUFFER_SIZE = 4000;

// Iteration counts the file can store: the INTEGER has one content byte and no
// sign byte.
constexpr uint32_t KEYFILE_MIN_ITERATIONS = 1;
constexpr uint32_t KEYFILE_MAX_ITERATIONS = 127;

// Statuses of keyfile_protect_private_key.
constexpr Status KEYFILE_OK = 0;
constexpr Status KEYFILE_FAILED = 1;

// The four work buffers of one protection.
struct KeyProtectionBuffers {
    uint8_t encoded[KEYFILE_BUFFER_SIZE];   // the finished EncryptedPrivateKeyInfo, at the end
    uint8_t key_info[KEYFILE_BUFFER_SIZE];  // the PrivateKeyInfo, at the end
    uint8_t cipher[KEYFILE_BUFFER_SIZE];    // the encrypted data
    uint8_t plain[KEYFILE_BUFFER_SIZE];     // the PrivateKeyInfo from the start, then its padding
};

// Protects `key` under `password` (password_len bytes as they are, may be
// empty) and copies the DER key file to `out`, which must hold
// KEYFILE_BUFFER_SIZE bytes (not checked); *out_len receives its size.
// `algorithm` is ALG_PBE_MD5_DES_CBC (105) or ALG_PBE_MD2_DES_CBC (104);
// `iterations` is 1 to 127.
// Returns KEYFILE_OK, or KEYFILE_FAILED when the algorithm or the iteration
// count is outside those ranges, the work buffers cannot be allocated, or the
// key does not encode; `out` and *out_len are then not touched. The work
// buffers are wiped whole before they are released, on every path.
Status keyfile_protect_private_key(uint8_t* out, uint32_t* out_len, AlgorithmCode algorithm,
                                   uint32_t iterations, const uint8_t* password,
                                   uint32_t password_len, const RsaPrivateKey* key);

// Writes the EncryptedPrivateKeyInfo at the end of `buffer` (`capacity`
// bytes) with `w`, using `work` for the PrivateKeyInfo, its padded copy and
// the ciphertext (`w` is first pointed at work->key_info, then at `buffer`).
// The caller wipes `work`: it holds the private key encoding.
// Returns the size written, the writer's contents; 0 when the algorithm or
// the iteration count is refused (as above), the PrivateKeyInfo does not fit
// a work buffer, or `capacity` is too small.
uint32_t keyfile_write_encrypted_key_info(DerWriter* w, uint8_t* buffer, uint32_t capacity,
                                          AlgorithmCode algorithm, uint32_t iterations,
                                          const uint8_t* password, uint32_t password_len,
                                          const RsaPrivateKey* key, KeyProtectionBuffers* work);
