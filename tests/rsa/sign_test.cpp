// The signature block and the private-key operation: lengths, the refused
// inputs, and verification with the public key (s^e mod n is the block).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <vector>

#include "crypto/bignum/bn_mont.h"
#include "crypto/rsa/rsa_keygen.h"
#include "crypto/rsa/rsa_sign.h"
#include "tests/rsa/key_numbers.h"
#include "tests/rsa/seeded_pool.h"

namespace {

using Bytes = std::vector<uint8_t>;

const RsaPrivateKey& key_of(uint32_t bits) {
    static std::map<uint32_t, RsaPrivateKey> keys;
    auto it = keys.find(bits);
    if (it == keys.end()) {
        RandomPool pool = seeded_pool(bits);
        RsaKeySpec spec{bits, 1};
        RsaPublicKey pub;
        RsaPrivateKey priv;
        EXPECT_EQ(rsa_generate_key_pair(&pub, &priv, &spec, &pool), STATUS_OK);
        it = keys.emplace(bits, priv).first;
    }
    return it->second;
}

// s^e mod n as k bytes, with the public half of the key.
Bytes public_op(const Bytes& s, const RsaPrivateKey& key) {
    KeyNumbers k(key);
    uint32_t nd = bn_digits(k.n.data(), BN_MAX_DIGITS);
    std::vector<BnDigit> c(BN_MAX_DIGITS), m(BN_MAX_DIGITS);
    bn_decode(c.data(), nd, s.data(), static_cast<uint32_t>(s.size()));
    bn_mod_exp(m.data(), c.data(), k.e.data(), 1, k.n.data(), nd);
    Bytes out(s.size());
    bn_encode(out.data(), static_cast<uint32_t>(out.size()), m.data(), nd);
    return out;
}

Bytes type1_block(const Bytes& input, uint32_t k) {
    // Made at its full size at once: growing a two-byte vector makes GCC 12
    // at -O3 report a false -Warray-bounds.
    Bytes b(k, 0xFF);
    b[0] = 0x00;
    b[1] = 0x01;
    b[k - input.size() - 1] = 0x00;
    std::copy(input.begin(), input.end(), b.end() - static_cast<std::ptrdiff_t>(input.size()));
    return b;
}

Bytes pattern(size_t len, uint8_t start) {
    Bytes b(len);
    for (size_t i = 0; i < len; ++i)
        b[i] = static_cast<uint8_t>(start + 7 * i);
    return b;
}

TEST(SignBlock, InputLengthsUpToTheBlockLimit) {
    struct Case {
        uint32_t bits;
        uint32_t k;
    } cases[] = {{508, 64}, {1025, 129}, {2048, 256}};
    for (const Case& c : cases) {
        const RsaPrivateKey& key = key_of(c.bits);
        for (uint32_t len : {0u, 1u, 34u, c.k - 12, c.k - 11, c.k - 10, c.k + 5}) {
            SCOPED_TRACE(testing::Message() << c.bits << " bits, input " << len);
            Bytes input = pattern(len, static_cast<uint8_t>(len));
            Bytes out(c.k + 8, 0xCC);
            uint32_t out_len = 0xDEAD;
            Status status = rsa_sign_block(out.data(), &out_len, input.data(), len, &key);
            if (len > c.k - 11) {
                EXPECT_EQ(status, STATUS_BAD_LENGTH);
                EXPECT_EQ(out, Bytes(c.k + 8, 0xCC));
                EXPECT_EQ(out_len, 0xDEADu);
                continue;
            }
            ASSERT_EQ(status, STATUS_OK);
            EXPECT_EQ(out_len, c.k);
            EXPECT_EQ(Bytes(out.begin() + c.k, out.end()), Bytes(8, 0xCC));
            Bytes block = type1_block(input, c.k);
            EXPECT_EQ(public_op(Bytes(out.begin(), out.begin() + c.k), key), block);
            if (len == c.k - 11) {  // exactly eight FF bytes
                EXPECT_EQ(Bytes(block.begin() + 2, block.begin() + 11),
                          (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
            }
        }
    }
}

TEST(SignBlock, SignsInPlace) {
    const RsaPrivateKey& key = key_of(1024);
    Bytes input = pattern(35, 3);
    Bytes expected(128);
    uint32_t len = 0;
    ASSERT_EQ(rsa_sign_block(expected.data(), &len, input.data(), 35, &key), STATUS_OK);
    Bytes buf(128, 0);
    std::memcpy(buf.data(), input.data(), 35);
    ASSERT_EQ(rsa_sign_block(buf.data(), &len, buf.data(), 35, &key), STATUS_OK);
    EXPECT_EQ(buf, expected);
}

TEST(PrivateCrt, AgreesWithThePlainPrivateExponent) {
    for (uint32_t bits : {508u, 1025u, 2048u}) {
        const RsaPrivateKey& key = key_of(bits);
        KeyNumbers k(key);
        uint32_t nd = bn_digits(k.n.data(), BN_MAX_DIGITS);
        uint32_t kbytes = (bits + 7) / 8;
        Bytes input = pattern(kbytes - 1, 0x91);
        Bytes out(kbytes);
        uint32_t out_len = 0;
        ASSERT_EQ(rsa_private_crt(out.data(), &out_len, input.data(), kbytes - 1, &key), STATUS_OK);
        EXPECT_EQ(out_len, kbytes);

        std::vector<BnDigit> c(BN_MAX_DIGITS), m(BN_MAX_DIGITS);
        bn_decode(c.data(), BN_MAX_DIGITS, input.data(), kbytes - 1);
        bn_mod_exp(m.data(), c.data(), k.d.data(), nd, k.n.data(), nd);
        Bytes expected(kbytes);
        bn_encode(expected.data(), kbytes, m.data(), nd);
        EXPECT_EQ(out, expected) << bits;
    }
}

// The fast path and the plain one give the same bytes and statuses: keys of
// several sizes (both prime lengths of an odd size), inputs from 0 up to
// n - 1 and a few not below n, on both sets of machine routines.
TEST(PrivateCrt, FastPathAgreesWithThePlainPath) {
    const BnMontKernels initial = bn_mont_kernels();
    for (BnMontKernels kernels : {BnMontKernels::Portable, BnMontKernels::Adx}) {
        if (!bn_mont_use_kernels(kernels))
            continue;
        for (uint32_t bits : {508u, 509u, 777u, 1024u, 1025u, 2047u, 2048u}) {
            SCOPED_TRACE(testing::Message()
                         << bits << " bits" << (kernels == BnMontKernels::Adx ? " ADX" : ""));
            const RsaPrivateKey& key = key_of(bits);
            uint32_t k = (bits + 7) / 8;
            Bytes n(key.modulus + RSA_MAX_MODULUS_LEN - k, key.modulus + RSA_MAX_MODULUS_LEN);
            Bytes n_minus_1 = n;
            n_minus_1[k - 1] -= 1;  // n is odd
            Bytes n_times_256 = n;
            n_times_256.push_back(0);
            std::vector<Bytes> inputs = {Bytes{},           Bytes{0},
                                         Bytes{1},          Bytes{2},
                                         pattern(k - 1, 5), type1_block(pattern(35, 9), k),
                                         n_minus_1,         n,
                                         n_times_256};
            for (size_t i = 0; i < inputs.size(); ++i) {
                const Bytes& in = inputs[i];
                Bytes fast(k, 0xAA), plain(k, 0xAA);
                uint32_t fast_len = 0, plain_len = 0;
                Status fs = rsa_private_crt(fast.data(), &fast_len, in.data(),
                                            static_cast<uint32_t>(in.size()), &key);
                Status ps = rsa_private_crt_plain(plain.data(), &plain_len, in.data(),
                                                  static_cast<uint32_t>(in.size()), &key);
                EXPECT_EQ(fs, ps) << i;
                EXPECT_EQ(fast, plain) << i;
                EXPECT_EQ(fast_len, plain_len) << i;
                EXPECT_EQ(fs, i < 7 ? STATUS_OK : STATUS_RANGE) << i;
            }
        }
    }
    ASSERT_TRUE(bn_mont_use_kernels(initial));
}

TEST(PrivateCrt, SmallResultsKeepTheirLeadingZeros) {
    const RsaPrivateKey& key = key_of(1024);
    for (uint8_t v : {0, 1}) {
        Bytes out(128, 0xEE);
        uint32_t len = 0;
        ASSERT_EQ(rsa_private_crt(out.data(), &len, &v, 1, &key), STATUS_OK);
        Bytes expected(128, 0);
        expected[127] = v;  // 0^d = 0, 1^d = 1
        EXPECT_EQ(out, expected);
    }
}

TEST(PrivateCrt, RefusesInputsNotBelowTheModulus) {
    const RsaPrivateKey& key = key_of(1024);
    Bytes n(key.modulus + 128, key.modulus + 256);
    Bytes n_minus_1 = n;
    n_minus_1[127] -= 1;  // n is odd
    Bytes with_zeros(300, 0);
    std::memcpy(with_zeros.data() + 300 - 128, n_minus_1.data(), 128);
    // Longer than any modulus, with a non-zero byte that the 65-digit decoder
    // would drop: must not be signed as if it were the shorter number.
    Bytes too_long(261, 0);
    too_long[0] = 0x01;
    too_long[260] = 0x05;
    Bytes wide(129, 0);  // n * 256 + 0: more digits than n
    std::memcpy(wide.data(), n.data(), 128);

    struct Case {
        const char* name;
        const Bytes& input;
        Status expected;
    } cases[] = {
        {"n", n, STATUS_RANGE},
        {"n - 1", n_minus_1, STATUS_OK},
        {"n - 1 behind leading zeros", with_zeros, STATUS_OK},
        {"261 bytes", too_long, STATUS_RANGE},
        {"n * 256", wide, STATUS_RANGE},
    };
    for (const Case& c : cases) {
        Bytes out(128, 0xEE);
        uint32_t len = 0xDEAD;
        EXPECT_EQ(rsa_private_crt(out.data(), &len, c.input.data(),
                                  static_cast<uint32_t>(c.input.size()), &key),
                  c.expected)
            << c.name;
        if (c.expected != STATUS_OK) {
            EXPECT_EQ(out, Bytes(128, 0xEE)) << c.name;
            EXPECT_EQ(len, 0xDEADu) << c.name;
        }
    }
}

TEST(PrivateCrt, RefusesRecordsLargerThanTheBuffers) {
    RsaPrivateKey key = key_of(508);
    key.bits = 2056;  // k would be 257: more than any block or signature buffer
    Bytes out(300, 0xEE);
    uint32_t len = 0;
    uint8_t input[20] = {1};
    EXPECT_EQ(rsa_sign_block(out.data(), &len, input, 20, &key), STATUS_BAD_MODULUS_SIZE);
    EXPECT_EQ(rsa_private_crt(out.data(), &len, input, 20, &key), STATUS_BAD_MODULUS_SIZE);
    EXPECT_EQ(out, Bytes(300, 0xEE));
}

}  // namespace
