// The random byte generator: seeding threshold, absorption through MD5, the
// output blocks and the state's step rule.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "crypto/digest/md5.h"
#include "crypto/rsa/rand.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes md5(const uint8_t* data, uint32_t len) {
    Md5Context ctx;
    md5_init(&ctx);
    md5_update(&ctx, data, len);
    Bytes out(16);
    md5_final(out.data(), &ctx);
    return out;
}

// a + b modulo 2^128, both big-endian.
Bytes add128(const Bytes& a, const Bytes& b) {
    Bytes r(16);
    unsigned carry = 0;
    for (int i = 15; i >= 0; --i) {
        unsigned x = a[i] + b[i] + carry;
        r[i] = static_cast<uint8_t>(x);
        carry = x >> 8;
    }
    return r;
}

uint32_t needed(const RandomPool& pool) {
    uint32_t n = 0;
    EXPECT_EQ(rand_bytes_needed(&n, &pool), STATUS_OK);
    return n;
}

TEST(Rand, InitLeavesAnUnseededZeroState) {
    RandomPool pool;
    std::memset(&pool, 0x5A, sizeof pool);
    EXPECT_EQ(rand_init(&pool), STATUS_OK);
    EXPECT_EQ(needed(pool), 256u);
    EXPECT_EQ(pool.output_available, 0u);
    EXPECT_EQ(Bytes(pool.state, pool.state + 16), Bytes(16, 0));
    EXPECT_EQ(sizeof(RandomPool), 40u);
}

TEST(Rand, SeedingThresholdCountsRawInputBytes) {
    RandomPool pool;
    rand_init(&pool);
    Bytes data(300, 0x11);
    EXPECT_EQ(rand_update(&pool, data.data(), 255), STATUS_OK);
    EXPECT_EQ(needed(pool), 1u);

    uint8_t out[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    RandomPool before = pool;
    EXPECT_EQ(rand_generate(out, 8, &pool), STATUS_NOT_SEEDED);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(std::memcmp(&before, &pool, sizeof pool), 0);

    rand_update(&pool, data.data(), 1);
    EXPECT_EQ(needed(pool), 0u);
    EXPECT_EQ(rand_generate(out, 8, &pool), STATUS_OK);

    // One call with more than needed stops at zero.
    RandomPool big;
    rand_init(&big);
    rand_update(&big, data.data(), 300);
    EXPECT_EQ(needed(big), 0u);

    // 64 calls of 4 bytes satisfy it as well.
    RandomPool small;
    rand_init(&small);
    for (int i = 0; i < 64; ++i)
        rand_update(&small, data.data(), 4);
    EXPECT_EQ(needed(small), 0u);
}

TEST(Rand, UpdateAddsTheDigestToTheState) {
    RandomPool pool;
    rand_init(&pool);
    // Empty input still adds MD5("") and leaves the count alone.
    rand_update(&pool, nullptr, 0);
    EXPECT_EQ(Bytes(pool.state, pool.state + 16), md5(nullptr, 0));
    EXPECT_EQ(needed(pool), 256u);

    // The addition carries across bytes and drops the carry out of byte 0.
    Bytes state(16, 0xFF);
    std::memcpy(pool.state, state.data(), 16);
    const uint8_t abc[] = {'a', 'b', 'c'};
    rand_update(&pool, abc, 3);
    EXPECT_EQ(Bytes(pool.state, pool.state + 16), add128(state, md5(abc, 3)));
}

TEST(Rand, SameBytesSplitDifferentlyGiveDifferentStates) {
    Bytes data(256);
    for (int i = 0; i < 256; ++i)
        data[i] = static_cast<uint8_t>(i);
    RandomPool one, two, three;
    rand_init(&one);
    rand_init(&two);
    rand_init(&three);
    rand_update(&one, data.data(), 256);
    rand_update(&two, data.data(), 128);
    rand_update(&two, data.data() + 128, 128);
    rand_update(&three, data.data(), 128);
    rand_update(&three, data.data() + 128, 128);
    EXPECT_NE(std::memcmp(one.state, two.state, 16), 0);

    uint8_t a[50], b[50];
    rand_generate(a, 50, &two);
    rand_generate(b, 50, &three);
    EXPECT_EQ(Bytes(a, a + 50), Bytes(b, b + 50));
}

TEST(Rand, OutputBlocksAreDigestsOfTheSteppedState) {
    Bytes data(256, 0x42);
    RandomPool pool;
    rand_init(&pool);
    rand_update(&pool, data.data(), 256);
    Bytes s0(pool.state, pool.state + 16);

    // Zero bytes change nothing.
    RandomPool copy = pool;
    uint8_t dummy = 0;
    EXPECT_EQ(rand_generate(&dummy, 0, &pool), STATUS_OK);
    EXPECT_EQ(std::memcmp(&copy, &pool, sizeof pool), 0);

    // 20 bytes: the whole digest of the seeded state, then 4 of the next block.
    uint8_t out[20];
    ASSERT_EQ(rand_generate(out, 20, &pool), STATUS_OK);
    EXPECT_EQ(Bytes(out, out + 16), md5(s0.data(), 16));
    Bytes s1 = s0;
    s1[15] = static_cast<uint8_t>(s1[15] + 1);  // the seeded state does not end in 00 here
    ASSERT_NE(s0[15], 0);
    Bytes block1 = md5(s1.data(), 16);
    EXPECT_EQ(Bytes(out + 16, out + 20), Bytes(block1.begin(), block1.begin() + 4));
    EXPECT_EQ(pool.output_available, 12u);

    // 12 more come from the same block, without stepping the state again.
    Bytes state_before(pool.state, pool.state + 16);
    uint8_t rest[12];
    ASSERT_EQ(rand_generate(rest, 12, &pool), STATUS_OK);
    EXPECT_EQ(Bytes(rest, rest + 12), Bytes(block1.begin() + 4, block1.end()));
    EXPECT_EQ(pool.output_available, 0u);
    EXPECT_EQ(Bytes(pool.state, pool.state + 16), state_before);

    // Seed added now shows only in the next block; unread bytes come first.
    RandomPool late = pool;
    uint8_t first4[4];
    rand_generate(first4, 4, &late);  // 12 left of a fresh block
    Bytes fresh(late.output + 4, late.output + 16);
    rand_update(&late, data.data(), 10);
    uint8_t next12[12];
    rand_generate(next12, 12, &late);
    EXPECT_EQ(Bytes(next12, next12 + 12), fresh);
}

TEST(Rand, StepCarriesWhenTheByteWasZeroBeforeTheIncrement) {
    struct Case {
        uint8_t before14, before15, after14, after15;
    } cases[] = {
        {0x05, 0x00, 0x06, 0x01},  // last byte was zero: the byte before moves too
        {0x05, 0xFF, 0x05, 0x00},  // last byte was not zero: nothing else changes
        {0x05, 0x07, 0x05, 0x08},
    };
    for (const Case& c : cases) {
        RandomPool pool;
        rand_init(&pool);
        Bytes seed(256, 1);
        rand_update(&pool, seed.data(), 256);
        Bytes state(16, 0x30);
        state[14] = c.before14;
        state[15] = c.before15;
        std::memcpy(pool.state, state.data(), 16);

        uint8_t out[32];
        ASSERT_EQ(rand_generate(out, 32, &pool), STATUS_OK);
        Bytes stepped = state;
        stepped[14] = c.after14;
        stepped[15] = c.after15;
        EXPECT_EQ(Bytes(out, out + 16), md5(state.data(), 16));
        EXPECT_EQ(Bytes(out + 16, out + 32), md5(stepped.data(), 16));
    }

    // All-zero state: every byte was zero, so every byte steps to 01.
    RandomPool pool;
    rand_init(&pool);
    pool.bytes_needed = 0;
    uint8_t out[32];
    rand_generate(out, 32, &pool);
    Bytes ones(16, 0x01);
    EXPECT_EQ(Bytes(out + 16, out + 32), md5(ones.data(), 16));
}

}  // namespace
