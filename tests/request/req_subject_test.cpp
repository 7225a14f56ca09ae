// Subject Name, request attributes, alternative names and the two helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "crypto/request/req_subject.h"
#include "tests/request/test_keys.h"
#include "tests/support/vectors.h"

namespace {

using test_keys::Bytes;
using vectors::from_hex;
using vectors::to_hex;

// Spans over test-owned text (the functions under test never release them).
ByteSpan text(const char* s) {
    return ByteSpan{reinterpret_cast<uint8_t*>(const_cast<char*>(s)),
                    static_cast<uint32_t>(std::strlen(s))};
}

struct Writer {
    Bytes buffer;
    std::unique_ptr<DerWriter> w = std::make_unique<DerWriter>();
    explicit Writer(uint32_t capacity = 2000) : buffer(capacity) {
        der_init(w.get(), buffer.data(), capacity);
    }
    Bytes contents() { return test_keys::contents(w.get()); }
};

std::string name_hex(const SubjectComponents& components, uint32_t capacity = 2000) {
    Writer out(capacity);
    const uint32_t n = req_write_subject_name(out.w.get(), components);
    const Bytes der = out.contents();
    EXPECT_EQ(n, n == 0 ? 0 : der.size());
    return n == 0 ? "failed" : to_hex(der);
}

std::string attributes_hex(const AttributeSlots& slots, uint32_t capacity = 2000) {
    Writer out(capacity);
    const uint32_t n = req_write_attributes(out.w.get(), slots);
    const Bytes der = out.contents();
    EXPECT_EQ(n, n == 0 ? 0 : der.size());
    return n == 0 ? "failed" : to_hex(der);
}

std::string hex(const char* spaced) {
    return to_hex(from_hex(spaced));
}

TEST(SubjectName, WorkedExampleOrgAnaMx) {
    SubjectComponents c{};
    c[0] = text("ORG");
    c[2] = text("ANA");
    c[6] = text("MX");
    const char* expected =
        "30 29"
        "31 0B 30 09 06 03 55 04 06 13 02 4D 58"
        "31 0C 30 0A 06 03 55 04 03 13 03 41 4E 41"
        "31 0C 30 0A 06 03 55 04 0A 13 03 4F 52 47";
    EXPECT_EQ(name_hex(c), hex(expected));
    // 43 bytes: every smaller buffer fails, the exact one holds it.
    EXPECT_EQ(name_hex(c, 43), hex(expected));
    for (uint32_t capacity = 0; capacity < 43; ++capacity) {
        EXPECT_EQ(name_hex(c, capacity), "failed") << capacity;
    }
}

TEST(SubjectName, AbsentComponentsAndTheEmptyName) {
    SubjectComponents c{};
    EXPECT_EQ(name_hex(c), "3000");
    uint8_t byte = 'X';
    c[0] = ByteSpan{&byte, 0};  // pointer without length: absent
    c[1] = ByteSpan{nullptr, 5};
    EXPECT_EQ(name_hex(c), "3000");
}

TEST(SubjectName, EmailOnlyIsAnIa5String) {
    SubjectComponents c{};
    c[SUBJECT_EMAIL] = text("a@b.mx");
    EXPECT_EQ(name_hex(c), hex("30 17 31 15 30 13 06 09 2A 86 48 86 F7 0D 01 09 01"
                               "16 06 61 40 62 2E 6D 78"));
}

TEST(SubjectName, UniqueIdentifierIsABitString) {
    SubjectComponents c{};
    c[SUBJECT_UNIQUE_IDENTIFIER] = text("ABCD123456XYZ");  // 13 bytes
    const std::string der = name_hex(c);
    EXPECT_EQ(der, hex("30 19 31 17 30 15 06 03 55 04 2D"
                       "03 0E 00 41 42 43 44 31 32 33 34 35 36 58 59 5A"));
}

// With every component present the RDNs stand in descending index order and
// the e-mail comes last. Each value is one byte naming its index.
TEST(SubjectName, OrderWithEveryComponent) {
    uint8_t values[15];
    SubjectComponents c{};
    for (uint8_t i = 0; i < 15; ++i) {
        values[i] = static_cast<uint8_t>('a' + i);
        c[i] = ByteSpan{&values[i], 1};
    }
    Writer out;
    ASSERT_NE(req_write_subject_name(out.w.get(), c), 0u);
    const Bytes der = out.contents();
    // Each RDN ends with its one value byte; read them at the RDN ends.
    std::string order;
    // Past 30 81 [len]; every RDN is below 128 bytes.
    ASSERT_EQ(der[1], 0x81);
    size_t at = 3;
    while (at < der.size()) {
        const size_t rdn_end = at + 2 + der[at + 1];
        order += static_cast<char>(der[rdn_end - 1]);
        at = rdn_end;
    }
    EXPECT_EQ(order, "onmkjihgfedcbal");
}

TEST(SubjectName, AccentedBytesAreCopiedUnchanged) {
    SubjectComponents c{};
    const uint8_t lopez[] = {'L', 0xD3, 'P', 'E', 'Z', ' ', 0xD1};  // LÓPEZ Ñ in ISO-8859-1
    c[2] = ByteSpan{const_cast<uint8_t*>(lopez), sizeof lopez};
    EXPECT_EQ(name_hex(c), hex("30 12 31 10 30 0E 06 03 55 04 03 13 07 4C D3 50 45 5A 20 D1"));
}

TEST(SubjectName, ComponentsWithoutATypeFail) {
    for (uint32_t index = 15; index < SUBJECT_COMPONENT_COUNT; ++index) {
        SubjectComponents c{};
        c[0] = text("ORG");
        c[index] = text("X");
        EXPECT_EQ(name_hex(c), "failed") << index;
    }
}

TEST(Attributes, WorkedExample) {
    AttributeSlots s{};
    uint8_t number[4];
    u32_to_be_bytes(1, number);
    const Bytes names = from_hex("30 06 87 04 01 02 03 04");
    s[SLOT_CHALLENGE_PASSWORD] = text("secreto1");
    s[SLOT_NUMBER] = ByteSpan{number, 4};
    s[SLOT_SUBJECT_ALT_NAME] =
        ByteSpan{const_cast<uint8_t*>(names.data()), static_cast<uint32_t>(names.size())};
    const std::string expected = hex("A0 3B"
                                     "30 11 06 03 55 1D 11 31 0A 13 08 30 06 87 04 01 02 03 04"
                                     "30 0D 06 03 2B 0F 01 31 06 13 04 00 00 00 01"
                                     "30 17 06 09 2A 86 48 86 F7 0D 01 09 07 31 0A 13 08") +
                                 to_hex(from_hex("73 65 63 72 65 74 6F 31"));
    EXPECT_EQ(attributes_hex(s), expected);
    EXPECT_EQ(attributes_hex(s, 61), expected);
    for (uint32_t capacity = 0; capacity < 61; ++capacity) {
        EXPECT_EQ(attributes_hex(s, capacity), "failed") << capacity;
    }
}

TEST(Attributes, PresenceIsThePointerAlone) {
    AttributeSlots s{};
    EXPECT_EQ(attributes_hex(s), "failed");  // nothing to write
    uint8_t byte = 0;
    s[SLOT_CHALLENGE_PASSWORD] = ByteSpan{&byte, 0};
    s[SLOT_EMAIL] = text("a@b");
    // Slot 1 as an empty PrintableString, slot 0 (written last) as IA5String.
    EXPECT_EQ(attributes_hex(s),
              hex("A0 25"
                  "30 0F 06 09 2A 86 48 86 F7 0D 01 09 07 31 02 13 00"
                  "30 12 06 09 2A 86 48 86 F7 0D 01 09 01 31 05 16 03 61 40 62"));
}

TEST(Attributes, SlotWithoutATypeFails) {
    AttributeSlots s{};
    s[SLOT_CHALLENGE_PASSWORD] = text("x");
    s[24] = text("y");
    EXPECT_EQ(attributes_hex(s), "failed");
}

struct AltNames {
    AttributeSlots slots{};
    ~AltNames() { span_array_release(slots, ATTRIBUTE_SLOT_COUNT); }
    std::string slot20() const {
        const ByteSpan& s = slots[SLOT_SUBJECT_ALT_NAME];
        return s.data == nullptr ? "empty" : to_hex(s.data, s.length);
    }
};

TEST(AltNamesBuilder, IpAddressOnly) {
    AltNames a;
    uint8_t ip[4] = {10, 0, 0, 1};
    const ByteSpan names[ALT_NAME_COUNT] = {{}, {}, {ip, 4}};
    EXPECT_EQ(req_build_alt_names(a.slots, names), STATUS_BUILT);
    EXPECT_EQ(a.slot20(), hex("30 06 87 04 0A 00 00 01"));
}

TEST(AltNamesBuilder, AllThreeStandIpDnsEmail) {
    AltNames a;
    uint8_t ip[4] = {1, 2, 3, 4};
    const ByteSpan names[ALT_NAME_COUNT] = {text("a@b.mx"), text("b.mx"), {ip, 4}};
    EXPECT_EQ(req_build_alt_names(a.slots, names), STATUS_BUILT);
    EXPECT_EQ(a.slot20(), hex("30 14 87 04 01 02 03 04 82 04 62 2E 6D 78"
                              "81 06 61 40 62 2E 6D 78"));
    // A second build replaces (and releases) the first string.
    const ByteSpan ip_only[ALT_NAME_COUNT] = {{}, {}, {ip, 4}};
    EXPECT_EQ(req_build_alt_names(a.slots, ip_only), STATUS_BUILT);
    EXPECT_EQ(a.slot20(), hex("30 06 87 04 01 02 03 04"));
}

TEST(AltNamesBuilder, NothingToBuildOrNoRoom) {
    uint8_t byte = 'x';
    std::string long_email(130, 'e'), long_dns(130, 'd');
    const ByteSpan too_long[ALT_NAME_COUNT] = {
        text(long_email.c_str()), text(long_dns.c_str()), {}};
    const ByteSpan all_null[ALT_NAME_COUNT] = {{nullptr, 3}, {nullptr, 4}, {nullptr, 4}};
    const ByteSpan all_empty[ALT_NAME_COUNT] = {{&byte, 0}, {&byte, 0}, {&byte, 0}};
    const struct {
        const char* what;
        const ByteSpan* names;
    } cases[] = {
        {"no array", nullptr},
        {"all pointers null", all_null},
        {"all lengths 0", all_empty},
        {"260 bytes of names", too_long},
    };
    for (const auto& c : cases) {
        AltNames a;
        EXPECT_EQ(req_build_alt_names(a.slots, c.names), 0u) << c.what;
        EXPECT_EQ(a.slot20(), "empty") << c.what;
    }
    // 124 + 124 bytes fit: 2 + 126 + 126 = 254.
    std::string fit_email(124, 'e'), fit_dns(124, 'd');
    const ByteSpan fit[ALT_NAME_COUNT] = {text(fit_email.c_str()), text(fit_dns.c_str()), {}};
    AltNames a;
    EXPECT_EQ(req_build_alt_names(a.slots, fit), STATUS_BUILT);
    EXPECT_EQ(a.slots[SLOT_SUBJECT_ALT_NAME].length, 255u);
}

TEST(Helpers, U32ToBigEndianBytes) {
    const struct {
        uint32_t value;
        const char* bytes;
    } cases[] = {
        {1, "00000001"}, {0xFFFFFFFFu, "FFFFFFFF"}, {0x01020304, "01020304"}, {0, "00000000"}};
    for (const auto& c : cases) {
        uint8_t out[4];
        u32_to_be_bytes(c.value, out);
        EXPECT_EQ(to_hex(out, 4), hex(c.bytes));
    }
}

TEST(Helpers, SpanArrayReleaseClearsEntries) {
    ByteSpan spans[3] = {{new uint8_t[4]{1, 2, 3, 4}, 4}, {nullptr, 7}, {new uint8_t[1]{9}, 1}};
    span_array_release(spans, 3);
    for (const ByteSpan& s : spans) {
        EXPECT_EQ(s.data, nullptr);
    }
    EXPECT_EQ(spans[0].length, 0u);
    EXPECT_EQ(spans[2].length, 0u);
    span_array_release(spans, 3);  // a second call finds nothing to release
}

}  // namespace
