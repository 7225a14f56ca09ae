// The dispatcher's contract: codes, lengths, statuses, and what a context
// holds after init and final.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "crypto/digest/digest.h"

namespace {

struct Supported {
    AlgorithmCode code;
    uint32_t digest_len;
    size_t state_size;  // bytes of the algorithm's own context
};

const Supported kSupported[] = {
    {ALG_MD2, 16, sizeof(Md2Context)},   {ALG_SHA0, 20, sizeof(Sha0Context)},
    {ALG_MD4, 16, sizeof(Md4Context)},   {ALG_MD5, 16, sizeof(Md5Context)},
    {ALG_SHA1, 20, sizeof(Sha1Context)}, {ALG_SHA256, 32, sizeof(Sha256Context)},
};

std::vector<uint8_t> message(size_t n) {
    std::vector<uint8_t> m(n);
    for (size_t i = 0; i < n; ++i) {
        m[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return m;
}

// Final reports the algorithm's length, writes exactly that many bytes, and
// leaves every byte of the algorithm's state zero while keeping the code.
// 100 bytes leave a partial block and a non-zero count to be cleared.
TEST(Digest, FinalWritesItsLengthAndClearsTheState) {
    std::vector<uint8_t> m = message(100);
    for (const Supported& s : kSupported) {
        SCOPED_TRACE(testing::Message() << "code " << s.code);
        DigestContext ctx;
        std::memset(&ctx, 0xA5, sizeof ctx);
        ASSERT_EQ(digest_init(&ctx, s.code), STATUS_OK);
        ASSERT_EQ(digest_update(&ctx, m.data(), 100), STATUS_OK);

        std::array<uint8_t, 40> out;
        out.fill(0x5A);
        uint32_t len = 0;
        ASSERT_EQ(digest_final(&ctx, out.data(), &len), STATUS_OK);
        EXPECT_EQ(len, s.digest_len);
        for (size_t i = len; i < out.size(); ++i) {
            EXPECT_EQ(out[i], 0x5A) << "byte " << i << " written past the digest";
        }

        EXPECT_EQ(ctx.algorithm, s.code);
        const uint8_t* state = reinterpret_cast<const uint8_t*>(&ctx.state);
        for (size_t i = 0; i < s.state_size; ++i) {
            ASSERT_EQ(state[i], 0) << "state byte " << i;
        }
    }
}

// A context is reusable after a fresh init: the second digest does not
// depend on what the context computed before.
TEST(Digest, ReinitAfterFinalStartsAfresh) {
    std::vector<uint8_t> first = message(70);
    std::vector<uint8_t> second = message(3);
    for (const Supported& s : kSupported) {
        SCOPED_TRACE(testing::Message() << "code " << s.code);
        uint8_t fresh[DIGEST_MAX_LEN];
        uint8_t reused[DIGEST_MAX_LEN];
        uint32_t len = 0;

        DigestContext a;
        ASSERT_EQ(digest_init(&a, s.code), STATUS_OK);
        ASSERT_EQ(digest_update(&a, second.data(), 3), STATUS_OK);
        ASSERT_EQ(digest_final(&a, fresh, &len), STATUS_OK);

        DigestContext b;
        ASSERT_EQ(digest_init(&b, s.code), STATUS_OK);
        ASSERT_EQ(digest_update(&b, first.data(), 70), STATUS_OK);
        ASSERT_EQ(digest_final(&b, reused, &len), STATUS_OK);
        ASSERT_EQ(digest_init(&b, s.code), STATUS_OK);
        ASSERT_EQ(digest_update(&b, second.data(), 3), STATUS_OK);
        ASSERT_EQ(digest_final(&b, reused, &len), STATUS_OK);

        EXPECT_EQ(0, std::memcmp(fresh, reused, len));
    }
}

// Codes that name no digest, including a signature code (103 is
// md5WithRSAEncryption): init stores the code and sets nothing up, update
// and final refuse, final still reports 16 and writes nothing.
TEST(Digest, UnsupportedCodesAreRefusedByEveryOperation) {
    const AlgorithmCode codes[] = {0, 1, 8, ALG_MD5_WITH_RSA};
    for (AlgorithmCode code : codes) {
        SCOPED_TRACE(testing::Message() << "code " << code);
        DigestContext ctx;
        std::memset(&ctx, 0xA5, sizeof ctx);
        EXPECT_EQ(digest_init(&ctx, code), STATUS_BAD_DIGEST);
        EXPECT_EQ(ctx.algorithm, code);
        const uint8_t* state = reinterpret_cast<const uint8_t*>(&ctx.state);
        for (size_t i = 0; i < sizeof ctx.state; ++i) {
            ASSERT_EQ(state[i], 0xA5) << "state byte " << i << " touched";
        }

        uint8_t data[3] = {'a', 'b', 'c'};
        EXPECT_EQ(digest_update(&ctx, data, 3), STATUS_BAD_DIGEST);
        EXPECT_EQ(digest_update(&ctx, nullptr, 0), STATUS_BAD_DIGEST);

        std::array<uint8_t, DIGEST_MAX_LEN> out;
        out.fill(0x5A);
        uint32_t len = 0;
        EXPECT_EQ(digest_final(&ctx, out.data(), &len), STATUS_BAD_DIGEST);
        EXPECT_EQ(len, 16u);
        for (uint8_t b : out) {
            ASSERT_EQ(b, 0x5A) << "digest written";
        }
    }
}

// An init with a bad code after a good one leaves a context that refuses
// further work, instead of carrying on with the old algorithm.
TEST(Digest, BadInitOverAGoodContextRefusesUpdates) {
    DigestContext ctx;
    ASSERT_EQ(digest_init(&ctx, ALG_MD5), STATUS_OK);
    EXPECT_EQ(digest_init(&ctx, 8), STATUS_BAD_DIGEST);
    uint8_t data[1] = {0};
    EXPECT_EQ(digest_update(&ctx, data, 1), STATUS_BAD_DIGEST);
}

// The bit count is 64 bits kept as two words: when the low word wraps the
// high word takes the carry. A message of 2^29 bytes is too long to feed in a
// test, so the count is set just below the wrap (with 63 bytes waiting, as
// that count implies) and one byte is fed.
TEST(Digest, BitCountCarriesIntoTheHighWord) {
    std::vector<uint8_t> m = message(1);
    auto check = [&](auto init, auto update, auto& ctx) {
        init(&ctx);
        ctx.count[0] = 0xFFFFFFF8u;
        update(&ctx, m.data(), 1);
        EXPECT_EQ(ctx.count[0], 0u);
        EXPECT_EQ(ctx.count[1], 1u);
        update(&ctx, m.data(), 1);
        EXPECT_EQ(ctx.count[0], 8u);
        EXPECT_EQ(ctx.count[1], 1u);
    };
    Md4Context md4;
    check(md4_init, md4_update, md4);
    Md5Context md5;
    check(md5_init, md5_update, md5);
    Sha1Context sha1;
    check(sha1_init, sha1_update, sha1);
    Sha0Context sha0;
    check(sha0_init, sha0_update, sha0);
    Sha256Context sha256;
    check(sha256_init, sha256_update, sha256);
}

}  // namespace
