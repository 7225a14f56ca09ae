// Program entry: starts the wizard window with the command line's /CONFIG and
// /ZIP switches. A start-up that cannot go on is reported as "Aviso: ..." on
// standard error and, in a desktop session, in a dialog, and the program ends
// with the start-up's exit code; no temporary file is left behind.
#include <langinfo.h>
#include <spawn.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/Unit_main.h"
#include "app/text.h"
#include "cli/bare_size.h"
#include "platform/files.h"
#include "platform/message_loop.h"

extern char** environ;

namespace {

bool LocaleIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0);
}

// ISO-8859-1 text for the terminal: UTF-8 when the locale is, else as is.
std::string ForTerminal(const std::string& text) {
    return LocaleIsUtf8() ? app::Latin1ToUtf8(text) : text;
}

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
    std::fprintf(stderr, "Aviso: %s\n", ForTerminal(text).c_str());
    std::fflush(stderr);
    if (!DialogsWanted())
        return;
    if (RunDialog({"zenity", "--error", "--no-markup", "--title=Aviso",
                   "--text=" + app::Latin1ToUtf8(text)}))
        return;
    RunDialog({"xmessage", "-center", "-title", "Aviso", "-buttons", "OK", text});
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        platform::MessageLoop loop;
        app::Tfrm_req window(loop, {platform::ProgramPath(), cli::BareProgramSize()});
        if (std::optional<app::StartupFailure> failure = window.FormCreate(args)) {
            window.FormDestroy();
            ShowNotice(failure->message);
            return failure->exit_code;
        }
        std::printf(
            "%s\n",
            ForTerminal("reqwiz: perfil cargado; la ventana del asistente a\xFAn no est\xE1 "
                        "disponible en esta versi\xF3n.")
                .c_str());
        window.FormDestroy();
        return 0;
    } catch (const std::exception& e) {
        ShowNotice(e.what());
        return 1;
    }
}
