// Opening the wizard's one window: a browser in application mode (no tabs,
// no address bar) sized like the profile's window, or else whatever the
// desktop opens addresses with.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace viewer {

// Finds a program by name on PATH; returns its full path, or "" when absent.
std::string FindProgram(const std::string& name);

struct WindowRequest {
    std::string url;
    int width = 0;  // 0 leaves the size to the browser
    int height = 0;
    // The browser profile folder for the window; a profile of its own makes
    // the window its own browser process, so it gets the asked size and goes
    // away when the user closes it. Empty: the browser's usual profile.
    std::string profile_dir;
    // A browser running as root needs its sandbox turned off to start.
    bool as_root = false;
};

// The command line that opens the window: the first of chromium,
// google-chrome and chromium-browser found by `find` (in application mode,
// "--app=URL --window-size=W,H"), else xdg-open with the address. Empty when
// none of them is there.
std::vector<std::string> WindowCommand(const WindowRequest& request,
                                       const std::function<std::string(const std::string&)>& find);

// Starts the command detached from this process (its own session, standard
// streams on /dev/null), without waiting for it. False when it could not be
// started.
bool LaunchDetached(const std::vector<std::string>& argv);

// The profile folder for the wizard's window: $XDG_CACHE_HOME/reqwiz/browser,
// or ~/.cache/reqwiz/browser; created when missing. Empty when neither can
// be made.
std::string WindowProfileDir();

// Turns the browser's password manager and form autofill off in the profile
// folder `profile_dir` (its Default/Preferences), so that nothing typed in
// the wizard, its passwords least of all, is offered for saving, kept or
// filled in again. Other settings of an existing file are kept; a file the
// browser could not read either is started afresh. The file is replaced
// whole (mode 0600), never left half written. False when it could not be
// written.
bool PrepareWindowProfile(const std::string& profile_dir);

}  // namespace viewer
