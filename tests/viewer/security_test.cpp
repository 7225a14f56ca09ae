// The local server lets only the wizard's own window in: loopback only, the
// one-time token and its session cookie, Host and Origin checks, no caching,
// and a save dialog that sees names, never contents, and makes nothing but
// an empty folder.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>

#include "tests/support/process.h"
#include "tests/viewer/viewer_fixture.h"

namespace {

using nlohmann::json;
using viewer_test::Wizard;

bool Connects(const char* address, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, address, &to.sin_addr);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    close(fd);
    return ok;
}

std::string StartPath(Wizard& wizard) {
    const std::string url = wizard.viewer().StartUrl();
    return url.substr(url.find('/', std::string("http://").size()));
}

TEST(ViewerSecurity, ListensOn127001Only) {
    Wizard wizard;
    ASSERT_TRUE(wizard.started());
    EXPECT_TRUE(Connects("127.0.0.1", wizard.port()));
    // Another address of the loopback range reaches every socket bound to
    // all addresses; this one is bound to 127.0.0.1 alone.
    EXPECT_FALSE(Connects("127.0.0.2", wizard.port()));
}

TEST(ViewerSecurity, TheAddressIsARandomNameOfItsOwnUnderLocalhost) {
    Wizard first;
    Wizard second;
    const std::regex shape("http://reqwiz-[0-9a-f]{16}\\.localhost:([0-9]+)/\\?token=[0-9a-f]{32}");
    std::smatch parts;
    const std::string url = first.viewer().StartUrl();
    ASSERT_TRUE(std::regex_match(url, parts, shape)) << url;
    EXPECT_EQ(parts[1].str(), std::to_string(first.port()));
    EXPECT_NE(first.HostName(), second.HostName());

    // The session cookie is host-only (no Domain), so the browser sends it to
    // that name alone: never to another program's server on 127.0.0.1 or on
    // localhost, whatever its port.
    httplib::Client client = first.Client();
    auto start = client.Get(StartPath(first).c_str());
    ASSERT_TRUE(start);
    ASSERT_EQ(start->status, 200);
    const std::string set_cookie = start->get_header_value("Set-Cookie");
    EXPECT_EQ(set_cookie.find("Domain"), std::string::npos) << set_cookie;
    EXPECT_NE(set_cookie.find("Path=/"), std::string::npos) << set_cookie;
}

TEST(ViewerSecurity, EveryRequestWithoutTheSessionIsForbidden) {
    Wizard wizard;
    httplib::Client client = wizard.Client();
    const httplib::Headers own_origin{{"Origin", wizard.Origin()}};
    struct Case {
        const char* method;
        const char* path;
    } cases[] = {{"GET", "/"},
                 {"GET", "/index.htm"},
                 {"GET", "/Images/pixel.gif"},
                 {"GET", "/__reqwiz/poll?done=0&have=0"},
                 {"GET", "/__reqwiz/dir?path=/"},
                 {"POST", "/__reqwiz/click"},
                 {"POST", "/__reqwiz/submit"},
                 {"POST", "/__reqwiz/answer"},
                 {"POST", "/__reqwiz/mkdir"}};
    for (const Case& c : cases) {
        auto result = std::string(c.method) == "GET"
                          ? client.Get(c.path, own_origin)
                          : client.Post(c.path, own_origin, "{}", "application/json");
        ASSERT_TRUE(result) << c.path;
        EXPECT_EQ(result->status, 403) << c.path;
        EXPECT_NE(result->body.find("no session"), std::string::npos) << result->body;
        EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store") << c.path;
    }
    // A forged cookie of the right name is no better.
    auto forged = client.Get(
        "/", {{"Cookie", "reqwiz_" + std::to_string(wizard.port()) + "=" + std::string(32, '0')}});
    ASSERT_TRUE(forged);
    EXPECT_EQ(forged->status, 403);
    EXPECT_TRUE(wizard.events.Log().empty());
}

TEST(ViewerSecurity, TheTokenBuysOneSessionCookieAndACleanAddress) {
    Wizard wizard;
    httplib::Client client = wizard.Client();
    const std::string start = StartPath(wizard);
    // The page the browser was opened on is thrown away when the token is
    // spent, and only then.
    std::atomic<int> token_used{0};
    wizard.viewer().OnStartTokenUsed([&token_used] { ++token_used; });

    auto wrong = client.Get("/?token=00000000000000000000000000000000");
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 403);
    EXPECT_NE(wrong->body.find("wrong start token"), std::string::npos);
    EXPECT_EQ(token_used, 0);

    auto first = client.Get(start.c_str());
    ASSERT_TRUE(first);
    // The page moves on to "/" itself (the window's first navigation may
    // come from its private file, and a redirect would keep it another
    // site's: the browser would withhold the cookie).
    EXPECT_EQ(first->status, 200);
    EXPECT_NE(first->body.find("location.replace("), std::string::npos) << first->body;
    EXPECT_EQ(token_used, 1);
    EXPECT_EQ(first->get_header_value("Cache-Control"), "no-store");
    const std::string set_cookie = first->get_header_value("Set-Cookie");
    EXPECT_NE(set_cookie.find("HttpOnly"), std::string::npos) << set_cookie;
    EXPECT_NE(set_cookie.find("SameSite=Strict"), std::string::npos) << set_cookie;
    const std::string cookie = set_cookie.substr(0, set_cookie.find(';'));
    // The cookie is not the token: whoever saw the address has nothing.
    EXPECT_EQ(cookie.find(start.substr(start.find('=') + 1)), std::string::npos);

    auto in = client.Get("/", {{"Cookie", cookie}});
    ASSERT_TRUE(in);
    EXPECT_EQ(in->status, 200);
    EXPECT_EQ(in->get_header_value("Cache-Control"), "no-store");

    // The token is spent: a second browser presenting it gets nothing.
    auto again = client.Get(start.c_str());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 403);
    EXPECT_NE(again->body.find("already used"), std::string::npos);
    EXPECT_TRUE(again->get_header_value("Set-Cookie").empty());
    EXPECT_EQ(token_used, 1);
}

TEST(ViewerSecurity, WhileTheAddressIsOnACommandLineOnlyTheBrowserItselfSpendsTheToken) {
    // A page of some site, in the user's everyday browser, that learnt the
    // address from a command line must not spend the token before the
    // window does. The browser marks what a page asks for; its own
    // navigation to an address it was opened on is "none", and a program
    // that is not a browser sends no mark.
    struct Case {
        bool browser_only;
        const char* fetch_site;  // nullptr: no header
        int status;
    };
    const Case cases[] = {
        {true, "cross-site", 403},
        {true, "same-site", 403},
        {true, "same-origin", 403},
        {true, "none", 200},
        {true, "NONE", 200},
        {true, nullptr, 200},
        // The private page that forwards to the address is another site.
        {false, "cross-site", 200},
    };
    for (const Case& c : cases) {
        Wizard wizard;
        wizard.viewer().TakeStartTokenOnlyFromTheBrowserItself(c.browser_only);
        httplib::Client client = wizard.Client();
        const std::string start = StartPath(wizard);
        httplib::Headers headers;
        if (c.fetch_site != nullptr)
            headers.emplace("Sec-Fetch-Site", c.fetch_site);
        auto offered = client.Get(start.c_str(), headers);
        ASSERT_TRUE(offered);
        EXPECT_EQ(offered->status, c.status)
            << c.browser_only << " " << (c.fetch_site != nullptr ? c.fetch_site : "(no header)");
        if (c.status == 403) {
            EXPECT_NE(offered->body.find("offered by a page"), std::string::npos);
            // Refused unspent: the window still gets in.
            auto window = client.Get(start.c_str(), {{"Sec-Fetch-Site", "none"}});
            ASSERT_TRUE(window);
            EXPECT_EQ(window->status, 200);
        }
    }
}

// What a child process running as user `uid` does: `work` runs after the
// switch, and its result (at most 63 bytes) comes back; "" when the switch
// failed.
std::string AsUser(uid_t uid, const std::function<std::string()>& work) {
    int out[2];
    if (pipe(out) != 0)
        return std::string();
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        std::string said;
        if (setgid(uid) == 0 && setuid(uid) == 0)
            said = work();
        (void)!write(out[1], said.data(), std::min<size_t>(said.size(), 63));
        _exit(0);
    }
    close(out[1]);
    char said[64] = {0};
    size_t got = 0;
    ssize_t n;
    while (got < 63 && (n = read(out[0], said + got, 63 - got)) > 0)
        got += static_cast<size_t>(n);
    close(out[0]);
    waitpid(child, nullptr, 0);
    return std::string(said, got);
}

// The status line of `request` sent to 127.0.0.1:`port`, "" when the server
// closed the connection without an answer, "refused" when it could not be
// made.
std::string Exchange(uint16_t port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    std::string line = "refused";
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        line.clear();
        char buffer[12];
        if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0)
                line.assign(buffer, static_cast<size_t>(n));
        }
    }
    close(fd);
    return line;
}

TEST(ViewerSecurity, AnotherUsersProgramGetsNothingWithTheAddressOrTheCookie) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can run a program as another user";
    Wizard wizard;
    ASSERT_TRUE(wizard.viewer().ServesOnlyOwnUser());
    std::atomic<int> token_used{0};
    wizard.viewer().OnStartTokenUsed([&token_used] { ++token_used; });
    const std::string head = " HTTP/1.1\r\nHost: " + wizard.Host() + "\r\n";
    const uint16_t port = wizard.port();
    // The address is on the window's command line, where "nobody" reads it:
    // the connection is closed before anything is read, and the token is
    // still good for the user's own browser.
    const std::string with_token = "GET " + StartPath(wizard) + head + "\r\n";
    EXPECT_EQ(AsUser(65534, [&] { return "<" + Exchange(port, with_token) + ">"; }), "<>");
    EXPECT_EQ(token_used, 0);
    const std::string cookie = wizard.SessionCookie();
    ASSERT_FALSE(cookie.empty());
    EXPECT_EQ(token_used, 1);
    // Nor is a session cookie worth anything in another user's hands.
    const std::string with_cookie = "GET /" + head + "Cookie: " + cookie + "\r\n\r\n";
    EXPECT_EQ(AsUser(65534, [&] { return "<" + Exchange(port, with_cookie) + ">"; }), "<>");
    EXPECT_EQ(Exchange(port, with_cookie), "HTTP/1.1 200");
}

TEST(ViewerSecurity, NobodyElseCanListenOnThePortOfTheIpv6Loopback) {
    // The window's name under ".localhost" may be looked up as ::1 first:
    // whoever listened there would get the window's requests.
    Wizard wizard;
    ASSERT_TRUE(wizard.started());
    const uint16_t port = wizard.port();
    const auto try_ipv6 = [port] {
        const int fd = socket(AF_INET6, SOCK_STREAM, 0);
        if (fd < 0)
            return std::string("no IPv6");
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        address.sin6_addr = in6addr_loopback;
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
        std::string said;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            said = "bound";
        else
            said = errno == EADDRNOTAVAIL ? "no IPv6" : "taken";
        close(fd);
        // A connection there is refused at once, so the browser goes on to
        // 127.0.0.1.
        const int client = socket(AF_INET6, SOCK_STREAM, 0);
        if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
            errno == ECONNREFUSED)
            said += ", refused";
        close(client);
        return said;
    };
    const std::string here = try_ipv6();
    if (here.rfind("no IPv6", 0) == 0)
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    EXPECT_EQ(here, "taken, refused");
    if (geteuid() == 0) {
        EXPECT_EQ(AsUser(65534, try_ipv6), "taken, refused");
    }
}

TEST(ViewerSecurity, HostMustNameTheServerItself) {
    Wizard wizard;
    const std::string cookie = wizard.SessionCookie();
    ASSERT_FALSE(cookie.empty());
    const std::string port = std::to_string(wizard.port());
    const std::string name = wizard.HostName();
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Case {
        std::string host;
        int status;
    } cases[] = {{name + ":" + port, 200},
                 {upper + ":" + port, 200},
                 {"127.0.0.1:" + port, 403},  // the address every local server shares
                 {"localhost:" + port, 403},
                 {"other.localhost:" + port, 403},
                 {"evil.example:" + port, 403},  // DNS rebinding
                 {name, 403},
                 {name + ":1" + port, 403},
                 {name + ".evil.example:" + port, 403},
                 {"x" + name + ":" + port, 403}};
    for (const Case& c : cases) {
        httplib::Client client = wizard.Client();
        auto result = client.Get("/", {{"Host", c.host}, {"Cookie", cookie}});
        ASSERT_TRUE(result) << c.host;
        EXPECT_EQ(result->status, c.status) << c.host;
        if (c.status == 403) {
            EXPECT_NE(result->body.find("Host"), std::string::npos) << result->body;
        }
    }
}

TEST(ViewerSecurity, PostsMustComeFromTheWizardsOwnOrigin) {
    Wizard wizard;
    const std::string cookie = wizard.SessionCookie();
    const std::string port = std::to_string(wizard.port());
    const std::string click = R"({"name":"Image2","onclick":"2"})";
    const std::string own = wizard.Origin();
    struct Case {
        std::string origin;  // empty: no Origin header
        int status;
        const char* reason;
    } cases[] = {{own, 204, ""},
                 {"http://127.0.0.1:" + port, 403, "foreign Origin"},
                 {"http://localhost:" + port, 403, "foreign Origin"},
                 {own + ".evil.example", 403, "foreign Origin"},
                 {"", 403, "without Origin"},
                 {"null", 403, "foreign Origin"},
                 {"http://evil.example", 403, "foreign Origin"},
                 {"https://" + wizard.Host(), 403, "foreign Origin"}};
    size_t accepted = 0;
    for (const Case& c : cases) {
        httplib::Headers headers{{"Cookie", cookie}};
        if (!c.origin.empty())
            headers.emplace("Origin", c.origin);
        httplib::Client client = wizard.Client();
        auto result = client.Post("/__reqwiz/click", headers, click, "application/json");
        ASSERT_TRUE(result) << c.origin;
        EXPECT_EQ(result->status, c.status) << c.origin;
        EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store");
        EXPECT_NE(result->body.find(c.reason), std::string::npos) << result->body;
        accepted += c.status == 204;
    }
    // Only the accepted clicks reached the window.
    EXPECT_EQ(wizard.events.WaitForLog(accepted).size(), accepted);
}

// With the first page already asked for, the start address answers with it
// (one navigation less before the first paint); the session is set all the
// same, and the page counts its load command as done.
TEST(ViewerSecurity, TheStartAddressAnswersWithTheFirstPageItself) {
    struct Case {
        const char* page;
        bool inline_page;
    } cases[] = {{"index.htm", true}, {"sub/index.htm", false}};
    for (const Case& c : cases) {
        Wizard wizard;
        wizard.events.pages[c.page] = {"<html><head><title>Datos</title></head>",
                                       "<body>Raz\xF3n social</body></html>"};
        wizard.OnWindow<int>([&] {
            wizard.viewer().Load(c.page);
            return 0;
        });
        httplib::Client client = wizard.Client();
        auto first = client.Get(StartPath(wizard).c_str());
        ASSERT_TRUE(first) << c.page;
        EXPECT_EQ(first->status, 200);
        EXPECT_NE(first->get_header_value("Set-Cookie").find("HttpOnly"), std::string::npos);
        EXPECT_EQ(first->body.find("Raz\xF3n social") != std::string::npos, c.inline_page)
            << c.page;
        EXPECT_EQ(first->body.find("\"arrived\":{\"done\":1,\"page\":\"index.htm\"}") !=
                      std::string::npos,
                  c.inline_page)
            << first->body;
        EXPECT_EQ(first->body.find("location.replace(") != std::string::npos &&
                      first->body.find("<title></title>") != std::string::npos,
                  !c.inline_page)
            << c.page;
    }
}

TEST(ViewerSecurity, EveryAnswerCarriesAPolicyThatKeepsScriptsAtHome) {
    Wizard wizard;
    wizard.events.pages["index.htm"] = {"<html><head></head><body></body></html>"};
    httplib::Client client = wizard.Client();
    for (const char* path : {"/", "/index.htm", "/Images/none.gif", "/__reqwiz/dir"}) {
        auto in = wizard.Get(path);
        auto out = client.Get(path);  // refused, with the policy all the same
        ASSERT_TRUE(in && out) << path;
        for (const auto* result : {&in, &out}) {
            const std::string policy = (*result)->get_header_value("Content-Security-Policy");
            // Inline scripts and styles are what the profile's pages and the
            // shim are made of; everything else stays with the wizard.
            for (const char* directive :
                 {"script-src 'self' 'unsafe-inline'", "style-src 'self' 'unsafe-inline'",
                  "connect-src 'self'", "form-action 'self'", "frame-ancestors 'none'",
                  "default-src 'self'"})
                EXPECT_NE(policy.find(directive), std::string::npos) << path << ": " << policy;
        }
    }
}

TEST(ViewerSecurity, OnlyTheProfilesImagesMayBeKeptByTheBrowser) {
    Wizard wizard;
    wizard.events.pages["index.htm"] = {"<html><head></head><body></body></html>"};
    wizard.events.images["Images/pixel.gif"] = {'G', 'I', 'F', '8', '9', 'a'};
    struct Case {
        const char* path;
        const char* cache;
    } cases[] = {{"/Images/pixel.gif", "private, max-age=86400"},
                 {"/Images/none.gif", "no-store"},  // missing: asked again if named again
                 {"/index.htm", "no-store"},        // pages carry what the user typed
                 {"/__reqwiz/dir", "no-store"}};
    for (const Case& c : cases) {
        auto result = wizard.Get(c.path);
        ASSERT_TRUE(result) << c.path;
        EXPECT_EQ(result->get_header_value_count("Cache-Control"), 1u) << c.path;
        EXPECT_EQ(result->get_header_value("Cache-Control"), c.cache) << c.path;
    }
}

TEST(ViewerSecurity, LinksOpenOnlyWebAndMailAddresses) {
    Wizard wizard;
    const char* opened[] = {"http://example.org/a?b=1", "HTTPS://example.org/",
                            "mailto:soporte@example.org"};
    const char* refused[] = {"file:///etc/passwd",
                             "javascript:alert(1)",
                             "Page2.htm",
                             "--help",
                             " http://example.org/",
                             "ftp://example.org/",
                             "data:text/html,x",
                             "smb://host/share",
                             ""};
    for (const char* url : refused)
        EXPECT_EQ(wizard.Post("/__reqwiz/link", json{{"target", ""}, {"url", url}})->status, 204);
    for (const char* url : opened)
        EXPECT_EQ(wizard.Post("/__reqwiz/link", json{{"target", ""}, {"url", url}})->status, 204);
    // Posts are handled in order: once the last web address has arrived,
    // every refused one has been passed over.
    std::vector<std::string> expected;
    for (const char* url : opened)
        expected.push_back(std::string("link  ") + url);
    EXPECT_EQ(wizard.events.WaitForLog(3), expected);
    EXPECT_EQ(wizard.events.Log().size(), 3u);
}

TEST(ViewerSecurity, DirectoryBrowsingShowsNamesNeverContents) {
    Wizard wizard;
    testing_support::TempDir dir;
    testing_support::write_file(dir.file("old.key"),
                                std::vector<uint8_t>{'S', 'E', 'C', 'R', 'E', 'T', '4', '2'});
    mkdir(dir.file("Documentos").c_str(), 0700);

    auto result =
        wizard.Get("/__reqwiz/dir?path=" + httplib::detail::encode_query_param(dir.path()));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store");
    EXPECT_EQ(result->body.find("SECRET42"), std::string::npos);
    const json body = json::parse(result->body);
    EXPECT_EQ(body["path"], dir.path());
    // Names, kinds, the file's size and both times, as a file manager shows.
    json entries = body["entries"];
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_TRUE(entries[0]["mtime"].is_number_integer());
    ASSERT_TRUE(entries[1]["mtime"].is_number_integer());
    EXPECT_GT(entries[0]["mtime"].get<int64_t>(), 1600000000);
    for (json& entry : entries)
        entry.erase("mtime");
    EXPECT_EQ(entries, json::parse(R"([{"name":"Documentos","dir":true},
                                       {"name":"old.key","dir":false,"size":8}])"));

    // A file is not a folder to list, and a missing folder says so.
    auto file = wizard.Get("/__reqwiz/dir?path=" +
                           httplib::detail::encode_query_param(dir.file("old.key")));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 404);
    EXPECT_EQ(file->body.find("SECRET42"), std::string::npos);
    auto missing =
        wizard.Get("/__reqwiz/dir?path=" + httplib::detail::encode_query_param(dir.file("nada")));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST(ViewerSecurity, TheSaveDialogMakesAnEmptyFolderAndNothingElse) {
    Wizard wizard;
    testing_support::TempDir dir;
    testing_support::write_file(dir.file("old.key"), std::vector<uint8_t>{'o', 'l', 'd'});
    const struct {
        json body;
        int status;
        const char* error;  // "" when made
    } cases[] = {
        {json{{"path", dir.path()}, {"name", " Informes "}}, 201, ""},
        {json{{"path", dir.path()}, {"name", "Informes"}}, 409, "exists"},
        {json{{"path", dir.path()}, {"name", "old.key"}}, 409, "exists"},
        {json{{"path", dir.path()}, {"name", "../fuera"}}, 400, "invalid"},
        {json{{"path", dir.path()}, {"name", ".."}}, 400, "invalid"},
        {json{{"path", dir.path()}, {"name", "  "}}, 400, "empty"},
        {json{{"path", dir.path()}, {"name", "\xE2\x82\xAC"}}, 400, "latin1"},
        {json{{"path", dir.path()}, {"name", std::string(256, 'a')}}, 400, "toolong"},
        {json{{"path", dir.file("nada")}, {"name", "x"}}, 404, "notfound"},
        {json{{"path", dir.file("old.key")}, {"name", "x"}}, 404, "notfound"},
    };
    for (const auto& c : cases) {
        auto result = wizard.Post("/__reqwiz/mkdir", c.body);
        ASSERT_TRUE(result) << c.body;
        EXPECT_EQ(result->status, c.status) << c.body;
        const json answer = json::parse(result->body, nullptr, false);
        const json expected =
            *c.error ? json{{"error", c.error}} : json{{"path", dir.file("Informes")}};
        EXPECT_EQ(answer, expected) << c.body;
    }
    auto bad = wizard.Post("/__reqwiz/mkdir", json{{"path", dir.path()}});
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Informes", "old.key"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("Informes")));
}

}  // namespace
