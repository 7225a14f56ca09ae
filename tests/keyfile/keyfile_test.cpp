// The protected key file: the worked 388-byte file, its layout under both
// schemes, the refusals, and the padding and room rules of the encryption.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "crypto/keyfile/keyfile.h"
#include "crypto/keyfile/pbe.h"
#include "tests/request/test_keys.h"
#include "tests/support/vectors.h"

namespace {

using test_keys::Bytes;
using test_keys::KeyPair;
using vectors::from_hex;
using vectors::to_hex;

const char* const password = "Clave2026";

struct Protected {
    Status status;
    uint32_t length;
    Bytes out;  // the whole 8192-byte output area
    Bytes file() const { return Bytes(out.begin(), out.begin() + length); }
};

Protected protect(const KeyPair& key, AlgorithmCode algorithm = ALG_PBE_MD5_DES_CBC,
                  uint32_t iterations = 1, const char* pass = password) {
    Protected p{0, 0xDEADBEEF, Bytes(8192, 0xEE)};
    const uint32_t pass_len = pass == nullptr ? 0 : static_cast<uint32_t>(std::strlen(pass));
    p.status = keyfile_protect_private_key(p.out.data(), &p.length, algorithm, iterations,
                                           reinterpret_cast<const uint8_t*>(pass), pass_len,
                                           &key.private_key);
    return p;
}

std::string hex(const char* spaced) {
    return to_hex(from_hex(spaced));
}

// Offsets in a file whose outer length takes 82 and two bytes.
constexpr size_t OID_LAST = 16;  // last byte of the scheme's identifier
constexpr size_t SALT = 21;
constexpr size_t COUNT = 29;  // 02 01 [count]
constexpr size_t DATA = 32;   // 04 82 [len]

TEST(KeyFile, WorkedExampleOf388Bytes) {
    const KeyPair& key = test_keys::with_private_key_info_size(512, 344);
    const Protected p = protect(key);
    ASSERT_EQ(p.status, KEYFILE_OK);
    ASSERT_EQ(p.length, 388u);
    const Bytes file = p.file();
    EXPECT_EQ(to_hex(test_keys::slice(file, 0, SALT)),
              hex("30 82 01 80 30 1A 06 09 2A 86 48 86 F7 0D 01 05 03 30 0D 04 08"));
    EXPECT_EQ(to_hex(test_keys::slice(file, COUNT, 3)), "020101");
    EXPECT_EQ(to_hex(test_keys::slice(file, DATA, 4)), hex("04 82 01 60"));
    EXPECT_EQ(p.out[388], 0xEE);  // nothing past the file
}

TEST(KeyFile, ExactSizeBufferAndOneShort) {
    const KeyPair& key = test_keys::with_private_key_info_size(512, 344);
    const Bytes expected = protect(key).file();
    auto work = std::make_unique<KeyProtectionBuffers>();
    auto w = std::make_unique<DerWriter>();
    for (uint32_t capacity = 0; capacity <= 388; ++capacity) {
        Bytes buffer(capacity + 1);
        const uint32_t n = keyfile_write_encrypted_key_info(
            w.get(), buffer.data(), capacity, ALG_PBE_MD5_DES_CBC, 1,
            reinterpret_cast<const uint8_t*>(password), 9, &key.private_key, work.get());
        if (capacity < 388) {
            ASSERT_EQ(n, 0u) << capacity;
        } else {
            ASSERT_EQ(n, 388u);
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 388), expected);
        }
    }
}

TEST(KeyFile, SameKeyAndPasswordGiveTheSameFile) {
    const KeyPair& key = test_keys::generate(1024);
    const Bytes first = protect(key).file();
    EXPECT_EQ(protect(key).file(), first);
    const Bytes other = protect(key, ALG_PBE_MD5_DES_CBC, 1, "Clave2027").file();
    ASSERT_EQ(other.size(), first.size());
    EXPECT_NE(test_keys::slice(other, SALT, 8), test_keys::slice(first, SALT, 8));
    EXPECT_NE(test_keys::slice(other, DATA + 4, 64), test_keys::slice(first, DATA + 4, 64));
}

TEST(KeyFile, EmptyPasswordIsAccepted) {
    const KeyPair& key = test_keys::generate(512);
    const Protected with_null = protect(key, ALG_PBE_MD5_DES_CBC, 1, nullptr);
    const Protected with_empty = protect(key, ALG_PBE_MD5_DES_CBC, 1, "");
    EXPECT_EQ(with_null.status, KEYFILE_OK);
    EXPECT_EQ(with_null.file(), with_empty.file());
}

TEST(KeyFile, IterationCountIsStoredAndUsed) {
    const KeyPair& key = test_keys::generate(512);
    const Bytes once = protect(key, ALG_PBE_MD5_DES_CBC, 1).file();
    const Bytes many = protect(key, ALG_PBE_MD5_DES_CBC, 127).file();
    ASSERT_EQ(many.size(), once.size());
    EXPECT_EQ(to_hex(test_keys::slice(many, COUNT, 3)), "02017f");
    // Same salt (it does not depend on the count), different key.
    EXPECT_EQ(test_keys::slice(many, SALT, 8), test_keys::slice(once, SALT, 8));
    EXPECT_NE(test_keys::slice(many, DATA + 4, 8), test_keys::slice(once, DATA + 4, 8));
}

TEST(KeyFile, Md2SchemeHasTheSameLayout) {
    const KeyPair& key = test_keys::with_private_key_info_size(512, 344);
    const Bytes md5 = protect(key).file();
    const Protected md2 = protect(key, ALG_PBE_MD2_DES_CBC);
    ASSERT_EQ(md2.status, KEYFILE_OK);
    const Bytes file = md2.file();
    ASSERT_EQ(file.size(), 388u);
    EXPECT_EQ(file[OID_LAST], 0x01);
    EXPECT_EQ(to_hex(test_keys::slice(file, 0, OID_LAST)),
              to_hex(test_keys::slice(md5, 0, OID_LAST)));
    EXPECT_NE(test_keys::slice(file, SALT, 8), test_keys::slice(md5, SALT, 8));
}

TEST(KeyFile, RefusalsLeaveTheOutputAlone) {
    const KeyPair& key = test_keys::generate(512);
    const struct {
        AlgorithmCode algorithm;
        uint32_t iterations;
    } cases[] = {
        {ALG_RSA, 1},
        {ALG_MD5_WITH_RSA, 1},
        {ALG_DES_CBC, 1},
        {ALG_MD5, 1},
        {0, 1},
        {ALG_PBE_SHA_3DES, 1},
        {ALG_PBE_MD5_DES_CBC, 0},
        {ALG_PBE_MD5_DES_CBC, 128},
        {ALG_PBE_MD2_DES_CBC, 1000},
    };
    for (const auto& c : cases) {
        const Protected p = protect(key, c.algorithm, c.iterations);
        EXPECT_EQ(p.status, KEYFILE_FAILED) << c.algorithm << " / " << c.iterations;
        EXPECT_EQ(p.length, 0xDEADBEEFu);
        EXPECT_EQ(p.out, Bytes(8192, 0xEE));
    }
}

// Padding: n = 8 - (length mod 8) bytes of value n, written after the
// plaintext in its own buffer; the ciphertext is the padded length.
TEST(PasswordEncryption, PaddingForEveryResidue) {
    for (uint32_t length = 0; length <= 17; ++length) {
        Bytes plain(length + 8, 0x5A);
        Bytes cipher(32, 0);
        ByteSpan out{cipher.data(), 32};
        uint8_t salt[PBE_SALT_LEN];
        const uint32_t n = pbe_encrypt(ByteSpan{plain.data(), length}, &out, ALG_PBE_MD5_DES_CBC, 1,
                                       salt, reinterpret_cast<const uint8_t*>(password), 9);
        const uint32_t pad = 8 - length % 8;
        ASSERT_EQ(n, length + pad) << length;
        EXPECT_EQ(out.length, n);
        EXPECT_EQ(Bytes(plain.begin() + length, plain.begin() + length + pad),
                  Bytes(pad, static_cast<uint8_t>(pad)))
            << length;
    }
}

TEST(PasswordEncryption, RoomInPlaceAndRefusals) {
    const uint8_t* pass = reinterpret_cast<const uint8_t*>(password);
    uint8_t salt[PBE_SALT_LEN];
    Bytes plain(24, 0x33);
    // 16 bytes need 24 of room.
    Bytes cipher(24);
    ByteSpan short_room{cipher.data(), 23};
    EXPECT_EQ(
        pbe_encrypt(ByteSpan{plain.data(), 16}, &short_room, ALG_PBE_MD5_DES_CBC, 1, salt, pass, 9),
        0u);
    EXPECT_EQ(short_room.length, 23u);
    ByteSpan room{cipher.data(), 24};
    ASSERT_EQ(pbe_encrypt(ByteSpan{plain.data(), 16}, &room, ALG_PBE_MD5_DES_CBC, 1, salt, pass, 9),
              24u);

    // In place gives the same ciphertext.
    Bytes in_place(24, 0x33);
    ByteSpan same{in_place.data(), 24};
    ASSERT_EQ(
        pbe_encrypt(ByteSpan{in_place.data(), 16}, &same, ALG_PBE_MD5_DES_CBC, 1, salt, pass, 9),
        24u);
    EXPECT_EQ(in_place, cipher);

    ByteSpan any{cipher.data(), 24};
    EXPECT_EQ(pbe_encrypt(ByteSpan{plain.data(), 16}, &any, ALG_DES_CBC, 1, salt, pass, 9), 0u);
    EXPECT_EQ(pbe_encrypt(ByteSpan{plain.data(), 16}, &any, ALG_PBE_MD5_DES_CBC, 0, salt, pass, 9),
              0u);
    EXPECT_EQ(
        pbe_encrypt(ByteSpan{plain.data(), 16}, &any, ALG_PBE_MD5_DES_CBC, 1, salt, nullptr, 9),
        0u);
}

}  // namespace
