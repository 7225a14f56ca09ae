// Reading back: the signature check against every Wycheproof case, our own
// requests and key files read back and checked, tampered bytes, wrong
// passwords, and malformed input at every truncation.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "crypto/keyfile/keyfile.h"
#include "crypto/keyfile/keyfile_open.h"
#include "crypto/request/key_decoding.h"
#include "crypto/request/req_parse.h"
#include "crypto/request/req_sign.h"
#include "crypto/request/request.h"
#include "crypto/rsa/rsa_verify.h"
#include "tests/request/test_keys.h"
#include "tests/support/vectors.h"

namespace {

using test_keys::Bytes;

// Wycheproof's PKCS#1 v1.5 SHA-256 cases: the DigestInfo is built for the
// message and the signature checked with rsa_verify_block. "valid" must pass
// and "invalid" must fail. Of the "acceptable" ones, the DigestInfo without
// its NULL parameters fails (the check is exact) and the correct signatures
// under the exponent-3 key pass (the generator itself can make such keys).
TEST(Wycheproof, RsaPkcs1Sha256AgreesOnEveryCase) {
    std::ifstream in(vectors::path("wycheproof/rsa_signature_2048_sha256_test.json"));
    ASSERT_TRUE(in) << "vector file missing";
    const nlohmann::json doc = nlohmann::json::parse(in);
    size_t cases = 0;
    for (const auto& group : doc["testGroups"]) {
        const Bytes key_der = vectors::from_hex(group["keyDer"].get<std::string>());
        RsaPublicKey key;
        ASSERT_EQ(
            rsa_read_public_key_info(key_der.data(), static_cast<uint32_t>(key_der.size()), &key),
            STATUS_OK);
        EXPECT_EQ(key.bits, 2048u);
        for (const auto& test : group["tests"]) {
            ++cases;
            const Bytes msg = vectors::from_hex(test["msg"].get<std::string>());
            const Bytes sig = vectors::from_hex(test["sig"].get<std::string>());
            uint8_t digest[32];
            uint32_t digest_len = 0;
            ASSERT_EQ(digest_oneshot(digest, &digest_len, msg.data(),
                                     static_cast<uint32_t>(msg.size()), ALG_SHA256),
                      STATUS_OK);
            uint8_t area[64];
            DerWriter w;
            der_init(&w, area, sizeof area);
            const uint32_t size = req_write_digest_info(&w, ALG_SHA256, digest, digest_len);
            ASSERT_EQ(size, 51u);
            const Status status = rsa_verify_block(sig.data(), static_cast<uint32_t>(sig.size()),
                                                   area + sizeof area - size, size, &key);
            const std::string result = test["result"];
            bool small_exponent = false;
            for (const auto& flag : test["flags"]) {
                small_exponent = small_exponent || flag == "SmallPublicKey";
            }
            const bool expected = result == "valid" || (result == "acceptable" && small_exponent);
            EXPECT_EQ(status == STATUS_OK, expected)
                << "tcId " << test["tcId"] << " (" << test["comment"] << "): " << result;
        }
    }
    EXPECT_EQ(cases, 240u);
}

Bytes build_request(uint32_t bits, uint32_t seed, AlgorithmCode code, bool attributes) {
    const test_keys::KeyPair& pair = test_keys::generate(bits, seed);
    SubjectComponents components{};
    AttributeSlots slots{};
    std::string org = "ACME S.A. de C.V. \xD1o\xF1o";
    std::string rfc = "AAA010101AAA";
    std::string challenge = "secreto";
    components[0] =
        ByteSpan{reinterpret_cast<uint8_t*>(org.data()), static_cast<uint32_t>(org.size())};
    components[9] =
        ByteSpan{reinterpret_cast<uint8_t*>(rfc.data()), static_cast<uint32_t>(rfc.size())};
    if (attributes) {
        slots[SLOT_CHALLENGE_PASSWORD] = ByteSpan{reinterpret_cast<uint8_t*>(challenge.data()),
                                                  static_cast<uint32_t>(challenge.size())};
    }
    Bytes out(REQ_BUFFER_SIZE);
    uint32_t len = 0;
    EXPECT_EQ(req_build_request(out.data(), &len, code, components, &pair.public_key,
                                &pair.private_key, slots),
              STATUS_BUILT);
    out.resize(len);
    return out;
}

TEST(RequestReader, OwnRequestsReadBackAndVerify) {
    for (uint32_t bits : {508u, 1025u, 2048u}) {
        for (bool attributes : {false, true}) {
            SCOPED_TRACE(std::to_string(bits) + (attributes ? " with attributes" : ""));
            Bytes req = build_request(bits, 1, ALG_MD5_WITH_RSA, attributes);
            // A trailer after the DER is not part of the request.
            Bytes file = req;
            const std::string trailer = "TEXTO\r\nDN_O=ACME";
            file.insert(file.end(), trailer.begin(), trailer.end());
            ParsedRequest parsed;
            ASSERT_EQ(req_parse(file.data(), static_cast<uint32_t>(file.size()), &parsed),
                      STATUS_OK);
            EXPECT_EQ(parsed.der_length, req.size());
            EXPECT_EQ(parsed.name_count, 2u);
            // Our requests always carry the attributes element, empty when
            // there is nothing to put in it.
            EXPECT_TRUE(parsed.has_attributes);
            EXPECT_EQ(parsed.attribute_count > 0, attributes);
            EXPECT_EQ(parsed.key_status, STATUS_OK);
            EXPECT_EQ(parsed.key.bits, bits);
            EXPECT_EQ(parsed.signature_code, ALG_MD5_WITH_RSA);
            EXPECT_EQ(req_verify_signature(&parsed), STATUS_OK);
        }
    }
    ParsedRequest parsed;
    Bytes sha1 = build_request(1024, 2, ALG_SHA1_WITH_RSA, false);
    ASSERT_EQ(req_parse(sha1.data(), static_cast<uint32_t>(sha1.size()), &parsed), STATUS_OK);
    EXPECT_EQ(req_verify_signature(&parsed), STATUS_OK);
    // md2WithRSA is read and named, not checked.
    Bytes md2 = build_request(1024, 2, ALG_MD2_WITH_RSA, false);
    ASSERT_EQ(req_parse(md2.data(), static_cast<uint32_t>(md2.size()), &parsed), STATUS_OK);
    EXPECT_EQ(parsed.signature_code, ALG_MD2_WITH_RSA);
    EXPECT_EQ(req_verify_signature(&parsed), STATUS_BAD_DIGEST);
}

// Any flipped bit in the signed information or in the signature is caught.
TEST(RequestReader, FlippedBytesFailTheSignature) {
    const Bytes req = build_request(1024, 3, ALG_MD5_WITH_RSA, true);
    ParsedRequest parsed;
    ASSERT_EQ(req_parse(req.data(), static_cast<uint32_t>(req.size()), &parsed), STATUS_OK);
    const size_t subject_byte = static_cast<size_t>(parsed.name[0].value - req.data());
    const size_t signature_byte = req.size() - 5;
    for (size_t at : {subject_byte, signature_byte}) {
        Bytes bad = req;
        bad[at] ^= 0x01;
        ASSERT_EQ(req_parse(bad.data(), static_cast<uint32_t>(bad.size()), &parsed), STATUS_OK);
        EXPECT_EQ(req_verify_signature(&parsed), STATUS_SIGNATURE_INVALID) << "byte " << at;
    }
}

// Cut short anywhere, the request is refused with a status, never read past
// its end (the sanitizer build checks that).
TEST(RequestReader, EveryTruncationIsRefused) {
    const Bytes req = build_request(1024, 4, ALG_MD5_WITH_RSA, true);
    ParsedRequest parsed;
    for (size_t n = 0; n < req.size(); ++n) {
        Bytes cut(req.begin(), req.begin() + static_cast<long>(n));
        EXPECT_NE(req_parse(cut.empty() ? nullptr : cut.data(), static_cast<uint32_t>(n), &parsed),
                  STATUS_OK)
            << n << " bytes";
    }
}

Bytes protect(const RsaPrivateKey& key, const std::string& password) {
    Bytes out(KEYFILE_BUFFER_SIZE);
    uint32_t len = 0;
    EXPECT_EQ(keyfile_protect_private_key(out.data(), &len, ALG_PBE_MD5_DES_CBC, 1,
                                          reinterpret_cast<const uint8_t*>(password.data()),
                                          static_cast<uint32_t>(password.size()), &key),
              KEYFILE_OK);
    out.resize(len);
    return out;
}

TEST(KeyFileOpen, RightPasswordGivesTheKeyBack) {
    const test_keys::KeyPair& pair = test_keys::generate(1024, 5);
    const Bytes file = protect(pair.private_key, "Muestra2026");
    RsaPrivateKey key;
    KeyFileInfo info;
    ASSERT_EQ(
        keyfile_open_private_key(file.data(), static_cast<uint32_t>(file.size()),
                                 reinterpret_cast<const uint8_t*>("Muestra2026"), 11, &key, &info),
        KEYFILE_OK);
    EXPECT_EQ(info.scheme, ALG_PBE_MD5_DES_CBC);
    EXPECT_EQ(info.iterations, 1u);
    EXPECT_EQ(Bytes(key.modulus, key.modulus + 256),
              Bytes(pair.private_key.modulus, pair.private_key.modulus + 256));
    EXPECT_EQ(Bytes(key.coefficient, key.coefficient + 128),
              Bytes(pair.private_key.coefficient, pair.private_key.coefficient + 128));
    EXPECT_EQ(rsa_check_private_key(&key), STATUS_OK);
}

// 2000 wrong passwords: about eight of them decrypt to a valid padding by
// chance, and every one is still reported as wrong.
TEST(KeyFileOpen, WrongPasswordsAreReportedEvenWithGoodPadding) {
    const test_keys::KeyPair& pair = test_keys::generate(512, 6);
    const Bytes file = protect(pair.private_key, "correcta");
    int wrong = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::string password = "incorrecta" + std::to_string(i);
        RsaPrivateKey key;
        KeyFileInfo info;
        const Status status =
            keyfile_open_private_key(file.data(), static_cast<uint32_t>(file.size()),
                                     reinterpret_cast<const uint8_t*>(password.data()),
                                     static_cast<uint32_t>(password.size()), &key, &info);
        EXPECT_EQ(status, KEYFILE_WRONG_PASSWORD) << password;
        wrong += status == KEYFILE_WRONG_PASSWORD;
    }
    EXPECT_EQ(wrong, 2000);
}

// Each number of a key changed by one: the check names what disagrees.
TEST(KeyCheck, InconsistentNumbersAreFound) {
    const RsaPrivateKey& good = test_keys::generate(1024, 7).private_key;
    EXPECT_EQ(rsa_check_private_key(&good), STATUS_OK);
    struct Case {
        uint8_t* (*field)(RsaPrivateKey&);
        uint32_t last;
        Status expected;
    } cases[] = {
        {[](RsaPrivateKey& k) { return k.modulus; }, 255, STATUS_KEY_MODULUS_MISMATCH},
        {[](RsaPrivateKey& k) { return k.prime2; }, 127, STATUS_KEY_MODULUS_MISMATCH},
        {[](RsaPrivateKey& k) { return k.private_exponent; }, 255, STATUS_KEY_EXPONENT_MISMATCH},
        {[](RsaPrivateKey& k) { return k.public_exponent; }, 255, STATUS_KEY_EXPONENT_MISMATCH},
        {[](RsaPrivateKey& k) { return k.exponent1; }, 127, STATUS_KEY_CRT_MISMATCH},
        {[](RsaPrivateKey& k) { return k.exponent2; }, 127, STATUS_KEY_CRT_MISMATCH},
        {[](RsaPrivateKey& k) { return k.coefficient; }, 127, STATUS_KEY_CRT_MISMATCH},
    };
    for (const Case& c : cases) {
        RsaPrivateKey bad = good;
        c.field(bad)[c.last] ^= 0x02;
        EXPECT_EQ(rsa_check_private_key(&bad), c.expected);
    }
}

}  // namespace
