// Connections that trickle a header line now and then, with no session,
// against the running server: they may hold a thread only briefly, the
// page's own requests are served, and the window is never taken for gone
// because they kept the page's polls out.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/viewer/viewer_fixture.h"

namespace {

using nlohmann::json;
using viewer_test::QuickOptions;
using viewer_test::Wizard;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The server's limits as built: a request head must be whole 3 s after the
// connection was accepted.
constexpr auto kHeadDeadline = 3s;
// Room for a loaded machine.
constexpr auto kSlack = 1500ms;

// Clients that open a request and then send one more header line every
// second, for at most `for_at_most`, noting when the server closed each.
class SlowClients {
  public:
    SlowClients(uint16_t port, const std::string& host, int count, Clock::duration for_at_most)
        : host_(host), end_(Clock::now() + for_at_most) {
        for (int i = 0; i < count; ++i) {
            Client client;
            client.fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            client.opened = Clock::now();
            if (connect(client.fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
                ADD_FAILURE() << "connect";
            clients_.push_back(client);
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~SlowClients() { Join(); }

    void Join() {
        if (thread_.joinable())
            thread_.join();
        for (Client& client : clients_) {
            if (client.fd >= 0)
                close(client.fd);
            client.fd = -1;
        }
    }

    // How long each connection lasted until the server closed it; the whole
    // run for one it never closed.
    std::vector<Clock::duration> Lifetimes() const {
        std::vector<Clock::duration> out;
        for (const Client& client : clients_)
            out.push_back((client.closed == Clock::time_point{} ? end_ : client.closed) -
                          client.opened);
        return out;
    }

  private:
    struct Client {
        int fd = -1;
        Clock::time_point opened{};
        Clock::time_point closed{};
    };

    void Run() {
        const std::string start = "GET / HTTP/1.1\r\nHost: " + host_ + "\r\n";
        for (Client& client : clients_)
            send(client.fd, start.data(), start.size(), MSG_NOSIGNAL);
        Clock::time_point next_line = Clock::now() + 1s;
        int line = 0;
        while (Clock::now() < end_ && Open() > 0) {
            std::vector<pollfd> entries;
            for (const Client& client : clients_) {
                if (client.closed == Clock::time_point{})
                    entries.push_back(pollfd{client.fd, POLLIN, 0});
            }
            poll(entries.data(), entries.size(), 50);
            for (Client& client : clients_) {
                if (client.closed != Clock::time_point{})
                    continue;
                char byte;
                const ssize_t got = recv(client.fd, &byte, 1, MSG_DONTWAIT);
                if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                    client.closed = Clock::now();
            }
            if (Clock::now() >= next_line) {
                const std::string header = "X-Slow-" + std::to_string(line++) + ": 1\r\n";
                for (const Client& client : clients_) {
                    if (client.closed == Clock::time_point{})
                        send(client.fd, header.data(), header.size(), MSG_NOSIGNAL);
                }
                next_line += 1s;
            }
        }
    }

    size_t Open() const {
        size_t open = 0;
        for (const Client& client : clients_)
            open += client.closed == Clock::time_point{} ? 1 : 0;
        return open;
    }

    std::string host_;
    Clock::time_point end_;
    std::vector<Client> clients_;
    std::thread thread_;
};

// Short polls; the page may be silent for a second, well below the time the
// slow clients can hold a thread.
viewer::ViewerOptions Options() {
    viewer::ViewerOptions options = QuickOptions();
    options.page_grace = 1s;
    return options;
}

// Installs a watch for the window's end.
std::shared_ptr<std::atomic<bool>> WatchGone(Wizard& wizard) {
    auto gone = std::make_shared<std::atomic<bool>>(false);
    wizard.OnWindow<bool>([&wizard, gone] {
        wizard.viewer().OnPageGone = [gone] { *gone = true; };
        return true;
    });
    return gone;
}

TEST(ViewerSlowClients, TheyAreDroppedWhileThePageIsServedPromptly) {
    Wizard wizard(Options());
    ASSERT_TRUE(wizard.started());
    auto gone = WatchGone(wizard);
    ASSERT_EQ(
        wizard.Post("/__reqwiz/hello", json{{"page", "p1"}, {"controls", json::array()}})->status,
        200);

    SlowClients slow(wizard.port(), wizard.Host(), 24, 8s);

    // The page goes on polling and posting the whole time the slow clients
    // are connected, and every request is answered at once.
    uint64_t have = 0;
    Clock::duration slowest{};
    const Clock::time_point until = Clock::now() + kHeadDeadline + kSlack;
    while (Clock::now() < until) {
        wizard.OnWindow<bool>([&] {
            wizard.viewer().SetCursor(platform::Cursor::Default);
            return true;
        });
        Clock::time_point asked = Clock::now();
        const json commands = wizard.Poll(have, have);
        slowest = std::max(slowest, Clock::now() - asked);
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back()["type"], "cursor");
        have = commands.back()["seq"].get<uint64_t>();

        asked = Clock::now();
        auto click = wizard.Post("/__reqwiz/click", json{{"name", "b"}, {"onclick", ""}});
        slowest = std::max(slowest, Clock::now() - asked);
        ASSERT_TRUE(click);
        EXPECT_EQ(click->status, 204);
    }
    EXPECT_LT(slowest, 1s);

    slow.Join();
    for (Clock::duration lifetime : slow.Lifetimes())
        EXPECT_LT(lifetime, kHeadDeadline + kSlack);
    EXPECT_FALSE(*gone);
}

TEST(ViewerSlowClients, APageKeptOutByAFullServerIsNotGone) {
    // More slow clients than the server has threads: for a while the page's
    // poll waits in line, far longer than the page may be silent. That
    // silence is the server's, not the page's.
    Wizard wizard(Options());
    ASSERT_TRUE(wizard.started());
    auto gone = WatchGone(wizard);
    ASSERT_EQ(
        wizard.Post("/__reqwiz/hello", json{{"page", "p1"}, {"controls", json::array()}})->status,
        200);

    SlowClients slow(wizard.port(), wizard.Host(), 64, 8s);
    std::this_thread::sleep_for(200ms);
    const Clock::time_point asked = Clock::now();
    auto poll = wizard.Get("/__reqwiz/poll?done=0&have=0");
    ASSERT_TRUE(poll);
    EXPECT_EQ(poll->status, 200);
    // Served once the first slow clients were dropped; the ones that waited
    // in line behind them had used up their time while waiting.
    EXPECT_LT(Clock::now() - asked, kHeadDeadline + kSlack);
    slow.Join();
    for (Clock::duration lifetime : slow.Lifetimes())
        EXPECT_LT(lifetime, kHeadDeadline + kSlack);
    EXPECT_FALSE(*gone);

    // The page's own goodbye still ends the window.
    ASSERT_EQ(wizard.Post("/__reqwiz/bye", json{{"page", "p1"}})->status, 204);
    for (int i = 0; i < 100 && !*gone; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(*gone);
}

}  // namespace
