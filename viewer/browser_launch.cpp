#include "viewer/browser_launch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/file_commit.h"
#include "platform/files.h"

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
    for (const char* name : {"chromium", "google-chrome", "chromium-browser"}) {
        const std::string browser = find(name);
        if (browser.empty())
            continue;
        std::vector<std::string> argv{browser, "--app=" + request.url};
        if (request.width > 0 && request.height > 0)
            argv.push_back("--window-size=" + std::to_string(request.width) + "," +
                           std::to_string(request.height));
        if (!request.profile_dir.empty()) {
            argv.push_back("--user-data-dir=" + request.profile_dir);
            argv.push_back("--no-first-run");
            argv.push_back("--no-default-browser-check");
        }
        if (request.as_root)
            argv.push_back("--no-sandbox");
        return argv;
    }
    const std::string opener = find("xdg-open");
    if (!opener.empty())
        return {opener, request.url};
    return {};
}

bool LaunchDetached(const std::vector<std::string>& argv) {
    if (argv.empty())
        return false;
    // Everything the children need is prepared before fork: after it only
    // async-signal-safe calls are made, since other threads are running.
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
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
            execv(args[0], args.data());
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
    const std::string dir = base + "/reqwiz/browser";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        return std::string();
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

}  // namespace

bool PrepareWindowProfile(const std::string& profile_dir) {
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

    const std::string out = preferences.dump();
    size_t failed = 0;
    return platform::CommitFiles({{path, 0600, {std::string_view(out)}}}, failed);
}

}  // namespace viewer
