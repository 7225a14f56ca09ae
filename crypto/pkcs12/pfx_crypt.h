// The two password-based encryption schemes of the PKCS#12 file, for the
// shrouded key bag and the encrypted certificate bags:
//
//   compatible  pbeWithSHAAnd3-KeyTripleDES-CBC (RFC 7292 appendix C): key
//               (24 bytes) and IV (8) from the PKCS#12 derivation with
//               SHA-1, ids 1 and 2; the password as a BMPString
//
//     30 [len] 06 0A 2A 86 48 86 F7 0D 01 0C 01 03    the scheme
//       30 [len] 04 08 [salt] 02 [len] [iterations]   pkcs-12PbeParams
//
//   modern      PBES2 (RFC 8018 section 6.2): PBKDF2 with HMAC-SHA-256 on
//               the password's UTF-8 bytes gives a 32-byte AES-256-CBC key;
//               the IV is random and stored
//
//     30 [len] 06 09 2A 86 48 86 F7 0D 01 05 0D       PBES2
//       30 [len]
//         30 [len] 06 09 2A 86 48 86 F7 0D 01 05 0C   keyDerivationFunc PBKDF2
//           30 [len] 04 10 [salt]                       salt
//                    02 [len] [iterations]              iterationCount
//                    30 0C 06 08 2A 86 48 86 F7 0D 02 09 05 00   prf hmacWithSHA256
//         30 1D 06 09 60 86 48 01 65 03 04 01 2A      encryptionScheme aes256-CBC
//                  04 10 [iv]                           its IV
//
// Both pad the plaintext with 1 to one block of bytes holding the pad
// length (PKCS#5). The reader also takes PBES2 with HMAC-SHA-1 (PBKDF2's
// default) and with triple-DES CBC, which other writers use.
// Passwords are ISO-8859-1 text here, as the program holds them.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/der/der.h"

// Scheme kinds.
constexpr uint32_t PFX_SCHEME_SHA_3DES = 1;
constexpr uint32_t PFX_SCHEME_PBES2 = 2;

// Cipher of a PBES2 scheme.
constexpr uint32_t PFX_CIPHER_AES256_CBC = 1;
constexpr uint32_t PFX_CIPHER_DES_EDE3_CBC = 2;

constexpr uint32_t PFX_MAX_SALT = 64;
constexpr uint32_t PFX_MAX_BLOCK = 16;
// Largest iteration count the reader accepts.
constexpr uint32_t PFX_MAX_ITERATIONS = 1u << 24;

// Statuses of the scheme functions.
constexpr Status PFX_CRYPT_OK = 0;
// Parameters refused: an unknown scheme, cipher or PRF, a salt of 0 or
// more than PFX_MAX_SALT bytes, 0 or too many iterations, an IV of the wrong
// size, a ciphertext that is not whole blocks, no room for the output.
constexpr Status PFX_CRYPT_UNSUPPORTED = 1;
// Decryption ended in a wrong padding: a wrong password or damaged data.
constexpr Status PFX_CRYPT_BAD_PADDING = 2;

// A scheme with its parameters, as written or as read. For reading, the
// salt is a view into the input.
struct PfxScheme {
    uint32_t kind;
    AlgorithmCode prf;  // PBES2: ALG_SHA1 or ALG_SHA256
    uint32_t cipher;    // PBES2: PFX_CIPHER_*
    const uint8_t* salt;
    uint32_t salt_len;
    uint32_t iterations;
    uint8_t iv[PFX_MAX_BLOCK];  // PBES2 only
    uint32_t iv_len;
};

// Writes the scheme's AlgorithmIdentifier (layouts above) in front of what
// `w` holds. Only the two schemes this program writes: PFX_SCHEME_SHA_3DES,
// and PFX_SCHEME_PBES2 with ALG_SHA256 and AES-256-CBC. Returns the bytes
// added, or 0 (another scheme, or no room).
uint32_t pfx_write_scheme(DerWriter* w, const PfxScheme* scheme);

// Reads an AlgorithmIdentifier element (`len` bytes at `der`, header
// included) into *scheme. Returns PFX_CRYPT_OK or PFX_CRYPT_UNSUPPORTED
// (malformed, or a scheme this reader does not know).
Status pfx_read_scheme(const uint8_t* der, uint32_t len, PfxScheme* scheme);

// Pads `in` (in_len bytes) and encrypts it into `out` (out_capacity bytes;
// in_len + PFX_MAX_BLOCK always suffice) under the scheme and `password`
// (ISO-8859-1, at most 1024 characters); *out_len gets the ciphertext
// length. `out` must not overlap `in`. Derived keys and cipher states are
// wiped. Returns PFX_CRYPT_OK or PFX_CRYPT_UNSUPPORTED.
Status pfx_encrypt(const PfxScheme* scheme, const uint8_t* password, uint32_t password_len,
                   const uint8_t* in, uint32_t in_len, uint8_t* out, uint32_t out_capacity,
                   uint32_t* out_len);

// Decrypts `in` (whole blocks) into `out` (room for in_len bytes; it may be
// `in` itself) and stores the length without padding in *out_len. Returns
// PFX_CRYPT_OK, PFX_CRYPT_UNSUPPORTED or PFX_CRYPT_BAD_PADDING (`out` then
// holds the decrypted bytes and the caller wipes them).
Status pfx_decrypt(const PfxScheme* scheme, const uint8_t* password, uint32_t password_len,
                   const uint8_t* in, uint32_t in_len, uint8_t* out, uint32_t* out_len);
