// AES-256 in CBC mode against the published answers: the NIST AESAVS known
// answers (GFSbox, KeySbox, VarKey, VarTxt), the multi-block messages, the
// Monte Carlo test, the FIPS 197 and SP 800-38A examples; each both ways, in
// pieces and in place.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/cipher/aes.h"
#include "tests/cipher/block_cbc.h"

namespace {

using vectors::Bytes;
using vectors::to_hex;

struct Aes {
    using Context = AesCbcContext;
    static constexpr uint32_t kBlock = 16;
    static void init(Context* c, const uint8_t* key, const uint8_t* iv, int32_t e) {
        aes256_cbc_init(c, key, iv, e);
    }
    static Status update(Context* c, uint8_t* out, const uint8_t* in, uint32_t len) {
        return aes256_cbc_update(c, out, in, len);
    }
};

void check(const Bytes& key, const Bytes& iv, const Bytes& plain, const Bytes& cipher) {
    cbc_test::check_both_ways<Aes>(key, iv, plain, cipher);
}

TEST(Aes256Cbc, NistKnownAnswersAndMessages) {
    struct File {
        const char* name;
        size_t records;
    } files[] = {{"aes/CBCGFSbox256.rsp", 10},
                 {"aes/CBCKeySbox256.rsp", 32},
                 {"aes/CBCVarKey256.rsp", 512},
                 {"aes/CBCVarTxt256.rsp", 256},
                 {"aes/CBCMMT256.rsp", 20}};
    for (const File& f : files) {
        const std::vector<vectors::Record> records = vectors::read_records(f.name);
        EXPECT_EQ(records.size(), f.records) << f.name;
        for (const vectors::Record& r : records) {
            SCOPED_TRACE(r.where());
            check(r.bytes("KEY"), r.bytes("IV"), r.bytes("PLAINTEXT"), r.bytes("CIPHERTEXT"));
        }
    }
}

TEST(Aes256Cbc, CodebookAnswers) {
    const std::vector<vectors::Record> records = vectors::read_records("aes/aes256_botan.vec");
    ASSERT_EQ(records.size(), 516u);
    for (const vectors::Record& r : records) {
        SCOPED_TRACE(r.where());
        cbc_test::check_codebook<Aes>(r.bytes("Key"), r.bytes("In"), r.bytes("Out"));
    }
}

TEST(Aes256Cbc, Sp80038aExample) {
    int seen = 0;
    for (const vectors::Record& r : vectors::read_records("aes/cbc_botan.vec")) {
        if (r.section != "AES-256/CBC/NoPadding")
            continue;
        SCOPED_TRACE(r.where());
        check(r.bytes("Key"), r.bytes("Nonce"), r.bytes("In"), r.bytes("Out"));
        ++seen;
    }
    EXPECT_EQ(seen, 1);
}

// AESAVS 6.4.2: from each checkpoint's key, IV and first input, 1000 blocks
// through one chain where block 1 is the IV and block j >= 2 is output
// j - 2; the last output is the checkpoint's answer. Decryption the same
// way with the roles of plain and cipher text swapped.
TEST(Aes256Cbc, MonteCarlo) {
    const std::vector<vectors::Record> records = vectors::read_records("aes/CBCMCT256.rsp");
    ASSERT_EQ(records.size(), 200u);
    for (const vectors::Record& r : records) {
        SCOPED_TRACE(r.where());
        const bool encrypt = r.section == "ENCRYPT";
        const Bytes key = r.bytes("KEY"), iv = r.bytes("IV");
        Bytes input = r.bytes(encrypt ? "PLAINTEXT" : "CIPHERTEXT");
        AesCbcContext ctx;
        aes256_cbc_init(&ctx, key.data(), iv.data(), encrypt ? 1 : 0);
        Bytes older = iv, last(16);
        for (int j = 0; j < 1000; ++j) {
            Bytes out(16);
            ASSERT_EQ(aes256_cbc_update(&ctx, out.data(), input.data(), 16), STATUS_OK);
            input = j == 0 ? iv : last;
            last = out;
        }
        EXPECT_EQ(to_hex(last), to_hex(r.bytes(encrypt ? "CIPHERTEXT" : "PLAINTEXT")));
    }
}

TEST(Aes256Cbc, LengthNotMultipleOfSixteenChangesNothing) {
    const Bytes key(32, 0x5C), iv(16, 0x01), in(48, 0x33);
    for (int encrypt : {1, 0}) {
        AesCbcContext ctx;
        aes256_cbc_init(&ctx, key.data(), iv.data(), encrypt);
        Bytes out(48, 0xA5);
        ASSERT_EQ(aes256_cbc_update(&ctx, out.data(), in.data(), 16), STATUS_OK);
        const AesCbcContext before = ctx;
        const Bytes out_before = out;
        for (uint32_t len : {1u, 8u, 15u, 17u, 0xFFFFFFFFu}) {
            EXPECT_EQ(aes256_cbc_update(&ctx, out.data() + 16, in.data() + 16, len),
                      STATUS_BAD_LENGTH);
            EXPECT_EQ(std::memcmp(&ctx, &before, sizeof ctx), 0);
            EXPECT_EQ(to_hex(out), to_hex(out_before));
        }
        EXPECT_EQ(aes256_cbc_update(&ctx, nullptr, nullptr, 0), STATUS_OK);
        EXPECT_EQ(std::memcmp(&ctx, &before, sizeof ctx), 0);
    }
}

}  // namespace
