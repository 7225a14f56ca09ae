// The PKCS#12 writer and reader of this library against each other: both
// presets give back the key and the certificates, a wrong password is told
// as such, and a damaged file is refused at every length with no crash.
// (Other programs reading our files: tests/cli/pkcs12_interop_test.cpp.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/pkcs12/pfx_crypt.h"
#include "crypto/pkcs12/pfx_read.h"
#include "crypto/pkcs12/pfx_write.h"
#include "tests/request/test_keys.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kPassword =
    "Contrase\xF1"
    "a 2026";

RandomPool seeded_pool(uint8_t seed) {
    RandomPool pool;
    rand_init(&pool);
    uint8_t bytes[RAND_SEED_BYTES];
    std::memset(bytes, seed, sizeof bytes);
    rand_update(&pool, bytes, sizeof bytes);
    return pool;
}

// Two "certificates": the writer stores them as they are, whatever they hold.
struct Fixture {
    Bytes cert{0x30, 0x03, 0x02, 0x01, 0x07};
    Bytes chain = Bytes(700, 0x5A);

    Bytes write(int preset, const char* password, uint8_t seed = 1) {
        PfxInput input{};
        input.key = &test_keys::generate(1024).private_key;
        input.certificates[0] = ByteSpan{cert.data(), static_cast<uint32_t>(cert.size())};
        input.certificates[1] = ByteSpan{chain.data(), static_cast<uint32_t>(chain.size())};
        input.certificate_count = 2;
        input.friendly_name = reinterpret_cast<const uint8_t*>(
            "Mar\xED"
            "a");
        input.friendly_name_len = 5;
        input.password = reinterpret_cast<const uint8_t*>(password);
        input.password_len = static_cast<uint32_t>(std::strlen(password));
        input.preset = preset;
        RandomPool pool = seeded_pool(seed);
        Bytes out(pfx_size_bound(&input));
        uint32_t len = 0;
        EXPECT_EQ(pfx_write(&input, &pool, out.data(), static_cast<uint32_t>(out.size()), &len),
                  PFX_WRITE_OK);
        out.resize(len);
        return out;
    }
};

Status read(const Bytes& file, const char* password, PfxContents* contents) {
    return pfx_read(file.data(), static_cast<uint32_t>(file.size()),
                    reinterpret_cast<const uint8_t*>(password),
                    static_cast<uint32_t>(std::strlen(password)), contents);
}

TEST(Pfx, BothPresetsGiveBackKeyAndCertificates) {
    Fixture f;
    for (int preset : {PFX_PRESET_COMPATIBLE, PFX_PRESET_MODERN}) {
        SCOPED_TRACE(preset);
        const Bytes file = f.write(preset, kPassword);
        PfxContents c;
        ASSERT_EQ(read(file, kPassword, &c), PFX_READ_OK);
        EXPECT_EQ(c.mac_digest, preset == PFX_PRESET_MODERN ? ALG_SHA256 : ALG_SHA1);
        EXPECT_EQ(c.mac_iterations, PFX_ITERATIONS);
        const uint32_t scheme =
            preset == PFX_PRESET_MODERN ? PFX_SCHEME_PBES2 : PFX_SCHEME_SHA_3DES;
        EXPECT_EQ(c.key_scheme, scheme);
        EXPECT_EQ(c.certificate_scheme, scheme);
        ASSERT_TRUE(c.has_key);
        EXPECT_EQ(std::memcmp(&c.key, &test_keys::generate(1024).private_key, sizeof c.key), 0);
        ASSERT_EQ(c.certificate_count, 2u);
        EXPECT_EQ(Bytes(c.certificates[0].data, c.certificates[0].data + c.certificates[0].length),
                  f.cert);
        EXPECT_EQ(Bytes(c.certificates[1].data, c.certificates[1].data + c.certificates[1].length),
                  f.chain);
        pfx_release(&c);
        EXPECT_EQ(c.storage, nullptr);
    }
}

// Salts and IVs come from the pool alone: the same pool gives the same
// file, another pool another one.
TEST(Pfx, SaltsComeFromThePool) {
    Fixture f;
    EXPECT_EQ(f.write(PFX_PRESET_MODERN, kPassword, 3), f.write(PFX_PRESET_MODERN, kPassword, 3));
    EXPECT_NE(f.write(PFX_PRESET_MODERN, kPassword, 3), f.write(PFX_PRESET_MODERN, kPassword, 4));
    PfxInput input{};
    input.key = &test_keys::generate(1024).private_key;
    input.certificates[0] = ByteSpan{f.cert.data(), 5};
    input.certificate_count = 1;
    RandomPool unseeded;
    rand_init(&unseeded);
    Bytes out(pfx_size_bound(&input));
    uint32_t len = 0;
    EXPECT_EQ(pfx_write(&input, &unseeded, out.data(), static_cast<uint32_t>(out.size()), &len),
              PFX_WRITE_NOT_SEEDED);
}

TEST(Pfx, RefusedInputs) {
    Fixture f;
    PfxInput input{};
    input.key = &test_keys::generate(1024).private_key;
    input.certificates[0] = ByteSpan{f.cert.data(), 5};
    input.certificate_count = 1;
    RandomPool pool = seeded_pool(1);
    Bytes out(pfx_size_bound(&input));
    uint32_t len = 0;
    const uint32_t room = static_cast<uint32_t>(out.size());
    EXPECT_EQ(pfx_write(&input, &pool, out.data(), room, &len), PFX_WRITE_OK);
    // The exact size fits, one byte less does not.
    const uint32_t exact = len;
    EXPECT_EQ(pfx_write(&input, &pool, out.data(), exact, &len), PFX_WRITE_OK);
    EXPECT_EQ(pfx_write(&input, &pool, out.data(), exact - 1, &len), PFX_WRITE_BAD_INPUT);
    PfxInput bad = input;
    bad.certificate_count = 0;
    EXPECT_EQ(pfx_write(&bad, &pool, out.data(), room, &len), PFX_WRITE_BAD_INPUT);
    bad = input;
    bad.certificates[0].length = 0;
    EXPECT_EQ(pfx_write(&bad, &pool, out.data(), room, &len), PFX_WRITE_BAD_INPUT);
    bad = input;
    bad.preset = 7;
    EXPECT_EQ(pfx_write(&bad, &pool, out.data(), room, &len), PFX_WRITE_BAD_INPUT);
}

// Wrong passwords, among them ones that differ in one character, its case
// or an appended space, are all reported as wrong (the MAC is checked over
// the whole file before anything is decrypted).
TEST(Pfx, WrongPasswordsAreTold) {
    Fixture f;
    for (int preset : {PFX_PRESET_COMPATIBLE, PFX_PRESET_MODERN}) {
        const Bytes file = f.write(preset, kPassword);
        for (const char* wrong : {"",
                                  "Contrase\xF1"
                                  "a 2025",
                                  "contrase\xF1"
                                  "a 2026",
                                  "Contrase\xF1"
                                  "a 2026 ",
                                  "Contrasena 2026"}) {
            PfxContents c;
            EXPECT_EQ(read(file, wrong, &c), PFX_READ_WRONG_PASSWORD) << wrong;
            EXPECT_EQ(c.storage, nullptr);
            EXPECT_FALSE(c.has_key);
        }
    }
}

// Every truncation and every single flipped byte is refused, never read as
// a good file (run under the sanitizers too).
TEST(Pfx, DamagedFilesAreRefused) {
    Fixture f;
    const Bytes file = f.write(PFX_PRESET_COMPATIBLE, kPassword);
    for (size_t n = 0; n < file.size(); ++n) {
        PfxContents c;
        const Bytes cut(file.begin(), file.begin() + static_cast<long>(n));
        EXPECT_NE(read(cut, kPassword, &c), PFX_READ_OK) << n;
    }
    for (size_t at = 0; at < file.size(); ++at) {
        Bytes flipped = file;
        flipped[at] ^= 0x01;
        PfxContents c;
        EXPECT_NE(read(flipped, kPassword, &c), PFX_READ_OK) << at;
    }
}

// The schemes alone: every plaintext length around the block sizes comes
// back, and a ciphertext decrypted under another password fails its
// padding or gives other bytes, never the plaintext.
TEST(PfxCrypt, RoundTripAtEveryLength) {
    const uint8_t salt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    PfxScheme schemes[2] = {};
    schemes[0].kind = PFX_SCHEME_SHA_3DES;
    schemes[1].kind = PFX_SCHEME_PBES2;
    schemes[1].prf = ALG_SHA256;
    schemes[1].cipher = PFX_CIPHER_AES256_CBC;
    schemes[1].iv_len = 16;
    for (PfxScheme& s : schemes) {
        s.salt = salt;
        s.salt_len = 8;
        s.iterations = 3;
        for (uint32_t len = 0; len <= 33; ++len) {
            Bytes plain(len);
            for (uint32_t i = 0; i < len; ++i)
                plain[i] = static_cast<uint8_t>(i * 29 + 3);
            Bytes cipher(len + PFX_MAX_BLOCK);
            uint32_t cipher_len = 0, plain_len = 0;
            const uint8_t* pw = reinterpret_cast<const uint8_t*>("clave");
            ASSERT_EQ(pfx_encrypt(&s, pw, 5, plain.data(), len, cipher.data(),
                                  static_cast<uint32_t>(cipher.size()), &cipher_len),
                      PFX_CRYPT_OK);
            const uint32_t block = s.kind == PFX_SCHEME_PBES2 ? 16 : 8;
            EXPECT_EQ(cipher_len, (len / block + 1) * block);
            Bytes back(cipher_len);
            ASSERT_EQ(pfx_decrypt(&s, pw, 5, cipher.data(), cipher_len, back.data(), &plain_len),
                      PFX_CRYPT_OK);
            back.resize(plain_len);
            EXPECT_EQ(back, plain);
            const Status other = pfx_decrypt(&s, reinterpret_cast<const uint8_t*>("clavE"), 5,
                                             cipher.data(), cipher_len, back.data(), &plain_len);
            if (other == PFX_CRYPT_OK) {
                back.resize(plain_len);
                EXPECT_NE(back, plain);
            }
        }
    }
}

}  // namespace
