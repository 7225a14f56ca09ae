// The DER reader: a table of well-formed and malformed inputs, each with the
// one status it must give; the value readers' near misses; PEM and Base64.
#include <gtest/gtest.h>

#include <string>

#include "crypto/der/der_reader.h"
#include "crypto/der/oid.h"
#include "crypto/der/pem.h"
#include "tests/support/vectors.h"

namespace {

using vectors::Bytes;
using vectors::from_hex;

// Reads one SEQUENCE holding INTEGER elements to its end, as a structure
// reader does.
Status read_structure(const Bytes& in) {
    DerReader top, inner;
    DerElement e;
    der_reader_init(&top, in.empty() ? nullptr : in.data(), static_cast<uint32_t>(in.size()));
    Status s = der_read_expect(&top, DER_TAG_SEQUENCE, &e);
    if (s == STATUS_OK)
        s = der_expect_end(&top);
    if (s == STATUS_OK)
        s = der_enter(&e, &inner);
    while (s == STATUS_OK && !der_at_end(&inner))
        s = der_read_expect(&inner, DER_TAG_INTEGER, &e);
    return s;
}

TEST(DerReader, StructureTable) {
    struct Row {
        const char* hex;
        Status expected;
    } rows[] = {
        {"30 00", STATUS_OK},
        {"30 03 02 01 05", STATUS_OK},
        {"30 81 80", STATUS_DER_TRUNCATED},
        {"", STATUS_DER_TRUNCATED},
        {"30", STATUS_DER_TRUNCATED},
        {"30 04 02 01 05", STATUS_DER_TRUNCATED},  // length past the end
        {"30 03 02 02 05", STATUS_DER_TRUNCATED},  // inner length past its window
        {"30 80 02 01 05 00 00", STATUS_DER_INDEFINITE_LENGTH},
        {"30 85 00 00 00 00 03 02 01 05", STATUS_DER_LENGTH_TOO_LONG},
        {"30 FF", STATUS_DER_LENGTH_TOO_LONG},
        {"30 81 03 02 01 05", STATUS_DER_NON_MINIMAL_LENGTH},
        {"30 82 00 03 02 01 05", STATUS_DER_NON_MINIMAL_LENGTH},
        {"30 03 02 01 05 00", STATUS_DER_TRAILING_DATA},  // after the structure
        {"30 05 02 01 05 05 00", STATUS_DER_UNEXPECTED_TAG},
        {"31 03 02 01 05", STATUS_DER_UNEXPECTED_TAG},
        {"3F 01 00", STATUS_DER_UNEXPECTED_TAG},      // multi-octet tag
        {"30 04 02 01 05 00", STATUS_DER_TRUNCATED},  // a lone byte inside
    };
    for (const Row& row : rows) {
        EXPECT_EQ(read_structure(from_hex(row.hex)), row.expected) << row.hex;
    }
    // The long form where it is needed: 128 bytes of contents.
    Bytes long_form = from_hex("30 81 80");
    for (int i = 0; i < 128 / 3; ++i)
        long_form.insert(long_form.end(), {0x02, 0x01, 0x07});
    long_form.insert(long_form.end(), {0x02, 0x00});  // 2 more bytes: an empty INTEGER
    EXPECT_EQ(long_form.size(), 131u);
    EXPECT_EQ(read_structure(long_form), STATUS_OK);
}

TEST(DerReader, ValueTable) {
    struct Row {
        const char* hex;
        Status unsigned_status;
    } integers[] = {
        {"02 01 00", STATUS_OK},
        {"02 02 00 80", STATUS_OK},
        {"02 00", STATUS_DER_BAD_VALUE},
        {"02 02 00 7F", STATUS_DER_BAD_VALUE},
        {"02 01 80", STATUS_DER_BAD_VALUE},  // negative
        {"02 02 FF 80", STATUS_DER_BAD_VALUE},
    };
    for (const Row& row : integers) {
        const Bytes in = from_hex(row.hex);
        DerReader r;
        DerElement e;
        der_reader_init(&r, in.data(), static_cast<uint32_t>(in.size()));
        ASSERT_EQ(der_read_element(&r, &e), STATUS_OK) << row.hex;
        const uint8_t* bytes = nullptr;
        uint32_t count = 0;
        EXPECT_EQ(der_get_unsigned(&e, &bytes, &count), row.unsigned_status) << row.hex;
    }
    struct Other {
        const char* hex;
        bool good;
    } others[] = {
        {"03 01 00", true},
        {"03 02 07 80", true},
        {"03 02 07 81", false},
        {"03 01 01", false},
        {"03 02 08 00", false},
        {"03 00", false},
        {"06 03 55 04 03", true},
        {"06 03 55 04 83", false},
        {"06 02 80 01", false},
        {"06 00", false},
        {"06 06 90 80 80 80 80 01", false},
        {"01 01 FF", true},
        {"01 01 01", false},
        {"17 0D 32 36 31 32 31 30 31 32 30 30 30 30 5A", true},         // 261210120000Z
        {"17 0D 32 36 30 32 33 30 31 32 30 30 30 30 5A", false},        // 30 February
        {"18 0F 32 30 32 34 30 32 32 39 32 33 35 39 35 39 5A", true},   // 29 Feb 2024
        {"18 0F 32 31 30 30 30 32 32 39 32 33 35 39 35 39 5A", false},  // 2100 is not leap
        {"17 0B 32 36 31 32 31 30 31 32 30 30 5A", false},              // no seconds
    };
    for (const Other& row : others) {
        const Bytes in = from_hex(row.hex);
        DerReader r;
        DerElement e;
        der_reader_init(&r, in.data(), static_cast<uint32_t>(in.size()));
        ASSERT_EQ(der_read_element(&r, &e), STATUS_OK) << row.hex;
        const uint8_t* p = nullptr;
        uint32_t n = 0;
        uint8_t unused = 0;
        bool flag = false;
        DerTime t{};
        Status s = STATUS_DER_BAD_VALUE;
        if (e.tag == DER_TAG_BIT_STRING)
            s = der_get_bit_string(&e, &p, &n, &unused);
        else if (e.tag == DER_TAG_OID)
            s = der_get_oid(&e, &p, &n);
        else if (e.tag == DER_TAG_BOOLEAN)
            s = der_get_boolean(&e, &flag);
        else
            s = der_get_time(&e, &t);
        EXPECT_EQ(s == STATUS_OK, row.good) << row.hex;
    }
    char text[32];
    const Bytes md5 = from_hex("2A 86 48 86 F7 0D 02 05");
    ASSERT_GT(der_oid_text(md5.data(), static_cast<uint32_t>(md5.size()), text, sizeof text), 0u);
    EXPECT_STREQ(text, "1.2.840.113549.2.5");
    EXPECT_EQ(der_oid_text(md5.data(), static_cast<uint32_t>(md5.size()), text, 18), 0u);
}

// Every table entry is found again from its octets; one octet less is not.
TEST(DerReader, ReverseLookupsOfTheTables) {
    for (uint32_t i = 0; i < 15; ++i) {
        uint8_t out[9];
        const int n = oid_for_name_component(i, out);
        EXPECT_EQ(name_component_for_oid(out, static_cast<uint32_t>(n)), static_cast<int>(i));
        EXPECT_EQ(name_component_for_oid(out, static_cast<uint32_t>(n - 1)), -1);
    }
    for (uint32_t slot = 0; slot < 24; ++slot) {
        uint8_t out[9];
        const int n = oid_for_slot(slot, out);
        EXPECT_EQ(slot_for_oid(out, static_cast<uint32_t>(n)), static_cast<int>(slot));
    }
    for (AlgorithmCode code :
         {ALG_MD5, ALG_SHA256, ALG_RSA, ALG_SHA256_WITH_RSA, ALG_PBE_MD5_DES_CBC}) {
        uint8_t out[OID_MAX_LEN];
        uint32_t n = 0;
        ASSERT_EQ(oid_for_algorithm(code, out, &n), 0);
        EXPECT_EQ(algorithm_for_oid(out, n), code);
    }
}

TEST(Pem, FindsTheBlockAndDecodesStrictly) {
    const std::string text =
        "explicaci\xF3n\n-----BEGIN CERTIFICATE REQUEST-----\r\nMAMCAQU=\r\n"
        "-----END CERTIFICATE REQUEST-----\n";
    PemBlock block;
    ASSERT_EQ(pem_find(reinterpret_cast<const uint8_t*>(text.data()),
                       static_cast<uint32_t>(text.size()), &block),
              STATUS_OK);
    EXPECT_TRUE(pem_label_is(&block, "CERTIFICATE REQUEST"));
    uint8_t out[16];
    uint32_t n = 0;
    ASSERT_EQ(base64_decode(block.body, block.body_length, out, sizeof out, &n), STATUS_OK);
    EXPECT_EQ(Bytes(out, out + n), from_hex("30 03 02 01 05"));

    struct Row {
        const char* in;
        Status expected;
    } rows[] = {
        {"", STATUS_OK},
        {"TWE=", STATUS_OK},
        {"TWFu", STATUS_OK},
        {"TQ==", STATUS_OK},
        {"TR==", STATUS_BASE64_BAD},
        {"TWF=", STATUS_BASE64_BAD},
        {"TWE", STATUS_BASE64_BAD},
        {"T===", STATUS_BASE64_BAD},
        {"TQ==TQ==", STATUS_BASE64_BAD},
        {"TW*u", STATUS_BASE64_BAD},
        {"TWFuTWFu", STATUS_BASE64_NO_ROOM},
    };
    for (const Row& row : rows) {
        const std::string in = row.in;
        EXPECT_EQ(base64_decode(reinterpret_cast<const uint8_t*>(in.data()),
                                static_cast<uint32_t>(in.size()), out, 5, &n),
                  row.expected)
            << in;
    }
    const std::string mismatched = "-----BEGIN A-----\nTQ==\n-----END B-----\n";
    EXPECT_EQ(pem_find(reinterpret_cast<const uint8_t*>(mismatched.data()),
                       static_cast<uint32_t>(mismatched.size()), &block),
              STATUS_PEM_NOT_FOUND);
}

}  // namespace
