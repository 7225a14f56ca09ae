// HMAC-SHA-1 (RFC 2202) and HMAC-SHA-256 (RFC 4231) against the published
// answers, each message fed whole, byte by byte and in pieces around the
// 64-byte block; keys longer than the block among them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/mac/hmac.h"
#include "tests/support/vectors.h"

namespace {

using vectors::Bytes;
using vectors::to_hex;

AlgorithmCode digest_of(const std::string& section) {
    if (section == "HMAC(SHA-1)")
        return ALG_SHA1;
    if (section == "HMAC(SHA-256)")
        return ALG_SHA256;
    return 0;
}

Bytes mac_in_pieces(AlgorithmCode digest, const Bytes& key, const Bytes& message, uint32_t piece) {
    HmacContext ctx;
    EXPECT_EQ(hmac_init(&ctx, digest, key.data(), static_cast<uint32_t>(key.size())), STATUS_OK);
    const uint32_t size = static_cast<uint32_t>(message.size());
    if (piece == 0) {
        hmac_update(&ctx, message.data(), size);
    } else {
        for (uint32_t done = 0; done < size;) {
            const uint32_t n = std::min(piece, size - done);
            hmac_update(&ctx, message.data() + done, n);
            hmac_update(&ctx, nullptr, 0);
            done += n;
        }
    }
    uint8_t out[DIGEST_MAX_LEN];
    uint32_t len = 0;
    hmac_final(&ctx, out, &len);
    // Nothing of the keyed state is left behind.
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&ctx);
    EXPECT_TRUE(std::all_of(raw, raw + sizeof ctx, [](uint8_t b) { return b == 0; }));
    return Bytes(out, out + len);
}

TEST(Hmac, PublishedAnswersWholeAndSplit) {
    const std::vector<vectors::Record> records = vectors::read_records("hmac/hmac_botan.vec");
    ASSERT_EQ(records.size(), 13u);
    for (const vectors::Record& r : records) {
        SCOPED_TRACE(r.where());
        const AlgorithmCode digest = digest_of(r.section);
        ASSERT_NE(digest, 0u);
        const Bytes key = r.bytes("Key");
        const Bytes in = r.bytes("In");
        const std::string expected = to_hex(r.bytes("Out"));
        for (uint32_t piece : {0u, 1u, 63u, 64u, 65u}) {
            EXPECT_EQ(to_hex(mac_in_pieces(digest, key, in, piece)), expected) << piece;
        }
        uint8_t out[DIGEST_MAX_LEN];
        uint32_t len = 0;
        ASSERT_EQ(hmac_oneshot(digest, key.data(), static_cast<uint32_t>(key.size()), in.data(),
                               static_cast<uint32_t>(in.size()), out, &len),
                  STATUS_OK);
        EXPECT_EQ(to_hex(out, len), expected);
    }
}

// The message may be the output buffer's own bytes: the MAC of a MAC, as
// PBKDF2 computes it.
TEST(Hmac, OutputMayBeTheLastInput) {
    const Bytes key(20, 0x0B);
    uint8_t buffer[DIGEST_MAX_LEN] = {1, 2, 3};
    uint32_t len = 0;
    ASSERT_EQ(hmac_oneshot(ALG_SHA256, key.data(), 20, buffer, 3, buffer, &len), STATUS_OK);
    const Bytes first(buffer, buffer + len);
    const Bytes expected = mac_in_pieces(ALG_SHA256, key, first, 0);
    ASSERT_EQ(hmac_oneshot(ALG_SHA256, key.data(), 20, buffer, len, buffer, &len), STATUS_OK);
    EXPECT_EQ(to_hex(buffer, len), to_hex(expected));
}

TEST(Hmac, OtherDigestsAreRefused) {
    for (AlgorithmCode digest : {0u, ALG_MD5, ALG_MD2, ALG_SHA0, 99u}) {
        HmacContext ctx;
        std::memset(&ctx, 0xA5, sizeof ctx);
        EXPECT_EQ(hmac_init(&ctx, digest, nullptr, 0), STATUS_BAD_DIGEST) << digest;
        const uint8_t* raw = reinterpret_cast<const uint8_t*>(&ctx);
        EXPECT_TRUE(std::all_of(raw, raw + sizeof ctx, [](uint8_t b) { return b == 0; }));
    }
}

}  // namespace
