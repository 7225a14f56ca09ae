#include "app/config_lookup.h"

#include <gtest/gtest.h>

namespace {

using app::ConfigDocument;
using app::FieldList;

// ISO-8859-1 bytes with CR LF line breaks, as profiles are written.
const char* const kDocument =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
    "<FIELDS>\r\n"
    "  <DN_O DISPLAY=\"Proporciona el campo Raz\xF3n SOcial\" MANDATORY=\"TRUE\"/>\r\n"
    "  <DN_OU MANDATORY=\"true\" DEFAULT=\"\"/>\r\n"
    "  <DN_CN_1 MANDATORY=\"True\" DEFAULT=\"JUAN\"/>\r\n"
    "  <DN_S MANDATORY=\"YES\" DEFAULT=\"first\"/>\r\n"
    "  <dn_o DISPLAY=\"lower-case twin\"/>\r\n"
    "  <DN_S DEFAULT=\"second\"/>\r\n"
    "  <GROUP><DN_L DISPLAY=\"deeper\" MANDATORY=\"TRUE\" DEFAULT=\"hidden\"/></GROUP>\r\n"
    "  <SIZE_KEY DEFAULT=\"1024\"/>\r\n"
    "  <REQ DEFAULT=\"solicitud\"/>\r\n"
    "  <MSG_MOUSE>\r\nMueve el rat\xF3n.\r\n</MSG_MOUSE>\r\n"
    "  <BLANKS>  </BLANKS>\r\n"
    "  <NESTED><INNER>x</INNER>tail</NESTED>\r\n"
    "  <ENTITY>a &amp; b</ENTITY>\r\n"
    "</FIELDS>\r\n";

class Config : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(doc.Parse(kDocument)) << doc.error(); }
    ConfigDocument doc;
};

TEST_F(Config, TextsAreIsoLatin1AndKeptAsWritten) {
    EXPECT_EQ(doc.GetDisplayText("DN_O"), "Proporciona el campo Raz\xF3n SOcial");
    EXPECT_EQ(doc.GetElementText("MSG_MOUSE"), "\r\nMueve el rat\xF3n.\r\n");
    EXPECT_EQ(doc.GetElementText("BLANKS"), "  ");
    EXPECT_EQ(doc.GetElementText("NESTED"), "");  // the first child is an element
    EXPECT_EQ(doc.GetElementText("ENTITY"), "a & b");
    EXPECT_EQ(doc.GetElementText("ABSENT"), "");
    EXPECT_EQ(doc.GetElementAttribute("DN_O", "ABSENT"), "");
    EXPECT_EQ(doc.GetElementAttribute("ABSENT", "DISPLAY"), "");
}

TEST_F(Config, NamesMatchExactlyAndTheFirstElementWins) {
    EXPECT_EQ(doc.GetDisplayText("dn_o"), "lower-case twin");
    EXPECT_EQ(doc.GetElementAttribute("DN_S", "DEFAULT"), "first");
    EXPECT_EQ(doc.GetDisplayText("DN_L"), "deeper");  // found at any depth
    EXPECT_EQ(doc.Root().name(), std::string("FIELDS"));
}

TEST_F(Config, Mandatory) {
    struct Case {
        const char* name;
        bool mandatory;
    } cases[] = {{"DN_O", true},  {"DN_OU", true}, {"DN_CN_1", true}, {"DN_S", false},
                 {"dn_o", false}, {"DN_L", true},  {"ABSENT", false}};
    for (const Case& c : cases)
        EXPECT_EQ(doc.IsMandatory(c.name), c.mandatory) << c.name;
}

TEST_F(Config, DefaultsComeFromDirectChildrenOnly) {
    FieldList data({"OLD=gone"});
    FieldList key;
    doc.LoadFieldDefaults(data, key);
    // DN_OU's empty default stores nothing; the later DN_S replaces the
    // earlier one in place; DN_L, one level deeper, is not loaded.
    EXPECT_EQ(data.Lines(), (std::vector<std::string>{"DN_CN_1=JUAN", "DN_S=second",
                                                      "SIZE_KEY=1024", "REQ=solicitud"}));
    EXPECT_EQ(key.Lines(), (std::vector<std::string>{"SIZE_KEY=1024", "REQ=solicitud"}));
}

TEST(ConfigParse, EncodingsAndFailures) {
    ConfigDocument doc;
    // Declared UTF-8 is read as UTF-8 and handed out as ISO-8859-1.
    ASSERT_TRUE(
        doc.Parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?><R><A DISPLAY=\"Pa\xC3\xADs\"/></R>"));
    EXPECT_EQ(doc.GetDisplayText("A"), "Pa\xEDs");
    // No declaration: the wizard's own 8-bit text.
    ASSERT_TRUE(doc.Parse("<R><A DISPLAY=\"Pa\xEDs\"/></R>"));
    EXPECT_EQ(doc.GetDisplayText("A"), "Pa\xEDs");
    for (const char* bad : {"", "<FIELDS>", "<A></B>", "not xml", "<?xml version=\"1.0\"?>"}) {
        EXPECT_FALSE(doc.Parse(bad)) << bad;
        EXPECT_FALSE(doc.loaded());
        EXPECT_EQ(doc.GetElementText("A"), "");
    }
}

}  // namespace
