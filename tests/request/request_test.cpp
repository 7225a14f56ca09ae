// The signed request: worked sizes and bytes, the failure statuses, the
// buffer limits, and the signature checked by recovering its block with the
// public key (a plain modular power, not the signer's CRT path).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "crypto/bignum/bignum.h"
#include "crypto/digest/digest.h"
#include "crypto/request/key_encoding.h"
#include "crypto/request/req_sign.h"
#include "crypto/request/request.h"
#include "tests/request/test_keys.h"
#include "tests/support/vectors.h"

namespace {

using test_keys::Bytes;
using test_keys::KeyPair;
using vectors::from_hex;
using vectors::to_hex;

ByteSpan text(const char* s) {
    return ByteSpan{reinterpret_cast<uint8_t*>(const_cast<char*>(s)),
                    static_cast<uint32_t>(std::strlen(s))};
}

std::string hex(const char* spaced) {
    return to_hex(from_hex(spaced));
}

// The subject of the worked example: O = ORG, CN = ANA, C = MX (43 bytes).
struct Example {
    SubjectComponents components{};
    AttributeSlots slots{};
    Example() {
        components[0] = text("ORG");
        components[2] = text("ANA");
        components[6] = text("MX");
    }
};
const char* const example_name =
    "30 29 31 0B 30 09 06 03 55 04 06 13 02 4D 58 31 0C 30 0A 06 03 55 04 03 13 03 41 4E 41"
    "31 0C 30 0A 06 03 55 04 0A 13 03 4F 52 47";

struct Built {
    Status status;
    uint32_t length;
    Bytes out;  // the whole output area
    Bytes request() const { return Bytes(out.begin(), out.begin() + length); }
};

Built build(AlgorithmCode code, const SubjectComponents& c, const KeyPair& key,
            const AttributeSlots& s, bool sign = true) {
    Built b{0, 0xDEADBEEF, Bytes(8192, 0xEE)};
    b.status = req_build_request(b.out.data(), &b.length, code, c, &key.public_key,
                                 sign ? &key.private_key : nullptr, s);
    return b;
}

Bytes public_key_info(const RsaPublicKey& key) {
    Bytes buffer(1000);
    auto w = std::make_unique<DerWriter>();
    der_init(w.get(), buffer.data(), 1000);
    EXPECT_NE(rsa_write_public_key_info(w.get(), ALG_RSA, &key), 0u);
    return test_keys::contents(w.get());
}

// signature^e mod n as k bytes: the PKCS#1 block the signer built.
Bytes recover_block(const RsaPublicKey& key, const uint8_t* signature, uint32_t k) {
    std::vector<BnDigit> s(BN_MAX_DIGITS), n(BN_MAX_DIGITS), e(BN_MAX_DIGITS), m(BN_MAX_DIGITS);
    bn_decode(s.data(), BN_MAX_DIGITS, signature, k);
    bn_decode(n.data(), BN_MAX_DIGITS, key.modulus, RSA_MAX_MODULUS_LEN);
    bn_decode(e.data(), BN_MAX_DIGITS, key.public_exponent, RSA_MAX_MODULUS_LEN);
    const uint32_t nd = bn_digits(n.data(), BN_MAX_DIGITS);
    bn_mod_exp(m.data(), s.data(), e.data(), bn_digits(e.data(), BN_MAX_DIGITS), n.data(), nd);
    Bytes block(k);
    bn_encode(block.data(), k, m.data(), nd);
    return block;
}

// 00 01 FF .. FF 00 [digest info] for a k-byte modulus.
Bytes expected_block(uint32_t k, const Bytes& digest_info) {
    Bytes block(k, 0xFF);
    block[0] = 0x00;
    block[1] = 0x01;
    block[k - digest_info.size() - 1] = 0x00;
    std::memcpy(block.data() + k - digest_info.size(), digest_info.data(), digest_info.size());
    return block;
}

Bytes digest_of(AlgorithmCode code, const Bytes& data) {
    uint8_t out[DIGEST_MAX_LEN];
    uint32_t len = 0;
    EXPECT_EQ(digest_oneshot(out, &len, data.data(), static_cast<uint32_t>(data.size()), code),
              STATUS_OK);
    return Bytes(out, out + len);
}

TEST(Request, WorkedExampleOf651Bytes) {
    const KeyPair& key = test_keys::generate(2048);
    Example ex;
    ex.slots[SLOT_CHALLENGE_PASSWORD] = text("secreto1");
    const Built b = build(ALG_MD5_WITH_RSA, ex.components, key, ex.slots);
    ASSERT_EQ(b.status, STATUS_BUILT);
    ASSERT_EQ(b.length, 651u);
    const Bytes req = b.request();

    size_t at = 0;
    auto next = [&](size_t count) {
        const Bytes part = test_keys::slice(req, at, count);
        at += count;
        return to_hex(part);
    };
    EXPECT_EQ(next(11), hex("30 82 02 87 30 82 01 6F 02 01 00"));
    EXPECT_EQ(next(43), hex(example_name));
    EXPECT_EQ(next(294), to_hex(public_key_info(key.public_key)));
    EXPECT_EQ(next(27), hex("A0 19 30 17 06 09 2A 86 48 86 F7 0D 01 09 07 31 0A 13 08"
                            "73 65 63 72 65 74 6F 31"));
    EXPECT_EQ(next(15), hex("30 0D 06 09 2A 86 48 86 F7 0D 01 01 04 05 00"));
    EXPECT_EQ(next(5), hex("03 82 01 01 00"));
    ASSERT_EQ(at + 256, req.size());

    // The signature is over the 371 information bytes, as a DigestInfo with
    // MD5: 30 20 30 0C 06 08 2A 86 48 86 F7 0D 02 05 05 00 04 10 [digest].
    const Bytes info = test_keys::slice(req, 4, 371);
    Bytes digest_info = from_hex("30 20 30 0C 06 08 2A 86 48 86 F7 0D 02 05 05 00 04 10");
    const Bytes md5 = digest_of(ALG_MD5, info);
    digest_info.insert(digest_info.end(), md5.begin(), md5.end());
    EXPECT_EQ(to_hex(recover_block(key.public_key, req.data() + at, 256)),
              to_hex(expected_block(256, digest_info)));

    // Nothing is written past the request.
    EXPECT_EQ(b.out[651], 0xEE);
}

// The DigestInfo of each signature algorithm, with the prefixes of RFC 8017.
TEST(Request, EverySignatureAlgorithmSignsItsDigestInfo) {
    const KeyPair& key = test_keys::generate(1024);
    const struct {
        AlgorithmCode signature, digest;
        const char* prefix;
        const char* algorithm_id;
    } cases[] = {
        {ALG_MD2_WITH_RSA, ALG_MD2, "3020300c06082a864886f70d020205000410",
         "300D06092A864886F70D0101020500"},
        {ALG_MD4_WITH_RSA, ALG_MD4, "3020300c06082a864886f70d020405000410",
         "300D06092A864886F70D0101030500"},
        {ALG_MD5_WITH_RSA, ALG_MD5, "3020300c06082a864886f70d020505000410",
         "300D06092A864886F70D0101040500"},
        {ALG_SHA1_WITH_RSA, ALG_SHA1, "3021300906052b0e03021a05000414",
         "300D06092A864886F70D0101050500"},
    };
    Example ex;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signature);
        const Built b = build(c.signature, ex.components, key, ex.slots);
        ASSERT_EQ(b.status, STATUS_BUILT);
        const Bytes req = b.request();
        // 30 82 [2] | info 30 81 [1] ... | algorithm id (15) | 03 81 81 00 [128]
        const size_t info_size = 3 + req[6];
        const Bytes info = test_keys::slice(req, 4, info_size);
        EXPECT_EQ(to_hex(test_keys::slice(req, 4 + info_size, 15)), hex(c.algorithm_id));
        EXPECT_EQ(to_hex(test_keys::slice(req, 4 + info_size + 15, 4)), "03818100");
        Bytes digest_info = from_hex(c.prefix);
        const Bytes digest = digest_of(c.digest, info);
        digest_info.insert(digest_info.end(), digest.begin(), digest.end());
        EXPECT_EQ(to_hex(recover_block(key.public_key, req.data() + req.size() - 128, 128)),
                  to_hex(expected_block(128, digest_info)));
    }
}

// Strict readers insist on the attributes element: with nothing to carry it
// is written empty, right after the public key.
TEST(Request, WithoutAttributesTheInformationEndsWithAnEmptyAttributesElement) {
    const KeyPair& key = test_keys::generate(2048);
    Example ex;
    const Built b = build(ALG_MD5_WITH_RSA, ex.components, key, ex.slots);
    ASSERT_EQ(b.status, STATUS_BUILT);
    const Bytes req = b.request();
    EXPECT_EQ(req.size(), 4u + 346u + 15u + 261u);
    EXPECT_EQ(to_hex(test_keys::slice(req, 4, 4)), hex("30 82 01 56"));
    EXPECT_EQ(to_hex(test_keys::slice(req, 4 + 346 - 296, 294)),
              to_hex(public_key_info(key.public_key)));
    EXPECT_EQ(to_hex(test_keys::slice(req, 4 + 346 - 2, 2)), hex("A0 00"));
}

TEST(Request, NullPrivateKeyGivesTheUnsignedInformation) {
    const KeyPair& key = test_keys::generate(2048);
    Example ex;
    ex.slots[SLOT_CHALLENGE_PASSWORD] = text("secreto1");
    const Built unsigned_info = build(ALG_MD5_WITH_RSA, ex.components, key, ex.slots, false);
    ASSERT_EQ(unsigned_info.status, STATUS_BUILT);
    ASSERT_EQ(unsigned_info.length, 371u);
    const Built signed_request = build(ALG_MD5_WITH_RSA, ex.components, key, ex.slots);
    EXPECT_EQ(to_hex(unsigned_info.request()),
              to_hex(test_keys::slice(signed_request.request(), 4, 371)));
}

TEST(Request, SameInputsGiveTheSameBytes) {
    const KeyPair& key = test_keys::generate(1024);
    Example ex;
    ex.slots[SLOT_CHALLENGE_PASSWORD] = text("secreto1");
    const Built first = build(ALG_MD5_WITH_RSA, ex.components, key, ex.slots);
    const Built second = build(ALG_MD5_WITH_RSA, ex.components, key, ex.slots);
    ASSERT_EQ(first.status, STATUS_BUILT);
    EXPECT_EQ(first.request(), second.request());
}

TEST(Request, FailuresGive1008AndLeaveTheOutputAlone) {
    const KeyPair& key = test_keys::generate(1024);
    const struct {
        const char* what;
        AlgorithmCode code;
        uint32_t component;  // a value here, or 0 for none extra
    } cases[] = {
        {"rsaEncryption is no signature algorithm", ALG_RSA, 0},
        {"a digest code", ALG_MD5, 0},
        {"a password-based scheme", ALG_PBE_MD5_DES_CBC, 0},
        {"value in component 15", ALG_MD5_WITH_RSA, 15},
        {"value in component 19", ALG_MD5_WITH_RSA, 19},
    };
    for (const auto& c : cases) {
        Example ex;
        if (c.component != 0) {
            ex.components[c.component] = text("X");
        }
        const Built b = build(c.code, ex.components, key, ex.slots);
        EXPECT_EQ(b.status, STATUS_REQUEST_FAILED) << c.what;
        EXPECT_EQ(b.length, 0u) << c.what;
        EXPECT_EQ(b.out, Bytes(8192, 0xEE)) << c.what;
    }
}

TEST(Request, AttributeFailureDropsTheAttributes) {
    const KeyPair& key = test_keys::generate(1024);
    Example plain;
    Example with_bad_slot;
    with_bad_slot.slots[SLOT_CHALLENGE_PASSWORD] = text("secreto1");
    with_bad_slot.slots[24] = text("no type");
    const Built expected = build(ALG_MD5_WITH_RSA, plain.components, key, plain.slots);
    const Built b = build(ALG_MD5_WITH_RSA, with_bad_slot.components, key, with_bad_slot.slots);
    ASSERT_EQ(b.status, STATUS_BUILT);
    EXPECT_EQ(to_hex(b.request()), to_hex(expected.request()));
}

TEST(Request, SmallKeySignatureBitString) {
    const KeyPair& key = test_keys::generate(512);
    Example ex;
    const Built b = build(ALG_MD5_WITH_RSA, ex.components, key, ex.slots);
    ASSERT_EQ(b.status, STATUS_BUILT);
    const Bytes req = b.request();
    EXPECT_EQ(to_hex(test_keys::slice(req, req.size() - 67, 3)), "034100");
}

// A 2048-bit request holds at most 6144 - 4 - 15 - 261 = 5864 information
// bytes. One organisation name of L bytes gives L + 324 of them (the empty
// attributes element included).
TEST(Request, InformationLimitWith2048BitKey) {
    const KeyPair& key = test_keys::generate(2048);
    for (const uint32_t length : {5540u, 5541u}) {
        std::vector<uint8_t> organisation(length, 'O');
        SubjectComponents c{};
        c[0] = ByteSpan{organisation.data(), length};
        AttributeSlots s{};
        const Built b = build(ALG_MD5_WITH_RSA, c, key, s);
        if (length == 5540) {
            EXPECT_EQ(b.status, STATUS_BUILT);
            EXPECT_EQ(b.length, REQ_BUFFER_SIZE);
        } else {
            EXPECT_EQ(b.status, STATUS_REQUEST_FAILED);
            EXPECT_EQ(b.length, 0u);
        }
    }
    // Without signing, the information alone may use the whole buffer.
    std::vector<uint8_t> organisation(6144 - 324 + 1, 'O');
    SubjectComponents c{};
    c[0] = ByteSpan{organisation.data(), 6144 - 324};
    AttributeSlots s{};
    EXPECT_EQ(build(ALG_MD5_WITH_RSA, c, key, s, false).length, 6144u);
    c[0].length += 1;
    EXPECT_EQ(build(ALG_MD5_WITH_RSA, c, key, s, false).status, STATUS_REQUEST_FAILED);
}

TEST(Request, MissingPublicKeyIsRefused) {
    Example ex;
    Bytes out(8192);
    uint32_t length = 77;
    EXPECT_EQ(req_build_request(out.data(), &length, ALG_MD5_WITH_RSA, ex.components, nullptr,
                                nullptr, ex.slots),
              STATUS_REQUEST_FAILED);
    EXPECT_EQ(length, 0u);
}

TEST(RequestSign, ScratchIsWipedAndFailuresReturnZero) {
    const KeyPair& key = test_keys::generate(512);
    auto w = std::make_unique<DerWriter>();
    std::memset(w->scratch, 0xAA, sizeof w->scratch);
    const uint8_t data[] = "request information";
    uint8_t signature[256];
    uint32_t length = 0;
    EXPECT_EQ(req_sign(w.get(), ALG_MD5_WITH_RSA, data, sizeof data, &key.private_key, signature,
                       &length),
              64u);
    EXPECT_EQ(length, 64u);
    EXPECT_EQ(Bytes(w->scratch, w->scratch + REQ_DIGEST_INFO_MAX_SIZE),
              Bytes(REQ_DIGEST_INFO_MAX_SIZE, 0));
    EXPECT_EQ(w->scratch[REQ_DIGEST_INFO_MAX_SIZE], 0xAA);

    EXPECT_EQ(req_sign(w.get(), ALG_RSA, data, sizeof data, &key.private_key, signature, &length),
              0u);
    // A key above 2048 bits is refused by the signature block.
    RsaPrivateKey too_big = key.private_key;
    too_big.bits = 2049;
    EXPECT_EQ(req_sign(w.get(), ALG_MD5_WITH_RSA, data, sizeof data, &too_big, signature, &length),
              0u);
}

TEST(DigestOneshot, PublishedSuites) {
    const struct {
        const char* file;
        AlgorithmCode code;
    } suites[] = {{"md/md2.txt", ALG_MD2},
                  {"md/md4.txt", ALG_MD4},
                  {"md/md5.txt", ALG_MD5},
                  {"sha1/sha1_fips180-1.txt", ALG_SHA1}};
    for (const auto& suite : suites) {
        for (const auto& v : vectors::read_quoted(suite.file)) {
            EXPECT_EQ(to_hex(digest_of(suite.code, v.message)), to_hex(v.expected)) << v.where();
        }
    }
}

TEST(DigestOneshot, UnknownCode) {
    uint8_t out[DIGEST_MAX_LEN] = {};
    uint32_t len = 0;
    const uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(digest_oneshot(out, &len, data, 3, 8), STATUS_BAD_DIGEST);
    EXPECT_EQ(digest_oneshot(out, &len, data, 3, ALG_MD5_WITH_RSA), STATUS_BAD_DIGEST);
    EXPECT_EQ(Bytes(out, out + DIGEST_MAX_LEN), Bytes(DIGEST_MAX_LEN, 0));
}

}  // namespace
