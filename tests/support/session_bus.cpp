#include "tests/support/session_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace testing_support {

namespace {

// Starts argv with `environment` added, and reads its standard output until
// a line has come (or 10 s have passed): that line, or "".
std::string SpawnUntilFirstLine(const std::vector<std::string>& argv,
                                const std::vector<std::string>& environment, pid_t& pid) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return "";
    pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return "";
    }
    if (pid == 0) {
        dup2(out[1], 1);
        for (const std::string& entry : environment)
            putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    for (;;) {
        pollfd fd{out[0], POLLIN, 0};
        if (poll(&fd, 1, 10000) <= 0)
            break;
        char buffer[512];
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
        if (text.find('\n') != std::string::npos)
            break;
    }
    close(out[0]);
    const size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(0, end);
}

}  // namespace

PrivateSessionBus::PrivateSessionBus() {
    const std::string config = dir_.file("bus.conf");
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                             "Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig><type>session</type>"
                             "<listen>unix:path="
                          << dir_.file("bus")
                          << "</listen><auth>EXTERNAL</auth>"
                             "<policy context=\"default\"><allow send_destination=\"*\"/>"
                             "<allow receive_sender=\"*\"/>"
                             "<allow own=\"*\"/></policy></busconfig>\n";
    pid_t pid = -1;
    const std::string line = SpawnUntilFirstLine(
        {"dbus-daemon", "--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"},
        {}, pid);
    if (pid > 0)
        children_.push_back(pid);
    if (line.rfind("unix:", 0) == 0)
        address_ = line;
}

PrivateSessionBus::~PrivateSessionBus() {
    // The portal first, then the bus.
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        kill(*it, SIGTERM);
        waitpid(*it, nullptr, 0);
    }
}

std::string PrivateSessionBus::PortalProgram() {
    return REQWIZ_FAKE_PORTAL;
}

bool PrivateSessionBus::StartPortal(const std::vector<std::string>& answers) {
    if (!ok())
        return false;
    std::vector<std::string> argv{PortalProgram(), dir_.file("portal-calls")};
    argv.insert(argv.end(), answers.begin(), answers.end());
    pid_t pid = -1;
    const std::string line =
        SpawnUntilFirstLine(argv, {"DBUS_SESSION_BUS_ADDRESS=" + address_}, pid);
    if (pid > 0)
        children_.push_back(pid);
    return line == "ready";
}

std::vector<std::string> PrivateSessionBus::PortalCalls() const {
    std::vector<std::string> calls;
    std::ifstream in(dir_.file("portal-calls"));
    for (std::string line; std::getline(in, line);)
        calls.push_back(line);
    return calls;
}

SessionBusVariable::SessionBusVariable(const std::string& address) {
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        had_ = true;
        old_ = old;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
}

SessionBusVariable::~SessionBusVariable() {
    if (had_)
        setenv("DBUS_SESSION_BUS_ADDRESS", old_.c_str(), 1);
    else
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace testing_support
