#include "cli/password.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/messages.h"
#include "cli/terminal.h"
#include "platform/latin1.h"
#include "platform/wipe.h"

namespace cli {

// A message as one block of text: CR LF as LF, no blank lines around it.
namespace {

std::string Tidy(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r')
            out += c;
    }
    const size_t begin = out.find_first_not_of(" \t\n");
    if (begin == std::string::npos)
        return std::string();
    const size_t end = out.find_last_not_of(" \t\n");
    return out.substr(begin, end - begin + 1);
}

// The first line of standard input, read straight from the descriptor one
// byte at a time: a stream would keep the bytes in its own buffer, out of
// reach of any wipe, for as long as the program runs. The line grows in a
// string whose earlier storage is wiped before it is given back.
std::string ReadLine() {
    std::string line;
    line.reserve(256);
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        if (line.size() == line.capacity()) {
            std::string larger;
            larger.reserve(2 * line.capacity());
            larger = line;
            platform::WipeText(line);
            line.swap(larger);
        }
        line += c;
    }
    c = 0;
    return line;
}

}  // namespace

void Notice(const std::string& latin1) {
    std::fprintf(stderr, "Aviso: %s\n", ForTerminal(Tidy(latin1)).c_str());
    std::fflush(stderr);
}

bool ReadPassword(std::string& password) {
    return ReadPasswordLine("Clave de acceso: ", password);
}

bool InputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

// The next line of standard input, not echoed when it comes from a
// terminal.
bool ReadPasswordLine(const std::string& prompt, std::string& password) {
    const bool terminal = isatty(STDIN_FILENO) == 1;
    termios saved{};
    bool echo_off = false;
    if (terminal && tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        echo_off = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        std::fprintf(stderr, "%s", ForTerminal(prompt).c_str());
        std::fflush(stderr);
    }
    std::string line = ReadLine();
    if (echo_off) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::optional<std::string> latin1 = platform::Utf8ToLatin1Strict(line);
    if (latin1)
        password = *latin1;
    platform::WipeText(line);
    if (latin1)
        platform::WipeText(*latin1);
    if (!latin1) {
        Notice(app::msg::NotLatin1("PWD"));
        return false;
    }
    return true;
}

}  // namespace cli
