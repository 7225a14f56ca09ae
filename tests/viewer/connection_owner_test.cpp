// Telling whose program is at the other end of a loopback connection, from
// the kernel's socket tables: lines as the kernel writes them, then the real
// tables of this machine with connections this test makes.
#include "viewer/connection_owner.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using viewer::ConnectionOwner;
using viewer::SocketOwnerIn;
using viewer::TcpEndpoint;
using viewer::TcpState;

// /proc/net/tcp on a little-endian machine: a server on 127.0.0.1:41001
// (0xA029) with a connection from port 50000 (0xC350) owned by user 1000, a
// closed connection from port 50001 (TIME_WAIT, always owner 0), a listener
// of user 0 on another port and an established socket of user 1001 going
// the other way.
const char kTcp[] =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n"
    "   0: 0100007F:A029 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 "
    "3001 1 0000000000000000 100 0 0 10 0\n"
    "   1: 0100007F:0016 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 "
    "3002 1 0000000000000000 100 0 0 10 0\n"
    "   2: 0100007F:C350 0100007F:A029 01 00000000:00000000 00:00000000 00000000  1000        0 "
    "3003 1 0000000000000000 20 4 30 10 -1\n"
    "   3: 0100007F:C351 0100007F:A029 06 00000000:00000000 03:00001770 00000000     0        0 "
    "0 3 0000000000000000\n"
    "   4: 0100007F:A029 0100007F:C352 01 00000000:00000000 00:00000000 00000000  1001        0 "
    "3004 1 0000000000000000 20 4 30 10 -1\n";

// /proc/net/tcp6: a client on an IPv6 socket reaching the IPv4 server
// through its mapped address ::ffff:127.0.0.1.
const char kTcp6[] =
    "  sl  local_address                         remote_address                        st "
    "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 0000000000000000FFFF00000100007F:C353 0000000000000000FFFF00000100007F:A029 01 "
    "00000000:00000000 00:00000000 00000000  1002        0 3005 1 0000000000000000 20 4 30 10 "
    "-1\n";

bool LittleEndian() {
    const uint16_t one = 1;
    return *reinterpret_cast<const unsigned char*>(&one) == 1;
}

TEST(ConnectionOwner, TheTablesLinesTellTheOwnerOfOneEndInOneState) {
    if (!LittleEndian())
        GTEST_SKIP() << "the fixture is written as a little-endian machine writes it";
    const TcpEndpoint server{"127.0.0.1", 41001};
    struct Case {
        const char* what;
        const char* table;
        bool ipv6;
        TcpEndpoint local;
        TcpEndpoint remote;
        TcpState state;
        std::optional<uint32_t> owner;
    } cases[] = {
        {"an established client",
         kTcp,
         false,
         {"127.0.0.1", 50000},
         server,
         TcpState::Established,
         1000},
        {"a closing client counts for nobody",
         kTcp,
         false,
         {"127.0.0.1", 50001},
         server,
         TcpState::Established,
         std::nullopt},
        {"the listener", kTcp, false, server, {"0.0.0.0", 0}, TcpState::Listening, 1000},
        {"the listener is not established",
         kTcp,
         false,
         server,
         {"0.0.0.0", 0},
         TcpState::Established,
         std::nullopt},
        {"the server's end is not the client's",
         kTcp,
         false,
         server,
         {"127.0.0.1", 50002},
         TcpState::Established,
         1001},
        {"ends the wrong way round",
         kTcp,
         false,
         server,
         {"127.0.0.1", 50000},
         TcpState::Established,
         std::nullopt},
        {"another port",
         kTcp,
         false,
         {"127.0.0.1", 50009},
         server,
         TcpState::Established,
         std::nullopt},
        {"a client on an IPv6 socket",
         kTcp6,
         true,
         {"127.0.0.1", 50003},
         server,
         TcpState::Established,
         1002},
        {"read as the IPv4 table",
         kTcp6,
         false,
         {"127.0.0.1", 50003},
         server,
         TcpState::Established,
         std::nullopt},
        {"not a dotted address",
         kTcp,
         false,
         {"localhost", 50000},
         server,
         TcpState::Established,
         std::nullopt},
        {"an empty table",
         "",
         false,
         {"127.0.0.1", 50000},
         server,
         TcpState::Established,
         std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SocketOwnerIn(c.table, c.ipv6, c.local, c.remote, c.state), c.owner) << c.what;

    // Two lines for one end (a table that cannot be) say nothing, and so
    // does a line whose owner is no number.
    const std::string twice = std::string(kTcp) +
                              "   5: 0100007F:C350 0100007F:A029 01 00000000:00000000 "
                              "00:00000000 00000000     0        0 3006 1\n";
    EXPECT_EQ(SocketOwnerIn(twice, false, {"127.0.0.1", 50000}, server, TcpState::Established),
              std::nullopt);
    const std::string garbled =
        "header\n   0: 0100007F:C350 0100007F:A029 01 00000000:00000000 00:00000000 00000000 "
        "-1 0 0\n   1: 0100007F:C350 0100007F:A029 01 x\n";
    EXPECT_EQ(SocketOwnerIn(garbled, false, {"127.0.0.1", 50000}, server, TcpState::Established),
              std::nullopt);
}

// A listener on 127.0.0.1 and a client connected to it, both of this
// process.
struct LoopbackPair {
    int listener = -1;
    int client = -1;
    TcpEndpoint server_end{"127.0.0.1", 0};
    TcpEndpoint client_end{"127.0.0.1", 0};

    LoopbackPair() {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        socklen_t size = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 4) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        server_end.port = ntohs(address.sin_port);
        client = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        size = sizeof address;
        getsockname(client, reinterpret_cast<sockaddr*>(&address), &size);
        client_end.port = ntohs(address.sin_port);
    }
    ~LoopbackPair() {
        if (client >= 0)
            close(client);
        close(listener);
    }
};

TEST(ConnectionOwner, TheKernelsOwnTablesNameThisProcesssUser) {
    LoopbackPair pair;
    ASSERT_NE(pair.client_end.port, 0);
    EXPECT_TRUE(viewer::CanTellConnectionOwners(pair.server_end));
    EXPECT_EQ(ConnectionOwner(pair.client_end, pair.server_end),
              std::optional<uint32_t>(geteuid()));
    // Nobody listens on the client's port.
    EXPECT_FALSE(viewer::CanTellConnectionOwners(pair.client_end));
}

}  // namespace
