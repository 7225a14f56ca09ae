// Every digest against the values published with its standard (and the
// library-published suites that cover every padding boundary), each message
// fed whole and in several splits through the dispatcher.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crypto/digest/digest.h"
#include "tests/support/vectors.h"

namespace {

using vectors::Bytes;

struct KnownAnswer {
    std::string where;
    AlgorithmCode code;
    Bytes message;
    Bytes expected;
};

// How a message is cut into updates: piece sizes used in turn, repeating;
// an empty pattern feeds the message in one update.
struct Split {
    const char* name;
    std::vector<uint32_t> pieces;
};

const std::vector<Split>& splits() {
    static const std::vector<Split> all = {
        {"one update", {}},
        {"byte by byte", {1}},
        {"pieces of 63", {63}},
        {"pieces of 64", {64}},
        {"pieces of 65", {65}},
        // Empty updates in between, a partly filled buffer followed by an
        // update that spans more than one whole block.
        {"mixed pieces", {0, 5, 0, 70, 13, 128, 1}},
    };
    return all;
}

Bytes digest_in_pieces(AlgorithmCode code, const Bytes& message, const Split& split) {
    DigestContext ctx;
    EXPECT_EQ(digest_init(&ctx, code), STATUS_OK);
    const uint8_t* data = message.empty() ? nullptr : message.data();
    uint32_t size = static_cast<uint32_t>(message.size());
    if (split.pieces.empty()) {
        EXPECT_EQ(digest_update(&ctx, data, size), STATUS_OK);
    } else {
        uint32_t done = 0;
        for (size_t i = 0; done < size; ++i) {
            uint32_t piece = std::min(split.pieces[i % split.pieces.size()], size - done);
            EXPECT_EQ(digest_update(&ctx, data + done, piece), STATUS_OK);
            done += piece;
        }
    }
    uint8_t out[DIGEST_MAX_LEN];
    uint32_t len = 0;
    EXPECT_EQ(digest_final(&ctx, out, &len), STATUS_OK);
    return Bytes(out, out + len);
}

// Checks every answer under every split; a mismatch names the record's
// file:line, the split and both digests in hex.
void check_all(const std::vector<KnownAnswer>& answers) {
    ASSERT_FALSE(answers.empty()) << "no vectors read";
    for (const KnownAnswer& a : answers) {
        for (const Split& split : splits()) {
            Bytes got = digest_in_pieces(a.code, a.message, split);
            EXPECT_EQ(vectors::to_hex(got), vectors::to_hex(a.expected))
                << a.where << " (" << split.name << ", " << a.message.size() << " bytes)";
        }
    }
}

std::vector<KnownAnswer> quoted(const std::string& file, AlgorithmCode code) {
    std::vector<KnownAnswer> out;
    for (const vectors::QuotedVector& v : vectors::read_quoted(file)) {
        out.push_back({v.where(), code, v.message, v.expected});
    }
    return out;
}

// Records with the message and digest under the given field names. A `Len`
// field, where present, is the message length in bits (the NIST files write
// the empty message as "Msg = 00").
std::vector<KnownAnswer> records(const std::string& file, AlgorithmCode code, const char* in,
                                 const char* out_field) {
    std::vector<KnownAnswer> out;
    for (const vectors::Record& r : vectors::read_records(file)) {
        Bytes message = r.bytes(in);
        if (r.has("Len")) {
            message.resize(std::stoul(r.text("Len")) / 8);
        }
        out.push_back({r.where(), code, message, r.bytes(out_field)});
    }
    return out;
}

TEST(DigestVectors, Md2) {
    check_all(quoted("md/md2.txt", ALG_MD2));
    // Every length from 0 to 67 bytes, so also the 16- and 32-byte messages
    // that are padded with a whole block of sixteen 16s.
    check_all(records("md/md2_botan.vec", ALG_MD2, "In", "Out"));
}

TEST(DigestVectors, Md4) {
    check_all(quoted("md/md4.txt", ALG_MD4));
    check_all(records("md/md4_botan.vec", ALG_MD4, "In", "Out"));
}

TEST(DigestVectors, Md5) {
    check_all(quoted("md/md5.txt", ALG_MD5));
    check_all(records("md/md5_botan.vec", ALG_MD5, "In", "Out"));
}

TEST(DigestVectors, Sha1) {
    check_all(quoted("sha1/sha1_fips180-1.txt", ALG_SHA1));
    check_all(records("sha1/SHA1ShortMsg.rsp", ALG_SHA1, "Msg", "MD"));
    check_all(records("sha1/SHA1LongMsg.rsp", ALG_SHA1, "Msg", "MD"));
}

// Lengths 0 to 64 and beyond (every padding boundary), the FIPS 180-2
// messages among them.
TEST(DigestVectors, Sha256) {
    check_all(records("sha256/sha256_botan.vec", ALG_SHA256, "In", "Out"));
}

// The same messages as the SHA-1 examples, so a mismatch here with SHA-1
// passing points at the message schedule.
TEST(DigestVectors, Sha0) {
    check_all(quoted("sha0/sha0.txt", ALG_SHA0));
}

// SHA-1 Monte Carlo: from a seed, each checkpoint is the last of 1000
// digests, each over the previous three, and seeds the next checkpoint.
TEST(DigestVectors, Sha1Monte) {
    std::vector<vectors::Record> all = vectors::read_records("sha1/SHA1Monte.rsp");
    ASSERT_FALSE(all.empty());
    ASSERT_TRUE(all[0].has("Seed")) << all[0].where();
    Bytes seed = all[0].bytes("Seed");
    size_t checkpoints = 0;
    for (size_t k = 1; k < all.size(); ++k) {
        const vectors::Record& r = all[k];
        Bytes md[3] = {seed, seed, seed};
        for (int i = 3; i < 1003; ++i) {
            Bytes m;
            for (const Bytes& part : md) {
                m.insert(m.end(), part.begin(), part.end());
            }
            md[0] = md[1];
            md[1] = md[2];
            md[2] = digest_in_pieces(ALG_SHA1, m, splits()[0]);
        }
        seed = md[2];
        EXPECT_EQ(vectors::to_hex(seed), vectors::to_hex(r.bytes("MD"))) << r.where();
        ++checkpoints;
    }
    EXPECT_EQ(checkpoints, 100u);
}

}  // namespace
