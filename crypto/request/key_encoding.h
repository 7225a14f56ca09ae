// DER encodings of the RSA key records: the public key as an X.509
// SubjectPublicKeyInfo (for the certification request) and the private key as
// a PKCS#8 PrivateKeyInfo (for the protected key file).
//
// Every writer works on the backwards DerWriter (crypto/der/der.h): it writes
// in front of what the writer already holds and returns the number of bytes it
// added, or 0 on failure. A failure leaves partly written bytes in front (as
// with every writer call); the caller abandons the encoding.
//
// The numbers are taken from the full fixed-size arrays of the records; their
// leading zero bytes are dropped, so a 1024-bit key in the 256-byte arrays
// encodes exactly like one stored in 128-byte arrays. The `bits` field of the
// records is not read. The writers keep no copy of any key number: the only
// place the private key's encoding lands is the caller's buffer, which the
// caller wipes.
//
// Sizes when every number has its full length and needs a sign byte, with
// public exponent 65537 (upper bounds for these modulus sizes):
//
//   modulus bits   subjectPublicKey   SubjectPublicKeyInfo   RSAPrivateKey   PrivateKeyInfo
//   512            77                 94                     321             347
//   1024           144                162                    611             637
//   2048           275                294                    1194            1220
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/der/der.h"
#include "crypto/rsa/rsa_key.h"

// Writes the subjectPublicKey BIT STRING of a SubjectPublicKeyInfo:
//
//   03 [len] 00                       BIT STRING, no unused bits, whose bits are
//     30 [len]                          RSAPublicKey ::= SEQUENCE {
//       02 [len] [modulus]                modulus          INTEGER,
//       02 [len] [public exponent]        publicExponent   INTEGER }
//
// Both numbers follow the sign-byte rule (a 00 in front when the first
// significant byte is 0x80 or above), so any exponent encodes as a positive
// INTEGER; 3 gives 02 01 03, 65537 gives 02 03 01 00 01.
// Returns the bytes added, or 0 when the writer ran out of room.
uint32_t rsa_write_public_key(DerWriter* w, const RsaPublicKey* key);

// Writes SubjectPublicKeyInfo ::= SEQUENCE { algorithm AlgorithmIdentifier,
// subjectPublicKey BIT STRING }. `code` names the algorithm (ALG_RSA in this
// system); its identifier carries NULL parameters. For a 2048-bit key with
// exponent 65537 these are 294 bytes:
//
//   30 82 01 22
//      30 0D 06 09 2A 86 48 86 F7 0D 01 01 01 05 00      rsaEncryption, NULL
//      03 82 01 0F 00 30 82 01 0A
//         02 82 01 01 00 [256 modulus bytes]
//         02 03 01 00 01
//
// Returns the bytes added, or 0 when the writer ran out of room or `code` has
// no object identifier (crypto/der/oid.h).
uint32_t rsa_write_public_key_info(DerWriter* w, AlgorithmCode code, const RsaPublicKey* key);

// Writes the PKCS#1 RSAPrivateKey:
//
//   30 [len]                       RSAPrivateKey ::= SEQUENCE {
//     02 01 00                       version          0,
//     02 [len] [modulus]             modulus          n,
//     02 [len] [public_exponent]     publicExponent   e,
//     02 [len] [private_exponent]    privateExponent  d,
//     02 [len] [prime1]              prime1           p,
//     02 [len] [prime2]              prime2           q,
//     02 [len] [exponent1]           exponent1        d mod (p-1),
//     02 [len] [exponent2]           exponent2        d mod (q-1),
//     02 [len] [coefficient]         coefficient      q^-1 mod p }
//
// Every number follows the sign-byte rule. Returns the bytes added, or 0 when
// the writer ran out of room.
uint32_t rsa_write_private_key(DerWriter* w, const RsaPrivateKey* key);

// Writes the PKCS#8 PrivateKeyInfo, without attributes:
//
//   30 [len]                       PrivateKeyInfo ::= SEQUENCE {
//     02 01 00                       version              0,
//     30 0D 06 09 ... 05 00          privateKeyAlgorithm  `code` with NULL parameters,
//     04 [len]                       privateKey           OCTET STRING holding
//       30 [len] ...                   the RSAPrivateKey above }
//
// Returns the bytes added, or 0 when the writer ran out of room or `code` has
// no object identifier.
uint32_t rsa_write_private_key_info(DerWriter* w, AlgorithmCode code, const RsaPrivateKey* key);
