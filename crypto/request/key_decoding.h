// Reading the RSA key encodings back into the key records: the reverse of
// key_encoding.h, for keys written by this system or by any other tool.
//
// Every reader takes the whole input as one element: bytes after it are
// STATUS_DER_TRAILING_DATA. Numbers are stored right-aligned in the record's
// arrays with zeros in front; a number too long for its array (a modulus
// above 2048 bits, a prime above 1024 bits) gives STATUS_BAD_MODULUS_SIZE.
// `bits` is set to the modulus's significant bits. On any failure the
// record is wiped. DER faults give the reader's statuses (status.h).
#pragma once

#include <cstdint>

#include "crypto/common/status.h"
#include "crypto/rsa/rsa_key.h"

// The number of significant bits of a big-endian number (0 for zero).
uint32_t key_number_bits(const uint8_t* number, uint32_t len);

// RSAPublicKey ::= SEQUENCE { modulus INTEGER, publicExponent INTEGER }.
// A zero modulus is STATUS_DER_BAD_VALUE.
Status rsa_read_public_key(const uint8_t* der, uint32_t len, RsaPublicKey* key);

// SubjectPublicKeyInfo ::= SEQUENCE { algorithm AlgorithmIdentifier,
// subjectPublicKey BIT STRING }, with rsaEncryption and NULL parameters
// (STATUS_NOT_RSA for another algorithm) and the RSAPublicKey in the bits.
Status rsa_read_public_key_info(const uint8_t* der, uint32_t len, RsaPublicKey* key);

// RSAPrivateKey (version 0 and the eight numbers, see key_encoding.h).
Status rsa_read_private_key(const uint8_t* der, uint32_t len, RsaPrivateKey* key);

// PrivateKeyInfo ::= SEQUENCE { version 0, privateKeyAlgorithm rsaEncryption
// with NULL parameters (STATUS_NOT_RSA for another algorithm), privateKey
// OCTET STRING holding an RSAPrivateKey, attributes [0] OPTIONAL (skipped) }.
Status rsa_read_private_key_info(const uint8_t* der, uint32_t len, RsaPrivateKey* key);
