// Deterministic RSA key pairs for the request and key file tests, and small
// helpers around the DER writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "crypto/der/der.h"
#include "crypto/rsa/rsa_key.h"

namespace test_keys {

using Bytes = std::vector<uint8_t>;

struct KeyPair {
    RsaPublicKey public_key;
    RsaPrivateKey private_key;
};

// The key pair of `bits` bits (exponent 65537) that our generator makes from
// the pool seeded with `seed`: 64 updates of the four big-endian bytes of
// 64 * seed + j, j = 0..63. Pairs are kept, so asking twice costs nothing.
const KeyPair& generate(uint32_t bits, uint32_t seed = 0);

// The first seed from 0 up whose key of `bits` bits has a PrivateKeyInfo of
// exactly `size` bytes; fails the test (and returns seed 0's pair) when none
// of the first 200 seeds gives it.
const KeyPair& with_private_key_info_size(uint32_t bits, uint32_t size);

// The writer's whole contents as bytes (empty when it holds nothing).
Bytes contents(DerWriter* w);

// PrivateKeyInfo (rsaEncryption) of the key, from our encoder.
Bytes private_key_info(const RsaPrivateKey& key);

// count bytes of `bytes` from offset (fewer at the end).
Bytes slice(const Bytes& bytes, size_t offset, size_t count);

}  // namespace test_keys
