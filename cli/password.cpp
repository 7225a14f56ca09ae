#include "cli/password.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/terminal.h"
#include "crypto/common/mem.h"
#include "platform/latin1.h"

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

}  // namespace

void Notice(const std::string& latin1) {
    std::fprintf(stderr, "Aviso: %s\n", ForTerminal(Tidy(latin1)).c_str());
    std::fflush(stderr);
}

// UTF-8 to ISO-8859-1, refusing what has no ISO-8859-1 form (and malformed
// UTF-8): the conversion must give the text back when converted again.
std::optional<std::string> StrictLatin1(const std::string& utf8) {
    std::string latin1 = platform::Utf8ToLatin1(utf8);
    if (platform::Latin1ToUtf8(latin1) != utf8)
        return std::nullopt;
    return latin1;
}

// The first line of standard input, not echoed when it comes from a
// terminal.
bool ReadPassword(std::string& password) {
    const bool terminal = isatty(STDIN_FILENO) == 1;
    termios saved{};
    bool echo_off = false;
    if (terminal && tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        echo_off = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        std::fprintf(stderr, "%s", ForTerminal("Clave de acceso: ").c_str());
        std::fflush(stderr);
    }
    std::string line;
    std::getline(std::cin, line);
    if (echo_off) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::optional<std::string> latin1 = StrictLatin1(line);
    if (latin1)
        password = *latin1;
    if (!line.empty())
        mem_fill(line.data(), 0, static_cast<uint32_t>(line.size()));
    if (!latin1) {
        Notice(
            "La clave de acceso tiene un car\xE1"
            "cter que no existe en ISO-8859-1");
        return false;
    }
    return true;
}

}  // namespace cli
