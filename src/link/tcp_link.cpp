#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "app/program.h"
#include "link/link_internal.h"
#include "link/links.h"
#include "poll/ring.h"

namespace {

constexpr int kReaderHighWater = 1000;  // leaves headroom in the 1024-byte ring

// Appends the peer's bytes to the ring until the count goes negative. A peer that
// hangs up or a hard socket error ends the thread and marks the link dead, so the
// main thread closes it instead of this thread spinning on a dead descriptor.
void TcpReaderLoop(Program& program, int fd) {
    ReceiveRing& ring = program.ring;
    while (ring.ringCount.load() >= 0) {
        if (ring.ringCount.load() >= kReaderHighWater) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        uint8_t byte = 0;
        ssize_t got = recv(fd, &byte, 1, 0);
        if (got == 1) {
            RingAppendLink(ring, &byte, 1);
            program.link.rxActivity = 1;
            continue;
        }
        int code = got == 0 ? ECONNRESET : errno;
        if (ring.ringCount.load() < 0) break;  // our own shutdown while closing
        if (got < 0 && (code == EAGAIN || code == EWOULDBLOCK || code == EINTR)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        RecordFailure(program.errors, code, linkerr::tcpReceive);
        program.link.tcpPeerClosed = true;
        break;
    }
}

// Non-blocking connect bounded by `timeoutMs`; returns the connected socket or -1
// with the reason in `code`.
int ConnectWithTimeout(const addrinfo& address, int timeoutMs, int& code) {
    int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        code = errno;
        return -1;
    }
    if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            code = errno;
            close(fd);
            return -1;
        }
        pollfd waiter{fd, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&waiter, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        int result = 0;
        socklen_t length = sizeof result;
        if (ready == 0) {
            result = ETIMEDOUT;
        } else if (ready < 0) {
            result = errno;
        } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &length) != 0) {
            result = errno;
        }
        if (result != 0) {
            code = result;
            close(fd);
            return -1;
        }
    }
    // Back to blocking: the reader waits in recv with the receive time-out.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int ConnectTcp(Program& program) {
    const long port = DecimalValue(program.link.portText);
    if (port < 1 || port > 65535) {
        RecordFailure(program.errors, EINVAL, linkerr::tcpConnect);
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int status = getaddrinfo(program.link.ipAddressText.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (status != 0 || found == nullptr) {
        // Resolver codes are negative; the recorder keeps error numbers.
        RecordFailure(program.errors, status == EAI_SYSTEM ? errno : EHOSTUNREACH, linkerr::tcpConnect);
        return -1;
    }
    int fd = -1;
    int code = EHOSTUNREACH;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) fd = ConnectWithTimeout(*a, 1000, code);
    freeaddrinfo(found);
    if (fd < 0) {
        RecordFailure(program.errors, code, linkerr::tcpConnect);
        return -1;
    }
    timeval wait{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

bool openTcpLink(Program& program) {
    LinkState& link = program.link;
    if (link.serialPortOpen) {
        if (CloseSerialPort(program))
            link.linkUp = 0;
        else
            RecordFailure(program.errors, EIO, linkerr::tcpConnect);
    }
    if (link.linkKind == kLinkUdp) CloseUdpSocket(program);
    if (link.linkKind == kLinkTcp) return true;

    int fd = ConnectTcp(program);
    if (fd < 0) return false;
    ResetReceiveState(program);
    link.tcpPeerClosed = false;
    {
        std::lock_guard<std::mutex> hold(link.tcpSendLock);
        link.tcpSocket = fd;
    }
    link.tcpReader = std::thread(TcpReaderLoop, std::ref(program), fd);
    link.linkKind = kLinkTcp;
    return true;
}

void closeTcpLink(Program& program) {
    LinkState& link = program.link;
    program.ring.ringCount.store(ReceiveRing::kTcpStop);
    // Shutting the socket wakes the reader from its receive wait at once.
    if (link.tcpSocket >= 0) shutdown(link.tcpSocket, SHUT_RDWR);
    if (link.tcpReader.joinable()) link.tcpReader.join();
    {
        std::lock_guard<std::mutex> hold(link.tcpSendLock);
        if (link.tcpSocket >= 0 && close(link.tcpSocket) != 0)
            RecordFailure(program.errors, errno, linkerr::tcpClose);
        link.tcpSocket = -1;
    }
    link.tcpPeerClosed = false;
    link.linkKind = kLinkSerial;
}

bool TcpSend(Program& program, const uint8_t* bytes, int n) {
    LinkState& link = program.link;
    std::lock_guard<std::mutex> hold(link.tcpSendLock);
    // A closing link (stopped ring) takes no more bytes: no send into a shut socket.
    if (link.tcpSocket < 0 || program.ring.ringCount.load() < 0) return false;
    int sent = 0;
    while (sent < n) {
        ssize_t w = send(link.tcpSocket, bytes + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
        if (w > 0) {
            sent += static_cast<int>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        int code = w < 0 ? errno : EIO;
        RecordFailure(program.errors, code, linkerr::tcpSend);
        if (code == EPIPE || code == ECONNRESET) link.tcpPeerClosed = true;
        return false;
    }
    return true;
}

void ReapDeadTcpLink(Program& program) {
    // Bytes that arrived before the hang-up are still handed out first.
    if (program.link.tcpPeerClosed && program.ring.ringCount.load() <= 0) closeTcpLink(program);
}
