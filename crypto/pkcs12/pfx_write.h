// Writing a PKCS#12 file (RFC 7292): the private key in a shrouded key bag
// and the certificate with its chain in certificate bags, under one
// password, with a MAC over the whole.
//
//   30 [len]                                  PFX ::= SEQUENCE {
//     02 01 03                                  version 3,
//     30 [len] 06 09 ..07 01 A0 [len]           authSafe ContentInfo { data,
//       04 [len]                                  [0] OCTET STRING holding
//         30 [len]                                  AuthenticatedSafe ::= SEQUENCE OF ContentInfo {
//           30 [len] 06 09 ..07 06 A0 [len]           { encryptedData, [0]
//             30 [len] 02 01 00                         EncryptedData { version 0,
//               30 [len] 06 09 ..07 01                    EncryptedContentInfo { data,
//                 30 [len] [scheme]                         the scheme (pfx_crypt.h),
//                 80 [len] [ciphertext] }}}                 [0] IMPLICIT the encrypted
//                                                           SafeContents of the certificates },
//           30 [len] 06 09 ..07 01 A0 [len]           { data, [0]
//             04 [len] 30 [len]                         OCTET STRING holding SafeContents {
//               30 [len] 06 0B ..0C 0A 01 02              SafeBag { pkcs8ShroudedKeyBag,
//                 A0 [len] 30 [len]                         [0] EncryptedPrivateKeyInfo {
//                   30 [len] [scheme]                         the scheme,
//                   04 [len] [ciphertext] }                   the encrypted PrivateKeyInfo },
//                 31 [len] [attributes] }}}}}               bagAttributes }}}}},
//     30 [len]                                  macData MacData ::= SEQUENCE {
//       30 [len] 30 [len] 06 .. 05 00             mac DigestInfo { SHA-1 or SHA-256,
//                04 [len] [HMAC] }                                  the HMAC },
//       04 08 [salt]                              macSalt,
//       02 02 08 00 }}                            iterations 2048 }
//
// The certificates' SafeContents:
//
//   30 [len]                                  SafeContents ::= SEQUENCE OF
//     30 [len] 06 0B ..0C 0A 01 03              SafeBag { certBag,
//       A0 [len] 30 [len] 06 0A ..09 16 01        [0] CertBag { x509Certificate,
//         A0 [len] 04 [len] [certificate DER]       [0] OCTET STRING the certificate },
//       31 [len] [attributes] }                   bagAttributes (the first certificate only) }
//     ...                                       one bag for each further certificate
//
// The attributes of the key and its certificate, the same on both:
//
//   31 [len]                                  SET OF (in DER order) {
//     30 [len] 06 09 ..09 14 31 [len]           friendlyName,
//       1E [len] [BMP characters]                 BMPString },
//     30 [len] 06 09 ..09 15 31 [len]           localKeyId,
//       04 14 [SHA-1 of the certificate] }        OCTET STRING }
//
// The MAC is HMAC over the AuthenticatedSafe's DER (the OCTET STRING's
// contents) under a key from the PKCS#12 derivation, id 3, with the MAC's
// own digest and salt.
//
//   preset       key and certificates        MAC            salts
//   compatible   pbeWithSHAAnd3-KeyTripleDES  HMAC-SHA-1     8 bytes
//   modern       PBES2 PBKDF2-HMAC-SHA-256    HMAC-SHA-256   16 (MAC: 8)
//                + AES-256-CBC
#pragma once

#include <cstdint>

#include "crypto/common/bytes.h"
#include "crypto/common/status.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_key.h"

constexpr uint32_t PFX_MAX_CERTIFICATES = 16;
constexpr uint32_t PFX_ITERATIONS = 2048;

constexpr int PFX_PRESET_COMPATIBLE = 0;
constexpr int PFX_PRESET_MODERN = 1;

// Statuses of pfx_write.
constexpr Status PFX_WRITE_OK = 0;
// The input is refused: no certificate or more than PFX_MAX_CERTIFICATES,
// an empty one, a password over 1024 characters, a friendly name over 256,
// an unknown preset, or the output does not fit `capacity`.
constexpr Status PFX_WRITE_BAD_INPUT = 1;
// The random pool has not been seeded.
constexpr Status PFX_WRITE_NOT_SEEDED = 2;
// A work buffer could not be obtained, or an encoding step failed.
constexpr Status PFX_WRITE_FAILED = 3;

struct PfxInput {
    const RsaPrivateKey* key;
    // certificates[0] is the key's certificate (DER); the chain follows.
    ByteSpan certificates[PFX_MAX_CERTIFICATES];
    uint32_t certificate_count;
    // The friendlyName of key and certificate, ISO-8859-1 (may be empty:
    // the attribute is then left out).
    const uint8_t* friendly_name;
    uint32_t friendly_name_len;
    // The file's password, ISO-8859-1.
    const uint8_t* password;
    uint32_t password_len;
    int preset;  // PFX_PRESET_*
};

// Room pfx_write needs for `input`'s file (an upper bound).
uint32_t pfx_size_bound(const PfxInput* input);

// Writes the file to `out` (`capacity` bytes; pfx_size_bound suffices) and
// its size to *out_len. Salts and IVs come from `pool`, PFX_ITERATIONS
// iterations everywhere. Every buffer that held the key's encoding, every
// derived key and cipher state is wiped on every path.
// Returns PFX_WRITE_OK or one of the statuses above; `out` may hold partial
// bytes on failure.
Status pfx_write(const PfxInput* input, RandomPool* pool, uint8_t* out, uint32_t capacity,
                 uint32_t* out_len);
