// The certification request: a PKCS#10 CertificationRequest in DER, signed
// with the new private key.
//
//   30 82 [len]                          CertificationRequest ::= SEQUENCE {
//     30 82 [len]                          certificationRequestInfo ::= SEQUENCE {
//       02 01 00                             version        0,
//       30 [len] ...                         subject        Name (req_subject.h),
//       30 82 01 22 ...                      subjectPKInfo  SubjectPublicKeyInfo
//                                                           (key_encoding.h),
//       A0 [len] ...                         attributes     [0], left out when
//                                                           no slot is present },
//     30 0D 06 09 2A 86 48 86 F7 0D 01 01 04 05 00
//                                          signatureAlgorithm  (md5WithRSA here),
//     03 82 01 01 00 [k bytes]             signature  BIT STRING: the k-byte
//                                                     rsa_sign_block output }
//
// What is signed is the whole DER certificationRequestInfo, tag and length
// included. The signature is deterministic: the same inputs and key give the
// same request, byte for byte.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/der/der.h"
#include "crypto/request/req_subject.h"
#include "crypto/rsa/rsa_key.h"

// Size of each of the two working buffers of req_build_request, and so the
// largest request it can produce.
constexpr uint32_t REQ_BUFFER_SIZE = 6144;

// Builds the request and copies it to `out`, which must hold REQ_BUFFER_SIZE
// bytes (not checked). `signature_code` is 101, 102, 103 or 111 (req_sign.h);
// the subject public key is written with algorithm ALG_RSA. With a null
// `private_key` the output is the unsigned certificationRequestInfo alone.
// Returns
//   STATUS_BUILT (2000)           *out_len = the size written to `out`;
//   STATUS_REQUEST_FAILED (1008)  *out_len = 0, `out` not written: the
//       information or the request does not fit in REQ_BUFFER_SIZE bytes, a
//       component 15 to 19 is present, the signature code is not a signature
//       algorithm, or digesting or signing failed; also when `out`, `out_len`
//       or `public_key` is null (*out_len then written only when not null);
//   STATUS_NO_MEMORY (1004)       a working buffer was not obtained; nothing
//       written.
// A failure to write the attributes is not a failure: the request then
// carries an empty attributes element (A0 00). The two working buffers hold nothing secret;
// the DigestInfo scratch is wiped by req_sign.
Status req_build_request(uint8_t* out, uint32_t* out_len, AlgorithmCode signature_code,
                         const SubjectComponents& components, const RsaPublicKey* public_key,
                         const RsaPrivateKey* private_key, const AttributeSlots& slots);

// Builds the request with `w`, using two caller buffers of `capacity` bytes
// each: `info_buffer` receives the certificationRequestInfo, `request_buffer`
// the CertificationRequest. On success the writer's contents are the finished
// request (in `request_buffer`), or, with a null private key, the unsigned
// information (in `info_buffer`). The writer's scratch is used for the
// DigestInfo (req_sign). The 256-byte signature area is wiped.
// Returns the size of the writer's contents, or 0 on any failure.
uint32_t req_assemble_signed(DerWriter* w, uint8_t* request_buffer, uint32_t capacity,
                             AlgorithmCode signature_code, const SubjectComponents& components,
                             const RsaPublicKey* public_key, const RsaPrivateKey* private_key,
                             const AttributeSlots& slots, uint8_t* info_buffer);

// Writes the certificationRequestInfo in front of the writer's contents:
// the attributes (an empty [0] element, A0 00, when req_write_attributes
// fails or has nothing to write: the writer is first restored to where it
// was), the
// SubjectPublicKeyInfo with algorithm `key_code`, the subject Name, the
// version (a value below 0x80; the system writes 0, giving 02 01 00) and the
// SEQUENCE header. Returns the bytes added, or 0 on failure.
uint32_t req_write_request_info(DerWriter* w, uint8_t version, const SubjectComponents& components,
                                AlgorithmCode key_code, const RsaPublicKey* public_key,
                                const AttributeSlots& slots);
