// Reading an X.509 v1/v3 certificate (RFC 5280) with the DER reader, and the
// check of its signature under its issuer's key.
//
//   30 [len]                          Certificate ::= SEQUENCE {
//     30 [len]                          tbsCertificate ::= SEQUENCE {
//       A0 03 02 01 02                    version [0] EXPLICIT (v3 = 2; absent: v1),
//       02 [len] [serial]                 serialNumber INTEGER,
//       30 [len] 06 .. [05 00]            signature AlgorithmIdentifier,
//       30 [len] (31 [len] 30 ..)*        issuer Name,
//       30 [len] 17|18 .. 17|18 ..        validity { notBefore, notAfter },
//       30 [len] (31 [len] 30 ..)*        subject Name,
//       30 [len] 30 .. 03 ..              subjectPublicKeyInfo,
//       81 .. / 82 ..                     issuerUniqueID, subjectUniqueID (skipped),
//       A3 [len] 30 [len] (30 ..)* }      extensions [3] EXPLICIT (each checked as DER)
//     30 [len] 06 [len] [oid] [05 00]   signatureAlgorithm (the same as the inner one),
//     03 [len] 00 [signature] }         signatureValue BIT STRING
//
// Values are views into the caller's input, valid as long as it is.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/der/der_reader.h"
#include "crypto/rsa/rsa_key.h"

constexpr uint32_t CERT_MAX_NAME_ENTRIES = 48;

// One AttributeTypeAndValue: the type's identifier (contents octets) and the
// value element's tag and contents.
using CertNameEntry = DerNameEntry;

// A Name: its whole DER element (compared byte for byte to match an issuer
// with a subject) and its entries in order.
struct CertName {
    const uint8_t* der;
    uint32_t der_len;
    uint32_t count;
    CertNameEntry entries[CERT_MAX_NAME_ENTRIES];
};

struct ParsedCertificate {
    const uint8_t* der;  // the whole Certificate element
    uint32_t der_len;
    const uint8_t* tbs;  // tbsCertificate with its header: what is signed
    uint32_t tbs_len;

    uint32_t version;       // 1, 2 or 3 as people count them
    const uint8_t* serial;  // the INTEGER's contents octets as written
    uint32_t serial_len;
    CertName issuer;
    DerTime not_before;
    DerTime not_after;
    CertName subject;

    const uint8_t* public_key_info;  // the SubjectPublicKeyInfo with its header
    uint32_t public_key_info_len;
    const uint8_t* key_algorithm;  // its algorithm identifier (contents octets)
    uint32_t key_algorithm_len;
    // STATUS_OK: `key` holds the RSA key. STATUS_NOT_RSA: another algorithm.
    // STATUS_BAD_MODULUS_SIZE: an RSA modulus above 2048 bits.
    Status key_status;
    RsaPublicKey key;

    const uint8_t* signature_algorithm;  // identifier contents octets
    uint32_t signature_algorithm_len;
    AlgorithmCode signature_code;  // algorithm_for_oid of it; 0 when unknown
    bool signature_parameters_ok;  // NULL or absent
    const uint8_t* signature;      // the BIT STRING's bits
    uint32_t signature_len;
};

// Reads the Certificate at the start of `data` (`len` bytes); bytes after it
// are left alone, cert->der_len says where it ends. Returns STATUS_OK; a
// reader status for anything malformed; STATUS_DER_BAD_VALUE for a version
// other than v1 to v3, a serial number that is empty or not minimal, an
// empty RDN, an inner signature algorithm that differs from the outer one
// or a signature with unused bits; STATUS_DER_TOO_MANY past the name table.
// *cert is not to be used after a failure.
Status cert_parse(const uint8_t* data, uint32_t len, ParsedCertificate* cert);

// Checks the signature of `cert` under `issuer_key`: md5WithRSA (103),
// sha1WithRSA (111) and sha256WithRSA (113), the DigestInfo with NULL
// parameters and the type-1 block compared in full. Returns STATUS_OK,
// STATUS_SIGNATURE_INVALID, or STATUS_BAD_DIGEST when the algorithm is not
// one of those (it cannot be checked here); STATUS_NO_MEMORY.
Status cert_verify_signature(const ParsedCertificate* cert, const RsaPublicKey* issuer_key);

// True when the two names are the same DER bytes (how this reader matches a
// certificate's issuer with another certificate's subject).
bool cert_same_name(const CertName* a, const CertName* b);

// -1, 0 or 1 as `a` is before, the same as or after `b`.
int cert_compare_time(const DerTime* a, const DerTime* b);
