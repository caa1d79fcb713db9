#include "links.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace radiosim {

namespace {

bool MakeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

sockaddr_in ToAddress(const Endpoint& at) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(at.port);
    inet_pton(AF_INET, at.host.c_str(), &a.sin_addr);
    return a;
}

int Fail(int fd, std::string& error, const std::string& what) {
    error = what + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
}

uint16_t LocalPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

}  // namespace

std::string AddressText(const sockaddr_in& a) {
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
}

int ListenTcp(const Endpoint& at, uint16_t& boundPort, std::string& error) {
    const std::string where = "cannot listen for TCP on " + at.host + ":" + std::to_string(at.port);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return Fail(fd, error, where);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in a = ToAddress(at);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) < 0 || listen(fd, 4) < 0 || !MakeNonBlocking(fd))
        return Fail(fd, error, where);
    boundPort = LocalPort(fd);
    return fd;
}

int BindUdp(const Endpoint& at, uint16_t& boundPort, std::string& error) {
    const std::string where = "cannot bind UDP on " + at.host + ":" + std::to_string(at.port);
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return Fail(fd, error, where);
    const sockaddr_in a = ToAddress(at);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) < 0 || !MakeNonBlocking(fd))
        return Fail(fd, error, where);
    boundPort = LocalPort(fd);
    return fd;
}

int OpenRawPty(std::string& slavePath, std::string& error) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) < 0) return Fail(-1, error, "cannot open a pseudo-terminal");
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(slave, TCSANOW, &t);
    }
    close(slave);
    if (!MakeNonBlocking(master)) return Fail(master, error, "cannot set up the pseudo-terminal");
    slavePath = name;
    return master;
}

int AcceptClient(int listenFd, std::string& peer) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    int fd = accept(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
    if (fd < 0) return -1;
    if (!MakeNonBlocking(fd)) {
        close(fd);
        return -1;
    }
    const int one = 1;
    // Split frames must leave as the pieces they were written in.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    peer = AddressText(a);
    return fd;
}

bool PtyHungUp(int masterFd) {
    pollfd p{masterFd, 0, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

}  // namespace radiosim
