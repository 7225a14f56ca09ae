#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/cipher/des.h"
#include "tests/support/process.h"
#include "tests/support/vectors.h"

namespace {

using testing_support::run;
using vectors::Bytes;
using vectors::to_hex;

// OpenSSL keeps single DES in its legacy provider.
std::vector<std::string> openssl_des_cbc(const Bytes& key, const Bytes& iv, bool encrypt) {
    return {"openssl",   "enc",    encrypt ? "-e" : "-d",
            "-des-cbc",  "-nopad", "-K",
            to_hex(key), "-iv",    to_hex(iv),
            "-provider", "legacy", "-provider",
            "default"};
}

// Long messages (well past the published vectors' four blocks) under several
// keys and IVs, compared with OpenSSL in both directions.
TEST(DesCbcOpenssl, LongMessagesMatchOpenssl) {
    struct Case {
        Bytes key;
        Bytes iv;
        size_t len;
    };
    const Case cases[] = {
        {vectors::from_hex("0123456789abcdef"), vectors::from_hex("1234567890abcdef"), 8},
        {vectors::from_hex("fedcba9876543210"), vectors::from_hex("0000000000000000"), 1024},
        {vectors::from_hex("8f0e1d2c3b4a5968"), vectors::from_hex("ffffffffffffffff"), 4104},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(to_hex(c.key) + " " + std::to_string(c.len));
        Bytes plain(c.len);
        for (size_t i = 0; i < plain.size(); ++i)
            plain[i] = static_cast<uint8_t>((i * 131) ^ (i >> 8));

        DesCbcContext ctx;
        des_cbc_init(&ctx, c.key.data(), c.iv.data(), 1);
        Bytes ours(plain.size());
        ASSERT_EQ(
            des_cbc_update(&ctx, ours.data(), plain.data(), static_cast<uint32_t>(plain.size())),
            STATUS_OK);

        auto theirs =
            run(openssl_des_cbc(c.key, c.iv, true), std::string(plain.begin(), plain.end()));
        ASSERT_EQ(theirs.exit_code, 0) << theirs.err;
        EXPECT_EQ(to_hex(ours), to_hex(Bytes(theirs.out.begin(), theirs.out.end())));

        auto back = run(openssl_des_cbc(c.key, c.iv, false), std::string(ours.begin(), ours.end()));
        ASSERT_EQ(back.exit_code, 0) << back.err;
        EXPECT_EQ(to_hex(Bytes(back.out.begin(), back.out.end())), to_hex(plain));
    }
}

}  // namespace
