// The conversion between the program's ISO-8859-1 text and UTF-8.
#include "platform/latin1.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::IsUtf8;
using platform::Latin1ToUtf8;
using platform::Utf8ToLatin1;

TEST(Latin1, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    const std::string utf8 = Latin1ToUtf8(all);
    EXPECT_TRUE(IsUtf8(utf8));
    EXPECT_EQ(Utf8ToLatin1(utf8), all);
    EXPECT_EQ(Latin1ToUtf8("Raz\xF3n"), "Raz\xC3\xB3n");
}

TEST(Latin1, WhatLatin1CannotHoldBecomesAQuestionMark) {
    struct Case {
        const char* utf8;
        const char* latin1;
        bool well_formed;
    } cases[] = {
        {"\xC3\x91"
         "and\xC3\xBA",
         "\xD1"
         "and\xFA",
         true},                       // within ISO-8859-1
        {"\xE2\x82\xAC", "?", true},  // euro sign
        {"a\xF0\x9F\x98\x80"
         "b",
         "a?b", true},                   // outside the BMP
        {"\xC0\xAF", "??", false},       // overlong "/"
        {"\xED\xA0\x80", "???", false},  // surrogate
        {"x\xC3", "x?", false},          // cut short
        {"\xFF", "?", false},            // never a lead byte
        {"\x80z", "?z", false},          // stray continuation
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToLatin1(c.utf8), c.latin1) << c.utf8;
        EXPECT_EQ(IsUtf8(c.utf8), c.well_formed) << c.utf8;
    }
}

}  // namespace
