// The four key encoders on synthetic key records whose every number has its
// full length, so the sizes are the documented upper bounds, and on records
// that probe the sign-byte rule and the dropping of leading zero bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "crypto/request/key_encoding.h"
#include "tests/request/test_keys.h"
#include "tests/support/vectors.h"

namespace {

using test_keys::Bytes;
using vectors::from_hex;

// Right-aligns `count` bytes of value `fill` in an array of `size`, with
// `first` as the most significant of them.
void set_number(uint8_t* array, uint32_t size, uint32_t count, uint8_t first, uint8_t fill) {
    std::memset(array, 0, size);
    std::memset(array + size - count, fill, count);
    array[size - count] = first;
}

void set_65537(uint8_t* array) {
    std::memset(array, 0, RSA_MAX_MODULUS_LEN);
    array[RSA_MAX_MODULUS_LEN - 3] = 0x01;
    array[RSA_MAX_MODULUS_LEN - 1] = 0x01;
}

// Every number at its full length with its top bit set; e = 65537.
struct FullKey {
    RsaPublicKey pub{};
    RsaPrivateKey priv{};
    explicit FullKey(uint32_t bits) {
        const uint32_t k = bits / 8;
        set_number(pub.modulus, RSA_MAX_MODULUS_LEN, k, 0xC1, 0xA5);
        set_65537(pub.public_exponent);
        std::memcpy(priv.modulus, pub.modulus, RSA_MAX_MODULUS_LEN);
        set_65537(priv.public_exponent);
        set_number(priv.private_exponent, RSA_MAX_MODULUS_LEN, k, 0x9E, 0x5A);
        for (uint8_t* half :
             {priv.prime1, priv.prime2, priv.exponent1, priv.exponent2, priv.coefficient}) {
            set_number(half, RSA_MAX_PRIME_LEN, k / 2, 0xE7, 0x3C);
        }
    }
};

using Encoder = std::function<uint32_t(DerWriter*)>;

// Encodes into a buffer of exactly `capacity` bytes; returns what was written
// (empty on failure) and checks the returned count against the contents.
Bytes encode(const Encoder& encoder, uint32_t capacity) {
    Bytes buffer(capacity + 1);
    auto w = std::make_unique<DerWriter>();
    der_init(w.get(), buffer.data(), capacity);
    const uint32_t n = encoder(w.get());
    if (n == 0) {
        return {};
    }
    Bytes written = test_keys::contents(w.get());
    EXPECT_EQ(written.size(), n);
    return written;
}

struct Bound {
    uint32_t bits;
    uint32_t public_key, public_key_info, private_key, private_key_info;
};

const Bound bounds[] = {
    {512, 77, 94, 321, 347},
    {1024, 144, 162, 611, 637},
    {2048, 275, 294, 1194, 1220},
};

TEST(KeyEncoding, FullLengthKeysGiveTheUpperBoundsAndFitExactly) {
    for (const Bound& b : bounds) {
        const FullKey key(b.bits);
        const struct {
            const char* name;
            uint32_t size;
            Encoder encoder;
        } cases[] = {
            {"public key", b.public_key,
             [&](DerWriter* w) { return rsa_write_public_key(w, &key.pub); }},
            {"public key info", b.public_key_info,
             [&](DerWriter* w) { return rsa_write_public_key_info(w, ALG_RSA, &key.pub); }},
            {"private key", b.private_key,
             [&](DerWriter* w) { return rsa_write_private_key(w, &key.priv); }},
            {"private key info", b.private_key_info,
             [&](DerWriter* w) { return rsa_write_private_key_info(w, ALG_RSA, &key.priv); }},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(b.bits) + " bits, " + c.name);
            const Bytes roomy = encode(c.encoder, 4000);
            ASSERT_EQ(roomy.size(), c.size);
            EXPECT_EQ(encode(c.encoder, c.size), roomy) << "exact-size buffer";
            for (uint32_t capacity = 0; capacity < c.size; ++capacity) {
                ASSERT_TRUE(encode(c.encoder, capacity).empty()) << "capacity " << capacity;
            }
        }
    }
}

TEST(KeyEncoding, PublicKeyInfoOf2048BitKey) {
    const FullKey key(2048);
    const Bytes spki =
        encode([&](DerWriter* w) { return rsa_write_public_key_info(w, ALG_RSA, &key.pub); }, 4000);
    Bytes expected = from_hex(
        "30 82 01 22 30 0D 06 09 2A 86 48 86 F7 0D 01 01 01 05 00 03 82 01 0F 00"
        "30 82 01 0A 02 82 01 01 00");
    expected.insert(expected.end(), key.pub.modulus, key.pub.modulus + 256);
    const Bytes exponent = from_hex("02 03 01 00 01");
    expected.insert(expected.end(), exponent.begin(), exponent.end());
    EXPECT_EQ(vectors::to_hex(spki), vectors::to_hex(expected));
}

TEST(KeyEncoding, PrivateKeyInfoOf2048BitKeyBegins) {
    const FullKey key(2048);
    const Bytes pki = encode(
        [&](DerWriter* w) { return rsa_write_private_key_info(w, ALG_RSA, &key.priv); }, 4000);
    const Bytes expected = from_hex(
        "30 82 04 C0 02 01 00 30 0D 06 09 2A 86 48 86 F7 0D 01 01 01 05 00"
        "04 82 04 AA 30 82 04 A6 02 01 00");
    EXPECT_EQ(vectors::to_hex(test_keys::slice(pki, 0, expected.size())),
              vectors::to_hex(expected));
}

TEST(KeyEncoding, LeadingZerosOfA1024BitModulusAreDropped) {
    const FullKey key(1024);
    const Bytes pk = encode([&](DerWriter* w) { return rsa_write_public_key(w, &key.pub); }, 4000);
    // 03 81 8D 00 30 81 89, then the modulus INTEGER.
    Bytes expected = from_hex("02 81 81 00");
    expected.insert(expected.end(), key.pub.modulus + 128, key.pub.modulus + 256);
    EXPECT_EQ(vectors::to_hex(test_keys::slice(pk, 7, expected.size())), vectors::to_hex(expected));
}

TEST(KeyEncoding, PublicExponentsThreeAnd65537) {
    FullKey key(512);
    const Bytes with_65537 =
        encode([&](DerWriter* w) { return rsa_write_public_key(w, &key.pub); }, 4000);
    EXPECT_EQ(vectors::to_hex(test_keys::slice(with_65537, with_65537.size() - 5, 5)),
              "0203010001");
    std::memset(key.pub.public_exponent, 0, RSA_MAX_MODULUS_LEN);
    key.pub.public_exponent[RSA_MAX_MODULUS_LEN - 1] = 3;
    const Bytes with_3 =
        encode([&](DerWriter* w) { return rsa_write_public_key(w, &key.pub); }, 4000);
    EXPECT_EQ(vectors::to_hex(test_keys::slice(with_3, with_3.size() - 3, 3)), "020103");
    EXPECT_EQ(with_3.size(), with_65537.size() - 2);
}

// Each private number, in turn, starts with 7F (no sign byte: one byte
// shorter than the bound) or with 80 (sign byte: the bound).
TEST(KeyEncoding, SignByteRuleForEveryPrivateNumber) {
    const uint32_t bound = 321;
    for (int field = 0; field < 6; ++field) {
        for (const uint8_t first : {uint8_t{0x7F}, uint8_t{0x80}}) {
            FullKey key(512);
            uint8_t* halves[] = {key.priv.prime1, key.priv.prime2, key.priv.exponent1,
                                 key.priv.exponent2, key.priv.coefficient};
            if (field == 0) {
                set_number(key.priv.private_exponent, RSA_MAX_MODULUS_LEN, 64, first, 0x11);
            } else {
                set_number(halves[field - 1], RSA_MAX_PRIME_LEN, 32, first, 0x11);
            }
            const Bytes der =
                encode([&](DerWriter* w) { return rsa_write_private_key(w, &key.priv); }, 4000);
            EXPECT_EQ(der.size(), first == 0x80 ? bound : bound - 1)
                << "field " << field << ", first byte " << int{first};
        }
    }
}

TEST(KeyEncoding, UnknownAlgorithmCodeFails) {
    const FullKey key(512);
    EXPECT_TRUE(
        encode([&](DerWriter* w) { return rsa_write_public_key_info(w, 99, &key.pub); }, 4000)
            .empty());
    EXPECT_TRUE(
        encode([&](DerWriter* w) { return rsa_write_private_key_info(w, 3, &key.priv); }, 4000)
            .empty());
}

}  // namespace
