#include "viewer/connection_owner.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace viewer {
namespace {

// An end as the tables write it: the address as groups of four bytes, each
// group the hex of the 32-bit number those bytes make in this machine's
// order, then ':' and the port in hex ("0100007F:1F90" for 127.0.0.1:8080
// on a little-endian machine). Empty when `end` is not a dotted address.
std::string TableEnd(const TcpEndpoint& end, bool ipv6) {
    unsigned char v4[4];
    if (inet_pton(AF_INET, end.address.c_str(), v4) != 1)
        return std::string();
    std::vector<unsigned char> bytes;
    if (ipv6) {
        // An IPv4 end of an IPv6 socket: ::ffff:a.b.c.d.
        bytes.assign(10, 0);
        bytes.push_back(0xFF);
        bytes.push_back(0xFF);
    }
    bytes.insert(bytes.end(), v4, v4 + 4);
    std::string out;
    char group[16];
    for (size_t i = 0; i < bytes.size(); i += 4) {
        uint32_t word = 0;
        std::memcpy(&word, bytes.data() + i, 4);
        std::snprintf(group, sizeof group, "%08X", static_cast<unsigned>(word));
        out += group;
    }
    std::snprintf(group, sizeof group, ":%04X", static_cast<unsigned>(end.port));
    return out + group;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Every owner of a line of `table` that matches, appended to `owners`.
void CollectOwners(const std::string& table, bool ipv6, const TcpEndpoint& local,
                   const TcpEndpoint& remote, TcpState state, std::vector<uint32_t>& owners) {
    const std::string want_local = TableEnd(local, ipv6);
    const std::string want_remote = TableEnd(remote, ipv6);
    if (want_local.empty() || want_remote.empty())
        return;
    char want_state[8];
    std::snprintf(want_state, sizeof want_state, "%02X", static_cast<unsigned>(state));
    std::istringstream lines(table);
    std::string line;
    // The first line names the columns.
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        // "sl local remote st tx:rx tr:when retrnsmt uid ..."
        std::istringstream fields(line);
        std::string slot, own_end, other_end, st, queues, timer, retransmits, uid;
        if (!(fields >> slot >> own_end >> other_end >> st >> queues >> timer >> retransmits >>
              uid))
            continue;
        if (Upper(own_end) != want_local || Upper(other_end) != want_remote ||
            Upper(st) != want_state)
            continue;
        // A user number is decimal digits alone, and fits in 32 bits.
        if (uid.empty() || uid.size() > 10 || uid.find_first_not_of("0123456789") != uid.npos)
            continue;
        const unsigned long long number = std::stoull(uid);
        if (number > 0xFFFFFFFFull)
            continue;
        owners.push_back(static_cast<uint32_t>(number));
    }
}

std::string ReadTable(const char* path) {
    std::ifstream in(path);
    if (!in)
        return std::string();
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<uint32_t> OnlyOwner(const std::vector<uint32_t>& owners) {
    if (owners.size() != 1)
        return std::nullopt;
    return owners.front();
}

}  // namespace

std::optional<uint32_t> SocketOwnerIn(const std::string& table, bool ipv6, const TcpEndpoint& local,
                                      const TcpEndpoint& remote, TcpState state) {
    std::vector<uint32_t> owners;
    CollectOwners(table, ipv6, local, remote, state, owners);
    return OnlyOwner(owners);
}

std::optional<uint32_t> ConnectionOwner(const TcpEndpoint& client, const TcpEndpoint& server) {
    // Only an established connection counts: a socket that is closing
    // (TIME_WAIT) is written with the owner 0 whoever made it.
    std::vector<uint32_t> owners;
    CollectOwners(ReadTable("/proc/net/tcp"), false, client, server, TcpState::Established, owners);
    CollectOwners(ReadTable("/proc/net/tcp6"), true, client, server, TcpState::Established, owners);
    return OnlyOwner(owners);
}

bool CanTellConnectionOwners(const TcpEndpoint& server) {
    const std::optional<uint32_t> owner = SocketOwnerIn(
        ReadTable("/proc/net/tcp"), false, server, TcpEndpoint{"0.0.0.0", 0}, TcpState::Listening);
    return owner && *owner == static_cast<uint32_t>(geteuid());
}

}  // namespace viewer
