// Running a CBC cipher of this library from a test: one call, calls of
// given sizes, in place. Shared by the triple-DES and AES tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/vectors.h"

namespace cbc_test {

using vectors::Bytes;

// Cipher supplies Context, init(ctx, key, iv, encrypt) and update(ctx, out, in, len).
template <typename Cipher>
Bytes run(const Bytes& key, const Bytes& iv, bool encrypt, const Bytes& input,
          const std::vector<uint32_t>& pieces = {}) {
    typename Cipher::Context ctx;
    Cipher::init(&ctx, key.data(), iv.data(), encrypt ? 1 : 0);
    Bytes output(input.size());
    if (pieces.empty()) {
        EXPECT_EQ(
            Cipher::update(&ctx, output.data(), input.data(), static_cast<uint32_t>(input.size())),
            STATUS_OK);
        return output;
    }
    uint32_t offset = 0;
    for (uint32_t piece : pieces) {
        EXPECT_EQ(Cipher::update(&ctx, output.data() + offset, input.data() + offset, piece),
                  STATUS_OK);
        offset += piece;
    }
    EXPECT_EQ(offset, input.size());
    return output;
}

template <typename Cipher>
Bytes run_in_place(const Bytes& key, const Bytes& iv, bool encrypt, Bytes buffer) {
    typename Cipher::Context ctx;
    Cipher::init(&ctx, key.data(), iv.data(), encrypt ? 1 : 0);
    EXPECT_EQ(
        Cipher::update(&ctx, buffer.data(), buffer.data(), static_cast<uint32_t>(buffer.size())),
        STATUS_OK);
    return buffer;
}

// Checks one known answer both ways: whole, block by block (and in two
// uneven calls) and in place.
template <typename Cipher>
void check_both_ways(const Bytes& key, const Bytes& iv, const Bytes& plain, const Bytes& cipher) {
    using vectors::to_hex;
    const uint32_t block = Cipher::kBlock;
    ASSERT_EQ(plain.size(), cipher.size());
    ASSERT_EQ(plain.size() % block, 0u);
    std::vector<uint32_t> blocks(plain.size() / block, block);
    std::vector<uint32_t> uneven;
    if (plain.size() > block) {
        uneven = {block, 0, static_cast<uint32_t>(plain.size()) - block};
    }
    EXPECT_EQ(to_hex(run<Cipher>(key, iv, true, plain)), to_hex(cipher));
    EXPECT_EQ(to_hex(run<Cipher>(key, iv, false, cipher)), to_hex(plain));
    EXPECT_EQ(to_hex(run<Cipher>(key, iv, true, plain, blocks)), to_hex(cipher));
    EXPECT_EQ(to_hex(run<Cipher>(key, iv, false, cipher, blocks)), to_hex(plain));
    if (!uneven.empty()) {
        EXPECT_EQ(to_hex(run<Cipher>(key, iv, true, plain, uneven)), to_hex(cipher));
        EXPECT_EQ(to_hex(run<Cipher>(key, iv, false, cipher, uneven)), to_hex(plain));
    }
    EXPECT_EQ(to_hex(run_in_place<Cipher>(key, iv, true, plain)), to_hex(cipher));
    EXPECT_EQ(to_hex(run_in_place<Cipher>(key, iv, false, cipher)), to_hex(plain));
}

// Checks a codebook (ECB) answer of any number of blocks: each block on its
// own through CBC with a zero IV is the block cipher itself.
template <typename Cipher>
void check_codebook(const Bytes& key, const Bytes& plain, const Bytes& cipher) {
    const uint32_t block = Cipher::kBlock;
    ASSERT_EQ(plain.size(), cipher.size());
    ASSERT_EQ(plain.size() % block, 0u);
    for (size_t at = 0; at < plain.size(); at += block) {
        SCOPED_TRACE(at);
        check_both_ways<Cipher>(key, Bytes(block, 0),
                                Bytes(plain.begin() + at, plain.begin() + at + block),
                                Bytes(cipher.begin() + at, cipher.begin() + at + block));
    }
}

}  // namespace cbc_test
