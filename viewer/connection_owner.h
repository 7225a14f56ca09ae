// Which local user opened a connection to the server. Every process sees the
// kernel's tables of TCP sockets of its network namespace (/proc/net/tcp and
// /proc/net/tcp6), with the user that owns each socket; for a connection on
// the loopback the table also holds the other end's socket, and so tells
// whose program is on the other end. Nobody can make the kernel write
// another user's number there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace viewer {

// One end of a TCP connection over IPv4: a dotted address and a port.
struct TcpEndpoint {
    std::string address;
    uint16_t port = 0;
};

// The states of a socket, as the tables number them.
enum class TcpState { Established = 0x01, Listening = 0x0A };

// The owner (a user number) of the socket whose own end is `local` and
// whose other end is `remote`, in state `state`, as `table` (the text of
// /proc/net/tcp when `ipv6` is false, of /proc/net/tcp6 when true; there an
// IPv4 end is written as its mapped IPv6 address) tells it. Nothing when no
// line matches, or when more than one does.
std::optional<uint32_t> SocketOwnerIn(const std::string& table, bool ipv6, const TcpEndpoint& local,
                                      const TcpEndpoint& remote, TcpState state);

// The owner of the client's socket of the established connection from
// `client` to `server`, read from both tables. Nothing when the tables
// cannot be read or do not show that connection (one that is closing no
// longer shows an owner, and does not count).
std::optional<uint32_t> ConnectionOwner(const TcpEndpoint& client, const TcpEndpoint& server);

// True when this process can tell who is at the other end of a connection
// to its server listening at `server`: the tables can be read, and show that
// listening socket as this process's own user's.
bool CanTellConnectionOwners(const TcpEndpoint& server);

}  // namespace viewer
