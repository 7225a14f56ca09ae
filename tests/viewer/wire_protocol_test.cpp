// The shim's messages decoded and the window's commands built, without a
// server: each posted body the page may send, well formed or not, against
// the one outcome it must give.
#include "viewer/wire_protocol.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using nlohmann::json;
using platform::InputMessage;

std::string Nested(int depth) {
    return "{\"events\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

TEST(WireProtocol, BodiesThatAreNotTheirObjectAreRefused) {
    const char* const refused[] = {"", "not json", "[1,2]", "\"text\"", "42", "null", "{\"a\":"};
    for (const char* body : refused) {
        std::string submit_body = body;
        EXPECT_FALSE(viewer::wire::DecodeHello(body)) << body;
        EXPECT_FALSE(viewer::wire::DecodeBye(body)) << body;
        EXPECT_FALSE(viewer::wire::DecodeClick(body)) << body;
        EXPECT_FALSE(viewer::wire::DecodeSubmit(submit_body)) << body;
        EXPECT_FALSE(viewer::wire::DecodeLink(body)) << body;
        EXPECT_FALSE(viewer::wire::DecodeInput(body)) << body;
        EXPECT_FALSE(viewer::wire::DecodeAnswer(body)) << body;
        EXPECT_FALSE(viewer::wire::DecodeMakeFolder(body)) << body;
    }
    // Sixteen levels are the limit; a bracket inside a string does not count.
    EXPECT_TRUE(viewer::wire::DecodeInput(Nested(15)));
    EXPECT_FALSE(viewer::wire::DecodeInput(Nested(16)));
    EXPECT_TRUE(viewer::wire::DecodeClick("{\"name\":\"" + std::string(100, '[') + "\"}"));
}

TEST(WireProtocol, TextMembersArriveAsIso88591AndMissingOnesEmpty) {
    const auto click =
        viewer::wire::DecodeClick("{\"name\":\"Raz\\u00f3n\",\"onclick\":\"javascript:Ayuda()\"}");
    ASSERT_TRUE(click);
    EXPECT_EQ(click->name, "Raz\xF3n");
    EXPECT_EQ(click->on_click, "javascript:Ayuda()");

    const auto link = viewer::wire::DecodeLink("{\"url\":7}");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->url, "");
    EXPECT_EQ(link->target, "");

    const auto hello = viewer::wire::DecodeHello(
        "{\"page\":\"p1\",\"controls\":[{\"name\":\"RFC\"},7,{\"name\":\"PWD\",\"visible\":false},"
        "{\"name\":\"X\",\"visible\":\"no\"}]}");
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->page, "p1");
    ASSERT_EQ(hello->controls.size(), 3u);
    EXPECT_TRUE(hello->controls[0].visible);
    EXPECT_EQ(hello->controls[1].name, "PWD");
    EXPECT_FALSE(hello->controls[1].visible);
    EXPECT_TRUE(hello->controls[2].visible);  // only false hides

    EXPECT_EQ(viewer::wire::DecodeBye("{\"page\":\"p1\"}")->page, "p1");
}

TEST(WireProtocol, ASubmissionNamesTheFieldsIso88591CannotHoldAndWipesTheBody) {
    std::string body =
        "{\"action\":\"VALIDA_2\",\"method\":\"post\",\"lines\":[\"PWD=Pw1\\u20acab\","
        "\"CONFIRMA=x\",5,\"O=ACME\\u00d1\"]}";
    const size_t length = body.size();
    const auto submit = viewer::wire::DecodeSubmit(body);
    ASSERT_TRUE(submit);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(std::string(body.data(), length), std::string(length, '\0'));
    EXPECT_EQ(submit->action, "VALIDA_2");
    EXPECT_EQ(submit->method, "post");
    EXPECT_EQ(submit->target, "");
    ASSERT_EQ(submit->lines.size(), 3u);
    EXPECT_EQ(submit->lines[2], "O=ACME\xD1");
    EXPECT_EQ(submit->not_latin1, std::vector<std::string>{"PWD"});

    std::string refused = "[\"PWD=secret\"]";
    EXPECT_FALSE(viewer::wire::DecodeSubmit(refused));
    EXPECT_EQ(refused.find("secret"), std::string::npos);
}

TEST(WireProtocol, InputEventsAreCheckedAndClampedOneByOne) {
    const auto events = viewer::wire::DecodeInput(
        "{\"events\":["
        "[0, 10.7, -3, 0, 5],"            // a move, rounded toward zero
        "[1, 1, 2, 2, 6],"                // right button down
        "[2, 1, 2, 3, 7],"                // button 3 does not count
        "[3, 0, 0, 65, 1e300],"           // a key; the time clamped
        "[4, 0, 0, 0, 0],"                // no such kind
        "[1.5, 0, 0, 0, 0],"              // kind not an integer
        "[0, 1, 2, 3],"                   // too short
        "\"move\","                       // not an event
        "[0, 1e12, \"x\", -5, -1],"       // clamped, not a number -> 0
        "[9007199254740993, 0, 0, 0, 0]"  // a huge kind is no kind
        "]}");
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 4u);
    EXPECT_EQ((*events)[0].kind, InputMessage::MouseMove);
    EXPECT_EQ((*events)[0].x, 10);
    EXPECT_EQ((*events)[0].y, -3);
    EXPECT_EQ((*events)[1].kind, InputMessage::ButtonDown);
    EXPECT_EQ((*events)[1].key, 2u);
    EXPECT_EQ((*events)[2].kind, InputMessage::KeyDown);
    EXPECT_EQ((*events)[2].key, 65u);
    EXPECT_EQ((*events)[2].time_ms, static_cast<uint32_t>(INT64_MAX));
    EXPECT_EQ((*events)[3].x, INT32_MAX);
    EXPECT_EQ((*events)[3].y, 0);
    EXPECT_EQ((*events)[3].key, 0u);
    EXPECT_EQ((*events)[3].time_ms, 0u);

    EXPECT_FALSE(viewer::wire::DecodeInput("{\"events\":{}}"));
    EXPECT_FALSE(viewer::wire::DecodeInput("{}"));

    std::string batch = "{\"events\":[";
    for (int i = 0; i < 2500; ++i)
        batch += std::string(i ? "," : "") + "[0,1,1,0,1]";
    EXPECT_EQ(viewer::wire::DecodeInput(batch + "]}")->size(), 2000u);
}

TEST(WireProtocol, AnAnswerNeedsAnUnsignedIdAndKeepsItsResult) {
    const auto answer = viewer::wire::DecodeAnswer("{\"id\":3,\"result\":\"/home/a/x.req\"}");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->id, 3u);
    EXPECT_EQ(answer->result, json("/home/a/x.req"));
    EXPECT_TRUE(viewer::wire::DecodeAnswer("{\"id\":4}")->result.is_null());
    for (const char* body : {"{\"id\":-1}", "{\"id\":1.5}", "{\"id\":\"1\"}", "{\"result\":1}"})
        EXPECT_FALSE(viewer::wire::DecodeAnswer(body)) << body;
}

TEST(WireProtocol, ANewFolderNeedsTwoTextsAndKeepsThemInUtf8) {
    const struct {
        const char* body;
        bool decoded;
        std::string path;
        std::string name;
    } cases[] = {
        {R"({"path":"/home/ana","name":"Informes"})", true, "/home/ana", "Informes"},
        // Names on disk are UTF-8 and arrive so; the folder check refuses
        // what ISO-8859-1 cannot hold, not the decoder.
        {R"({"path":"/home/\u00f1","name":"A\u00f1o \u20ac"})", true, "/home/\xC3\xB1",
         "A\xC3\xB1o \xE2\x82\xAC"},
        {R"({"path":"/","name":"a\u0000b","extra":1})", true, "/", std::string("a\0b", 3)},
        {R"({"path":"/","name":""})", true, "/", ""},
        {R"({"path":"/home/ana"})", false, "", ""},
        {R"({"name":"Informes"})", false, "", ""},
        {R"({"path":"/","name":7})", false, "", ""},
        {R"({"path":null,"name":"x"})", false, "", ""},
        {R"({"path":["/"],"name":"x"})", false, "", ""},
    };
    for (const auto& c : cases) {
        const auto decoded = viewer::wire::DecodeMakeFolder(c.body);
        ASSERT_EQ(decoded.has_value(), c.decoded) << c.body;
        if (!decoded)
            continue;
        EXPECT_EQ(decoded->path, c.path) << c.body;
        EXPECT_EQ(decoded->name, c.name) << c.body;
    }
}

TEST(WireProtocol, PollCountersAreDecimalDigitsOnly) {
    const struct {
        const char* text;
        uint64_t value;
    } cases[] = {{"0", 0},
                 {"17", 17},
                 {"18446744073709551609", 18446744073709551609u},
                 {"18446744073709551616", 0},
                 {"-1", 0},
                 {"1e3", 0},
                 {" 1", 0},
                 {"", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(viewer::wire::DecodeCounter(c.text), c.value) << c.text;
}

TEST(WireProtocol, CommandsCarryTheirFieldsInUtf8) {
    EXPECT_EQ(viewer::wire::LoadCommand("P\xE1gina.htm"),
              json({{"type", "load"}, {"page", "P\xC3\xA1gina.htm"}}));
    EXPECT_EQ(viewer::wire::MessageCommand("Aviso", "Sin a\xF1o", platform::MessageIcon::Error),
              json({{"type", "message"},
                    {"title", "Aviso"},
                    {"text", "Sin a\xC3\xB1o"},
                    {"icon", "error"}}));
    EXPECT_EQ(viewer::wire::QuestionCommand("Aviso", "?", platform::MessageIcon::Warning)["icon"],
              "warning");
    EXPECT_EQ(viewer::wire::SaveCommand("Req (*.req)|*.req", "req", "a", "/home/\xC3\xB1"),
              json({{"type", "save"},
                    {"filter", "Req (*.req)|*.req"},
                    {"extension", "req"},
                    {"name", "a"},
                    {"directory", "/home/\xC3\xB1"}}));
    EXPECT_EQ(viewer::wire::TextCommand(2, "\xE9"),
              json({{"type", "text"}, {"index", 2}, {"text", "\xC3\xA9"}}));
    EXPECT_EQ(viewer::wire::ProgressCommand(140)["value"], 100);
    EXPECT_EQ(viewer::wire::ProgressCommand(-3)["value"], 0);
    EXPECT_EQ(viewer::wire::CollectCommand(false), json({{"type", "collect"}, {"on", false}}));
    EXPECT_EQ(viewer::wire::CollectCommand(true, 500),
              json({{"type", "collect"}, {"on", true}, {"need", 500}}));
    EXPECT_EQ(viewer::wire::CursorCommand(true), json({{"type", "cursor"}, {"wait", true}}));
    EXPECT_EQ(viewer::wire::CloseCommand(), json({{"type", "close"}}));
}

}  // namespace
