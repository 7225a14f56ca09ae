// Putting the shim into pages, and the command line that opens the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "viewer/browser_launch.h"
#include "viewer/page_inject.h"

namespace {

TEST(PageInject, ShimGoesRightAfterTheHeadTagElseBeforeBodyElseFirst) {
    const std::string block = "<SHIM>";
    struct Case {
        const char* page;
        const char* expected;
    } cases[] = {
        {"<html><HEAD lang=es><title>t</title></head><body>x</body></html>",
         "<html><HEAD lang=es><SHIM><title>t</title></head><body>x</body></html>"},
        {"<html><header></header><Body bgcolor=\"#FFFFFF\">x</body>",
         "<html><header></header><SHIM><Body bgcolor=\"#FFFFFF\">x</body>"},
        {"just text", "<SHIM>just text"},
        {"", "<SHIM>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(viewer::InjectShim(c.page, block), c.expected) << c.page;
}

TEST(PageInject, ConfigurationCannotEndTheScript) {
    const std::string block = viewer::ShimBlock(R"({"title":"</script><b>x"})");
    EXPECT_EQ(block.find("</script><b>"), std::string::npos);
    EXPECT_NE(block.find(R"(\u003c/script>\u003cb>x)"), std::string::npos);
    // One script element, ASCII only, so it reads the same in an ISO-8859-1 page.
    EXPECT_EQ(block.find("<script>"), block.rfind("<script>"));
    for (char c : block)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(WindowCommand, PrefersABrowserInApplicationModeElseTheDesktopOpener) {
    viewer::WindowRequest request;
    request.url = "http://127.0.0.1:5000/?token=abc";
    request.width = 648;
    request.height = 515;
    auto only = [](std::set<std::string> present) {
        return [present](const std::string& name) {
            return present.count(name) ? "/usr/bin/" + name : std::string();
        };
    };
    using Args = std::vector<std::string>;
    const Args first =
        viewer::WindowCommand(request, only({"chromium", "google-chrome", "xdg-open"}));
    // With no profile of its own the window may open in the user's everyday
    // browser: nothing but the window's address and size, no switch that
    // would hold for all that browser's windows.
    EXPECT_EQ(first, (Args{"/usr/bin/chromium", "--app=" + request.url, "--window-size=648,515"}));
    EXPECT_EQ(viewer::WindowCommand(request, only({"google-chrome", "xdg-open"}))[0],
              "/usr/bin/google-chrome");
    EXPECT_EQ(viewer::WindowCommand(request, only({"chromium-browser"}))[0],
              "/usr/bin/chromium-browser");
    EXPECT_EQ(viewer::WindowCommand(request, only({"xdg-open"})),
              (Args{"/usr/bin/xdg-open", request.url}));
    EXPECT_TRUE(viewer::WindowCommand(request, only({})).empty());
    // An address meant for the window's own browser is never handed to the
    // desktop opener.
    request.own_browser_only = true;
    EXPECT_TRUE(viewer::WindowCommand(request, only({"xdg-open"})).empty());
    // Nor the user's everyday browser, with no profile of the window's own.
    EXPECT_TRUE(viewer::WindowCommand(request, only({"chromium", "xdg-open"})).empty());
    request.profile_dir = "/tmp/profile";
    EXPECT_EQ(viewer::WindowCommand(request, only({"chromium", "xdg-open"}))[0],
              "/usr/bin/chromium");
    request.own_browser_only = false;

    request.as_root = true;
    const Args argv = viewer::WindowCommand(request, only({"chromium"}));
    EXPECT_NE(std::find(argv.begin(), argv.end(), "--user-data-dir=/tmp/profile"), argv.end());
    EXPECT_NE(std::find(argv.begin(), argv.end(), "--no-sandbox"), argv.end());
}

}  // namespace
