// OpenSSL as an independent reader: a generated key pair, written out as an
// RSAPrivateKey by openssl itself from the numbers in hex, passes
// `openssl rsa -check`, and `openssl pkeyutl -verifyrecover` gets the signed
// input back from a signature block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/rsa/rsa_keygen.h"
#include "crypto/rsa/rsa_sign.h"
#include "tests/rsa/seeded_pool.h"
#include "tests/support/process.h"
#include "tests/support/vectors.h"

namespace {

using testing_support::run;
using testing_support::TempDir;
using Bytes = std::vector<uint8_t>;

std::string integer(const uint8_t* bytes, uint32_t len) {
    std::string hex = vectors::to_hex(bytes, len);
    size_t first = hex.find_first_not_of('0');
    return "INTEGER:0x" + (first == std::string::npos ? std::string("0") : hex.substr(first));
}

// The key as an asn1parse generator configuration, made into DER by openssl.
std::string write_key_der(const TempDir& dir, const RsaPrivateKey& key) {
    std::string conf = "asn1=SEQUENCE:rsa_key\n[rsa_key]\nversion=INTEGER:0\n";
    conf += "n=" + integer(key.modulus, RSA_MAX_MODULUS_LEN) + "\n";
    conf += "e=" + integer(key.public_exponent, RSA_MAX_MODULUS_LEN) + "\n";
    conf += "d=" + integer(key.private_exponent, RSA_MAX_MODULUS_LEN) + "\n";
    conf += "p=" + integer(key.prime1, RSA_MAX_PRIME_LEN) + "\n";
    conf += "q=" + integer(key.prime2, RSA_MAX_PRIME_LEN) + "\n";
    conf += "exp1=" + integer(key.exponent1, RSA_MAX_PRIME_LEN) + "\n";
    conf += "exp2=" + integer(key.exponent2, RSA_MAX_PRIME_LEN) + "\n";
    conf += "coeff=" + integer(key.coefficient, RSA_MAX_PRIME_LEN) + "\n";
    std::string conf_path = dir.file("key.cnf"), der_path = dir.file("key.der");
    testing_support::write_file(conf_path, Bytes(conf.begin(), conf.end()));
    auto r = run({"openssl", "asn1parse", "-genconf", conf_path, "-out", der_path, "-noout"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return der_path;
}

TEST(RsaInterop, OpensslChecksGeneratedKeysAndRecoversSignedInput) {
    struct Case {
        uint32_t bits;
        int32_t big_exponent;
    } cases[] = {{508, 1}, {1025, 1}, {1536, 0}, {2048, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        RandomPool pool = seeded_pool(900 + c.bits);
        RsaKeySpec spec{c.bits, c.big_exponent};
        RsaPublicKey pub;
        RsaPrivateKey priv;
        ASSERT_EQ(rsa_generate_key_pair(&pub, &priv, &spec, &pool), STATUS_OK);

        TempDir dir;
        std::string der = write_key_der(dir, priv);
        auto check = run({"openssl", "rsa", "-inform", "DER", "-in", der, "-check", "-noout"});
        EXPECT_EQ(check.exit_code, 0) << check.err;
        EXPECT_NE(check.out.find("RSA key ok"), std::string::npos) << check.out << check.err;

        // An MD5 DigestInfo-sized input (34 bytes), as the request signature uses.
        Bytes input = vectors::from_hex("3020300c06082a864886f70d020505000410");
        for (uint8_t i = 0; i < 16; ++i)
            input.push_back(static_cast<uint8_t>(0xA0 + i * 3));
        uint32_t k = (c.bits + 7) / 8;
        Bytes sig(k);
        uint32_t sig_len = 0;
        ASSERT_EQ(rsa_sign_block(sig.data(), &sig_len, input.data(),
                                 static_cast<uint32_t>(input.size()), &priv),
                  STATUS_OK);
        ASSERT_EQ(sig_len, k);
        testing_support::write_file(dir.file("sig.bin"), sig);
        auto recover = run({"openssl", "pkeyutl", "-verifyrecover", "-inkey", der, "-keyform",
                            "DER", "-in", dir.file("sig.bin"), "-out", dir.file("rec.bin")});
        EXPECT_EQ(recover.exit_code, 0) << recover.err;
        EXPECT_EQ(vectors::to_hex(testing_support::read_file(dir.file("rec.bin"))),
                  vectors::to_hex(input));
    }
}

}  // namespace
