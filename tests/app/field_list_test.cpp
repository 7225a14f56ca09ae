#include "app/field_list.h"

#include <gtest/gtest.h>

namespace {

using app::FieldList;

TEST(FieldList, LooksUpTheFirstLineOfANameInAnyLetterCase) {
    FieldList list({"DN_O=ACME", "dn_o=second", "NOEQUALS", "EMPTY=", "X=a=b", "=nameless"});
    EXPECT_EQ(list.Value("dn_O"), "ACME");
    EXPECT_EQ(list.Value("X"), "a=b");  // the value runs from the first "="
    EXPECT_EQ(list.Value("EMPTY"), "");
    EXPECT_EQ(list.Value("NOEQUALS"), "");  // a line without "=" has no name
    EXPECT_EQ(list.IndexOfName("NOEQUALS"), -1);
    EXPECT_EQ(list.Value(""), "nameless");
    EXPECT_EQ(list.Value("missing"), "");
}

TEST(FieldList, SettingReplacesAppendsOrRemoves) {
    FieldList list({"A=1", "b=2", "B=3"});
    list.SetValue("B", "two");  // replaces the first line of the name, spelt as given
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A=1", "B=two", "B=3"}));
    list.SetValue("C", "new");
    EXPECT_EQ(list.Line(3), "C=new");
    list.SetValue("b", "");  // an empty value removes the first line
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A=1", "B=3", "C=new"}));
    list.SetValue("absent", "");  // and stores nothing
    EXPECT_EQ(list.Count(), 3u);
}

TEST(FieldList, TextFormAndAssignment) {
    FieldList list({"A=1", "B="});
    EXPECT_EQ(list.Text(), "A=1\r\nB=\r\n");
    FieldList other({"Z=9"});
    list.Assign(other.Lines());
    EXPECT_EQ(list.Lines(), other.Lines());
    list.Clear();
    EXPECT_EQ(list.Text(), "");
}

TEST(FieldList, SplitLine) {
    EXPECT_EQ(app::SplitLine("Image2.x=12").name, "Image2.x");
    EXPECT_EQ(app::SplitLine("Image2.x=12").value, "12");
    EXPECT_EQ(app::SplitLine("bare").name, "bare");
    EXPECT_EQ(app::SplitLine("bare").value, "");
}

}  // namespace
