// The certificates of a PKCS#7 (RFC 2315) certs-only bundle, the ".p7b" an
// authority hands out with a certificate and its chain:
//
//   30 [len]                          ContentInfo ::= SEQUENCE {
//     06 09 2A 86 48 86 F7 0D 01 07 02  contentType signedData,
//     A0 [len]                          content [0] EXPLICIT
//       30 [len]                          SignedData ::= SEQUENCE {
//         02 01 01                          version,
//         31 [len] ..                       digestAlgorithms SET (empty here),
//         30 [len] 06 .. 07 01 ..           contentInfo { data, no content },
//         A0 [len] (30 ..)*                 certificates [0] IMPLICIT SET OF Certificate,
//         A1 [len] ..                       crls [1] OPTIONAL (skipped),
//         31 [len] .. }}                    signerInfos SET (empty here)
//
// Any signer infos are ignored: only the certificates are wanted.
#pragma once

#include <cstdint>

#include "crypto/common/status.h"

constexpr uint32_t PKCS7_MAX_CERTIFICATES = 16;

// One certificate in the bundle: a view of its DER element.
struct Pkcs7Certificate {
    const uint8_t* der;
    uint32_t len;
};

// Reads the bundle (the whole `len` bytes) and stores a view of each
// certificate, in order, in `certs` (*count of them). The certificates
// themselves are only delimited here; cert_parse reads each.
// Returns STATUS_OK; a reader status for malformed DER or another content
// type (STATUS_DER_BAD_VALUE); STATUS_DER_TOO_MANY beyond
// PKCS7_MAX_CERTIFICATES.
Status pkcs7_read_certificates(const uint8_t* data, uint32_t len,
                               Pkcs7Certificate certs[PKCS7_MAX_CERTIFICATES], uint32_t* count);
