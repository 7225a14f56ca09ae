#include "app/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, LetterCaseCoversIsoLatin1) {
    EXPECT_EQ(app::UpperCase("a\xF1o \xE9z"), "A\xD1O \xC9Z");
    EXPECT_EQ(app::LowerCase("\xC1\xD7\xDE"), "\xE1\xD7\xFE");  // the sign x stays
    EXPECT_EQ(app::UpperCase("\xF7\xFF"), "\xF7\xFF");          // division sign, y-diaeresis
    EXPECT_TRUE(app::SameText("dn_o", "DN_O"));
    EXPECT_FALSE(app::SameText("DN_O", "DN_O "));
}

TEST(Text, TrimRemovesBlanksAndControlCharacters) {
    EXPECT_EQ(app::Trim(" \t\r\n a b \x01"), "a b");
    EXPECT_EQ(app::Trim("   "), "");
    EXPECT_EQ(app::Trim("\xA0x\xA0"), "\xA0x\xA0");  // no-break space is a character
}

TEST(Text, Utf8AndLatin1) {
    EXPECT_EQ(app::Latin1ToUtf8("M\xC9XICO"), "M\xC3\x89XICO");
    struct Case {
        const char* utf8;
        const char* latin1;
    } cases[] = {
        {"M\xC3\x89XICO", "M\xC9XICO"},
        {"\xE2\x82\xAC", "?"},  // euro sign is outside ISO-8859-1
        {"\xC3", "?"},          // cut short
        {"\xC0\x80x", "?x"},    // overlong
        {"\x80x", "?x"},        // stray continuation byte
        {"\xF0\x9F\x98\x80!", "?!"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::Utf8ToLatin1(c.utf8), c.latin1) << c.utf8;
}

TEST(Text, HtmlEscape) {
    EXPECT_EQ(app::HtmlEscape("a\"b<c>&d'"), "a&quot;b&lt;c&gt;&amp;d'");
}

TEST(Text, ParseDecimal) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"648", true, 648},
        {"-3", true, -3},
        {"+7", true, 7},
        {"", false, 0},
        {"12a", false, 0},
        {" 5", false, 0},
        {"0x10", false, 0},
        {"2147483647", true, 2147483647},
        {"2147483648", false, 0},
        {"-2147483648", true, -2147483647 - 1},
        {"99999999999999999999", false, 0},
    };
    for (const Case& c : cases) {
        int v = 12345;
        EXPECT_EQ(app::ParseDecimal(c.text, v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 12345) << c.text;
    }
}

}  // namespace
