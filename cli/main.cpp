// Program entry: answers --help and --version, runs a command (`reqwiz
// generate`, `reqwiz inspect`), or starts the wizard window with the command
// line's /CONFIG and /ZIP switches. A start-up that cannot go on is reported as "Aviso: ..." on
// standard error and, in a desktop session, in a dialog, and the program ends
// with the start-up's exit code; no temporary file is left behind.
//
// After a good start-up the window's pages are served on 127.0.0.1, under a
// random name of the program's own under ".localhost", and one browser window
// is opened on them (--no-open opens nothing). The address, with its one-time
// token, is printed on standard output as one line. The
// program ends with code 0 when the wizard closes (its Cerrar/Salir buttons),
// when the user closes the browser window, or on SIGINT, SIGTERM or SIGHUP.
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/Unit_main.h"
#include "app/text.h"
#include "cli/bare_size.h"
#include "cli/generate_command.h"
#include "cli/help_text.h"
#include "cli/inspect_command.h"
#include "cli/pkcs12_command.h"
#include "cli/terminal.h"
#include "platform/files.h"
#include "platform/latin1.h"
#include "platform/message_loop.h"
#include "viewer/browser_launch.h"
#include "viewer/browser_viewer.h"
#include "viewer/directory_listing.h"
#include "viewer/launch_page.h"

extern char** environ;

namespace {

// Runs a dialog program and waits for the user to close it. False when the
// program could not be started.
bool RunDialog(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // A dialog program that could not run at all exits 127.
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
}

// A desktop session where a dialog can be shown: a display, and not a CI run
// or a caller that asked for none.
bool DialogsWanted() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    bool desktop = (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland);
    return desktop && std::getenv("CI") == nullptr && std::getenv("REQWIZ_NO_DIALOG") == nullptr;
}

void ShowNotice(const std::string& text) {
    std::fprintf(stderr, "Aviso: %s\n", cli::ForTerminal(text).c_str());
    std::fflush(stderr);
    if (!DialogsWanted())
        return;
    if (RunDialog({"zenity", "--error", "--no-markup", "--title=Aviso",
                   "--text=" + platform::Latin1ToUtf8(text)}))
        return;
    RunDialog({"xmessage", "-center", "-title", "Aviso", "-buttons", "OK", text});
}

// Opens the browser window, sized like the wizard's window, on `url`. The
// window's own browser profile gets its password manager and autofill
// turned off first. With `own_browser_only`, opens nothing unless the window
// is a browser of its own, with a profile of its own. False when there is
// nothing to open it with.
bool OpenWindow(const std::string& url, int width, int height, bool own_browser_only) {
    viewer::WindowRequest request;
    request.url = url;
    request.own_browser_only = own_browser_only;
    request.width = width;
    request.height = height;
    request.profile_dir = viewer::WindowProfileDir();
    request.as_root = geteuid() == 0;
    request.language = viewer::UserLanguage(std::getenv);
    // Centred on the monitor, where the display tells its size.
    if (width > 0 && height > 0) {
        if (std::optional<viewer::ScreenArea> screen = viewer::CurrentScreenArea()) {
            const auto [x, y] = viewer::CentredCorner(*screen, width, height);
            request.x = x;
            request.y = y;
        }
    }
    if (!request.profile_dir.empty() &&
        !viewer::PrepareWindowProfile(request.profile_dir, request.language)) {
        std::fprintf(
            stderr, "%s\n",
            cli::ForTerminal("reqwiz: no se pudo ajustar el perfil del navegador.").c_str());
        std::fflush(stderr);
    }
    const std::vector<std::string> command = viewer::WindowCommand(request, viewer::FindProgram);
    return !command.empty() && viewer::LaunchDetached(command, viewer::WindowEnvironment(request));
}

// Ctrl+C, a closed terminal or a plain kill end the program the way the
// window's close box does: the temporary files go away and a running
// generation job is waited for. The signals are blocked in every thread
// (threads inherit the mask of the thread that makes them, so this object
// must exist before any other thread) and taken by one thread of their own.
class StopSignals {
  public:
    StopSignals() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    ~StopSignals() {
        if (!thread_.joinable())
            return;
        done_ = true;
        pthread_kill(thread_.native_handle(), SIGTERM);
        thread_.join();
    }

    // From now on each signal posts `on_signal` to the loop.
    void Watch(platform::MessageLoop& loop, std::function<void()> on_signal) {
        thread_ = std::thread([this, &loop, on_signal = std::move(on_signal)] {
            int signal_number = 0;
            while (sigwait(&set_, &signal_number) == 0 && !done_)
                loop.Post(on_signal);
        });
    }

  private:
    sigset_t set_;
    std::thread thread_;
    std::atomic<bool> done_{false};
};

}  // namespace

int main(int argc, char** argv) {
    // The process holds the access password and the private key: no core
    // file is written of it, and no other process of the same user may read
    // its memory (ptrace, /proc/PID/mem).
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    std::setlocale(LC_ALL, "");
    // `reqwiz generate ...` makes the two files without the window.
    if (argc >= 2 && std::strcmp(argv[1], "generate") == 0)
        return cli::RunGenerate(argc - 2, argv + 2);
    // `reqwiz inspect FILE [--key FILE.key] [--json]` reads and checks them.
    if (argc >= 2 && std::strcmp(argv[1], "inspect") == 0)
        return cli::RunInspect(argc - 2, argv + 2);
    // `reqwiz pkcs12 --cert FILE --key FILE.key --out FILE.pfx ...` packs the
    // certificate with its key.
    if (argc >= 2 && std::strcmp(argv[1], "pkcs12") == 0)
        return cli::RunPkcs12(argc - 2, argv + 2);
    // `reqwiz --prepare-browser-profile DIR` prepares a browser profile
    // folder the way the window's own is prepared before it opens (for the
    // browser tests).
    if (argc == 3 && std::strcmp(argv[1], "--prepare-browser-profile") == 0)
        return viewer::PrepareWindowProfile(argv[2], viewer::UserLanguage(std::getenv)) ? 0 : 1;
    // The wizard's own arguments. --help and --version answer and end before
    // anything starts; the value after /ZIP or /CONFIG is a file name, never
    // an option. A long option ("--...") the program does not know is
    // refused; any other word is left to the window, which ignores what is
    // not one of its switches (only the slash makes a switch).
    std::vector<std::string> args;
    bool open_window = true;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const std::string upper = app::UpperCase(word);
        if (upper == "/ZIP" || upper == "/CONFIG") {
            args.push_back(word);
            if (i + 1 < argc)
                args.emplace_back(argv[++i]);
        } else if (word == "--help" || word == "-h") {
            std::fputs(cli::ForTerminal(cli::ProgramHelp()).c_str(), stdout);
            return 0;
        } else if (word == "--version" || word == "-V") {
            std::fputs(cli::VersionText().c_str(), stdout);
            return 0;
        } else if (word == "--no-open") {
            open_window = false;
        } else if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            std::fputs(cli::ForTerminal("reqwiz: " + word +
                                        ": opci\xF3n desconocida\nPruebe \xABreqwiz --help\xBB.\n")
                           .c_str(),
                       stderr);
            return 2;
        } else {
            args.push_back(word);
        }
    }
    try {
        platform::MessageLoop loop;
        StopSignals stop_signals;
        app::Tfrm_req window(loop, {platform::ProgramPath(), cli::BareProgramSize()});
        if (std::optional<app::StartupFailure> failure = window.FormCreate(args)) {
            window.FormDestroy();
            ShowNotice(failure->message);
            return failure->exit_code;
        }

        // The page the browser opens goes away as soon as it has done its
        // work, and in any case when the program ends. It outlives the
        // viewer, whose server threads may still remove it.
        viewer::LaunchPage launch_page;
        viewer::ViewerOptions options;
        options.title = window.Caption;
        options.last_folder_file = viewer::LastFolderFile();
        options.desktop_save_dialog = true;
        viewer::BrowserViewer page_viewer(loop, window, options);
        if (!page_viewer.Start()) {
            window.FormDestroy();
            ShowNotice("No se pudo abrir la ventana del asistente.");
            return 1;
        }
        // Closing the browser window is the window's close box.
        page_viewer.OnPageGone = [&window] { window.Close(); };
        stop_signals.Watch(loop, [&window] { window.Close(); });
        window.AttachViewer(&page_viewer);
        window.FormShow();

        const std::string url = page_viewer.StartUrl();
        std::printf("%s\n", url.c_str());
        std::fflush(stdout);
        page_viewer.OnStartTokenUsed([&launch_page] { launch_page.Remove(); });
        // The window's own browser is opened on the address itself when
        // another user who reads it there (every local user may read a
        // command line) can do nothing with it: the server serves the
        // user's own programs alone, and takes the token only from the
        // navigation the browser starts itself, not from a page of some site
        // in the user's everyday browser. Not as root: root's own programs
        // are the system's services too, which other users may have connect
        // somewhere. Else the browser gets a private page that forwards to
        // the address. That costs the first paint a page start more: the
        // file and the wizard are two sites, which the browser shows in two
        // processes.
        bool opened = false;
        if (open_window && page_viewer.ServesOnlyOwnUser() && geteuid() != 0) {
            page_viewer.TakeStartTokenOnlyFromTheBrowserItself(true);
            opened = OpenWindow(url, window.Width, window.Height, true);
            if (!opened)
                page_viewer.TakeStartTokenOnlyFromTheBrowserItself(false);
        }
        if (open_window && !opened && launch_page.Create(url)) {
            opened = OpenWindow(launch_page.FileUrl(), window.Width, window.Height, false);
            if (!opened)
                launch_page.Remove();
        }
        if (open_window && !opened) {
            std::fprintf(
                stderr, "%s\n",
                cli::ForTerminal("reqwiz: abra esta direcci\xF3n en un navegador.").c_str());
            std::fflush(stderr);
        }

        const int exit_code = loop.Run();
        page_viewer.Stop();
        launch_page.Remove();
        window.AttachViewer(nullptr);
        window.FormDestroy();
        return exit_code;
    } catch (const std::exception& e) {
        ShowNotice(e.what());
        return 1;
    }
}
