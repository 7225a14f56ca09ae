#include "viewer/browser_launch.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/file_commit.h"
#include "platform/files.h"

extern char** environ;

namespace viewer {

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t end = dirs.find(':', pos);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(pos, end - pos);
        if (dir.empty())
            dir.push_back('.');  // not = ".": a false -Wrestrict of GCC 12 at -O3
        const std::string candidate = dir + "/" + name;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        pos = end + 1;
    }
    return std::string();
}

std::vector<std::string> WindowCommand(const WindowRequest& request,
                                       const std::function<std::string(const std::string&)>& find) {
    if (request.own_browser_only && request.profile_dir.empty())
        return {};
    for (const char* name : {"chromium", "google-chrome", "chromium-browser"}) {
        const std::string browser = find(name);
        if (browser.empty())
            continue;
        // What the window itself is given: its address, size and place.
        std::vector<std::string> argv{browser, "--app=" + request.url};
        if (request.width > 0 && request.height > 0)
            argv.push_back("--window-size=" + std::to_string(request.width) + "," +
                           std::to_string(request.height));
        if (request.x && request.y)
            argv.push_back("--window-position=" + std::to_string(*request.x) + "," +
                           std::to_string(*request.y));
        // The rest holds for the whole browser: a browser that was not
        // running would keep it for every window of the session. So it
        // goes only to the window's own browser, never to the user's
        // everyday one (whose passwords, say, would stay out of sight under
        // another password store).
        if (!request.profile_dir.empty()) {
            argv.push_back(std::string("--class=") + kWindowClass);
            if (!request.language.empty())
                argv.push_back("--lang=" + request.language);
            argv.push_back("--user-data-dir=" + request.profile_dir);
            argv.push_back("--no-first-run");
            argv.push_back("--no-default-browser-check");
            // A browser of its own that shows the wizard's few pages and
            // nothing else: it starts fewer processes, so the first page is
            // painted sooner after the window appears. The drawing and the
            // network run inside the browser's own process, with no
            // graphics card (the pages are forms and small images), and the
            // pages share one renderer; no extensions are loaded.
            argv.push_back("--disable-gpu");
            argv.push_back("--in-process-gpu");
            argv.push_back("--renderer-process-limit=1");
            argv.push_back("--enable-features=NetworkServiceInProcess2");
            argv.push_back("--disable-extensions");
            // Nothing but the wizard in the window: no offer to translate
            // its pages, no bubble offering to restore an earlier session,
            // no question for the desktop's key ring (the profile keeps no
            // passwords), no background downloads of the browser's own
            // parts.
            argv.push_back("--disable-features=Translate,AutofillServerCommunication,MediaRouter");
            argv.push_back("--hide-crash-restore-bubble");
            argv.push_back("--password-store=basic");
            argv.push_back("--disable-component-update");
            argv.push_back("--disable-background-networking");
            argv.push_back("--disable-sync");
        }
        if (request.as_root) {
            argv.push_back("--no-sandbox");
            // Without it the browser shows a bar warning about the switch
            // above over the wizard's page.
            argv.push_back("--test-type");
        }
        return argv;
    }
    if (request.own_browser_only)
        return {};
    const std::string opener = find("xdg-open");
    if (!opener.empty())
        return {opener, request.url};
    return {};
}

std::vector<std::string> WindowEnvironment(const WindowRequest& request) {
    if (request.profile_dir.empty())
        return {};
    const std::string& language = request.language;
    std::vector<std::string> env{"GOOGLE_API_KEY=no", "GOOGLE_DEFAULT_CLIENT_ID=no",
                                 "GOOGLE_DEFAULT_CLIENT_SECRET=no"};
    if (!language.empty()) {
        std::string names = language;
        const size_t dash = names.find('-');
        if (dash != std::string::npos) {
            names[dash] = '_';
            names += ":" + language.substr(0, dash);
        }
        env.push_back("LANGUAGE=" + names);
    }
    return env;
}

bool LaunchDetached(const std::vector<std::string>& argv,
                    const std::vector<std::string>& extra_env) {
    if (argv.empty())
        return false;
    // Everything the children need is prepared before fork: after it only
    // async-signal-safe calls are made, since other threads are running.
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    // The environment: this process's, less the variables `extra_env` sets,
    // then those.
    std::vector<char*> env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const bool replaced = std::any_of(extra_env.begin(), extra_env.end(), [&](const auto& e) {
            const size_t eq = e.find('=');
            return text.size() > eq && text.compare(0, eq + 1, e, 0, eq + 1) == 0;
        });
        if (!replaced)
            env.push_back(*entry);
    }
    for (const std::string& entry : extra_env)
        env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd < 0)
        return false;
    int status_pipe[2];
    if (pipe2(status_pipe, O_CLOEXEC) != 0) {
        close(null_fd);
        return false;
    }

    const pid_t child = fork();
    if (child < 0) {
        close(null_fd);
        close(status_pipe[0]);
        close(status_pipe[1]);
        return false;
    }
    if (child == 0) {
        // The middle child starts the browser in a session of its own and
        // leaves at once, so the browser is not this process's child and
        // nobody has to wait for it.
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            dup2(null_fd, STDIN_FILENO);
            dup2(null_fd, STDOUT_FILENO);
            dup2(null_fd, STDERR_FILENO);
            execve(args[0], args.data(), env.data());
            const char failed = 1;
            (void)!write(status_pipe[1], &failed, 1);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(null_fd);
    close(status_pipe[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The write end closes on a successful exec (close-on-exec), so the read
    // returns 0; it returns the byte when exec failed.
    char failed = 0;
    ssize_t got = 0;
    do {
        got = read(status_pipe[0], &failed, 1);
    } while (got < 0 && errno == EINTR);
    close(status_pipe[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

namespace {

// Makes `dir` (mode 0700) unless it is there, and makes sure it is the
// user's own: a real folder, not a link, owned by this user (another user
// who made it could hand the browser settings of theirs). A folder of the
// user's that others may enter is closed to them (mode 0700); the folder
// is opened first, never through a link, and its mode is read and changed
// through that descriptor, so a link put in its place meanwhile changes
// nothing. Nothing when it is not the user's; else whether others could
// write in it until now.
std::optional<bool> MakeOwnPrivateFolder(const std::string& dir) {
    if (mkdir(dir.c_str(), 0700) == 0)
        return false;
    if (errno != EEXIST)
        return std::nullopt;
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    std::optional<bool> was_open;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
        ((info.st_mode & (S_IRWXG | S_IRWXO)) == 0 || fchmod(fd, 0700) == 0))
        was_open = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    close(fd);
    return was_open;
}

}  // namespace

std::string WindowProfileDir() {
    std::string base;
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (cache != nullptr && *cache == '/')
        base = cache;
    else if (home != nullptr && *home == '/')
        base = std::string(home) + "/.cache";
    else
        return std::string();
    std::error_code error;
    std::filesystem::create_directories(base, error);
    if (error)
        return std::string();
    const std::string own = base + "/reqwiz";
    const std::string dir = own + "/browser";
    const std::optional<bool> own_was_open = MakeOwnPrivateFolder(own);
    if (!own_was_open)
        return std::string();
    std::optional<bool> was_open = MakeOwnPrivateFolder(dir);
    if (!was_open)
        return std::string();
    // While others could write in the profile, or put another folder in its
    // place, they could leave in it what the browser reads and writes (a
    // link from its settings to a folder of theirs, say): closing it does
    // not take that out. Such a profile is set aside, unread, beside the new
    // one; what is in it may not be the user's to remove. An empty one is
    // kept: it is closed to others now, and there is nothing in it.
    std::error_code looked;
    const bool empty = std::filesystem::is_empty(dir, looked) && !looked;
    if ((*own_was_open || *was_open) && !empty) {
        std::string aside = own + "/browser.set-aside-XXXXXX";
        if (mkdtemp(aside.data()) == nullptr || rename(dir.c_str(), aside.c_str()) != 0)
            return std::string();
        was_open = MakeOwnPrivateFolder(dir);
        if (!was_open || *was_open)
            return std::string();
    }
    return dir;
}

namespace {

// The member `key` of `parent` as an object, made one when missing or not an
// object.
nlohmann::json& ObjectMember(nlohmann::json& parent, const char* key) {
    nlohmann::json& member = parent[key];
    if (!member.is_object())
        member = nlohmann::json::object();
    return member;
}

bool IsLetters(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
}

// Runs `argv` (found on PATH) and gives what it printed, waiting at most
// `limit`; nothing when it could not run, failed or took too long.
std::optional<std::string> Output(const std::vector<std::string>& argv,
                                  std::chrono::milliseconds limit) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return std::nullopt;
    }
    std::string text;
    bool complete = false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd ready{out[0], POLLIN, 0};
        const int got = poll(&ready, 1, static_cast<int>(left.count()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        char block[4096];
        const ssize_t n = read(out[0], block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        text.append(block, static_cast<size_t>(n));
        if (text.size() > (1u << 20))
            break;
    }
    close(out[0]);
    if (!complete)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

// "WxH+X+Y" at the start of `word`.
std::optional<ScreenArea> ParseGeometry(const std::string& word) {
    ScreenArea area;
    char sign_x = 0, sign_y = 0;
    int used = 0;
    if (std::sscanf(word.c_str(), "%dx%d%c%d%c%d%n", &area.width, &area.height, &sign_x, &area.x,
                    &sign_y, &area.y, &used) != 6 ||
        (sign_x != '+' && sign_x != '-') || (sign_y != '+' && sign_y != '-'))
        return std::nullopt;
    if (sign_x == '-')
        area.x = -area.x;
    if (sign_y == '-')
        area.y = -area.y;
    if (area.width <= 0 || area.height <= 0)
        return std::nullopt;
    return area;
}

}  // namespace

std::string UserLanguage(const std::function<const char*(const char*)>& getenv) {
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    // ll[_CC][.codeset][@modifier]
    const std::string_view text(locale);
    const size_t end = std::min(text.find('.'), text.find('@'));
    const std::string_view name = text.substr(0, end);
    const size_t underscore = name.find('_');
    const std::string_view language = name.substr(0, underscore);
    if (language.size() < 2 || language.size() > 3 || !IsLetters(language))
        return "es";
    std::string tag;
    for (char c : language)
        tag += static_cast<char>(c | 0x20);
    if (underscore != std::string_view::npos) {
        const std::string_view country = name.substr(underscore + 1);
        if (country.size() != 2 || !IsLetters(country))
            return "es";
        tag += '-';
        for (char c : country)
            tag += static_cast<char>(c & ~0x20);
    }
    return tag;
}

std::string AcceptLanguages(const std::string& language) {
    const size_t dash = language.find('-');
    if (dash == std::string::npos)
        return language;
    return language + "," + language.substr(0, dash);
}

std::optional<ScreenArea> ParseScreenArea(const std::string& xrandr_output) {
    std::optional<ScreenArea> first;
    std::optional<ScreenArea> whole;
    std::istringstream lines(xrandr_output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> parts;
        for (std::string word; words >> word;)
            parts.push_back(word);
        if (parts.size() >= 3 && parts[1] == "connected") {
            const bool primary = parts[2] == "primary";
            const size_t at = primary ? 3 : 2;
            if (at >= parts.size())
                continue;
            std::optional<ScreenArea> area = ParseGeometry(parts[at]);
            if (area && primary)
                return area;
            if (area && !first)
                first = area;
        } else if (parts.size() >= 2 && parts[0] == "Screen" && !whole) {
            const size_t current = line.find("current ");
            int width = 0, height = 0;
            if (current != std::string::npos &&
                std::sscanf(line.c_str() + current, "current %d x %d", &width, &height) == 2 &&
                width > 0 && height > 0)
                whole = ScreenArea{0, 0, width, height};
        }
    }
    return first ? first : whole;
}

std::optional<ScreenArea> CurrentScreenArea() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0' || FindProgram("xrandr").empty())
        return std::nullopt;
    const std::optional<std::string> text =
        Output({"xrandr", "--current"}, std::chrono::milliseconds(1500));
    if (!text)
        return std::nullopt;
    return ParseScreenArea(*text);
}

std::pair<int, int> CentredCorner(const ScreenArea& area, int width, int height) {
    const int x = area.x + std::max(0, (area.width - width) / 2);
    const int y = area.y + std::max(0, (area.height - height) / 2);
    return {x, y};
}

bool PrepareWindowProfile(const std::string& profile_dir, const std::string& language) {
    if (profile_dir.empty())
        return false;
    const std::string folder = profile_dir + "/Default";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return false;
    const std::string path = folder + "/Preferences";

    nlohmann::json preferences = nlohmann::json::object();
    std::string text;
    if (platform::ReadWholeFile(path, text)) {
        nlohmann::json read = nlohmann::json::parse(text, nullptr, false);
        if (read.is_object())
            preferences = std::move(read);
    }
    // The password manager: no offer to save, no saved login, no automatic
    // sign-in.
    preferences["credentials_enable_service"] = false;
    preferences["credentials_enable_autosignin"] = false;
    ObjectMember(preferences, "profile")["password_manager_enabled"] = false;
    // Autofill of addresses and cards, and the suggestions of what was typed
    // in a field before.
    nlohmann::json& autofill = ObjectMember(preferences, "autofill");
    autofill["profile_enabled"] = false;
    autofill["credit_card_enabled"] = false;
    autofill["enabled"] = false;
    // The pages' language, and no offer to translate them.
    ObjectMember(preferences, "intl")["accept_languages"] = AcceptLanguages(language);
    ObjectMember(preferences, "translate")["enabled"] = false;
    // No spelling marks under names and addresses, and no dictionary to
    // fetch for them.
    ObjectMember(preferences, "browser")["enable_spellchecking"] = false;
    ObjectMember(preferences, "spellcheck")["use_spelling_service"] = false;
    // The developer tools are not offered (their entry in the menu of a
    // right click included).
    ObjectMember(preferences, "devtools")["availability"] = 2;
    // The last run counts as ended cleanly, whatever it was: a window closed
    // by the program is not a crash to offer to restore.
    nlohmann::json& profile = ObjectMember(preferences, "profile");
    profile["exit_type"] = "Normal";
    profile["exited_cleanly"] = true;

    const std::string out = preferences.dump();
    size_t failed = 0;
    return platform::CommitFiles({{path, 0600, {std::string_view(out)}}}, failed);
}

}  // namespace viewer
