// What the window is opened with: the start address itself or a private
// page that forwards to it, the browser's command line, and a browser
// profile of the user's own whose password manager and autofill are off
// before the browser first reads it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/files.h"
#include "tests/support/process.h"
#include "viewer/browser_launch.h"
#include "viewer/directory_listing.h"
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
    // Nothing of the browser itself over the wizard: no translation, no
    // spelling marks, no developer tools, no offer to restore a session.
    EXPECT_EQ(preferences["translate"]["enabled"], false);
    EXPECT_EQ(preferences["browser"]["enable_spellchecking"], false);
    EXPECT_EQ(preferences["devtools"]["availability"], 2);
    EXPECT_EQ(preferences["profile"]["exit_type"], "Normal");
    EXPECT_EQ(preferences["intl"]["accept_languages"], "es");
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
        {"intl", {{"accept_languages", "en-US,en"}, {"selected_languages", "en-US"}}},
        {"devtools", {{"preferences", {{"currentDockState", "right"}}}}},
    };
    ASSERT_TRUE(platform::WriteWholeFile(profile + "/Default/Preferences", before.dump()));
    ASSERT_TRUE(viewer::PrepareWindowProfile(profile));

    const json after = ReadPreferences(profile);
    ExpectSavingOff(after);
    EXPECT_EQ(after["browser"]["window_placement"], before["browser"]["window_placement"]);
    EXPECT_EQ(after["profile"]["name"], "Persona 1");
    EXPECT_EQ(after["autofill"]["last_version_deduped"], 120);
    EXPECT_EQ(after["intl"]["selected_languages"], "en-US");
    EXPECT_EQ(after["devtools"]["preferences"], before["devtools"]["preferences"]);
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

// The window's profile folder under a cache folder of the test's own.
std::string ProfileDirUnder(const std::string& cache) {
    const char* before = std::getenv("XDG_CACHE_HOME");
    const std::string kept = before ? before : "";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const std::string dir = viewer::WindowProfileDir();
    if (before)
        setenv("XDG_CACHE_HOME", kept.c_str(), 1);
    else
        unsetenv("XDG_CACHE_HOME");
    return dir;
}

TEST(WindowProfile, TheProfileFolderIsTheUsersOwnAndNobodyElseCanWriteInIt) {
    TempDir scratch;
    const std::string fresh = scratch.file("fresh");
    EXPECT_EQ(ProfileDirUnder(fresh), fresh + "/reqwiz/browser");
    EXPECT_EQ(ModeOf(fresh + "/reqwiz"), 0700u);
    EXPECT_EQ(ModeOf(fresh + "/reqwiz/browser"), 0700u);

    // A folder of the user's that others may write in, or enter (as the
    // program once made it), is closed to them.
    const std::string open = scratch.file("open");
    std::filesystem::create_directories(open + "/reqwiz/browser");
    chmod((open + "/reqwiz").c_str(), 0777);
    chmod((open + "/reqwiz/browser").c_str(), 0755);
    EXPECT_EQ(ProfileDirUnder(open), open + "/reqwiz/browser");
    EXPECT_EQ(ModeOf(open + "/reqwiz"), 0700u);
    EXPECT_EQ(ModeOf(open + "/reqwiz/browser"), 0700u);

    // A link put where the folder goes is not followed.
    const std::string linked = scratch.file("linked");
    std::filesystem::create_directories(linked);
    std::filesystem::create_directories(scratch.file("elsewhere/browser"));
    std::filesystem::create_directory_symlink(scratch.file("elsewhere"), linked + "/reqwiz");
    EXPECT_EQ(ProfileDirUnder(linked), "");

    // Folders another user made (in a shared cache folder) are not taken.
    if (geteuid() == 0) {
        const std::string theirs = scratch.file("theirs");
        std::filesystem::create_directories(theirs + "/reqwiz/browser");
        ASSERT_EQ(chown((theirs + "/reqwiz/browser").c_str(), 65534, 65534), 0);
        EXPECT_EQ(ProfileDirUnder(theirs), "");
        ASSERT_EQ(chown((theirs + "/reqwiz").c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown((theirs + "/reqwiz/browser").c_str(), 0, 0), 0);
        EXPECT_EQ(ProfileDirUnder(theirs), "");
    }
}

TEST(WindowProfile, AProfileOthersCouldWriteInIsSetAsideForANewOne) {
    // While others could write in the profile, or in the folder holding it,
    // they could leave in it what the browser then reads and writes: here a
    // link from the profile's settings to a folder of theirs.
    struct Case {
        mode_t own;
        mode_t profile;
        bool kept;
    };
    const Case cases[] = {
        {0700, 0777, false},  // anyone could write in the profile
        {0700, 0770, false},  // the folder's group could
        {0777, 0700, false},  // anyone could put another folder in its place
        {0755, 0755, true},   // others could only read: what is in it is the user's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.own << " " << c.profile);
        TempDir scratch;
        const std::string cache = scratch.file("cache");
        const std::string profile = cache + "/reqwiz/browser";
        const std::string theirs = scratch.file("theirs");
        std::filesystem::create_directories(profile);
        std::filesystem::create_directories(theirs);
        std::filesystem::create_directory_symlink(theirs, profile + "/Default");
        if (geteuid() == 0) {
            ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
            ASSERT_EQ(lchown((profile + "/Default").c_str(), 65534, 65534), 0);
        }
        chmod((cache + "/reqwiz").c_str(), c.own);
        chmod(profile.c_str(), c.profile);

        ASSERT_EQ(ProfileDirUnder(cache), profile);
        EXPECT_EQ(ModeOf(cache + "/reqwiz"), 0700u);
        EXPECT_EQ(ModeOf(profile), 0700u);
        ASSERT_TRUE(viewer::PrepareWindowProfile(profile, "es"));
        EXPECT_EQ(std::filesystem::is_symlink(profile + "/Default"), c.kept);
        EXPECT_EQ(std::filesystem::exists(theirs + "/Preferences"), c.kept);
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

TEST(WindowProfile, ThePagesAreAskedForInTheGivenLanguage) {
    TempDir dir;
    ASSERT_TRUE(viewer::PrepareWindowProfile(dir.path(), "es-MX"));
    EXPECT_EQ(ReadPreferences(dir.path())["intl"]["accept_languages"], "es-MX,es");
}

TEST(WindowLanguage, TheLocaleGivesTheLanguageAndSpanishWhenItNamesNone) {
    struct Case {
        const char* lc_all;
        const char* lc_messages;
        const char* lang;
        const char* language;
    };
    const Case cases[] = {
        {nullptr, nullptr, "es_MX.UTF-8", "es-MX"},
        {nullptr, nullptr, "de_DE@euro", "de-DE"},
        {nullptr, "pt_BR.utf8", "es_MX.UTF-8", "pt-BR"},
        {"fr", "pt_BR.utf8", "es_MX.UTF-8", "fr"},
        {"", "", "en_US.ISO-8859-1", "en-US"},
        {nullptr, nullptr, nullptr, "es"},
        {nullptr, nullptr, "C.UTF-8", "es"},
        {nullptr, nullptr, "POSIX", "es"},
        {nullptr, nullptr, "C", "es"},
        {nullptr, nullptr, "e1_XX", "es"},
        {nullptr, nullptr, "es_MEX", "es"},
        {nullptr, nullptr, "--lang=x", "es"},
    };
    for (const Case& c : cases) {
        const auto env = [&](const char* name) -> const char* {
            if (std::string(name) == "LC_ALL")
                return c.lc_all;
            if (std::string(name) == "LC_MESSAGES")
                return c.lc_messages;
            if (std::string(name) == "LANG")
                return c.lang;
            return nullptr;
        };
        EXPECT_EQ(viewer::UserLanguage(env), c.language) << (c.lang ? c.lang : "(unset)");
    }
    EXPECT_EQ(viewer::AcceptLanguages("es-MX"), "es-MX,es");
    EXPECT_EQ(viewer::AcceptLanguages("es"), "es");
    viewer::WindowRequest request;
    request.language = "es-MX";
    request.profile_dir = "/home/u/.cache/reqwiz/browser";
    const std::vector<std::string> env = viewer::WindowEnvironment(request);
    EXPECT_NE(std::find(env.begin(), env.end(), "LANGUAGE=es_MX:es"), env.end());
    // The user's everyday browser keeps its own environment.
    request.profile_dir.clear();
    EXPECT_TRUE(viewer::WindowEnvironment(request).empty());
}

TEST(WindowPlace, TheMonitorComesFromXrandrAndTheWindowIsCentredOnIt) {
    const std::string two_monitors =
        "Screen 0: minimum 320 x 200, current 3286 x 1080, maximum 16384 x 16384\n"
        "eDP-1 connected 1366x768+0+312 (normal left inverted right x axis y axis) 344mm x 194mm\n"
        "   1366x768      60.00*+\n"
        "HDMI-1 connected primary 1920x1080+1366+0 (normal) 521mm x 293mm\n"
        "   1920x1080     60.00*+\n"
        "DP-1 disconnected (normal left inverted right x axis y axis)\n";
    std::optional<viewer::ScreenArea> area = viewer::ParseScreenArea(two_monitors);
    ASSERT_TRUE(area);
    EXPECT_EQ(area->x, 1366);
    EXPECT_EQ(area->width, 1920);
    EXPECT_EQ(viewer::CentredCorner(*area, 648, 515), std::make_pair(1366 + 636, 282));

    // No primary: the first connected monitor with a mode; a connected
    // output without one is passed over.
    area = viewer::ParseScreenArea(
        "Screen 0: minimum 1 x 1, current 1024 x 768, maximum 1024 x 768\n"
        "VGA-1 connected (normal left inverted right x axis y axis)\n"
        "LVDS-1 connected 1024x768+0+0 0mm x 0mm\n");
    ASSERT_TRUE(area);
    EXPECT_EQ(viewer::CentredCorner(*area, 648, 515), std::make_pair(188, 126));
    // A window larger than the monitor keeps its corner on it.
    EXPECT_EQ(viewer::CentredCorner(*area, 1200, 900), std::make_pair(0, 0));

    // Only the screen's size: the whole screen.
    area = viewer::ParseScreenArea("Screen 0: minimum 8 x 8, current 1366 x 768, maximum 4096\n");
    ASSERT_TRUE(area);
    EXPECT_EQ(area->width, 1366);
    EXPECT_EQ(area->height, 768);
    EXPECT_FALSE(viewer::ParseScreenArea(""));
    EXPECT_FALSE(viewer::ParseScreenArea("Can't open display :9\n"));
}

TEST(WindowCommand, TheBrowserGetsTheProgramsClassLanguageAndPlace) {
    viewer::WindowRequest request;
    request.url = "file:///run/user/1000/reqwiz-x/open.html";
    request.width = 648;
    request.height = 515;
    request.x = 359;
    request.y = 126;
    request.language = "es";
    request.profile_dir = "/home/u/.cache/reqwiz/browser";
    const auto find = [](const std::string& name) {
        return name == "chromium" ? std::string("/usr/bin/chromium") : std::string();
    };
    const std::vector<std::string> argv = viewer::WindowCommand(request, find);
    for (const char* wanted : {"--app=file:///run/user/1000/reqwiz-x/open.html", "--class=reqwiz",
                               "--window-size=648,515", "--window-position=359,126", "--lang=es",
                               "--user-data-dir=/home/u/.cache/reqwiz/browser", "--no-first-run"})
        EXPECT_NE(std::find(argv.begin(), argv.end(), wanted), argv.end()) << wanted;
    EXPECT_EQ(std::find(argv.begin(), argv.end(), "--no-sandbox"), argv.end());
    // Switches that hold for the whole browser: the window's own gets them
    // (it starts lean, with its own class and language, and no password
    // store of the desktop's); the user's everyday browser, which they
    // would change for all its windows, never does.
    const char* const browser_wide[] = {"--disable-gpu",
                                        "--in-process-gpu",
                                        "--renderer-process-limit=1",
                                        "--enable-features=NetworkServiceInProcess2",
                                        "--disable-extensions",
                                        "--password-store=basic",
                                        "--disable-sync",
                                        "--class=reqwiz",
                                        "--lang=es"};
    for (const char* wanted : browser_wide)
        EXPECT_NE(std::find(argv.begin(), argv.end(), wanted), argv.end()) << wanted;
    viewer::WindowRequest everyday = request;
    everyday.profile_dir.clear();
    for (const std::string& arg : viewer::WindowCommand(everyday, find))
        for (const char* given : browser_wide)
            EXPECT_NE(arg, given);
    // Without a known screen, no position.
    request.x.reset();
    request.y.reset();
    for (const std::string& arg : viewer::WindowCommand(request, find))
        EXPECT_EQ(arg.rfind("--window-position", 0), std::string::npos) << arg;
}

}  // namespace

namespace {

TEST(SavePlaces, TheUserDirsFileNamesTheDesktopAndDocuments) {
    const std::string text =
        "# This file is written by xdg-user-dirs-update\n"
        "XDG_DESKTOP_DIR=\"$HOME/Escritorio\"\n"
        "  XDG_DOCUMENTS_DIR=\"/datos/Documentos\"\r\n"
        "XDG_MUSIC_DIR=\"$HOME\"\n"
        "XDG_VIDEOS_DIR=relative\n"
        "XDG_PICTURES_DIR=\"Imagenes\"\n";
    EXPECT_EQ(viewer::UserDirFromText(text, "XDG_DESKTOP_DIR", "/home/ana"),
              "/home/ana/Escritorio");
    EXPECT_EQ(viewer::UserDirFromText(text, "XDG_DOCUMENTS_DIR", "/home/ana"), "/datos/Documentos");
    EXPECT_EQ(viewer::UserDirFromText(text, "XDG_MUSIC_DIR", "/home/ana"), "/home/ana");
    EXPECT_EQ(viewer::UserDirFromText(text, "XDG_VIDEOS_DIR", "/home/ana"), "");
    EXPECT_EQ(viewer::UserDirFromText(text, "XDG_PICTURES_DIR", "/home/ana"), "");
    EXPECT_EQ(viewer::UserDirFromText(text, "XDG_DOWNLOAD_DIR", "/home/ana"), "");
    EXPECT_EQ(viewer::UserDirFromText("# XDG_DESKTOP_DIR=\"/x\"\n", "XDG_DESKTOP_DIR", "/h"), "");
}

}  // namespace
