// Signing the request information: a digest, wrapped in a PKCS#1 DigestInfo,
// signed with a PKCS#1 v1.5 type-1 block under the private key.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/der/der.h"
#include "crypto/rsa/rsa_key.h"

// Room req_sign gives the DigestInfo, at the start of the writer's scratch.
constexpr uint32_t REQ_DIGEST_INFO_MAX_SIZE = 256;

// Digests `data_len` bytes at `data` (null allowed when data_len is 0) with
// the digest `code` (crypto/digest/digest.h) in one piece, into `out` (room
// for DIGEST_MAX_LEN, 32 bytes), and stores the digest length (16, 20 or 32) in
// *out_len. Its DigestContext is wiped before returning.
// Returns STATUS_OK, or STATUS_BAD_DIGEST (1026) for a code that names no
// digest; `out` is then not written, *out_len may be.
Status digest_oneshot(uint8_t* out, uint32_t* out_len, const uint8_t* data, uint32_t data_len,
                      AlgorithmCode code);

// Writes the DigestInfo of a `digest_len`-byte digest made with `digest_code`
// in front of what `w` holds:
//   30 [len] 30 [len] 06 [len] [oid] 05 00 04 [len] [digest]
// Returns the bytes added, or 0 when the code has no identifier or the
// writer ran out of room.
uint32_t req_write_digest_info(DerWriter* w, AlgorithmCode digest_code, uint8_t* digest,
                               uint32_t digest_len);

// Signs `data_len` bytes at `data` for the signature algorithm `signature_code`:
//
//   signature code        digest
//   101 md2WithRSA        2 md2
//   102 md4WithRSA        4 md4
//   103 md5WithRSA        5 md5
//   111 sha1WithRSA       6 sha1
//
// The digest goes into a DigestInfo, which rsa_sign_block signs:
//
//   30 [len]                        DigestInfo ::= SEQUENCE {
//     30 [len] 06 [len] [oid] 05 00   digestAlgorithm  with NULL parameters,
//     04 [len] [digest]               digest           OCTET STRING }
//
// For code 103 these are the 34 bytes
//   30 20 30 0C 06 08 2A 86 48 86 F7 0D 02 05 05 00 04 10 [16 MD5 bytes].
//
// The DigestInfo is built in the first REQ_DIGEST_INFO_MAX_SIZE bytes of the
// writer's own scratch: `w` is re-pointed there, so a writer whose buffer is
// its scratch, or whose encoding is still needed, must not be passed. That part
// of the scratch and the digest are wiped before returning.
// `signature` must hold k = (key->bits + 7) / 8 bytes (at most 256); on
// success it holds the k-byte signature and *signature_len = k.
// Returns k, or 0 on any failure (a code not in the table, a digest failure,
// a failure of rsa_sign_block); *signature_len is then not to be relied on.
uint32_t req_sign(DerWriter* w, AlgorithmCode signature_code, const uint8_t* data,
                  uint32_t data_len, const RsaPrivateKey* key, uint8_t* signature,
                  uint32_t* signature_len);
