#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace testing_support {

RunResult run(const std::vector<std::string>& argv, const std::string& input,
              const std::string& terminate_when_output_has) {
    RunResult result;
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
        pipe2(err_pipe, O_CLOEXEC) != 0) {
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);

    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (rc != 0) {
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(err_pipe[0]);
        result.err = "cannot start " + argv[0];
        return result;
    }

    // Feed standard input and drain both outputs together, so a large output
    // never blocks the child while we are still writing.
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    int in_fd = in_pipe[1];
    if (input.empty()) {
        close(in_fd);
        in_fd = -1;
    }
    bool out_open = true, err_open = true;
    bool terminated = false;
    char buf[65536];
    while (out_open || err_open || in_fd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (out_open)
            fds[n++] = {out_pipe[0], POLLIN, 0};
        if (err_open)
            fds[n++] = {err_pipe[0], POLLIN, 0};
        if (in_fd >= 0)
            fds[n++] = {in_fd, POLLOUT, 0};
        if (poll(fds, n, -1) < 0)
            break;
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == in_fd) {
                ssize_t w = write(in_fd, input.data() + written, input.size() - written);
                if (w > 0)
                    written += static_cast<size_t>(w);
                if (w <= 0 || written == input.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            ssize_t r = read(fds[i].fd, buf, sizeof buf);
            std::string& sink = fds[i].fd == out_pipe[0] ? result.out : result.err;
            if (r > 0) {
                sink.append(buf, static_cast<size_t>(r));
                if (!terminated && !terminate_when_output_has.empty() &&
                    result.out.find(terminate_when_output_has) != std::string::npos) {
                    kill(pid, SIGTERM);
                    terminated = true;
                }
            } else {
                (fds[i].fd == out_pipe[0] ? out_open : err_open) = false;
            }
        }
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TempDir::TempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/reqwiz-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace testing_support
