// Key pairs: the properties every size must have, the refused sizes and pools,
// exponent 3, and determinism.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "crypto/rsa/rsa_keygen.h"
#include "tests/rsa/key_numbers.h"
#include "tests/rsa/seeded_pool.h"

namespace {

using Num = std::vector<BnDigit>;

Num one() {
    Num a(BN_MAX_DIGITS, 0);
    a[0] = 1;
    return a;
}

// Every relation between the numbers of a generated pair.
void expect_valid_pair(const RsaPublicKey& pub, const RsaPrivateKey& priv, uint32_t bits) {
    SCOPED_TRACE(bits);
    EXPECT_EQ(pub.bits, bits);
    EXPECT_EQ(priv.bits, bits);
    EXPECT_EQ(std::memcmp(pub.modulus, priv.modulus, RSA_MAX_MODULUS_LEN), 0);
    EXPECT_EQ(std::memcmp(pub.public_exponent, priv.public_exponent, RSA_MAX_MODULUS_LEN), 0);

    KeyNumbers k(priv);
    const uint32_t m = BN_MAX_DIGITS, h = 33;  // h digits hold any prime
    EXPECT_EQ(bit_length(k.n), bits);
    uint32_t pbits = (bits + 1) / 2;
    EXPECT_EQ(bit_length(k.p), pbits);
    EXPECT_EQ(bit_length(k.q), bits - pbits);
    EXPECT_EQ(bn_cmp(k.p.data(), k.q.data(), m), 1);
    // The two top bits of each prime are set.
    for (const Num* prime : {&k.p, &k.q}) {
        uint32_t len = bit_length(*prime);
        auto bit = [&](uint32_t i) { return ((*prime)[i / 32] >> (i % 32)) & 1; };
        EXPECT_EQ(bit(len - 2), 1u);
    }

    // n = p*q.
    Num pq(2 * m);
    bn_mult(pq.data(), k.p.data(), k.q.data(), m);
    EXPECT_EQ(Num(pq.begin(), pq.begin() + m), k.n);

    // e*d = 1 mod (p-1)(q-1); dp, dq and qinv agree with d, p and q.
    Num p1(m), q1(m), phi(2 * m), r(m);
    bn_sub(p1.data(), k.p.data(), one().data(), m);
    bn_sub(q1.data(), k.q.data(), one().data(), m);
    bn_mult(phi.data(), p1.data(), q1.data(), h);
    bn_mod_mult(r.data(), k.e.data(), k.d.data(), phi.data(), m);
    EXPECT_EQ(r, one());
    EXPECT_EQ(bn_cmp(k.d.data(), phi.data(), m), -1);
    bn_mod(r.data(), k.d.data(), m, p1.data(), m);
    EXPECT_EQ(r, k.dp);
    bn_mod(r.data(), k.d.data(), m, q1.data(), m);
    EXPECT_EQ(r, k.dq);
    bn_mod_mult(r.data(), k.q.data(), k.qinv.data(), k.p.data(), h);
    Num unit = one();
    EXPECT_EQ(Num(r.begin(), r.begin() + h), Num(unit.begin(), unit.begin() + h));
    EXPECT_EQ(bn_cmp(k.qinv.data(), k.p.data(), m), -1);
}

TEST(KeyPair, EverySizeHasTheRequiredShape) {
    const uint32_t sizes[] = {508, 509, 512, 767, 1024, 1025, 1536, 2047, 2048};
    uint32_t seed = 100;
    for (uint32_t bits : sizes) {
        RandomPool pool = seeded_pool(seed++);
        RsaKeySpec spec{bits, 1};
        RsaPublicKey pub;
        RsaPrivateKey priv;
        ASSERT_EQ(rsa_generate_key_pair(&pub, &priv, &spec, &pool), STATUS_OK) << bits;
        expect_valid_pair(pub, priv, bits);
        // 65537 is stored as the last three bytes 01 00 01.
        std::vector<uint8_t> e(RSA_MAX_MODULUS_LEN, 0);
        e[253] = 0x01;
        e[255] = 0x01;
        EXPECT_EQ(std::vector<uint8_t>(pub.public_exponent, pub.public_exponent + 256), e);
    }
}

TEST(KeyPair, ExponentThreeSkipsPrimesOneModThree) {
    for (uint32_t seed = 0; seed < 4; ++seed) {
        RandomPool pool = seeded_pool(200 + seed);
        RsaKeySpec spec{512, 0};
        RsaPublicKey pub;
        RsaPrivateKey priv;
        ASSERT_EQ(rsa_generate_key_pair(&pub, &priv, &spec, &pool), STATUS_OK);
        expect_valid_pair(pub, priv, 512);
        std::vector<uint8_t> e(RSA_MAX_MODULUS_LEN, 0);
        e[255] = 0x03;
        EXPECT_EQ(std::vector<uint8_t>(pub.public_exponent, pub.public_exponent + 256), e);
        KeyNumbers k(priv);
        EXPECT_EQ(bn_mod_digit(k.p.data(), BN_MAX_DIGITS, 3), 2u);
        EXPECT_EQ(bn_mod_digit(k.q.data(), BN_MAX_DIGITS, 3), 2u);
    }
}

TEST(KeyPair, RefusedSizesAndUnseededPoolWriteNothing) {
    struct Case {
        uint32_t bits;
        bool seeded;
        Status expected;
    } cases[] = {
        {0, true, STATUS_BAD_MODULUS_SIZE},    {507, true, STATUS_BAD_MODULUS_SIZE},
        {2049, true, STATUS_BAD_MODULUS_SIZE}, {65536 + 1024, true, STATUS_BAD_MODULUS_SIZE},
        {1024, false, STATUS_NOT_SEEDED},
    };
    for (const Case& c : cases) {
        RandomPool pool = seeded_pool(7);
        if (!c.seeded)
            rand_init(&pool);
        RandomPool before = pool;
        RsaKeySpec spec{c.bits, 1};
        RsaPublicKey pub;
        RsaPrivateKey priv;
        std::memset(&pub, 0xA5, sizeof pub);
        std::memset(&priv, 0xA5, sizeof priv);
        EXPECT_EQ(rsa_generate_key_pair(&pub, &priv, &spec, &pool), c.expected) << c.bits;
        // Nothing written, and nothing drawn from the pool.
        std::vector<uint8_t> pattern_pub(sizeof pub, 0xA5), pattern_priv(sizeof priv, 0xA5);
        EXPECT_EQ(std::memcmp(&pub, pattern_pub.data(), sizeof pub), 0);
        EXPECT_EQ(std::memcmp(&priv, pattern_priv.data(), sizeof priv), 0);
        EXPECT_EQ(std::memcmp(&pool, &before, sizeof pool), 0);
    }
}

TEST(KeyPair, IdenticalPoolsGiveIdenticalPairs) {
    RandomPool a = seeded_pool(31), b = seeded_pool(31), c = seeded_pool(32);
    RsaKeySpec spec{1024, 1};
    RsaPublicKey pa, pb, pc;
    RsaPrivateKey ka, kb, kc;
    ASSERT_EQ(rsa_generate_key_pair(&pa, &ka, &spec, &a), STATUS_OK);
    ASSERT_EQ(rsa_generate_key_pair(&pb, &kb, &spec, &b), STATUS_OK);
    ASSERT_EQ(rsa_generate_key_pair(&pc, &kc, &spec, &c), STATUS_OK);
    EXPECT_EQ(std::memcmp(&pa, &pb, sizeof pa), 0);
    EXPECT_EQ(std::memcmp(&ka, &kb, sizeof ka), 0);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_NE(std::memcmp(&pa, &pc, sizeof pa), 0);
}

}  // namespace
