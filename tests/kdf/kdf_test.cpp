// PBKDF2-HMAC (RFC 6070 among the answers) and the PKCS#12 derivation
// (RFC 7292 appendix B) against published answers, outputs of several
// digest lengths, one and several blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/kdf/pbkdf2.h"
#include "crypto/kdf/pkcs12_kdf.h"
#include "tests/support/vectors.h"

namespace {

using vectors::Bytes;
using vectors::to_hex;

const uint8_t* text_bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

TEST(Pbkdf2, PublishedAnswers) {
    const std::vector<vectors::Record> records = vectors::read_records("pbkdf/pbkdf2_botan.vec");
    ASSERT_EQ(records.size(), 12u);
    for (const vectors::Record& r : records) {
        SCOPED_TRACE(r.where());
        const AlgorithmCode digest = r.section == "PBKDF2(HMAC(SHA-1))"     ? ALG_SHA1
                                     : r.section == "PBKDF2(HMAC(SHA-256))" ? ALG_SHA256
                                                                            : 0;
        const std::string password = r.text("Passphrase");
        const Bytes salt = r.bytes("Salt");
        const Bytes expected = r.bytes("Output");
        Bytes out(expected.size() + 1, 0xA5);
        ASSERT_EQ(pbkdf2_hmac(digest, text_bytes(password), static_cast<uint32_t>(password.size()),
                              salt.data(), static_cast<uint32_t>(salt.size()),
                              static_cast<uint32_t>(std::stoul(r.text("Iterations"))), out.data(),
                              static_cast<uint32_t>(expected.size())),
                  STATUS_OK);
        EXPECT_EQ(out.back(), 0xA5) << "written past the output";
        out.pop_back();
        EXPECT_EQ(to_hex(out), to_hex(expected));
    }
}

TEST(Pbkdf2, RefusedParametersWriteNothing) {
    uint8_t out[4] = {7, 7, 7, 7};
    const uint8_t salt[1] = {1};
    EXPECT_EQ(pbkdf2_hmac(ALG_SHA1, nullptr, 0, salt, 1, 0, out, 4), STATUS_BAD_LENGTH);
    EXPECT_EQ(pbkdf2_hmac(ALG_SHA1, nullptr, 0, salt, 1, 1, out, 0), STATUS_BAD_LENGTH);
    EXPECT_EQ(pbkdf2_hmac(ALG_MD5, nullptr, 0, salt, 1, 1, out, 4), STATUS_BAD_DIGEST);
    for (uint8_t b : out)
        EXPECT_EQ(b, 7);
}

TEST(Pkcs12Kdf, PublishedAnswers) {
    const std::vector<vectors::Record> records =
        vectors::read_records("pbkdf/pkcs12_kdf_botan.vec");
    ASSERT_EQ(records.size(), 14u);
    for (const vectors::Record& r : records) {
        SCOPED_TRACE(r.where());
        // PKCS12-KDF(SHA-1,1)
        const std::string inside = r.section.substr(11, r.section.size() - 12);
        const AlgorithmCode digest = inside.rfind("SHA-256,", 0) == 0 ? ALG_SHA256 : ALG_SHA1;
        const uint8_t id = static_cast<uint8_t>(inside.back() - '0');
        const std::string password = r.text("Passphrase");
        const Bytes salt = r.bytes("Salt");
        const Bytes expected = r.bytes("Output");
        Bytes out(expected.size() + 1, 0xA5);
        ASSERT_EQ(
            pkcs12_kdf(digest, id, text_bytes(password), static_cast<uint32_t>(password.size()),
                       salt.data(), static_cast<uint32_t>(salt.size()),
                       static_cast<uint32_t>(std::stoul(r.text("Iterations"))), out.data(),
                       static_cast<uint32_t>(expected.size())),
            STATUS_OK);
        EXPECT_EQ(out.back(), 0xA5) << "written past the output";
        out.pop_back();
        EXPECT_EQ(to_hex(out), to_hex(expected));
    }
}

TEST(Pkcs12Kdf, RefusedParametersWriteNothing) {
    uint8_t out[4] = {7, 7, 7, 7};
    const uint8_t salt[8] = {};
    const std::string long_password(PKCS12_MAX_PASSWORD + 1, 'a');
    EXPECT_EQ(pkcs12_kdf(ALG_MD5, 1, nullptr, 0, salt, 8, 1, out, 4), STATUS_BAD_DIGEST);
    EXPECT_EQ(pkcs12_kdf(ALG_SHA1, 1, nullptr, 0, salt, 8, 0, out, 4), STATUS_BAD_LENGTH);
    EXPECT_EQ(pkcs12_kdf(ALG_SHA1, 1, nullptr, 0, salt, 8, 1, out, 0), STATUS_BAD_LENGTH);
    EXPECT_EQ(pkcs12_kdf(ALG_SHA1, 1, text_bytes(long_password),
                         static_cast<uint32_t>(long_password.size()), salt, 8, 1, out, 4),
              STATUS_BAD_LENGTH);
    for (uint8_t b : out)
        EXPECT_EQ(b, 7);
}

}  // namespace
