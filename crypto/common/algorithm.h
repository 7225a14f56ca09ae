// Algorithm codes: the small integers by which the library names digests,
// signature algorithms, the RSA key type and password-based encryption
// schemes. The numbers are fixed; the object identifiers that go with them
// are in crypto/der/oid.h.
#pragma once

#include <cstdint>

using AlgorithmCode = uint32_t;

// Digests.
constexpr AlgorithmCode ALG_MD2 = 2;
constexpr AlgorithmCode ALG_SHA0 = 3;  // supported by the digests, has no identifier
constexpr AlgorithmCode ALG_MD4 = 4;
constexpr AlgorithmCode ALG_MD5 = 5;
constexpr AlgorithmCode ALG_SHA1 = 6;
constexpr AlgorithmCode ALG_SHA256 = 7;

// Key type, signatures, encryption.
constexpr AlgorithmCode ALG_RSA = 100;  // rsaEncryption
constexpr AlgorithmCode ALG_MD2_WITH_RSA = 101;
constexpr AlgorithmCode ALG_MD4_WITH_RSA = 102;
constexpr AlgorithmCode ALG_MD5_WITH_RSA = 103;
constexpr AlgorithmCode ALG_PBE_MD2_DES_CBC = 104;
constexpr AlgorithmCode ALG_PBE_MD5_DES_CBC = 105;
constexpr AlgorithmCode ALG_DES_CBC = 106;
constexpr AlgorithmCode ALG_RC4 = 107;
constexpr AlgorithmCode ALG_PBE_SHA_RC2_40 = 108;
constexpr AlgorithmCode ALG_PBE_SHA_RC2_128 = 109;
constexpr AlgorithmCode ALG_PBE_SHA_3DES = 110;
constexpr AlgorithmCode ALG_SHA1_WITH_RSA = 111;
constexpr AlgorithmCode ALG_DES_EDE3_CBC = 112;
constexpr AlgorithmCode ALG_SHA256_WITH_RSA = 113;
