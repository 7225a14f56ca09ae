#include "app/template_filter.h"

#include <gtest/gtest.h>

namespace {

using app::THttpMemoFilter;

// A handler that shows what it was called with: {NAME} or {NAME:p1|p2}. The
// name LOOP puts a tag, to show that handler output is not scanned again.
THttpMemoFilter MakeFilter() {
    THttpMemoFilter filter;
    filter.OnHttpEntry = [](THttpMemoFilter& f, const std::string& name) {
        if (name == "LOOP") {
            f.Put("#DN_O#");
            return;
        }
        if (name == "NOTHING")
            return;
        std::string out = "{" + name;
        const auto& params = f.GetEntryParams();
        for (size_t i = 0; i < params.size(); ++i)
            out += (i == 0 ? ":" : "|") + params[i];
        f.Put(out + "}");
    };
    return filter;
}

TEST(TemplateFilter, ExpansionTable) {
    const std::string name64(64, 'N'), name65(65, 'N');
    const std::string long_param(1000, 'x'), too_long_param(1100, 'x');
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        // Value tags, with either start character.
        {"#DN_O#", "{DN_O}"},
        {"value=\"#DN_O#\" size=50", "value=\"{DN_O}\" size=50"},
        {"%DN_O%", "{DN_O}"},
        {"#A##B#", "{A}{B}"},
        {"#NOTHING#x", "x"},
        {"# DN_O#", "# DN_O#"},  // a blank outside parentheses ends the scan
        {"#\tDN_O#", "#\tDN_O#"},
        {"#NOMBRE_\xD1#", "{NOMBRE_\xD1}"},
        {"#LOOP#", "#DN_O#"},
        // Ordinary HTML is left alone.
        {"bgcolor=\"#E7E7E7\"", "bgcolor=\"#E7E7E7\""},
        {"width=\"33%\"", "width=\"33%\""},
        {"100%\"", "100%\""},
        {"50% y 50%", "50% y 50%"},
        {"%%", "%%"},
        {"##", "##"},
        {"abc#", "abc#"},
        {"#DN_O%", "#DN_O%"},
        {"#a.b#", "#a.b#"},
        {"#a,b#", "#a,b#"},
        {"#)#", "#)#"},
        {"#(#", "#(#"},
        {"#A\"#", "#A\"#"},
        {"#A<b#", "#A<b#"},
        {"&#233; es#", "&#233; es#"},
        {"&#233;#", "&{233;}"},  // a numeric reference closed by another "#" is a tag
        // A tag never spans lines.
        {"#DN_O\r\nx#", "#DN_O\r\nx#"},
        // Parameters.
        {"#SELECTED_DN_C(MX)#", "{SELECTED_DN_C:MX}"},
        {"#F ( a , b )#", "#F ( a , b )#"},
        {"#F( a , b )#", "{F:a|b}"},
        {"#F( a , \"b,c\" , \"say \"\"hi\"\"\" ,,d)#", "{F:a|b,c|say \"hi\"||d}"},
        {"#F()#", "{F}"},
        {"#F(a,)#", "{F:a}"},
        {"#F(a.b)#", "{F:a.b}"},
        {"#F(<b>)#", "{F:<b>}"},
        {"#F(\"#\")#", "{F:#}"},
        // Quoted parameters lose their quotes and shrink inner runs of quotes;
        // unquoted ones keep every quote as written.
        {"#F(\"a\"\"b\")#", "{F:a\"b}"},
        {"#F(a\"\"b)#", "{F:a\"\"b}"},
        {"#F(a))#", "#F(a))#"},
        {"#F(a)x#", "{F}"},  // no closing parenthesis last: no parameters
        // Conditional sections give nothing and reach no handler.
        {"#IF X#a#ELSEIF(Y)#b#ELSE#c#ENDIF#", "abc"},
        {"%if x = 1%a%endif%", "a"},
        {"#ElseWhere#", ""},
        {"#IFX#", "{IFX}"},
        // Length limits: 64 characters, or 1,024 with a "(" close behind the start.
        {"#" + name64 + "#", "{" + name64 + "}"},
        {"#" + name65 + "#", "#" + name65 + "#"},
        {"#N(" + long_param + ")#", "{N:" + long_param + "}"},
        {"#N(" + too_long_param + ")#", "#N(" + too_long_param + ")#"},
    };
    for (const Case& c : cases) {
        THttpMemoFilter filter = MakeFilter();
        EXPECT_EQ(filter.PutString(c.in), c.out) << c.in;
    }
}

TEST(TemplateFilter, AsStringJoinsLinesWithCrLf) {
    THttpMemoFilter filter = MakeFilter();
    filter.SetText("a\nb#X#\r\nc\rd\n\n");
    EXPECT_EQ(filter.Lines(), (std::vector<std::string>{"a", "b#X#", "c", "d", ""}));
    EXPECT_EQ(filter.AsString(), "a\r\nb{X}\r\nc\r\nd\r\n\r\n");
    filter.SetText("");
    EXPECT_EQ(filter.AsString(), "");
}

TEST(TemplateFilter, ParametersAreOnlyVisibleDuringTheirTag) {
    THttpMemoFilter filter;
    std::vector<size_t> seen;
    filter.OnHttpEntry = [&seen](THttpMemoFilter& f, const std::string&) {
        seen.push_back(f.GetEntryParams().size());
    };
    filter.PutString("#A(1,2)##B#");
    EXPECT_EQ(seen, (std::vector<size_t>{2, 0}));
    EXPECT_TRUE(filter.GetEntryParams().empty());
}

}  // namespace
