// Which local user is at the other end of a connection over the loopback.
// Both ends are sockets of this machine, and the kernel keeps the user that
// made each socket; its socket-diagnostics service (netlink, as `ss` uses)
// tells that to any process of the same network namespace, for exactly the
// socket asked about. Nobody can make the kernel name another user there.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>

namespace viewer {

// The user that owns the socket whose own end is `local` and whose other end
// is `remote` (IPv4 or IPv6 addresses; an IPv4 pair is also looked for among
// IPv6 sockets, as mapped addresses), provided that socket is an established
// connection. Nothing when there is no such socket, it is in any other state
// (a socket that is closing may be kept by the kernel without its owner,
// and shown as user 0, so no closing state counts), or the kernel cannot be
// asked.
std::optional<uint32_t> SocketOwner(const sockaddr_storage& local, const sockaddr_storage& remote);

// 127.0.0.1:`port` as the functions here take an address.
sockaddr_storage Ipv4Loopback(uint16_t port);

// The owner of the other end of the connected socket `connection` (one the
// server accepted): SocketOwner of its peer's end towards its own end.
std::optional<uint32_t> PeerOwner(int connection);

// True when this process can tell who is at the other end of a connection
// to its server listening at `server`: it connects to the server itself and
// must find that connection's socket to be its own user's. False too when
// the user is the number the kernel gives users it cannot name (in a user
// namespace, every unmapped user looks like that one).
bool CanTellConnectionOwners(const sockaddr_storage& server);

}  // namespace viewer
