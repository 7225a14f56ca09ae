// Opening a PKCS#12 file (RFC 7292), this program's or another writer's:
// the MAC is checked under the password, then every bag is read. Key bags
// (plain or shrouded) give the RSA private key; certificate bags give the
// X.509 certificates in the order they stand. Other bags (CRLs, secrets)
// are counted and skipped.
//
// Schemes read: pbeWithSHAAnd3-KeyTripleDES-CBC and PBES2 (PBKDF2 with
// HMAC-SHA-1 or HMAC-SHA-256, AES-256-CBC or triple DES) for the bags; MAC
// with HMAC-SHA-1 or HMAC-SHA-256. The older RC2 and RC4 schemes are
// reported as unsupported.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/bytes.h"
#include "crypto/common/status.h"
#include "crypto/pkcs12/pfx_crypt.h"
#include "crypto/rsa/rsa_key.h"

constexpr uint32_t PFX_READ_MAX_CERTIFICATES = 16;

// Statuses of pfx_read.
constexpr Status PFX_READ_OK = 0;
// Not a PFX: malformed DER or another structure.
constexpr Status PFX_READ_NOT_PFX = 1;
// A PFX this reader cannot open: a scheme, MAC digest or bag it does not
// know, a key that is not RSA of at most 2048 bits, more than one key, too
// many certificates, or no MAC.
constexpr Status PFX_READ_UNSUPPORTED = 2;
// The password does not open the file (the MAC does not match, or a bag
// does not decrypt).
constexpr Status PFX_READ_WRONG_PASSWORD = 3;
constexpr Status PFX_READ_NO_MEMORY = 4;

struct PfxContents {
    AlgorithmCode mac_digest;  // ALG_SHA1 or ALG_SHA256
    uint32_t mac_iterations;
    // The scheme kind (PFX_SCHEME_*) of the key and of the certificates;
    // 0 when stored in the clear.
    uint32_t key_scheme;
    AlgorithmCode key_prf;  // PBES2: ALG_SHA1 or ALG_SHA256
    uint32_t key_cipher;    // PBES2: PFX_CIPHER_*
    uint32_t certificate_scheme;
    AlgorithmCode certificate_prf;
    uint32_t certificate_cipher;
    bool has_key;
    RsaPrivateKey key;
    uint32_t certificate_count;
    // Views into `storage` (decrypted bags) or into the file (bags in the
    // clear): valid while both are.
    ByteSpan certificates[PFX_READ_MAX_CERTIFICATES];
    uint32_t other_bags;
    // The decrypted contents; pfx_release wipes and frees it.
    uint8_t* storage;
    uint32_t storage_len;
};

// Opens the `len`-byte DER file under `password` (ISO-8859-1) into
// *contents. On any failure nothing is kept (the key is wiped, the storage
// released). On success the caller calls pfx_release when done.
Status pfx_read(const uint8_t* file, uint32_t len, const uint8_t* password, uint32_t password_len,
                PfxContents* contents);

// Wipes the key and the decrypted storage and frees it.
void pfx_release(PfxContents* contents);
