// Telling whose program is at the other end of a loopback connection, asked
// of this machine's kernel about connections this test makes: its own, one
// made by a child running as another user, and one already closed.
#include "viewer/connection_owner.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace {

using viewer::Ipv4Loopback;

// A listener on 127.0.0.1, on a port the system picks.
struct Listener {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    Listener() {
        sockaddr_storage address = Ipv4Loopback(0);
        socklen_t size = sizeof(sockaddr_in);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(fd, 8) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
    }
    ~Listener() { close(fd); }
    sockaddr_storage end() const { return Ipv4Loopback(port); }
    int Accept() const { return accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }
};

int Connect(const sockaddr_storage& to) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof(sockaddr_in)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST(ConnectionOwner, TheKernelNamesTheUserAtTheOtherEndOfALiveConnectionOnly) {
    Listener server;
    ASSERT_NE(server.port, 0);
    const int client = Connect(server.end());
    ASSERT_GE(client, 0);
    const int accepted = server.Accept();
    ASSERT_GE(accepted, 0);
    EXPECT_EQ(viewer::PeerOwner(accepted), std::optional<uint32_t>(geteuid()));
    sockaddr_storage client_end{};
    socklen_t size = sizeof client_end;
    ASSERT_EQ(getsockname(client, reinterpret_cast<sockaddr*>(&client_end), &size), 0);
    EXPECT_EQ(viewer::SocketOwner(client_end, server.end()), std::optional<uint32_t>(geteuid()));
    // The client's end towards another port is no socket at all.
    EXPECT_EQ(viewer::SocketOwner(client_end, Ipv4Loopback(server.port + 1)), std::nullopt);

    // Once the client has closed, its socket waits out the connection's end
    // without an owner, and names nobody.
    close(client);
    char byte;
    EXPECT_EQ(read(accepted, &byte, 1), 0);
    close(accepted);
    EXPECT_EQ(viewer::SocketOwner(client_end, server.end()), std::nullopt);

    // The check made before the server trusts what it is told (it connects
    // to the server itself); nobody listens where the client was.
    EXPECT_TRUE(viewer::CanTellConnectionOwners(server.end()));
    EXPECT_FALSE(viewer::CanTellConnectionOwners(client_end));
}

TEST(ConnectionOwner, AConnectionFromAnotherUsersProgramNamesThatUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can run a program as another user";
    Listener server;
    ASSERT_NE(server.port, 0);
    int done[2];
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    if (child == 0) {
        // "nobody" connects and waits until the parent has looked.
        close(done[1]);
        int fd = -1;
        if (setgid(65534) == 0 && setuid(65534) == 0)
            fd = Connect(server.end());
        char byte;
        (void)!read(done[0], &byte, 1);
        if (fd >= 0)
            close(fd);
        _exit(fd >= 0 ? 0 : 1);
    }
    close(done[0]);
    const int accepted = server.Accept();
    ASSERT_GE(accepted, 0);
    EXPECT_EQ(viewer::PeerOwner(accepted), std::optional<uint32_t>(65534));
    close(done[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(accepted);
}

TEST(ConnectionOwner, InAUserNamespaceOfItsOwnNobodyCanBeTold) {
    // In a user namespace with no users mapped, the program's own user and
    // the owner of every socket the kernel names look alike (the number it
    // shows for users it cannot name): the check must not trust that.
    Listener server;
    ASSERT_NE(server.port, 0);
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWUSER) != 0)
            _exit(77);
        _exit(viewer::CanTellConnectionOwners(server.end()) ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
