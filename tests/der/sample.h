// A small nested DER structure written with every writer operation, shared by
// the boundary tests and the check that OpenSSL reads it back.
//
//   SEQUENCE {
//     INTEGER 0                                  (no sign byte)
//     INTEGER 0x801122334455667788               (sign byte added)
//     AlgorithmIdentifier rsaEncryption, NULL
//     SET { SEQUENCE { OID commonName, PrintableString "Prueba" } }
//     [0] { SEQUENCE { OID emailAddress, IA5String "a@b.es" } }
//     BIT STRING over DE AD BE EF 01
//     OCTET STRING over long_payload()           (200 bytes, long length form)
//     AlgorithmIdentifier md5WithRSAEncryption, NULL
//     AlgorithmIdentifier md5, NULL
//     NULL
//   }
#pragma once

#include <cstdint>
#include <vector>

#include "crypto/der/der.h"

namespace der_sample {

// The OCTET STRING contents: 200 bytes, byte i = (i * 37 + 11) mod 256.
std::vector<uint8_t> long_payload();

// Writes the structure in front of what the writer holds; returns its size,
// or 0 at the first step that failed (the partial bytes stay).
uint32_t write(DerWriter* w);

}  // namespace der_sample
