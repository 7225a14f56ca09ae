// Opening the wizard's one window: a browser in application mode (no tabs,
// no address bar) sized like the profile's window, or else whatever the
// desktop opens addresses with.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace viewer {

// Finds a program by name on PATH; returns its full path, or "" when absent.
std::string FindProgram(const std::string& name);

// The window's name towards the desktop: its X11 class (what the desktop
// entry's StartupWMClass names) and the browser's Wayland application id.
constexpr const char kWindowClass[] = "reqwiz";

struct WindowRequest {
    std::string url;
    int width = 0;  // 0 leaves the size to the browser
    int height = 0;
    // Where the window's top left corner goes; none leaves it to the
    // desktop.
    std::optional<int> x;
    std::optional<int> y;
    // The language of the browser's own texts and of the pages it asks
    // for ("es-MX"); empty leaves the browser's own choice.
    std::string language;
    // The browser profile folder for the window; a profile of its own makes
    // the window its own browser process, so it gets the asked size and goes
    // away when the user closes it. Empty: the browser's usual profile.
    std::string profile_dir;
    // A browser running as root needs its sandbox turned off to start.
    bool as_root = false;
    // Only the window's own browser will do: a browser in application mode
    // with a profile of its own (`profile_dir`), whose cookies are then the
    // wizard's alone; never the desktop opener nor the user's everyday
    // browser, which may keep or share what they are given.
    bool own_browser_only = false;
};

// The command line that opens the window: the first of chromium,
// google-chrome and chromium-browser found by `find` (in application mode,
// "--app=URL --window-size=W,H", with its position; with a profile of its
// own, also the program's window class and language, and nothing of the
// browser's own: no first-run page, no translation offer, no bars; the
// user's everyday browser gets nothing that would hold for all its
// windows), else xdg-open with the address. With `own_browser_only`,
// nothing but the browser with a profile of its own. Empty when none of
// them will do.
std::vector<std::string> WindowCommand(const WindowRequest& request,
                                       const std::function<std::string(const std::string&)>& find);

// Variables added to the browser's environment. LANGUAGE carries the
// request's `language` ("es-MX" gives "es_MX:es"): on this system the
// browser takes the language of its own texts (menus, the messages of form
// fields) from there, not from its --lang switch. It also asks for no keys
// of online services it will not use, and so shows no bar about them. For
// the window's own browser only (a profile of its own): a browser started
// with them keeps them for all its windows, so the user's everyday browser
// gets none.
std::vector<std::string> WindowEnvironment(const WindowRequest& request);

// Starts the command detached from this process (its own session, standard
// streams on /dev/null), without waiting for it; `extra_env` ("NAME=value")
// is added to this process's environment for it. False when it could not be
// started.
bool LaunchDetached(const std::vector<std::string>& argv,
                    const std::vector<std::string>& extra_env = {});

// The user's language as a browser language tag, from the first of LC_ALL,
// LC_MESSAGES and LANG that is set ("es_MX.UTF-8" gives "es-MX"). A locale
// that names no language ("C", "POSIX", unset, or not of the form
// ll[_CC][.codeset][@modifier]) gives Spanish, "es", the wizard's own.
std::string UserLanguage(const std::function<const char*(const char*)>& getenv);

// The languages the pages are asked for, best first: "es-MX" gives
// "es-MX,es"; "es" gives "es".
std::string AcceptLanguages(const std::string& language);

// A rectangle of the screen, in pixels.
struct ScreenArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The monitor to centre the window on, read from the text `xrandr --current`
// prints: the primary monitor, else the first connected one with a mode,
// else the whole screen ("current W x H"). Nothing when the text says none.
std::optional<ScreenArea> ParseScreenArea(const std::string& xrandr_output);

// The monitor the window goes on: asks xrandr when there is an X display
// (XWayland included) and it is installed; nothing otherwise (a Wayland
// compositor places windows itself).
std::optional<ScreenArea> CurrentScreenArea();

// The top left corner that centres a window of `width` x `height` on
// `area`; kept on the monitor when the window is larger than it.
std::pair<int, int> CentredCorner(const ScreenArea& area, int width, int height);

// The profile folder for the wizard's window: $XDG_CACHE_HOME/reqwiz/browser,
// or ~/.cache/reqwiz/browser; its two folders are made (mode 0700) when
// missing, and must be the user's own: real folders, owned by the user,
// that nobody else may write in (one of the user's that others could enter
// is closed to them; a profile that others could write in, or put in place,
// is set aside in reqwiz/ for a new one). Empty when it cannot be made, or
// is not the user's.
std::string WindowProfileDir();

// Turns the browser's password manager and form autofill off in the profile
// folder `profile_dir` (its Default/Preferences), so that nothing typed in
// the wizard, its passwords least of all, is offered for saving, kept or
// filled in again; sets the pages' languages (AcceptLanguages of `language`)
// and turns translation, spelling marks and the developer tools off, and
// records a clean exit, so that no bar offers to restore anything. Other
// settings of an existing file are kept; a file the browser could not read
// either is started afresh. The file is replaced whole (mode 0600), never
// left half written. False when it could not be written.
bool PrepareWindowProfile(const std::string& profile_dir, const std::string& language = "es");

}  // namespace viewer
