// Triple DES in CBC mode against the published answers: one-block two- and
// three-key answers, the NIST multi-block message tests (keying options 2
// and 3) and a padded CBC message; each both ways, in pieces and in place.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/cipher/des_ede3.h"
#include "tests/cipher/block_cbc.h"

namespace {

using vectors::Bytes;
using vectors::to_hex;

struct Des3 {
    using Context = Des3CbcContext;
    static constexpr uint32_t kBlock = 8;
    static void init(Context* c, const uint8_t* key, const uint8_t* iv, int32_t e) {
        des3_cbc_init(c, key, iv, e);
    }
    static Status update(Context* c, uint8_t* out, const uint8_t* in, uint32_t len) {
        return des3_cbc_update(c, out, in, len);
    }
};

void check(const Bytes& key, const Bytes& iv, const Bytes& plain, const Bytes& cipher) {
    cbc_test::check_both_ways<Des3>(key, iv, plain, cipher);
}

TEST(Des3Cbc, CodebookTwoAndThreeKeyAnswers) {
    const std::vector<vectors::Record> records = vectors::read_records("tdes/tripledes_botan.vec");
    ASSERT_EQ(records.size(), 57u);
    for (const vectors::Record& r : records) {
        SCOPED_TRACE(r.where());
        Bytes key = r.bytes("Key");
        ASSERT_TRUE(key.size() == 16 || key.size() == 24);
        if (key.size() == 16)  // K1 || K2 is K1 || K2 || K1
            key.insert(key.end(), key.begin(), key.begin() + 8);
        cbc_test::check_codebook<Des3>(key, r.bytes("In"), r.bytes("Out"));
    }
}

TEST(Des3Cbc, NistMultiBlockMessages) {
    for (const char* file : {"tdes/TCBCMMT2.rsp", "tdes/TCBCMMT3.rsp"}) {
        const std::vector<vectors::Record> records = vectors::read_records(file);
        ASSERT_EQ(records.size(), 20u) << file;
        for (const vectors::Record& r : records) {
            SCOPED_TRACE(r.where());
            Bytes key = r.bytes("KEY1");
            for (const char* k : {"KEY2", "KEY3"}) {
                const Bytes part = r.bytes(k);
                key.insert(key.end(), part.begin(), part.end());
            }
            check(key, r.bytes("IV"), r.bytes("PLAINTEXT"), r.bytes("CIPHERTEXT"));
        }
    }
}

TEST(Des3Cbc, PublishedCbcMessageWithAndWithoutPadding) {
    const std::vector<vectors::Record> records = vectors::read_records("aes/cbc_botan.vec");
    int seen = 0;
    for (const vectors::Record& r : records) {
        if (r.section.rfind("TripleDES/CBC/", 0) != 0)
            continue;
        SCOPED_TRACE(r.where());
        Bytes plain = r.bytes("In");
        if (r.section == "TripleDES/CBC/PKCS7") {
            const uint8_t pad = static_cast<uint8_t>(8 - plain.size() % 8);
            plain.insert(plain.end(), pad, pad);
        }
        check(r.bytes("Key"), r.bytes("Nonce"), plain, r.bytes("Out"));
        ++seen;
    }
    EXPECT_EQ(seen, 2);
}

// Three equal keys are single DES: the FIPS 81 CBC example.
TEST(Des3Cbc, ThreeEqualKeysAreSingleDes) {
    const vectors::Record r = vectors::read_records("des/des_fips81.rsp").at(1);
    Bytes key = r.bytes("KEYs");
    key.insert(key.end(), key.begin(), key.end());
    key.insert(key.end(), key.begin(), key.begin() + 8);
    check(key, r.bytes("IV"), r.bytes("PLAINTEXT"), r.bytes("CIPHERTEXT"));
}

TEST(Des3Cbc, LengthNotMultipleOfEightChangesNothing) {
    const Bytes key(24, 0x5C), iv(8, 0x01), in(32, 0x33);
    for (int encrypt : {1, 0}) {
        Des3CbcContext ctx;
        des3_cbc_init(&ctx, key.data(), iv.data(), encrypt);
        Bytes out(32, 0xA5);
        ASSERT_EQ(des3_cbc_update(&ctx, out.data(), in.data(), 8), STATUS_OK);
        const Des3CbcContext before = ctx;
        const Bytes out_before = out;
        for (uint32_t len : {1u, 7u, 9u, 15u, 0xFFFFFFFFu}) {
            EXPECT_EQ(des3_cbc_update(&ctx, out.data() + 8, in.data() + 8, len), STATUS_BAD_LENGTH);
            EXPECT_EQ(std::memcmp(&ctx, &before, sizeof ctx), 0);
            EXPECT_EQ(to_hex(out), to_hex(out_before));
        }
    }
}

}  // namespace
