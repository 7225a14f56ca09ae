// OpenSSL opens our key files: it decrypts each to exactly the PrivateKeyInfo
// we wrote, accepts that key, and derives the same salt from the password.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crypto/keyfile/keyfile.h"
#include "tests/request/openssl_reader.h"
#include "tests/request/test_keys.h"
#include "tests/support/process.h"
#include "tests/support/vectors.h"

namespace {

using test_keys::Bytes;
using testing_support::run;
using testing_support::TempDir;

Bytes protect(const RsaPrivateKey& key, const std::string& password, uint32_t iterations = 1) {
    Bytes out(8192);
    uint32_t length = 0;
    EXPECT_EQ(keyfile_protect_private_key(out.data(), &length, ALG_PBE_MD5_DES_CBC, iterations,
                                          reinterpret_cast<const uint8_t*>(password.data()),
                                          static_cast<uint32_t>(password.size()), &key),
              KEYFILE_OK);
    out.resize(length);
    return out;
}

void expect_rsa_check(const TempDir& dir, const Bytes& private_key_info) {
    const std::string file = dir.file("checked.der");
    testing_support::write_file(file, private_key_info);
    const auto result = run({"openssl", "rsa", "-inform", "DER", "-in", file, "-check", "-noout"});
    EXPECT_EQ(result.exit_code, 0) << openssl_reader::all_output(result);
    EXPECT_NE(openssl_reader::all_output(result).find("RSA key ok"), std::string::npos)
        << openssl_reader::all_output(result);
}

TEST(KeyFileInterop, OpenSslDecryptsEveryKeySize) {
    const std::string password = "Clave2026";
    for (const uint32_t bits : {508u, 512u, 1025u, 2048u}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        const test_keys::KeyPair& key = test_keys::generate(bits, 3);
        const Bytes expected = test_keys::private_key_info(key.private_key);
        TempDir dir;
        const Bytes recovered =
            openssl_reader::decrypt_key_file(dir, protect(key.private_key, password), password);
        EXPECT_EQ(vectors::to_hex(recovered), vectors::to_hex(expected));
        expect_rsa_check(dir, recovered);
    }
}

TEST(KeyFileInterop, SaltIsTheDigestOfPasswordAndKey) {
    const std::string password = "Clave2026";
    const test_keys::KeyPair& key = test_keys::generate(1024, 3);
    const Bytes file = protect(key.private_key, password);
    Bytes input(password.begin(), password.end());
    const Bytes info = test_keys::private_key_info(key.private_key);
    input.insert(input.end(), info.begin(), info.end());
    TempDir dir;
    testing_support::write_file(dir.file("salted"), input);
    const auto result =
        run({"openssl", "dgst", "-md5", "-binary", "-out", dir.file("md5"), dir.file("salted")});
    ASSERT_EQ(result.exit_code, 0) << openssl_reader::all_output(result);
    const Bytes md5 = testing_support::read_file(dir.file("md5"));
    ASSERT_EQ(md5.size(), 16u);
    EXPECT_EQ(vectors::to_hex(test_keys::slice(file, 21, 8)),
              vectors::to_hex(test_keys::slice(md5, 0, 8)));
}

TEST(KeyFileInterop, EmptyPasswordAndHighestIterationCount) {
    const test_keys::KeyPair& key = test_keys::generate(512, 4);
    const Bytes expected = test_keys::private_key_info(key.private_key);
    const struct {
        std::string password;
        uint32_t iterations;
    } cases[] = {{"", 1}, {"Clave2026", 127}, {"abcdefghijklm", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE("password '" + c.password + "', " + std::to_string(c.iterations));
        TempDir dir;
        const Bytes file = protect(key.private_key, c.password, c.iterations);
        EXPECT_EQ(vectors::to_hex(openssl_reader::decrypt_key_file(dir, file, c.password)),
                  vectors::to_hex(expected));
    }
}

}  // namespace
