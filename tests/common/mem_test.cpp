#include <gtest/gtest.h>

#include <array>

#include "crypto/common/mem.h"
#include "crypto/common/status.h"

TEST(Mem, FillAndCopyTouchExactlyTheirRange) {
    std::array<uint8_t, 8> buf{1, 2, 3, 4, 5, 6, 7, 8};
    mem_fill(buf.data() + 2, 0xAA, 3);
    EXPECT_EQ(buf, (std::array<uint8_t, 8>{1, 2, 0xAA, 0xAA, 0xAA, 6, 7, 8}));

    std::array<uint8_t, 8> dst{};
    mem_copy(dst.data() + 1, buf.data(), 0);
    EXPECT_EQ(dst, (std::array<uint8_t, 8>{}));
    mem_copy(dst.data() + 1, buf.data(), 4);
    EXPECT_EQ(dst, (std::array<uint8_t, 8>{0, 1, 2, 0xAA, 0xAA, 0, 0, 0}));
}

TEST(Mem, CopyDownwardsOverlapping) {
    std::array<uint8_t, 6> buf{1, 2, 3, 4, 5, 6};
    mem_copy(buf.data(), buf.data() + 2, 4);
    EXPECT_EQ(buf, (std::array<uint8_t, 6>{3, 4, 5, 6, 5, 6}));
}

TEST(Mem, WipeClearsWholeObject) {
    struct {
        uint32_t a;
        uint8_t b[5];
    } secret{0xDEADBEEF, {1, 2, 3, 4, 5}};
    mem_wipe(secret);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&secret);
    for (size_t i = 0; i < sizeof secret; ++i)
        EXPECT_EQ(p[i], 0) << i;
}

TEST(Status, FixedNumbersAndSentences) {
    EXPECT_EQ(STATUS_RANGE, 0x0401u);
    EXPECT_EQ(STATUS_BAD_DIGEST, 0x0402u);
    EXPECT_EQ(STATUS_BAD_LENGTH, 0x0406u);
    EXPECT_EQ(STATUS_BAD_MODULUS_SIZE, 0x0407u);
    EXPECT_EQ(STATUS_NOT_SEEDED, 0x0408u);
    EXPECT_STREQ(status_text(STATUS_BAD_DIGEST), "unsupported digest algorithm");
    EXPECT_STREQ(status_text(12345), "unknown status");
}
