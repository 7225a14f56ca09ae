#include "app/text.h"

#include <gtest/gtest.h>

#include "platform/text.h"

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

TEST(Text, HtmlEscape) {
    EXPECT_EQ(platform::HtmlEscape("a\"b<c>&d'"), "a&quot;b&lt;c&gt;&amp;d'");
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
