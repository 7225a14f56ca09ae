// Opening a protected private key file: the reverse of
// keyfile_protect_private_key, for files written by this system or by any
// other tool that uses the same PKCS#5 v1.5 schemes (OpenSSL's
// `pkcs8 -topk8 -v1 PBE-MD5-DES` writes 2048 iterations).
//
//   EncryptedPrivateKeyInfo ::= SEQUENCE {
//     encryptionAlgorithm SEQUENCE { OID (pbeWithMD5AndDES-CBC or
//                                         pbeWithMD2AndDES-CBC),
//                                    PBEParameter SEQUENCE { salt OCTET STRING (8),
//                                                            iterationCount INTEGER } },
//     encryptedData OCTET STRING }
//
// A wrong password is told apart from a right one in two steps: the padding
// must be right, and the decrypted bytes must then be a PrivateKeyInfo of an
// RSA key, DER from first byte to last. The padding alone lets about one
// wrong password in 256 through; the chance that a wrong password also
// decrypts to such a structure is negligible.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/rsa/rsa_key.h"

// Statuses of keyfile_open_private_key (KEYFILE_OK is 0, keyfile.h).
// The bytes are not an EncryptedPrivateKeyInfo.
constexpr Status KEYFILE_NOT_ENCRYPTED_KEY = 2;
// An EncryptedPrivateKeyInfo this reader cannot open: another scheme, a salt
// that is not 8 bytes, an iteration count of 0 or above
// KEYFILE_MAX_OPEN_ITERATIONS, a ciphertext that is not whole DES blocks, or
// a correctly decrypted key that is not an RSA key of at most 2048 bits.
constexpr Status KEYFILE_UNSUPPORTED = 3;
// The password does not open the file.
constexpr Status KEYFILE_WRONG_PASSWORD = 4;
// The work buffer could not be obtained.
constexpr Status KEYFILE_NO_MEMORY = 5;

// Largest iteration count accepted when reading (the writer stores 1 to 127;
// other tools write 2048 and more).
constexpr uint32_t KEYFILE_MAX_OPEN_ITERATIONS = 1u << 24;

// What the envelope says, filled as far as it was read.
//   scheme, scheme_oid   the encryption algorithm's code (0 when unknown) and
//                        its identifier's contents octets (a view into the file)
//   iterations, salt     the PBE parameters
struct KeyFileInfo {
    AlgorithmCode scheme;
    const uint8_t* scheme_oid;
    uint32_t scheme_oid_len;
    uint32_t iterations;
    uint8_t salt[8];
};

// Reads only the envelope of the `len`-byte DER key file into *info, without
// the password: KEYFILE_OK when keyfile_open_private_key could try a
// password on it, KEYFILE_NOT_ENCRYPTED_KEY or KEYFILE_UNSUPPORTED otherwise.
Status keyfile_read_info(const uint8_t* file, uint32_t len, KeyFileInfo* info);

// Reads the `len`-byte DER key file, decrypts it under `password`
// (password_len bytes as they are) and reads the RSA key into *key.
// Returns KEYFILE_OK, KEYFILE_NOT_ENCRYPTED_KEY, KEYFILE_UNSUPPORTED,
// KEYFILE_WRONG_PASSWORD or KEYFILE_NO_MEMORY; *key is wiped on every
// failure. The key's own numbers are not checked here (rsa_check_private_key
// does that). The decrypted bytes are wiped before returning.
Status keyfile_open_private_key(const uint8_t* file, uint32_t len, const uint8_t* password,
                                uint32_t password_len, RsaPrivateKey* key, KeyFileInfo* info);
