#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/der/der.h"
#include "crypto/der/oid.h"
#include "tests/support/vectors.h"

namespace {

using vectors::Bytes;
using vectors::from_hex;
using vectors::to_hex;

// Decodes OBJECT IDENTIFIER contents octets to dotted form on its own terms:
// base-128 arcs, high bit = more octets follow, no leading 0x80 in an arc;
// the first arc packs X.Y as 40 * X + Y (X at most 2). Returns "" for
// malformed contents.
std::string dotted(const uint8_t* octets, size_t count) {
    std::vector<uint64_t> arcs;
    uint64_t value = 0;
    bool in_arc = false;
    for (size_t i = 0; i < count; ++i) {
        if (!in_arc && octets[i] == 0x80) {
            return "";
        }
        value = (value << 7) | (octets[i] & 0x7F);
        in_arc = (octets[i] & 0x80) != 0;
        if (!in_arc) {
            arcs.push_back(value);
            value = 0;
        }
    }
    if (in_arc || arcs.empty()) {
        return "";
    }
    const uint64_t first = arcs[0] < 40 ? 0 : arcs[0] < 80 ? 1 : 2;
    std::string text = std::to_string(first) + "." + std::to_string(arcs[0] - 40 * first);
    for (size_t i = 1; i < arcs.size(); ++i) {
        text.push_back('.');  // not "." + ...: a false -Wrestrict of GCC 12 at -O3
        text += std::to_string(arcs[i]);
    }
    return text;
}

TEST(OidDecoder, ReadsKnownForms) {
    const Bytes md5 = from_hex("2A 86 48 86 F7 0D 02 05");
    EXPECT_EQ(dotted(md5.data(), md5.size()), "1.2.840.113549.2.5");
    const Bytes high = from_hex("75 88 5D 8F 0B 03");
    EXPECT_EQ(dotted(high.data(), high.size()), "2.37.1117.1931.3");
    const Bytes unfinished = from_hex("2A 86");
    EXPECT_EQ(dotted(unfinished.data(), unfinished.size()), "");
    const Bytes padded = from_hex("2A 80 01");
    EXPECT_EQ(dotted(padded.data(), padded.size()), "");
}

struct AlgorithmRow {
    AlgorithmCode code;
    const char* oid;
    uint32_t length;
};

const AlgorithmRow kAlgorithms[] = {
    {ALG_MD2, "1.2.840.113549.2.2", 8},
    {ALG_MD4, "1.2.840.113549.2.4", 8},
    {ALG_MD5, "1.2.840.113549.2.5", 8},
    {ALG_SHA1, "1.3.14.3.2.26", 5},
    {ALG_RSA, "1.2.840.113549.1.1.1", 9},
    {ALG_MD2_WITH_RSA, "1.2.840.113549.1.1.2", 9},
    {ALG_MD4_WITH_RSA, "1.2.840.113549.1.1.3", 9},
    {ALG_MD5_WITH_RSA, "1.2.840.113549.1.1.4", 9},
    {ALG_PBE_MD2_DES_CBC, "1.2.840.113549.1.5.1", 9},
    {ALG_PBE_MD5_DES_CBC, "1.2.840.113549.1.5.3", 9},
    {ALG_DES_CBC, "1.3.14.3.2.7", 5},
    {ALG_RC4, "1.2.840.113549.3.4", 8},
    {ALG_PBE_SHA_RC2_40, "1.2.840.113549.1.12.1.6", 10},
    {ALG_PBE_SHA_RC2_128, "1.2.840.113549.1.12.1.5", 10},
    {ALG_PBE_SHA_3DES, "1.2.840.113549.1.12.1.3", 10},
    {ALG_SHA1_WITH_RSA, "1.2.840.113549.1.1.5", 9},
    {ALG_DES_EDE3_CBC, "1.2.840.113549.3.7", 8},
    {ALG_SHA256, "2.16.840.1.101.3.4.2.1", 9},
    {ALG_SHA256_WITH_RSA, "1.2.840.113549.1.1.11", 9},
};

// Name component types by index 0 to 14.
const char* const kNameComponents[] = {
    "2.5.4.10", "2.5.4.11", "2.5.4.3",  "2.5.4.12", "2.5.4.9", "2.5.4.17",
    "2.5.4.6",  "2.5.4.8",  "2.5.4.7",  "2.5.4.45", "2.5.4.5", "1.2.840.113549.1.9.1",
    "2.5.4.15", "2.5.4.20", "2.5.4.23",
};

// Attribute types by slot 0 to 23.
const char* const kSlots[] = {
    "1.2.840.113549.1.9.1",
    "1.2.840.113549.1.9.7",
    "1.2.840.113549.1.9.9",
    "1.3.15.1",
    "1.3.15.2",
    "2.16.840.1.113730.1.1",
    "2.16.840.1.113730.1.13",
    "2.16.840.1.113730.1.12",
    "2.37.1117.1931.3",
    "2.37.1117.1931.5",
    "2.37.1117.1931.7",
    "2.37.1117.1931.13",
    "2.37.1117.1931.23",
    "2.37.1117.1931.29",
    "2.37.1117.1931.31",
    "2.5.29.15",
    "2.5.29.19",
    "2.5.29.37",
    "2.5.29.32",
    "2.5.29.31",
    "2.5.29.17",
    "2.5.29.18",
    "1.3.6.1.5.5.7.1.1",
    "1.3.6.1.5.5.7.48.1.5",
};

TEST(Oid, EveryAlgorithmIdentifierDecodesToItsArcs) {
    for (const AlgorithmRow& row : kAlgorithms) {
        SCOPED_TRACE("code " + std::to_string(row.code));
        // An area of exactly OID_MAX_LEN bytes: the sanitizer build catches
        // any write past it.
        std::array<uint8_t, OID_MAX_LEN> out{};
        uint32_t length = 0;
        ASSERT_EQ(oid_for_algorithm(row.code, out.data(), &length), 0);
        EXPECT_EQ(length, row.length);
        EXPECT_EQ(dotted(out.data(), length), row.oid);
    }
}

TEST(Oid, CodesWithoutIdentifier) {
    const AlgorithmCode codes[] = {0, 1, ALG_SHA0, 8, 99, 114, 1000, UINT32_MAX};
    for (AlgorithmCode code : codes) {
        SCOPED_TRACE("code " + std::to_string(code));
        std::array<uint8_t, OID_MAX_LEN> out;
        out.fill(0xEE);
        uint32_t length = 77;
        EXPECT_EQ(oid_for_algorithm(code, out.data(), &length), 1);
        EXPECT_EQ(length, 77u);
        EXPECT_EQ(out[0], 0xEE);

        uint8_t buffer[32];
        DerWriter w;
        der_init(&w, buffer, sizeof buffer);
        EXPECT_EQ(der_write_algorithm_id(&w, code), 0u);
        EXPECT_EQ(w.position, 32u);
    }
}

TEST(Oid, EveryNameComponentTypeDecodesToItsArcs) {
    for (uint32_t index = 0; index < std::size(kNameComponents); ++index) {
        SCOPED_TRACE("index " + std::to_string(index));
        std::array<uint8_t, 9> out{};
        const int count = oid_for_name_component(index, out.data());
        ASSERT_GT(count, 0);
        EXPECT_EQ(count, index == 11 ? 9 : 3);
        EXPECT_EQ(dotted(out.data(), count), kNameComponents[index]);
    }
    for (uint32_t index : {15u, 16u, 17u, 18u, 19u, 20u, UINT32_MAX}) {
        std::array<uint8_t, 9> out{};
        EXPECT_EQ(oid_for_name_component(index, out.data()), -1) << index;
    }
}

TEST(Oid, EverySlotTypeDecodesToItsArcs) {
    for (uint32_t slot = 0; slot < std::size(kSlots); ++slot) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        std::array<uint8_t, 9> out{};
        const int count = oid_for_slot(slot, out.data());
        ASSERT_GT(count, 0);
        EXPECT_EQ(dotted(out.data(), count), kSlots[slot]);
    }
    for (uint32_t slot : {24u, 25u, UINT32_MAX}) {
        std::array<uint8_t, 9> out{};
        EXPECT_EQ(oid_for_slot(slot, out.data()), -1) << slot;
    }
}

TEST(Oid, EmailAddressIsSharedByNameComponentAndSlot) {
    std::array<uint8_t, 9> component{};
    std::array<uint8_t, 9> slot{};
    ASSERT_EQ(oid_for_name_component(11, component.data()), 9);
    ASSERT_EQ(oid_for_slot(0, slot.data()), 9);
    EXPECT_EQ(component, slot);
    EXPECT_EQ(to_hex(component.data(), 9), "2a864886f70d010901");
}

TEST(Oid, AlgorithmIdentifiersOfTheRequest) {
    const struct {
        AlgorithmCode code;
        const char* expected;
    } cases[] = {
        {ALG_RSA, "30 0D 06 09 2A 86 48 86 F7 0D 01 01 01 05 00"},
        {ALG_MD5_WITH_RSA, "30 0D 06 09 2A 86 48 86 F7 0D 01 01 04 05 00"},
        {ALG_MD5, "30 0C 06 08 2A 86 48 86 F7 0D 02 05 05 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        const Bytes expected = from_hex(c.expected);
        uint8_t buffer[32];
        DerWriter w;
        der_init(&w, buffer, sizeof buffer);
        EXPECT_EQ(der_write_algorithm_id(&w, c.code), expected.size());
        EXPECT_EQ(to_hex(buffer + w.position, 32 - w.position), to_hex(expected));
    }
}

TEST(Oid, EveryAlgorithmIdentifierHasTheSameShape) {
    for (const AlgorithmRow& row : kAlgorithms) {
        SCOPED_TRACE("code " + std::to_string(row.code));
        uint8_t buffer[32];
        DerWriter w;
        der_init(&w, buffer, sizeof buffer);
        const uint32_t size = der_write_algorithm_id(&w, row.code);
        ASSERT_EQ(size, row.length + 6);
        const uint8_t* p = buffer + w.position;
        EXPECT_EQ(p[0], 0x30);
        EXPECT_EQ(p[1], row.length + 4);
        EXPECT_EQ(p[2], 0x06);
        EXPECT_EQ(p[3], row.length);
        EXPECT_EQ(dotted(p + 4, row.length), row.oid);
        EXPECT_EQ(to_hex(p + 4 + row.length, 2), "0500");

        // One byte short fails; the exact size fits with the first byte at 0.
        uint8_t exact[16];
        der_init(&w, exact, size - 1);
        EXPECT_EQ(der_write_algorithm_id(&w, row.code), 0u);
        der_init(&w, exact, size);
        EXPECT_EQ(der_write_algorithm_id(&w, row.code), size);
        EXPECT_EQ(w.position, 0u);
    }
}

}  // namespace
