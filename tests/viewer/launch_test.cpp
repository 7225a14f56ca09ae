// What the window is opened with: a private page that forwards to the start
// address (so the token is on no command line), and a browser profile whose
// password manager and autofill are off before the browser first reads it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/files.h"
#include "tests/support/process.h"
#include "viewer/browser_launch.h"
#include "viewer/launch_page.h"

namespace {

using nlohmann::json;
using testing_support::TempDir;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

json ReadPreferences(const std::string& profile) {
    std::string text;
    EXPECT_TRUE(platform::ReadWholeFile(profile + "/Default/Preferences", text));
    return json::parse(text, nullptr, false);
}

void ExpectSavingOff(const json& preferences) {
    EXPECT_EQ(preferences["credentials_enable_service"], false);
    EXPECT_EQ(preferences["credentials_enable_autosignin"], false);
    EXPECT_EQ(preferences["profile"]["password_manager_enabled"], false);
    EXPECT_EQ(preferences["autofill"]["profile_enabled"], false);
    EXPECT_EQ(preferences["autofill"]["credit_card_enabled"], false);
}

TEST(WindowProfile, AFreshProfileGetsSavingAndAutofillOffInAPrivateFile) {
    TempDir dir;
    const std::string profile = dir.file("browser");
    ASSERT_TRUE(viewer::PrepareWindowProfile(profile));
    ExpectSavingOff(ReadPreferences(profile));
    EXPECT_EQ(ModeOf(profile + "/Default/Preferences"), 0600u);
}

TEST(WindowProfile, AnExistingFileKeepsItsOtherSettingsAndLosesTheSavedOnes) {
    TempDir dir;
    const std::string profile = dir.path();
    ASSERT_EQ(mkdir((profile + "/Default").c_str(), 0700), 0);
    const json before = {
        {"credentials_enable_service", true},
        {"browser", {{"window_placement", {{"left", 10}, {"top", 20}}}}},
        {"profile", {{"password_manager_enabled", true}, {"name", "Persona 1"}}},
        {"autofill", {{"profile_enabled", true}, {"last_version_deduped", 120}}},
        {"intl", {{"accept_languages", "es-MX,es"}}},
    };
    ASSERT_TRUE(platform::WriteWholeFile(profile + "/Default/Preferences", before.dump()));
    ASSERT_TRUE(viewer::PrepareWindowProfile(profile));

    const json after = ReadPreferences(profile);
    ExpectSavingOff(after);
    EXPECT_EQ(after["browser"], before["browser"]);
    EXPECT_EQ(after["profile"]["name"], "Persona 1");
    EXPECT_EQ(after["autofill"]["last_version_deduped"], 120);
    EXPECT_EQ(after["intl"], before["intl"]);
    // Preparing again changes nothing.
    ASSERT_TRUE(viewer::PrepareWindowProfile(profile));
    EXPECT_EQ(ReadPreferences(profile), after);
}

TEST(WindowProfile, AFileNoBrowserCouldReadOrWrongShapesAreReplaced) {
    for (const std::string& text : {std::string("{\"profile\": {\"name\": "), std::string("[1, 2]"),
                                    std::string("{\"profile\": 7, \"autofill\": \"on\"}")}) {
        TempDir dir;
        ASSERT_EQ(mkdir(dir.file("Default").c_str(), 0700), 0);
        ASSERT_TRUE(platform::WriteWholeFile(dir.file("Default/Preferences"), text));
        ASSERT_TRUE(viewer::PrepareWindowProfile(dir.path())) << text;
        const json after = ReadPreferences(dir.path());
        ASSERT_TRUE(after.is_object()) << text;
        ExpectSavingOff(after);
    }
}

TEST(LaunchPage, APrivatePageForwardsToTheAddressAndGoesAwayWhenRemoved) {
    TempDir runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    const std::string url =
        "http://reqwiz-0123456789abcdef.localhost:4242/?token=00112233445566778899aabbccddeeff";
    {
        viewer::LaunchPage page;
        ASSERT_TRUE(page.Create(url));
        EXPECT_EQ(page.folder().rfind(runtime.path() + "/reqwiz-", 0), 0u) << page.folder();
        EXPECT_EQ(ModeOf(page.folder()), 0700u);
        EXPECT_EQ(ModeOf(page.path()), 0600u);
        EXPECT_EQ(page.FileUrl(), "file://" + page.path());
        EXPECT_EQ(page.FileUrl().find("token"), std::string::npos);

        std::string text;
        ASSERT_TRUE(platform::ReadWholeFile(page.path(), text));
        EXPECT_NE(text.find("location.replace(\"" + url + "\")"), std::string::npos) << text;
        EXPECT_NE(text.find("content=\"0;url=" + url + "\""), std::string::npos) << text;

        const std::string folder = page.folder();
        page.Remove();
        EXPECT_FALSE(platform::DirectoryExists(folder));
        EXPECT_TRUE(page.FileUrl().empty());
        page.Remove();

        // The object's end removes what it made.
        ASSERT_TRUE(page.Create(url));
    }
    EXPECT_TRUE(std::filesystem::is_empty(runtime.path()));
    if (old != nullptr)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

TEST(LaunchPage, TextThatCouldEndTheScriptOrTheAttributeIsEscaped) {
    const std::string page = viewer::ForwardingPage("http://x/?a=\"</script><b>&'");
    EXPECT_EQ(page.find("</script><b>"), std::string::npos) << page;
    EXPECT_NE(page.find("\\x22\\x3c/script\\x3e\\x3cb\\x3e\\x26\\x27"), std::string::npos) << page;
    EXPECT_NE(page.find("&quot;&lt;/script&gt;&lt;b&gt;&amp;&#39;"), std::string::npos) << page;
}

}  // namespace
