// The HTTP server of the page viewer, hardened against connections that hold
// a thread without ever asking for anything.
//
// The library's own connection loop waits for each header line with a fresh
// read timeout, so a client that sends one line every few seconds keeps a
// server thread forever; a handful of such clients use every thread and the
// page's own requests wait behind them. GuardedServer serves each connection
// itself instead:
//   - a request is read only once its complete head (request line, headers
//     and the empty line) is in the socket's buffer; the head must arrive
//     within `head_deadline` of the moment the server starts waiting for it
//     (the connection's accept, so that time spent waiting in line for a
//     thread counts, or the end of the previous answer), else the
//     connection is dropped. Waiting looks at the buffer without taking from
//     it, so nothing is parsed before the head is whole;
//   - the body, once the head is there, must arrive within `body_deadline`,
//     and each answer must be written within `write_deadline`;
//   - a connection carries at most `requests_per_connection` requests, and
//     an idle one is dropped by the same head deadline;
//   - with a filter set (AcceptOnly), a connection the filter refuses is
//     closed before anything of it is read.
// It also tells whether every thread is in use (`on_full`), so that the
// viewer does not take a page kept out by a full server for a page that is
// gone.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

namespace viewer {

struct ServerLimits {
    std::chrono::milliseconds head_deadline{3000};
    std::chrono::milliseconds body_deadline{5000};
    std::chrono::milliseconds write_deadline{5000};
    size_t max_head_bytes = 32 * 1024;
    size_t requests_per_connection = 20;
    // Long polls, page loads and the shim's posts each hold a thread while
    // they are served; slow connections hold one up to the head deadline.
    size_t threads = 48;
};

class GuardedServer : public httplib::Server {
  public:
    // `on_full` is called with true when the last free thread starts serving
    // a connection and with false when one becomes free again; it runs on
    // the server's threads.
    GuardedServer(ServerLimits limits, std::function<void(bool full)> on_full);

    // Binds to a free port of `host` and returns it (0 on failure). The
    // queue of connections not yet accepted is made long enough that a
    // burst of connections does not leave the page's own waiting to be
    // retried by its system.
    int BindToAnyPort(const std::string& host);

    const ServerLimits& limits() const { return limits_; }

    // Closes the socket of a server that was bound but is given up before
    // it ever accepted a connection (the library leaves that to a stop,
    // which a server not running skips).
    void CloseUnused();

    // From now on every connection is first shown to `accept` (on the
    // thread that serves it), and closed unread when it says false. Set it
    // before the server starts accepting connections (before it runs).
    void AcceptOnly(std::function<bool(int connection)> accept) { accept_ = std::move(accept); }

  private:
    bool process_and_close_socket(socket_t sock) override;

    ServerLimits limits_;
    std::function<void(bool)> on_full_;
    std::function<bool(int)> accept_;
    std::mutex busy_mutex_;
    size_t busy_ = 0;
};

}  // namespace viewer
