#include "viewer/guarded_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace viewer {

namespace {

using Clock = std::chrono::steady_clock;

// The longest single wait, so that a stopping server is noticed soon.
constexpr auto kStopCheck = std::chrono::milliseconds(50);
// While part of a head is buffered the socket stays readable: look again
// after this pause rather than spinning.
constexpr auto kPeekPause = std::chrono::milliseconds(10);

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, kStopCheck.count()));
}

// Waits until the socket is ready for `events` or `deadline` passes, looking
// at `running` (the listening socket, when given) between short waits.
bool WaitReady(int sock, short events, Clock::time_point deadline,
               const std::atomic<socket_t>* running) {
    while (!running || *running != INVALID_SOCKET) {
        const int wait = MillisecondsUntil(deadline);
        pollfd entry{sock, events, 0};
        const int ready = poll(&entry, 1, wait);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready == 0 && wait == 0)
            return false;
    }
    return false;
}

void AddressOf(int sock, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int got = peer ? getpeername(sock, reinterpret_cast<sockaddr*>(&address), &length)
                         : getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    ip.clear();
    port = 0;
    if (got != 0 || address.ss_family != AF_INET)
        return;
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
        ip = text;
    port = ntohs(in->sin_port);
}

// One connection as the library's request parser reads and writes it, with
// a deadline on reading and one on writing instead of a timeout per call.
// Bytes read from the socket but not yet parsed (a pipelined next request)
// stay in `buffer_` and count when waiting for the next head.
class DeadlineStream : public httplib::Stream {
  public:
    DeadlineStream(int sock, const std::atomic<socket_t>& running, const ServerLimits& limits)
        : sock_(sock), running_(running), limits_(limits) {}

    // Waits, taking nothing from the socket, until a complete request head
    // is buffered; the wait began at `since`. False when the deadline passes
    // first, the client closes, the head outgrows the limit or the server
    // stops.
    bool WaitForHead(Clock::time_point since) {
        const Clock::time_point deadline = since + limits_.head_deadline;
        std::string seen(buffer_, offset_, std::string::npos);
        if (HasHead(seen))
            return true;
        std::vector<char> peeked(limits_.max_head_bytes);
        size_t last_size = 0;
        while (running_ != INVALID_SOCKET) {
            if (Clock::now() >= deadline)
                return false;
            if (last_size > 0)
                std::this_thread::sleep_for(kPeekPause);
            else if (!WaitReady(sock_, POLLIN, deadline, &running_))
                return false;
            const ssize_t got = recv(sock_, peeked.data(), peeked.size(), MSG_PEEK | MSG_DONTWAIT);
            if (got == 0)
                return false;
            if (got < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    continue;
                return false;
            }
            last_size = static_cast<size_t>(got);
            const std::string head = seen + std::string(peeked.data(), last_size);
            if (HasHead(head))
                return true;
            if (head.size() >= limits_.max_head_bytes)
                return false;
        }
        return false;
    }

    // From now on the request (its head and body) must be read by
    // `read_deadline`.
    void StartRequest() { read_deadline_ = Clock::now() + limits_.body_deadline; }

    bool is_readable() const override {
        return offset_ < buffer_.size() || WaitReady(sock_, POLLIN, read_deadline_, &running_);
    }

    bool is_writable() const override {
        return WaitReady(sock_, POLLOUT, Clock::now() + limits_.write_deadline, nullptr);
    }

    ssize_t read(char* ptr, size_t size) override {
        if (offset_ >= buffer_.size()) {
            buffer_.clear();
            offset_ = 0;
            if (!WaitReady(sock_, POLLIN, read_deadline_, &running_))
                return -1;
            char chunk[4096];
            const ssize_t got = recv(sock_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                return read(ptr, size);
            if (got <= 0)
                return got;
            buffer_.assign(chunk, static_cast<size_t>(got));
        }
        const size_t count = std::min(size, buffer_.size() - offset_);
        std::memcpy(ptr, buffer_.data() + offset_, count);
        offset_ += count;
        return static_cast<ssize_t>(count);
    }

    // An answer is written out even while the server stops: the last one is
    // often the page's "close" command.
    ssize_t write(const char* ptr, size_t size) override {
        const Clock::time_point deadline = Clock::now() + limits_.write_deadline;
        size_t written = 0;
        while (written < size) {
            if (!WaitReady(sock_, POLLOUT, deadline, nullptr))
                return -1;
            const ssize_t sent =
                send(sock_, ptr + written, size - written, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    continue;
                return -1;
            }
            written += static_cast<size_t>(sent);
        }
        return static_cast<ssize_t>(written);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        AddressOf(sock_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        AddressOf(sock_, false, ip, port);
    }
    socket_t socket() const override { return sock_; }

  private:
    static bool HasHead(const std::string& text) { return text.find("\r\n\r\n") != text.npos; }

    int sock_;
    const std::atomic<socket_t>& running_;
    const ServerLimits& limits_;
    Clock::time_point read_deadline_{};
    std::string buffer_;
    size_t offset_ = 0;
};

// When the connection now being served on this thread was accepted.
thread_local Clock::time_point t_accepted{};

// The library's thread pool, which also hands each connection the moment it
// was accepted: a connection that waited in line for a thread has used that
// wait from its head's deadline.
class StampedPool : public httplib::TaskQueue {
  public:
    explicit StampedPool(size_t threads) : pool_(threads) {}
    void enqueue(std::function<void()> fn) override {
        pool_.enqueue([fn = std::move(fn), accepted = Clock::now()] {
            t_accepted = accepted;
            fn();
        });
    }
    void shutdown() override { pool_.shutdown(); }

  private:
    httplib::ThreadPool pool_;
};

}  // namespace

GuardedServer::GuardedServer(ServerLimits limits, std::function<void(bool)> on_full)
    : limits_(limits), on_full_(std::move(on_full)) {
    const size_t threads = std::max<size_t>(limits_.threads, 1);
    new_task_queue = [threads] { return new StampedPool(threads); };
}

void GuardedServer::CloseUnused() {
    const socket_t sock = svr_sock_.exchange(INVALID_SOCKET);
    if (sock != INVALID_SOCKET)
        close(sock);
}

int GuardedServer::BindToAnyPort(const std::string& host) {
    const int port = bind_to_any_port(host);
    // Listening again on a listening socket only changes its queue length.
    if (port > 0 && port <= 65535 && ::listen(svr_sock_, SOMAXCONN) != 0)
        return 0;
    return port;
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    if (accept_ && !accept_(sock)) {
        shutdown(sock, SHUT_RDWR);
        close(sock);
        return false;
    }
    // The count and the report change together, so that reports from two
    // threads cannot arrive in the wrong order.
    const size_t threads = std::max<size_t>(limits_.threads, 1);
    {
        std::lock_guard<std::mutex> lock(busy_mutex_);
        if (++busy_ == threads && on_full_)
            on_full_(true);
    }
    struct Free {
        GuardedServer& server;
        size_t threads;
        ~Free() {
            std::lock_guard<std::mutex> lock(server.busy_mutex_);
            if (server.busy_-- == threads && server.on_full_)
                server.on_full_(false);
        }
    } free_thread{*this, threads};

    const Clock::time_point accepted =
        t_accepted == Clock::time_point{} ? Clock::now() : std::exchange(t_accepted, {});
    DeadlineStream stream(sock, svr_sock_, limits_);
    bool served = false;
    const size_t count = std::max<size_t>(limits_.requests_per_connection, 1);
    for (size_t i = 0; i < count && svr_sock_ != INVALID_SOCKET; ++i) {
        if (!stream.WaitForHead(i == 0 ? accepted : Clock::now()))
            break;
        stream.StartRequest();
        bool closed = false;
        served = process_request(stream, i + 1 == count, closed, nullptr);
        if (!served || closed)
            break;
    }
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return served;
}

}  // namespace viewer
