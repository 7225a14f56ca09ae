#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/cipher/des.h"
#include "tests/support/vectors.h"

namespace {

using vectors::Bytes;
using vectors::to_hex;

const Bytes ZERO_IV(8, 0);

// `input` through a fresh context in one call; the status must be success.
Bytes cbc(const Bytes& key, const Bytes& iv, bool encrypt, const Bytes& input) {
    DesCbcContext ctx;
    des_cbc_init(&ctx, key.data(), iv.data(), encrypt ? 1 : 0);
    Bytes output(input.size());
    Status status =
        des_cbc_update(&ctx, output.data(), input.data(), static_cast<uint32_t>(input.size()));
    EXPECT_EQ(status, STATUS_OK);
    return output;
}

// `input` through one context in calls of the given sizes, in order.
Bytes cbc_pieces(const Bytes& key, const Bytes& iv, bool encrypt, const Bytes& input,
                 const std::vector<uint32_t>& pieces) {
    DesCbcContext ctx;
    des_cbc_init(&ctx, key.data(), iv.data(), encrypt ? 1 : 0);
    Bytes output(input.size());
    uint32_t offset = 0;
    for (uint32_t piece : pieces) {
        EXPECT_EQ(des_cbc_update(&ctx, output.data() + offset, input.data() + offset, piece),
                  STATUS_OK);
        offset += piece;
    }
    EXPECT_EQ(offset, input.size());
    return output;
}

// Context equality byte by byte, so a failed call that touched any field shows.
bool same_context(const DesCbcContext& a, const DesCbcContext& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A message of `len` bytes that differs in every byte.
Bytes pattern(size_t len) {
    Bytes b(len);
    for (size_t i = 0; i < len; ++i)
        b[i] = static_cast<uint8_t>(i * 37 + 11);
    return b;
}

struct NistFile {
    const char* name;
    size_t records;
};

// NIST CAVP known answers for the DES core (one block, zero IV, three equal
// TDES keys = single DES): initial and final permutation, P, S-boxes, E and
// the key schedule. Every record is run both ways, whatever its section.
const NistFile NIST_FILES[] = {
    {"des/TCBCinvperm.rsp", 128}, {"des/TCBCpermop.rsp", 64},   {"des/TCBCsubtab.rsp", 38},
    {"des/TCBCvarkey.rsp", 112},  {"des/TCBCvartext.rsp", 128},
};

TEST(DesCbc, NistKnownAnswersBothDirections) {
    for (const NistFile& file : NIST_FILES) {
        std::vector<vectors::Record> records = vectors::read_records(file.name);
        EXPECT_EQ(records.size(), file.records) << file.name;
        for (const vectors::Record& r : records) {
            SCOPED_TRACE(r.where());
            Bytes key = r.bytes("KEYs");
            Bytes iv = r.bytes("IV");
            Bytes plain = r.bytes("PLAINTEXT");
            Bytes cipher = r.bytes("CIPHERTEXT");
            EXPECT_EQ(to_hex(cbc(key, iv, true, plain)), to_hex(cipher));
            EXPECT_EQ(to_hex(cbc(key, iv, false, cipher)), to_hex(plain));
        }
    }
}

TEST(DesCbc, ParityBitsAreIgnored) {
    // Each NIST key with the lowest bit of every byte inverted, and with all
    // of them cleared, gives the same answer.
    for (const NistFile& file : NIST_FILES) {
        for (const vectors::Record& r : vectors::read_records(file.name)) {
            SCOPED_TRACE(r.where());
            Bytes key = r.bytes("KEYs");
            Bytes flipped = key;
            Bytes cleared = key;
            for (size_t i = 0; i < 8; ++i) {
                flipped[i] ^= 0x01;
                cleared[i] &= 0xFE;
            }
            Bytes plain = r.bytes("PLAINTEXT");
            Bytes cipher = r.bytes("CIPHERTEXT");
            EXPECT_EQ(to_hex(cbc(flipped, r.bytes("IV"), true, plain)), to_hex(cipher));
            EXPECT_EQ(to_hex(cbc(cleared, r.bytes("IV"), false, cipher)), to_hex(plain));
        }
    }
}

TEST(DesCbc, Fips81Examples) {
    std::vector<vectors::Record> records = vectors::read_records("des/des_fips81.rsp");
    ASSERT_EQ(records.size(), 2u);
    for (const vectors::Record& r : records) {
        SCOPED_TRACE(r.where());
        Bytes key = r.bytes("KEYs");
        Bytes plain = r.bytes("PLAINTEXT");
        Bytes cipher = r.bytes("CIPHERTEXT");
        ASSERT_EQ(plain.size(), 24u);
        if (r.section == "ECB") {
            // Codebook mode is CBC over one block with a zero chaining value.
            for (size_t off = 0; off < plain.size(); off += 8) {
                Bytes p(plain.begin() + off, plain.begin() + off + 8);
                Bytes c(cipher.begin() + off, cipher.begin() + off + 8);
                EXPECT_EQ(to_hex(cbc(key, ZERO_IV, true, p)), to_hex(c)) << off;
                EXPECT_EQ(to_hex(cbc(key, ZERO_IV, false, c)), to_hex(p)) << off;
            }
        } else {
            ASSERT_EQ(r.section, "CBC");
            Bytes iv = r.bytes("IV");
            EXPECT_EQ(to_hex(cbc(key, iv, true, plain)), to_hex(cipher));
            EXPECT_EQ(to_hex(cbc(key, iv, false, cipher)), to_hex(plain));
        }
    }
}

TEST(DesCbc, PublishedCbcVectorsWithAndWithoutPadding) {
    std::vector<vectors::Record> records = vectors::read_records("des/des_cbc_botan.vec");
    ASSERT_EQ(records.size(), 34u);
    for (const vectors::Record& r : records) {
        SCOPED_TRACE(r.where());
        Bytes key = r.bytes("Key");
        Bytes iv = r.bytes("Nonce");
        Bytes plain = r.bytes("In");
        Bytes cipher = r.bytes("Out");
        if (r.section == "DES/CBC/PKCS7") {
            // The cipher does not pad: 1 to 8 bytes, each holding the count.
            uint8_t pad = static_cast<uint8_t>(8 - plain.size() % 8);
            plain.insert(plain.end(), pad, pad);
        } else {
            ASSERT_EQ(r.section, "DES/CBC/NoPadding");
        }
        EXPECT_EQ(to_hex(cbc(key, iv, true, plain)), to_hex(cipher));
        EXPECT_EQ(to_hex(cbc(key, iv, false, cipher)), to_hex(plain));
    }
}

// Key and IV of the FIPS 81 CBC example, used by the property tests below.
struct Fips81 {
    Bytes key;
    Bytes iv;
    Fips81() {
        vectors::Record r = vectors::read_records("des/des_fips81.rsp").at(1);
        key = r.bytes("KEYs");
        iv = r.bytes("IV");
    }
};

TEST(DesCbc, ChainingContinuesAcrossCalls) {
    Fips81 v;
    Bytes plain = pattern(48);
    Bytes whole = cbc(v.key, v.iv, true, plain);
    EXPECT_EQ(to_hex(cbc_pieces(v.key, v.iv, true, plain, {16, 8, 24})), to_hex(whole));
    EXPECT_EQ(to_hex(cbc_pieces(v.key, v.iv, true, plain, {8, 0, 40})), to_hex(whole));
    EXPECT_EQ(to_hex(cbc_pieces(v.key, v.iv, false, whole, {24, 8, 16})), to_hex(plain));
    EXPECT_EQ(to_hex(cbc_pieces(v.key, v.iv, false, whole, {8, 8, 8, 8, 8, 8})), to_hex(plain));

    // In both directions the chaining value ends as the last ciphertext block.
    for (int encrypt : {1, 0}) {
        DesCbcContext ctx;
        des_cbc_init(&ctx, v.key.data(), v.iv.data(), encrypt);
        Bytes out(48);
        const Bytes& in = encrypt ? plain : whole;
        ASSERT_EQ(des_cbc_update(&ctx, out.data(), in.data(), 48), STATUS_OK);
        const uint8_t* last = whole.data() + 40;
        EXPECT_EQ(ctx.chain[0], (uint32_t{last[0]} << 24) | (uint32_t{last[1]} << 16) |
                                    (uint32_t{last[2]} << 8) | last[3]);
        EXPECT_EQ(ctx.chain[1], (uint32_t{last[4]} << 24) | (uint32_t{last[5]} << 16) |
                                    (uint32_t{last[6]} << 8) | last[7]);
    }
}

TEST(DesCbc, InPlaceEqualsSeparateBuffers) {
    Fips81 v;
    Bytes plain = pattern(64);
    Bytes cipher = cbc(v.key, v.iv, true, plain);
    for (int encrypt : {1, 0}) {
        SCOPED_TRACE(encrypt ? "encrypt" : "decrypt");
        Bytes buf = encrypt ? plain : cipher;
        DesCbcContext ctx;
        des_cbc_init(&ctx, v.key.data(), v.iv.data(), encrypt);
        ASSERT_EQ(des_cbc_update(&ctx, buf.data(), buf.data(), 24), STATUS_OK);
        ASSERT_EQ(des_cbc_update(&ctx, buf.data() + 24, buf.data() + 24, 40), STATUS_OK);
        EXPECT_EQ(to_hex(buf), to_hex(encrypt ? cipher : plain));
    }
}

TEST(DesCbc, LengthNotMultipleOfEightChangesNothing) {
    Fips81 v;
    Bytes plain = pattern(32);
    Bytes expected = cbc(v.key, v.iv, true, plain);
    const uint32_t bad_lengths[] = {1, 7, 9, 12, 15, 17, 0xFFFFFFFFu};
    for (int encrypt : {1, 0}) {
        const Bytes& in = encrypt ? plain : expected;
        const Bytes& out_expected = encrypt ? expected : plain;
        for (uint32_t len : bad_lengths) {
            SCOPED_TRACE(std::to_string(len) + (encrypt ? " encrypt" : " decrypt"));
            DesCbcContext ctx;
            des_cbc_init(&ctx, v.key.data(), v.iv.data(), encrypt);
            Bytes out(32, 0xA5);
            // A first block, so the failed call meets a chain that has moved on.
            ASSERT_EQ(des_cbc_update(&ctx, out.data(), in.data(), 8), STATUS_OK);
            DesCbcContext before = ctx;
            Bytes out_before = out;

            EXPECT_EQ(des_cbc_update(&ctx, out.data() + 8, in.data() + 8, len), STATUS_BAD_LENGTH);
            EXPECT_TRUE(same_context(ctx, before));
            EXPECT_EQ(to_hex(out), to_hex(out_before));

            // The chain goes on from where it was before the refused call.
            ASSERT_EQ(des_cbc_update(&ctx, out.data() + 8, in.data() + 8, 24), STATUS_OK);
            EXPECT_EQ(to_hex(out), to_hex(out_expected));
        }
    }
}

TEST(DesCbc, ZeroLengthDoesNothing) {
    Fips81 v;
    for (int encrypt : {1, 0}) {
        DesCbcContext ctx;
        des_cbc_init(&ctx, v.key.data(), v.iv.data(), encrypt);
        DesCbcContext before = ctx;
        EXPECT_EQ(des_cbc_update(&ctx, nullptr, nullptr, 0), STATUS_OK);
        EXPECT_TRUE(same_context(ctx, before));
    }
}

}  // namespace
