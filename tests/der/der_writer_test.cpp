#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/der/der.h"
#include "crypto/der/oid.h"
#include "tests/der/sample.h"
#include "tests/support/vectors.h"

namespace {

using vectors::Bytes;
using vectors::from_hex;
using vectors::to_hex;

// The writer's current encoding, data[position .. capacity-1].
Bytes contents(const DerWriter& w) {
    return Bytes(w.data + w.position, w.data + w.capacity);
}

ByteSpan span_of(Bytes& b) {
    return ByteSpan{b.data(), static_cast<uint32_t>(b.size())};
}

struct HeaderCase {
    uint8_t tag;
    uint32_t length;
    const char* expected;
};

TEST(DerWriter, HeaderIdentifierAndLengthForms) {
    const HeaderCase cases[] = {
        {DER_OCTET_STRING, 0, "04 00"},
        {DER_OCTET_STRING, 127, "04 7F"},
        {DER_OCTET_STRING, 128, "04 81 80"},
        {DER_OCTET_STRING, 255, "04 81 FF"},
        {DER_OCTET_STRING, 256, "04 82 01 00"},
        {DER_OCTET_STRING, 65535, "04 82 FF FF"},
        {DER_OCTET_STRING, 65536, "04 83 01 00 00"},
        {DER_OCTET_STRING, 0x00FFFFFF, "04 83 FF FF FF"},
        {DER_OCTET_STRING, 0x01000000, "04 84 01 00 00 00"},
        {DER_OCTET_STRING, 0xFFFFFFFF, "04 84 FF FF FF FF"},
        // 16 and 17 gain the constructed bit, in both length forms.
        {DER_SEQUENCE, 0, "30 00"},
        {DER_SEQUENCE, 5, "30 05"},
        {DER_SEQUENCE, 300, "30 82 01 2C"},
        {DER_SET, 3, "31 03"},
        {DER_SET, 200, "31 81 C8"},
        // Every other value is the identifier octet as given.
        {DER_CONTEXT_0, 3, "A0 03"},
        {DER_CONTEXT_0, 200, "A0 81 C8"},
        {DER_CONTEXT_1_PRIMITIVE, 1, "81 01"},
        {DER_CONTEXT_2_PRIMITIVE, 1, "82 01"},
        {DER_CONTEXT_7_PRIMITIVE, 4, "87 04"},
        {0x30, 1, "30 01"},
        {0x31, 1, "31 01"},
        {0x20, 1, "20 01"},  // 0x20 | 0x20: unchanged, not a SEQUENCE
        {DER_PRINTABLE_STRING, 2, "13 02"},
        {DER_IA5_STRING, 2, "16 02"},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.tag) + " / " + std::to_string(c.length));
        uint8_t buffer[8];
        DerWriter w;
        der_init(&w, buffer, sizeof buffer);
        const Bytes expected = from_hex(c.expected);
        EXPECT_EQ(der_write_header(&w, c.tag, c.length), expected.size());
        EXPECT_EQ(to_hex(contents(w)), to_hex(expected));
    }
}

struct ElementCase {
    const char* name;
    uint8_t tag;
    const char* in_front;  // bytes the caller wrote before the call
    const char* span;      // the span passed (its length for 16, 17, 2, 3)
    uint32_t result;
    const char* expected;  // the whole encoding afterwards
};

TEST(DerWriter, ElementBehaviourPerTag) {
    const ElementCase cases[] = {
        {"empty SEQUENCE", DER_SEQUENCE, "", "", 2, "30 00"},
        {"SEQUENCE over contents", DER_SEQUENCE, "05 00", "05 00", 2, "30 02 05 00"},
        {"SET over contents", DER_SET, "13 01 41", "13 01 41", 2, "31 03 13 01 41"},
        {"INTEGER header only", DER_INTEGER, "7F", "7F", 2, "02 01 7F"},
        {"BIT STRING over 3 bytes", DER_BIT_STRING, "AA BB CC", "AA BB CC", 3, "03 04 00 AA BB CC"},
        {"BIT STRING over nothing", DER_BIT_STRING, "", "", 3, "03 01 00"},
        {"NULL", DER_NULL, "", "", 2, "05 00"},
        {"OCTET STRING", DER_OCTET_STRING, "", "61 62 63", 5, "04 03 61 62 63"},
        {"empty OCTET STRING", DER_OCTET_STRING, "", "", 2, "04 00"},
        {"OID", DER_OID, "", "55 04 03", 5, "06 03 55 04 03"},
        {"IP address [7]", DER_CONTEXT_7_PRIMITIVE, "", "7F 00 00 01", 6, "87 04 7F 00 00 01"},
        {"0x30 is primitive to the element writer", 0x30, "", "05 00", 4, "30 02 05 00"},
        {"in front of earlier bytes", DER_PRINTABLE_STRING, "05 00", "41 42", 4,
         "13 02 41 42 05 00"},
    };
    for (const ElementCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t buffer[32];
        DerWriter w;
        der_init(&w, buffer, sizeof buffer);
        Bytes front = from_hex(c.in_front);
        if (!front.empty()) {
            ASSERT_EQ(der_prepend(&w, span_of(front)), front.size());
        }
        Bytes span_bytes = from_hex(c.span);
        EXPECT_EQ(der_write_element(&w, c.tag, span_of(span_bytes)), c.result);
        EXPECT_EQ(to_hex(contents(w)), to_hex(from_hex(c.expected)));
    }
}

TEST(DerWriter, LongPrimitiveElementUsesLongLength) {
    Bytes payload(300);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<uint8_t>(i);
    }
    std::vector<uint8_t> buffer(304);
    DerWriter w;
    der_init(&w, buffer.data(), 304);
    EXPECT_EQ(der_write_element(&w, DER_OCTET_STRING, span_of(payload)), 304u);
    EXPECT_EQ(w.position, 0u);
    Bytes expected = from_hex("04 82 01 2C");
    expected.insert(expected.end(), payload.begin(), payload.end());
    EXPECT_EQ(contents(w), expected);
}

TEST(DerWriter, BitStringLengthWithoutA32BitFormFails) {
    uint8_t buffer[16];
    DerWriter w;
    der_init(&w, buffer, sizeof buffer);
    EXPECT_EQ(der_write_element(&w, DER_BIT_STRING, ByteSpan{buffer, UINT32_MAX}), 0u);
    EXPECT_EQ(w.position, 16u);
}

struct IntegerCase {
    const char* input;
    int no_sign_byte;
    const char* expected;
    uint32_t span_length_after;
};

TEST(DerWriter, IntegerLeadingZerosAndSignByte) {
    const IntegerCase cases[] = {
        {"00", 0, "02 01 00", 1},
        {"00 00 00", 0, "02 01 00", 1},
        {"00 00 00", 1, "02 01 00", 1},
        {"00 00 80 01", 0, "02 03 00 80 01", 3},
        {"00 00 80 01", 1, "02 02 80 01", 2},
        {"7F", 0, "02 01 7F", 1},
        {"80", 0, "02 02 00 80", 2},
        {"80", 1, "02 01 80", 1},
        {"00 7F FF", 0, "02 02 7F FF", 2},
        {"01 00 01", 1, "02 03 01 00 01", 3},  // public exponent 65537
        {"00 FF", 5, "02 01 FF", 1},           // any non-zero flag drops the sign byte
    };
    for (const IntegerCase& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " no_sign_byte=" + std::to_string(c.no_sign_byte));
        uint8_t buffer[16];
        DerWriter w;
        der_init(&w, buffer, sizeof buffer);
        Bytes input = from_hex(c.input);
        ByteSpan span = span_of(input);
        const Bytes expected = from_hex(c.expected);
        EXPECT_EQ(der_write_integer(&w, &span, c.no_sign_byte), expected.size());
        EXPECT_EQ(to_hex(contents(w)), to_hex(expected));
        EXPECT_EQ(span.length, c.span_length_after);
        EXPECT_EQ(span.data, input.data());
    }
}

TEST(DerWriter, LongIntegerWithSignByte) {
    // A 2048-bit modulus: 256 bytes, top bit set, behind two zero bytes of a
    // fixed-size record.
    Bytes number(258, 0x5A);
    number[0] = 0x00;
    number[1] = 0x00;
    number[2] = 0xC3;
    std::vector<uint8_t> buffer(300);
    DerWriter w;
    der_init(&w, buffer.data(), 300);
    ByteSpan span = span_of(number);
    EXPECT_EQ(der_write_integer(&w, &span, 0), 4u + 257u);
    EXPECT_EQ(span.length, 257u);
    Bytes expected = from_hex("02 82 01 01 00");
    expected.insert(expected.end(), number.begin() + 2, number.end());
    EXPECT_EQ(contents(w), expected);
}

TEST(DerWriter, IntegerFromNothingFailsWithoutWriting) {
    uint8_t buffer[8];
    DerWriter w;
    der_init(&w, buffer, sizeof buffer);
    ByteSpan span{buffer, 0};
    EXPECT_EQ(der_write_integer(&w, &span, 0), 0u);
    EXPECT_EQ(w.position, 8u);
}

TEST(DerWriter, IntegerThatDoesNotFitSetsSpanLengthOnlyOnceContentsAreIn) {
    Bytes input = from_hex("00 00 80 01");
    DerWriter w;

    // The sign byte has no room: span length untouched, partial bytes stay.
    uint8_t two[2];
    der_init(&w, two, sizeof two);
    ByteSpan span = span_of(input);
    EXPECT_EQ(der_write_integer(&w, &span, 0), 0u);
    EXPECT_EQ(span.length, 4u);
    EXPECT_EQ(w.position, 0u);
    EXPECT_EQ(to_hex(contents(w)), "8001");

    // Contents fit, the header does not: the span already holds the count.
    uint8_t three[3];
    der_init(&w, three, sizeof three);
    span = span_of(input);
    EXPECT_EQ(der_write_integer(&w, &span, 0), 0u);
    EXPECT_EQ(span.length, 3u);
    der_init(&w, three, sizeof three);
    span = span_of(input);
    EXPECT_EQ(der_write_integer(&w, &span, 1), 0u);
    EXPECT_EQ(span.length, 2u);
}

TEST(DerWriter, PrependKeepsOrderAndLeavesPartialBytes) {
    uint8_t buffer[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    DerWriter w;
    der_init(&w, buffer, sizeof buffer);
    Bytes first = from_hex("01 02");
    Bytes second = from_hex("0A 0B 0C 0D");
    EXPECT_EQ(der_prepend(&w, span_of(first)), 2u);
    EXPECT_EQ(der_prepend(&w, ByteSpan{}), 0u);  // empty span: nothing, and 0
    EXPECT_EQ(w.position, 3u);
    EXPECT_EQ(der_prepend(&w, span_of(second)), 0u);
    // The last three bytes of the span went in before room ran out.
    EXPECT_EQ(w.position, 0u);
    EXPECT_EQ(to_hex(contents(w)), "0b0c0d0102");
    EXPECT_EQ(der_prepend_byte(&w, 0x99), 0u);
    EXPECT_EQ(w.position, 0u);
}

TEST(DerWriter, TakeRules) {
    uint8_t buffer[10];
    DerWriter w;
    der_init(&w, buffer, sizeof buffer);

    // Nothing written: 0, span untouched.
    ByteSpan span{nullptr, 10};
    EXPECT_EQ(der_take(&w, &span), 0u);
    EXPECT_EQ(span.data, nullptr);
    EXPECT_EQ(span.length, 10u);

    ASSERT_EQ(der_write_element(&w, DER_NULL, ByteSpan{}), 2u);
    ASSERT_EQ(der_write_header(&w, DER_SEQUENCE, 2), 2u);

    // Asking for less hands out the front part and advances past it.
    span.length = 3;
    EXPECT_EQ(der_take(&w, &span), 3u);
    EXPECT_EQ(span.data, buffer + 6);
    EXPECT_EQ(to_hex(span.data, span.length), "300205");
    EXPECT_EQ(w.position, 9u);

    // Asking for the capacity hands out the rest, then the writer is empty.
    span.length = 10;
    EXPECT_EQ(der_take(&w, &span), 1u);
    EXPECT_EQ(span.data, buffer + 9);
    EXPECT_EQ(span.length, 1u);
    EXPECT_EQ(w.position, w.capacity);
    EXPECT_EQ(der_take(&w, &span), 0u);

    // Asking for nothing gives nothing.
    ASSERT_EQ(der_prepend_byte(&w, 0x42), 1u);
    span.length = 0;
    EXPECT_EQ(der_take(&w, &span), 0u);
    EXPECT_EQ(w.position, 9u);
}

TEST(DerWriter, SaveAndRestore) {
    uint8_t buffer[16];
    uint8_t other[4];
    DerWriter w;
    der_init(&w, buffer, sizeof buffer);
    ASSERT_EQ(der_write_element(&w, DER_NULL, ByteSpan{}), 2u);

    DerState saved;
    der_save(&w, &saved);
    EXPECT_EQ(saved.data, buffer);
    EXPECT_EQ(saved.capacity, 16u);
    EXPECT_EQ(saved.position, 14u);

    Bytes junk = from_hex("13 03 41 42 43");
    ASSERT_EQ(der_prepend(&w, span_of(junk)), 5u);
    der_init(&w, other, sizeof other);  // even after re-pointing the writer
    der_restore(&w, &saved);
    EXPECT_EQ(w.data, buffer);
    EXPECT_EQ(w.capacity, 16u);
    EXPECT_EQ(w.position, 14u);

    // Later writes overwrite what was discarded.
    ASSERT_EQ(der_write_header(&w, DER_SEQUENCE, 2), 2u);
    EXPECT_EQ(to_hex(contents(w)), "30020500");
}

TEST(DerWriter, WritesIntoItsOwnScratch) {
    DerWriter w;
    der_init(&w, w.scratch, 256);
    EXPECT_EQ(der_write_algorithm_id(&w, ALG_MD5), 14u);
    EXPECT_EQ(w.position, 256u - 14u);
    EXPECT_EQ(to_hex(contents(w)), "300c06082a864886f70d02050500");
}

// Every capacity below the exact size fails with position 0 and the tail of
// the encoding left in place (no rollback); the exact size succeeds with the
// last byte at index 0.
TEST(DerWriter, ExactSizeBuffers) {
    std::vector<uint8_t> big(4096);
    DerWriter w;
    der_init(&w, big.data(), 4096);
    const uint32_t n = der_sample::write(&w);
    ASSERT_GT(n, 200u);
    ASSERT_EQ(n, 4096 - w.position);
    const Bytes full = contents(w);

    for (uint32_t capacity = 0; capacity < n; ++capacity) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        std::vector<uint8_t> buffer(capacity);  // exact allocation: overruns trip the sanitizer
        der_init(&w, buffer.data(), capacity);
        ASSERT_EQ(der_sample::write(&w), 0u);
        ASSERT_EQ(w.position, 0u);
        ASSERT_EQ(buffer, Bytes(full.end() - capacity, full.end()));
    }

    std::vector<uint8_t> exact(n);
    der_init(&w, exact.data(), n);
    EXPECT_EQ(der_sample::write(&w), n);
    EXPECT_EQ(w.position, 0u);
    EXPECT_EQ(exact, full);
}

}  // namespace
