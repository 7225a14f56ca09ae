// Reading a certification request back: the PKCS#10 CertificationRequest
// that request.h writes, or one written by any other tool, and the check of
// its signature.
//
//   30 [len]                          CertificationRequest ::= SEQUENCE {
//     30 [len]                          certificationRequestInfo ::= SEQUENCE {
//       02 01 00                          version 0,
//       30 [len] (31 [len] 30 ..)*        subject Name: RDNs of (type, value),
//       30 [len] 30 [len] 06 .. [..]      subjectPKInfo { algorithm, BIT STRING },
//         03 [len] 00 ..
//       A0 [len] (30 [len] 06 .. 31 ..)*  attributes [0] (optional here: the
//                                           writer leaves it out when empty) },
//     30 [len] 06 [len] [oid] [05 00]     signatureAlgorithm (NULL or no parameters),
//     03 [len] 00 [signature] }           signature BIT STRING
//
// Whatever follows the CertificationRequest in the input (this system's text
// trailer) is not part of it: `der_length` says where it ends.
//
// Everything is checked as DER (crypto/der/der_reader.h). Values are views
// into the caller's input, valid as long as it is; nothing is allocated.
// SET OF order is not checked: the attributes this system writes stand in
// descending slot order, not in DER's sorted order.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/der/der_reader.h"
#include "crypto/rsa/rsa_key.h"

// The most name entries and attributes a request may carry here.
constexpr uint32_t REQ_MAX_NAME_ENTRIES = 48;
constexpr uint32_t REQ_MAX_ATTRIBUTES = 48;

// One AttributeTypeAndValue of the subject: the type's identifier (contents
// octets) and the value element's tag and contents.
using ReqNameEntry = DerNameEntry;

// One request attribute: the type's identifier and the contents of its SET
// of values (`value_count` elements, each checked as DER).
struct ReqAttribute {
    const uint8_t* type;
    uint32_t type_len;
    const uint8_t* values;
    uint32_t values_len;
    uint32_t value_count;
};

struct ParsedRequest {
    uint32_t der_length;  // bytes of the CertificationRequest from the input's start
    const uint8_t* info;  // the certificationRequestInfo with its header: what is signed
    uint32_t info_len;

    uint32_t name_count;
    ReqNameEntry name[REQ_MAX_NAME_ENTRIES];

    const uint8_t* public_key_info;  // the SubjectPublicKeyInfo with its header
    uint32_t public_key_info_len;
    const uint8_t* key_algorithm;  // its algorithm identifier (contents octets)
    uint32_t key_algorithm_len;
    // STATUS_OK: `key` holds the RSA key. STATUS_NOT_RSA: another algorithm.
    // STATUS_BAD_MODULUS_SIZE: an RSA modulus above 2048 bits.
    Status key_status;
    RsaPublicKey key;

    bool has_attributes;  // the [0] element is there (possibly empty)
    uint32_t attribute_count;
    ReqAttribute attributes[REQ_MAX_ATTRIBUTES];

    const uint8_t* signature_algorithm;  // identifier contents octets
    uint32_t signature_algorithm_len;
    AlgorithmCode signature_code;  // algorithm_for_oid of it; 0 when unknown
    bool signature_parameters_ok;  // NULL or absent
    const uint8_t* signature;      // the BIT STRING's bits
    uint32_t signature_len;
};

// Reads the CertificationRequest at the start of `data` (`len` bytes).
// Returns STATUS_OK; a reader status for anything malformed (an RSA key whose
// own encoding is malformed included); STATUS_DER_BAD_VALUE for a version
// other than 0, an empty RDN, or a signature with unused bits;
// STATUS_DER_TOO_MANY past the table sizes. *out is not to be used after a
// failure.
Status req_parse(const uint8_t* data, uint32_t len, ParsedRequest* out);

// Checks the signature of a parsed request under its own public key:
// md5WithRSA (103), sha1WithRSA (111) and sha256WithRSA (113), the
// DigestInfo with NULL parameters and the type-1 block compared in full
// (rsa_verify_block).
// Returns STATUS_OK for a valid signature, STATUS_SIGNATURE_INVALID for an
// invalid one, and, when it cannot be checked: STATUS_BAD_DIGEST (another
// signature algorithm, or parameters other than NULL), STATUS_NOT_RSA or
// STATUS_BAD_MODULUS_SIZE (the key, see key_status).
Status req_verify_signature(const ParsedRequest* request);

// The digest a checked signature algorithm uses (103 -> 5, 111 -> 6,
// 113 -> 7); 0 for any other code.
AlgorithmCode req_checked_digest(AlgorithmCode signature_code);
