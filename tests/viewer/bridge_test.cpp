// The viewer's operations and events across the server: pages and images
// answered by the window thread, clicks and submissions delivered in order,
// modal steps that wait for the page's answer, the control list, input for
// the hook, and the end of the window.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/support/session_bus.h"
#include "tests/viewer/viewer_fixture.h"
#include "viewer/directory_listing.h"

namespace {

using nlohmann::json;
using viewer_test::QuickOptions;
using viewer_test::Wizard;
using namespace std::chrono_literals;

TEST(ViewerBridge, PagesComeFromTheWindowAsIso88591WithTheShim) {
    Wizard wizard;
    wizard.events.pages["INDEX.HTM"] = {"<html><head><title>Datos</title></head>",
                                        "<body>Raz\xF3n social</body></html>"};
    auto page = wizard.Get("/INDEX.HTM");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=ISO-8859-1");
    const std::string& html = page->body;
    // The window's lines, bytes unchanged, each ended by CR LF, with the
    // shim inside the head.
    EXPECT_EQ(html.rfind("<html><head><style>", 0), 0u);
    EXPECT_NE(
        html.find(
            "</script><title>Datos</title></head>\r\n<body>Raz\xF3n social</body></html>\r\n"),
        std::string::npos);
    EXPECT_NE(html.find("/__reqwiz/"), std::string::npos);

    // A page the archive does not hold is served empty, still with the shim
    // so that the window can move on from it.
    auto missing = wizard.Get("/nothing.htm");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 200);
    EXPECT_NE(missing->body.find("<script>"), std::string::npos);
    EXPECT_EQ(wizard.events.Log(),
              (std::vector<std::string>{"page INDEX.HTM", "page nothing.htm"}));
}

// On the loopback nothing is compressed, whatever the browser accepts:
// compressing a page with the shim in it costs more time than it saves.
TEST(ViewerBridge, PagesAndImagesAreSentUncompressed) {
    Wizard wizard;
    wizard.events.pages["PAGE3.HTM"] = {"<html><head><title>Espera</title></head>",
                                        "<body>" + std::string(20000, 'x') + "</body></html>"};
    httplib::Client client = wizard.Client();
    client.set_decompress(false);
    httplib::Headers headers = wizard.SessionHeaders();
    headers.emplace("Accept-Encoding", "gzip, deflate, br, zstd");
    for (const char* path : {"/PAGE3.HTM", "/Images/pixel.gif", "/"}) {
        auto answer = client.Get(path, headers);
        ASSERT_TRUE(answer) << path;
        EXPECT_FALSE(answer->has_header("Content-Encoding")) << path;
    }
    auto page = client.Get("/PAGE3.HTM", headers);
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find(std::string(20000, 'x')), std::string::npos);
}

TEST(ViewerBridge, ImagesComeFromTheWindowWithTheirContentType) {
    Wizard wizard;
    const std::vector<uint8_t> gif{'G', 'I', 'F', '8', '9', 'a', 0, 0xFF, 0x80};
    wizard.events.images["Images/pixel.gif"] = gif;
    auto image = wizard.Get("/Images/pixel.gif");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->status, 200);
    EXPECT_EQ(image->get_header_value("Content-Type"), "image/gif");
    EXPECT_EQ(image->body, std::string(gif.begin(), gif.end()));

    auto missing = wizard.Get("/Images/none.gif");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_TRUE(missing->body.empty());

    // A name with an encoded character reaches the window decoded, in ISO-8859-1.
    wizard.Get("/Images/ni%C3%B1o.gif");
    EXPECT_EQ(wizard.events.Log().back(), "image Images/ni\xF1o.gif");
}

TEST(ViewerBridge, ClicksAndSubmissionsReachTheWindowInOrderAsIso88591) {
    Wizard wizard;
    const json click{{"name", "Image2"}, {"onclick", "2"}};
    const json submit{{"action", "VALIDA_1"},
                      {"target", ""},
                      {"enctype", "x-www-form-encoded"},
                      {"method", "POST"},
                      {"lines",
                       {"DN_O=\xC3\x91"
                        "AND\xC3\x9A S.A.",
                        "DN_OU=", "DN_L=\xE2\x82\xAC", "Image2.x=10", "Image2.y=7"}}};
    ASSERT_EQ(wizard.Post("/__reqwiz/click", click)->status, 204);
    ASSERT_EQ(wizard.Post("/__reqwiz/submit", submit)->status, 204);
    ASSERT_EQ(
        wizard.Post("/__reqwiz/link", json{{"target", "_blank"}, {"url", "http://x/"}})->status,
        204);
    EXPECT_EQ(wizard.events.WaitForLog(3),
              (std::vector<std::string>{"click Image2 2",
                                        "submit VALIDA_1||x-www-form-encoded|POST|DN_O=\xD1"
                                        "AND\xDA S.A.|DN_OU=|"
                                        "DN_L=?|Image2.x=10|Image2.y=7|"
                                        "not latin-1: DN_L",
                                        "link _blank http://x/"}));
    // Malformed messages are refused, not guessed at.
    EXPECT_EQ(wizard.Post("/__reqwiz/click", json::array())->status, 400);
}

TEST(ViewerBridge, AMessageBoxWaitsForThePagesAcceptThenTheNextCommandFollows) {
    Wizard wizard(QuickOptions());
    std::atomic<bool> returned{false};
    std::future<void> shown = wizard.StartOnWindow([&] {
        wizard.viewer().MessageBox("Aviso",
                                   "La clave de acceso debe de contener n\xFAmeros y letras",
                                   platform::MessageIcon::Error);
        returned = true;
        wizard.viewer().Load("Page2.htm");
    });
    const json commands = wizard.PollUntilAny(0, 0);
    ASSERT_EQ(commands.size(), 1u);
    const json& box = commands[0];
    EXPECT_EQ(box["type"], "message");
    EXPECT_EQ(box["title"], "Aviso");
    EXPECT_EQ(box["icon"], "error");
    EXPECT_EQ(box["text"], "La clave de acceso debe de contener n\xC3\xBAmeros y letras");

    // While the box is open the window keeps serving the page.
    wizard.events.pages["Page2.htm"] = {"<p>x</p>"};
    ASSERT_EQ(wizard.Get("/Page2.htm")->status, 200);
    EXPECT_FALSE(returned);
    // An answer to some other box changes nothing.
    ASSERT_EQ(wizard.Post("/__reqwiz/answer", json{{"id", 999}, {"result", true}})->status, 204);
    EXPECT_TRUE(wizard.Poll(0, box["seq"]).empty());
    EXPECT_FALSE(returned);

    ASSERT_EQ(wizard.Post("/__reqwiz/answer", json{{"id", box["id"]}, {"result", true}})->status,
              204);
    shown.get();
    EXPECT_TRUE(returned);
    const json next = wizard.PollUntilAny(box["seq"], box["seq"]);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0]["type"], "load");
    EXPECT_EQ(next[0]["page"], "Page2.htm");
}

TEST(ViewerBridge, QuestionAndSaveDialogReturnThePagesAnswer) {
    Wizard wizard;
    struct Case {
        json answer;
        std::optional<std::string> path;
    } cases[] = {{"/home/jos\xC3\xA9/llave.key", "/home/jos\xE9/llave.key"},
                 {nullptr, std::nullopt},
                 {"", std::nullopt}};
    uint64_t have = 0;
    for (const Case& c : cases) {
        std::optional<std::string> chosen;
        std::future<void> dialog = wizard.StartOnWindow([&] {
            chosen = wizard.viewer().SaveFileDialog("Llave Privada (*.key)|*.key", ".key", "");
        });
        const json commands = wizard.PollUntilAny(have, have);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0]["type"], "save");
        EXPECT_EQ(commands[0]["filter"], "Llave Privada (*.key)|*.key");
        EXPECT_EQ(commands[0]["extension"], ".key");
        have = commands[0]["seq"];
        wizard.Post("/__reqwiz/answer", json{{"id", commands[0]["id"]}, {"result", c.answer}});
        dialog.get();
        EXPECT_EQ(chosen, c.path);
    }

    for (bool yes : {true, false}) {
        bool answer = !yes;
        std::future<void> asked = wizard.StartOnWindow([&] {
            answer = wizard.viewer().AskYesNo("Aviso", "\xBFReemplazar?",
                                              platform::MessageIcon::Warning);
        });
        const json commands = wizard.PollUntilAny(have, have);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0]["type"], "question");
        EXPECT_EQ(commands[0]["text"], "\xC2\xBFReemplazar?");
        have = commands[0]["seq"];
        wizard.Post("/__reqwiz/answer", json{{"id", commands[0]["id"]}, {"result", yes}});
        asked.get();
        EXPECT_EQ(answer, yes);
    }
}

TEST(ViewerBridge, OneModalStepAtATimeClicksDuringADialogDoNothing) {
    // Outlives the window thread, which may still be in the last dialog.
    std::vector<std::optional<std::string>> chosen;
    Wizard wizard(QuickOptions());
    // A click on the file button opens the save dialog from inside the click,
    // as the wizard's window does.
    wizard.events.on_click_hook = [&](const std::string& on_click) {
        if (on_click == "key")
            chosen.push_back(wizard.viewer().SaveFileDialog("*.key|*.key", ".key", ""));
    };
    const json click{{"name", "BTN_KEY"}, {"onclick", "key"}};
    ASSERT_EQ(wizard.Post("/__reqwiz/click", click)->status, 204);
    const json first = wizard.PollUntilAny(0, 0);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(first[0]["type"], "save");

    // A page (or anyone holding the session) firing clicks, submissions and
    // links at the open dialog: none of them reaches the window.
    httplib::Client client = wizard.Client();
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(
            client
                .Post("/__reqwiz/click", wizard.SessionHeaders(), click.dump(), "application/json")
                ->status,
            204);
    wizard.Post("/__reqwiz/submit", json{{"action", "VALIDA_2"}, {"lines", json::array()}});
    wizard.Post("/__reqwiz/link", json{{"target", ""}, {"url", "https://example.org/"}});
    // Everything posted so far has been handled once this runs.
    wizard.OnWindow<int>([] { return 0; });
    EXPECT_TRUE(wizard.Poll(0, first[0]["seq"]).empty());
    EXPECT_EQ(wizard.events.Log(), std::vector<std::string>{"click BTN_KEY key"});

    wizard.Post("/__reqwiz/answer", json{{"id", first[0]["id"]}, {"result", "/tmp/a.key"}});
    wizard.OnWindow<int>([] { return 0; });
    EXPECT_EQ(chosen, (std::vector<std::optional<std::string>>{std::string("/tmp/a.key")}));
    // With the dialog closed, the next click opens the next one.
    ASSERT_EQ(wizard.Post("/__reqwiz/click", click)->status, 204);
    const json second = wizard.PollUntilAny(first[0]["seq"], first[0]["seq"]);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0]["type"], "save");
    EXPECT_EQ(wizard.events.Log().size(), 2u);
}

TEST(ViewerBridge, MessagesNestedTooDeepAreRefusedUnread) {
    Wizard wizard(QuickOptions());
    const auto nested = [](size_t depth) {
        return std::string(depth, '[') + std::string(depth, ']');
    };
    httplib::Client client = wizard.Client();
    for (const char* path : {"/__reqwiz/answer", "/__reqwiz/input", "/__reqwiz/hello"}) {
        const std::string body =
            R"({"id":1,"result":)" + nested(100000) + R"(,"events":)" + nested(100000) + "}";
        auto result = client.Post(path, wizard.SessionHeaders(), body, "application/json");
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 400) << path;
    }
    // Brackets inside a text are text, and a shallow answer still counts.
    std::string answer;
    std::future<void> asked = wizard.StartOnWindow(
        [&] { answer = wizard.viewer().SaveFileDialog("", "", "").value_or("none"); });
    const json commands = wizard.PollUntilAny(0, 0);
    ASSERT_EQ(commands.size(), 1u);
    const std::string brackets = "/tmp/" + nested(40) + "{{";
    EXPECT_EQ(
        wizard.Post("/__reqwiz/answer", json{{"id", commands[0]["id"]}, {"result", brackets}})
            ->status,
        204);
    asked.get();
    EXPECT_EQ(answer, brackets);
}

TEST(ViewerBridge, ControlsComeFromThePageAndCommandsNameThemByIndex) {
    Wizard wizard;
    ASSERT_EQ(wizard
                  .Post("/__reqwiz/hello", json{{"page", "p1"},
                                                {"controls",
                                                 {{{"name", "PWD"}, {"visible", true}},
                                                  {{"name", "DN_T"}, {"visible", false}},
                                                  {{"name", "KEY"}, {"visible", true}}}}})
                  ->status,
              200);
    auto names = wizard.OnWindow<std::string>([&] {
        std::string out;
        for (const platform::FormControlInfo& c : wizard.viewer().FormControls())
            out += c.name + (c.visible ? "+" : "-") + " ";
        wizard.viewer().ShowControl(1);
        wizard.viewer().FocusControl(1);
        wizard.viewer().SetControlText(2, "/tmp/llave \xF1.key");
        wizard.viewer().FocusControl(7);  // out of range: ignored
        wizard.viewer().SetCursor(platform::Cursor::Wait);
        return out;
    });
    EXPECT_EQ(names, "PWD+ DN_T- KEY+ ");
    EXPECT_TRUE(wizard.OnWindow<bool>([&] { return wizard.viewer().FormControls()[1].visible; }));

    const json commands = wizard.PollUntilAny(0, 0);
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0], json::parse(R"({"type":"show","index":1,"seq":1})"));
    EXPECT_EQ(commands[1], json::parse(R"({"type":"focus","index":1,"seq":2})"));
    EXPECT_EQ(commands[2]["text"], "/tmp/llave \xC3\xB1.key");
    EXPECT_EQ(commands[3], json::parse(R"({"type":"cursor","wait":true,"seq":4})"));
}

TEST(ViewerBridge, OneStepOfTheWindowReachesThePageInOneAnswerAndTheHelloBringsIt) {
    Wizard wizard(QuickOptions());
    std::promise<void> halfway;
    std::promise<void> go_on;
    std::shared_future<void> resume = go_on.get_future().share();
    std::future<void> step = wizard.StartOnWindow([&] {
        wizard.viewer().SetCursor(platform::Cursor::Wait);
        halfway.set_value();
        resume.wait();  // the window is still at work
        wizard.viewer().Load("Page3.htm");
    });
    halfway.get_future().get();
    // Half a step is not sent: the poll's time runs out with nothing.
    EXPECT_TRUE(wizard.Poll(0, 0).empty());
    go_on.set_value();
    step.get();
    // The whole step, once the window waits again.
    ASSERT_EQ(wizard.Poll(0, 0).size(), 2u);

    // A page that says hello gets the commands it has not had in the answer;
    // a page that has them gets none.
    const auto hello = [&](uint64_t done, uint64_t have) {
        auto result = wizard.Post(
            "/__reqwiz/hello",
            json{{"page", "p1"}, {"controls", json::array()}, {"done", done}, {"have", have}});
        EXPECT_TRUE(result && result->status == 200);
        return result ? json::parse(result->body)["commands"] : json();
    };
    const json commands = hello(0, 0);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0]["type"], "cursor");
    EXPECT_EQ(commands[1]["type"], "load");
    const json rest = hello(1, 1);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0]["seq"], 2);
    EXPECT_TRUE(hello(2, 2).empty());
}

TEST(ViewerBridge, InputEventsGoThroughTheHookInOrder) {
    Wizard wizard;
    std::vector<platform::InputMessage> seen;
    std::promise<void> six;
    wizard.OnWindow<bool>([&] {
        wizard.loop().SetHook([&](const platform::InputMessage& m) {
            seen.push_back(m);
            if (seen.size() == 6)
                six.set_value();
        });
        return true;
    });
    // Only the left, middle and right buttons count (3 and 4 are the back
    // and forward buttons); every number is clamped, never overflows, and
    // the time wraps around like a 32-bit tick count.
    const json events{{"events",
                       {{0, 100, 200, 0, 4000000000u},
                        {1, 101, 201, 0, 5},
                        {9, 0, 0, 0, 0},
                        "junk",
                        {1, 1, 1, 3, 6},
                        {2, 1, 1, 4, 6},
                        {3, 0, 0, 65, 6},
                        {2, 1, 1, 2, 7},
                        {0, 1e12, -1e12, 0, -3.5},
                        {0, 0, 0, 0, 4294967301.0}}}};
    ASSERT_EQ(wizard.Post("/__reqwiz/input", events)->status, 204);
    ASSERT_EQ(six.get_future().wait_for(10s), std::future_status::ready);
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0].kind, platform::InputMessage::MouseMove);
    EXPECT_EQ(seen[0].x, 100);
    EXPECT_EQ(seen[0].y, 200);
    EXPECT_EQ(seen[0].time_ms, 4000000000u);
    EXPECT_EQ(seen[1].kind, platform::InputMessage::ButtonDown);
    EXPECT_EQ(seen[2].kind, platform::InputMessage::KeyDown);
    EXPECT_EQ(seen[2].key, 65u);
    EXPECT_EQ(seen[3].kind, platform::InputMessage::ButtonUp);
    EXPECT_EQ(seen[3].key, 2u);
    EXPECT_EQ(seen[4].x, INT32_MAX);
    EXPECT_EQ(seen[4].y, INT32_MIN);
    EXPECT_EQ(seen[4].time_ms, 0u);
    EXPECT_EQ(seen[5].time_ms, 5u);
}

TEST(ViewerBridge, APageThatGoesAwayForGoodEndsTheWindow) {
    Wizard wizard(QuickOptions());
    std::promise<void> gone;
    wizard.OnWindow<bool>([&] {
        wizard.viewer().OnPageGone = [&] { gone.set_value(); };
        return true;
    });
    std::future<void> ended = gone.get_future();
    // Nothing ends before a page has been there.
    EXPECT_EQ(ended.wait_for(1s), std::future_status::timeout);

    ASSERT_EQ(
        wizard.Post("/__reqwiz/hello", json{{"page", "p1"}, {"controls", json::array()}})->status,
        200);
    ASSERT_EQ(wizard.Post("/__reqwiz/bye", json{{"page", "p1"}})->status, 204);
    EXPECT_EQ(ended.wait_for(30s), std::future_status::ready);
}

TEST(ViewerBridge, ModalStepsEndWhenThePageIsGone) {
    Wizard wizard(QuickOptions());
    wizard.OnWindow<bool>([&] {
        wizard.viewer().OnPageGone = [&] { wizard.viewer().Close(); };
        return true;
    });
    ASSERT_EQ(
        wizard.Post("/__reqwiz/hello", json{{"page", "p1"}, {"controls", json::array()}})->status,
        200);
    std::future<void> shown = wizard.StartOnWindow(
        [&] { wizard.viewer().MessageBox("Aviso", "x", platform::MessageIcon::Warning); });
    // No answer comes: the page went away with the box open.
    EXPECT_EQ(shown.wait_for(30s), std::future_status::ready);
    // Later modal steps return at once.
    EXPECT_FALSE(wizard.OnWindow<bool>(
        [&] { return wizard.viewer().AskYesNo("Aviso", "x", platform::MessageIcon::Warning); }));
}

TEST(ViewerBridge, CloseIsHandedToThePageBeforeTheProgramEnds) {
    Wizard wizard;
    ASSERT_EQ(
        wizard.Post("/__reqwiz/hello", json{{"page", "p1"}, {"controls", json::array()}})->status,
        200);
    // Close waits (a moment at most) until the page has taken the command.
    std::future<void> closing = wizard.StartOnWindow([&] { wizard.viewer().Close(); });
    const json commands = wizard.PollUntilAny(0, 0);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["type"], "close");
    closing.get();
}

}  // namespace

namespace {

TEST(ViewerBridge, TheFinalBandNamesBothFilesAndOpensOnlyTheWindowsFolders) {
    viewer::ViewerOptions options = QuickOptions();
    std::mutex mutex;
    std::vector<std::string> opened;
    options.open_folder = [&](const std::string& folder) {
        std::lock_guard<std::mutex> lock(mutex);
        opened.push_back(folder);
        return true;
    };
    const auto opened_now = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return opened;
    };
    Wizard wizard(options);
    // Before any generation the button has nothing to open, and a body
    // naming a path, or no known file, is refused.
    ASSERT_EQ(wizard.Post("/__reqwiz/open", json{{"file", "request"}})->status, 204);
    EXPECT_EQ(wizard.Post("/__reqwiz/open", json{{"file", "/etc"}})->status, 400);
    EXPECT_EQ(wizard.Post("/__reqwiz/open", json{{"path", "/etc"}})->status, 400);

    wizard
        .StartOnWindow([&] {
            wizard.viewer().ShowResultFiles("/home/ana/A\xF1o/solicitud.req",
                                            "/home/ana/llaves/../A\xF1o/llave.key");
        })
        .get();
    json commands = wizard.PollUntilAny(0, 0);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["type"], "files");
    EXPECT_EQ(commands[0]["request"], "/home/ana/A\xC3\xB1o/solicitud.req");
    EXPECT_EQ(commands[0]["key"], "/home/ana/A\xC3\xB1o/llave.key");
    EXPECT_EQ(commands[0]["same_folder"], true);
    EXPECT_TRUE(opened_now().empty());

    ASSERT_EQ(wizard.Post("/__reqwiz/open", json{{"file", "key"}})->status, 204);
    wizard.OnWindow<bool>([] { return true; });  // the posted work has run
    EXPECT_EQ(opened_now(), (std::vector<std::string>{"/home/ana/A\xC3\xB1o"}));

    // Files in two folders: each has its own button.
    wizard
        .StartOnWindow(
            [&] { wizard.viewer().ShowResultFiles("/srv/req/r.req", "/home/ana/k.key"); })
        .get();
    commands = wizard.PollUntilAny(commands[0]["seq"], commands[0]["seq"]);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["same_folder"], false);
    ASSERT_EQ(wizard.Post("/__reqwiz/open", json{{"file", "request"}})->status, 204);
    wizard.OnWindow<bool>([] { return true; });
    EXPECT_EQ(opened_now().back(), "/srv/req");
}

}  // namespace

namespace {

TEST(ViewerBridge, TheSaveDialogOpensWhereAnEarlierRunLeftIt) {
    testing_support::TempDir dir;
    const std::string kept = dir.file("state/reqwiz/last-folder");
    ASSERT_EQ(mkdir(dir.file("Llaves").c_str(), 0700), 0);
    const auto save_once = [&](const json& answer) {
        viewer::ViewerOptions options = QuickOptions();
        options.last_folder_file = kept;
        Wizard wizard(options);
        std::future<void> dialog = wizard.StartOnWindow(
            [&] { wizard.viewer().SaveFileDialog("Llave Privada (*.key)|*.key", ".key", ""); });
        const json commands = wizard.PollUntilAny(0, 0);
        wizard.Post("/__reqwiz/answer", json{{"id", commands.at(0)["id"]}, {"result", answer}});
        dialog.get();
        return commands.at(0)["directory"].get<std::string>();
    };
    // The first run opens the home folder, and keeps where the file went.
    EXPECT_EQ(save_once(dir.file("Llaves/llave.key")), viewer::DefaultDirectory());
    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(kept, text));
    EXPECT_EQ(text, dir.file("Llaves") + "\n");
    // The next run opens there; a cancelled dialog changes nothing.
    EXPECT_EQ(save_once(nullptr), dir.file("Llaves"));
    EXPECT_EQ(save_once(nullptr), dir.file("Llaves"));
    // A kept folder that is gone: the home folder again.
    ASSERT_EQ(rmdir(dir.file("Llaves").c_str()), 0);
    EXPECT_EQ(save_once(nullptr), viewer::DefaultDirectory());
}

}  // namespace

namespace {

// The desktop's dialog, from the window's side: the stand-in portal on a
// private bus answers, the page sees only the questions the window adds.
TEST(ViewerBridge, TheDesktopsSaveDialogComesFirstAndThePagesDialogWhenItFails) {
    testing_support::PrivateSessionBus bus;
    if (!bus.ok())
        GTEST_SKIP() << "dbus-daemon did not start (package dbus-daemon), no private bus here";
    testing_support::TempDir dir;
    testing_support::write_file(dir.file("existente.key"), {'k'});
    ASSERT_EQ(mkdir(dir.file("Llaves \xC3\xB1").c_str(), 0700), 0);
    ASSERT_TRUE(bus.StartPortal({
        "uri:file://" + dir.file("Llaves%20%C3%B1/nueva.key"),  // 1: taken as it is
        "uri:file://" + dir.file("existente"),                  // 2: .key added: asked, No
        "cancel",                                               //    back in the dialog
        "uri:file://" + dir.file("precio%E2%82%AC.key"),        // 3: not ISO-8859-1
        "fail",                                                 //    the page's dialog now
    }));
    testing_support::SessionBusVariable variable(bus.address());
    viewer::ViewerOptions options = QuickOptions();
    options.desktop_save_dialog = true;
    options.start_directory = dir.path();
    Wizard wizard(options);
    const auto save = [&] {
        return wizard.OnWindow<std::optional<std::string>>([&] {
            return wizard.viewer().SaveFileDialog("Llave Privada (*.key)|*.key", ".key", "a.key");
        });
    };
    const auto portal_call = [&](size_t n) {
        const std::vector<std::string> calls = bus.PortalCalls();
        return n < calls.size() ? json::parse(calls[n]) : json();
    };

    // 1: the desktop's choice, ISO-8859-1; the page saw nothing.
    EXPECT_EQ(save(), dir.file("Llaves \xF1/nueva.key"));
    EXPECT_EQ(portal_call(0)["options"]["current_folder"], dir.path() + std::string(1, '\0'));
    EXPECT_EQ(portal_call(0)["options"]["current_name"], "a.key");
    EXPECT_TRUE(wizard.Poll(0, 0).empty());

    // 2: the default extension makes it an existing file: the page asks; No
    // goes back to the desktop's dialog, in the new folder, with the name.
    std::optional<std::string> second = std::string("unset");
    std::future<void> dialog = wizard.StartOnWindow([&] {
        second = wizard.viewer().SaveFileDialog("Llave Privada (*.key)|*.key", ".key", "a.key");
    });
    json commands = wizard.PollUntilAny(0, 0);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["type"], "question");
    EXPECT_EQ(commands[0]["text"],
              "existente.key ya existe.\n\xC2\xBF"
              "Desea reemplazarlo?");
    uint64_t have = commands[0]["seq"];
    wizard.Post("/__reqwiz/answer", json{{"id", commands[0]["id"]}, {"result", false}});
    dialog.get();
    EXPECT_EQ(second, std::nullopt);
    EXPECT_EQ(portal_call(1)["options"]["current_folder"],
              dir.file("Llaves \xC3\xB1") + std::string(1, '\0'));
    EXPECT_EQ(portal_call(2)["options"]["current_name"], "existente.key");
    EXPECT_EQ(portal_call(2)["options"]["current_folder"], dir.path() + std::string(1, '\0'));

    // 3: a name the window cannot keep is explained, then the dialog comes
    // back; the portal failing hands over to the page's own dialog, which
    // stays for the rest of the run.
    std::optional<std::string> third;
    dialog = wizard.StartOnWindow([&] {
        third = wizard.viewer().SaveFileDialog("Llave Privada (*.key)|*.key", ".key", "a.key");
    });
    commands = wizard.PollUntilAny(have, have);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["type"], "message");
    EXPECT_NE(commands[0]["text"].get<std::string>().find("signo del euro"), std::string::npos);
    have = commands[0]["seq"];
    wizard.Post("/__reqwiz/answer", json{{"id", commands[0]["id"]}, {"result", true}});
    commands = wizard.PollUntilAny(have, have);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["type"], "save");
    have = commands[0]["seq"];
    wizard.Post("/__reqwiz/answer", json{{"id", commands[0]["id"]}, {"result", "/tmp/b.key"}});
    dialog.get();
    EXPECT_EQ(third, "/tmp/b.key");
    EXPECT_EQ(bus.PortalCalls().size(), 5u);

    dialog = wizard.StartOnWindow(
        [&] { wizard.viewer().SaveFileDialog("Llave Privada (*.key)|*.key", ".key", ""); });
    commands = wizard.PollUntilAny(have, have);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["type"], "save");
    wizard.Post("/__reqwiz/answer", json{{"id", commands[0]["id"]}, {"result", nullptr}});
    dialog.get();
    EXPECT_EQ(bus.PortalCalls().size(), 5u);
}

}  // namespace
