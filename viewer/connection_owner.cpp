#include "viewer/connection_owner.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace viewer {
namespace {

// One end of a connection, in the form the kernel's request wants: the
// family, the address as network-order words (one for IPv4, four for IPv6)
// and the port.
struct End {
    uint8_t family = 0;
    uint32_t address[4] = {0, 0, 0, 0};
    uint16_t port = 0;  // network order
};

std::optional<End> EndOf(const sockaddr_storage& address) {
    End end;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        end.family = AF_INET;
        end.address[0] = v4.sin_addr.s_addr;
        end.port = v4.sin_port;
        return end;
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        end.family = AF_INET6;
        std::memcpy(end.address, &v6.sin6_addr, sizeof end.address);
        end.port = v6.sin6_port;
        return end;
    }
    return std::nullopt;
}

// An IPv4 end as an IPv6 socket sees it: ::ffff:a.b.c.d.
End Mapped(const End& v4) {
    End end;
    end.family = AF_INET6;
    end.address[2] = htonl(0x0000FFFF);
    end.address[3] = v4.address[0];
    end.port = v4.port;
    return end;
}

// Asks the kernel for the one TCP socket of family `local.family` whose own
// end is `local` and whose other end is `remote`.
std::optional<uint32_t> AskKernel(const End& local, const End& remote) {
    const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return std::nullopt;
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    // No dump: the kernel looks up exactly this socket.
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = 1;
    message.request.sdiag_family = local.family;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    message.request.id.idiag_sport = local.port;
    message.request.id.idiag_dport = remote.port;
    std::memcpy(message.request.id.idiag_src, local.address, sizeof local.address);
    std::memcpy(message.request.id.idiag_dst, remote.address, sizeof remote.address);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    std::optional<uint32_t> owner;
    if (sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) == static_cast<ssize_t>(sizeof message)) {
        // The kernel answers while it takes the request: the answer is
        // already there, and the wait never blocks.
        alignas(nlmsghdr) char answer[8192];
        sockaddr_nl from{};
        socklen_t from_size = sizeof from;
        ssize_t got;
        do {
            got = recvfrom(fd, answer, sizeof answer, MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &from_size);
        } while (got < 0 && errno == EINTR);
        const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
        const size_t left = got > 0 ? static_cast<size_t>(got) : 0;
        // One answer, whole, from the kernel itself: the socket, or an
        // error (no such socket).
        if (from.nl_pid == 0 && left >= sizeof(nlmsghdr) && header->nlmsg_len <= left &&
            header->nlmsg_seq == 1 && header->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
            header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
            // The socket must be the one asked about, and a live connection:
            // a closing one (kept by the kernel without its owner) is
            // reported as user 0, whoever made it.
            const bool same =
                found->idiag_family == local.family && found->id.idiag_sport == local.port &&
                found->id.idiag_dport == remote.port &&
                std::memcmp(found->id.idiag_src, local.address, local.family == AF_INET ? 4 : 16) ==
                    0 &&
                std::memcmp(found->id.idiag_dst, remote.address,
                            local.family == AF_INET ? 4 : 16) == 0;
            if (same && found->idiag_state == TCP_ESTABLISHED)
                owner = found->idiag_uid;
        }
    }
    close(fd);
    return owner;
}

// The number the kernel shows for users it cannot name in this namespace.
std::optional<uint32_t> OverflowUser() {
    std::ifstream in("/proc/sys/kernel/overflowuid");
    unsigned long number = 0;
    if (!(in >> number))
        return std::nullopt;
    return static_cast<uint32_t>(number);
}

}  // namespace

std::optional<uint32_t> SocketOwner(const sockaddr_storage& local, const sockaddr_storage& remote) {
    const std::optional<End> own = EndOf(local);
    const std::optional<End> other = EndOf(remote);
    if (!own || !other || own->family != other->family)
        return std::nullopt;
    if (std::optional<uint32_t> owner = AskKernel(*own, *other))
        return owner;
    // A client may reach an IPv4 server through an IPv6 socket.
    if (own->family == AF_INET)
        return AskKernel(Mapped(*own), Mapped(*other));
    return std::nullopt;
}

sockaddr_storage Ipv4Loopback(uint16_t port) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_storage out{};
    std::memcpy(&out, &v4, sizeof v4);
    return out;
}

std::optional<uint32_t> PeerOwner(int connection) {
    sockaddr_storage own{};
    sockaddr_storage peer{};
    socklen_t own_size = sizeof own;
    socklen_t peer_size = sizeof peer;
    if (getsockname(connection, reinterpret_cast<sockaddr*>(&own), &own_size) != 0 ||
        getpeername(connection, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0)
        return std::nullopt;
    return SocketOwner(peer, own);
}

bool CanTellConnectionOwners(const sockaddr_storage& server) {
    const uid_t self = geteuid();
    const std::optional<uint32_t> overflow = OverflowUser();
    if (!overflow || *overflow == self)
        return false;
    const socklen_t size =
        server.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    const int fd = socket(server.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool ours = false;
    sockaddr_storage client{};
    socklen_t client_size = sizeof client;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&server), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&client), &client_size) == 0) {
        const std::optional<uint32_t> owner = SocketOwner(client, server);
        ours = owner && *owner == self;
    }
    close(fd);
    return ours;
}

}  // namespace viewer
