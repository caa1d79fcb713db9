#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/link_internal.h"
#include "link/link_transport.h"
#include "link/links.h"
#include "model/program.h"
#include "protocol/ring.h"
#include "text/typed_number.h"

namespace {

constexpr uint8_t kCarriageReturn = 13;
constexpr int kReaderHighWater = 1000;  // leaves headroom in the 1024-byte ring
// The link's time-out: a connect, and a send that makes no progress, give up after it.
constexpr auto kTcpTimeout = std::chrono::milliseconds(1000);

void Wake(int wake) {
    const uint64_t one = 1;
    if (wake >= 0) (void)!write(wake, &one, sizeof one);
}

// A connected socket, the eventfd that wakes its thread, the queue of bytes the
// socket has not taken yet, and the thread.
class TcpConnection : public LinkTransport {
public:
    TcpConnection(int fd, int wake) : fd(fd), wake(wake) {}
    ~TcpConnection() override { release(); }
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Received bytes wait in the receive ring.
    int bytesAvailable(const LinkChannels& channels) override {
        ReapDeadTcpLink(channels);
        return std::max(channels.ring.ringCount.load(), 0);
    }
    void receive(const LinkChannels& channels, uint8_t* destination, int n) override {
        if (!RingTakeMain(channels.ring, destination, n)) std::memset(destination, 0, static_cast<size_t>(n));
    }
    bool sendsOnInterval(const LinkState&, bool) const override { return false; }
    void sendRequest(const LinkChannels& channels, const RequestSend& send) override { sendPaced(channels, send); }
    void onMasterStatus(const LinkChannels& channels, const RequestSend& send) override { sendPaced(channels, send); }
    void keepAlive(const LinkChannels& channels) override {
        LinkState& link = channels.link;
        if (link.rxActivity == 1)
            link.rxActivity = 0;
        else if (link.linkUp == 1)
            send(channels, &kCarriageReturn, 1);
    }
    int descriptor() const override { return fd; }
    bool farEndGone() const override { return peerClosed; }
    bool shut(ProtocolError& errors) override {
        const int code = release();
        if (code != 0) RecordFailure(errors, code, linkerr::tcpClose);
        return code == 0;
    }

    void start(const LinkChannels& channels) {
        thread = std::jthread([this](std::stop_token stop, LinkChannels c) { loop(stop, c); }, channels);
    }
    // Queues bytes for the thread to send; never waits. False when refused.
    bool send(const LinkChannels& channels, const uint8_t* bytes, int n);

private:
    void sendPaced(const LinkChannels& channels, const RequestSend& send);
    void loop(std::stop_token stop, const LinkChannels& channels);
    bool sendQueued(const LinkChannels& channels, bool& progressed);
    int pending() {
        std::lock_guard<std::mutex> hold(transmitLock);
        return transmitCount;
    }
    void markDead(const LinkChannels& channels, int code, int where) {
        RecordFailure(channels.errors, code, where);
        peerClosed = true;
    }
    // Stops the thread and closes both descriptors; the socket's close() errno, or 0.
    int release() {
        if (thread.joinable()) {
            thread.request_stop();
            Wake(wake);
            thread.join();
        }
        std::lock_guard<std::mutex> hold(transmitLock);
        int code = 0;
        if (fd >= 0 && close(fd) != 0) code = errno;
        if (wake >= 0) close(wake);
        fd = -1;
        wake = -1;
        transmitCount = 0;
        return code;
    }

    int fd;
    int wake;
    std::atomic<bool> peerClosed{false};
    // Held also around closing the socket.
    std::mutex transmitLock;
    std::array<uint8_t, 1024> transmit{};
    int transmitCount = 0;
    std::jthread thread;
};

// Sends what the transmit queue holds without waiting; false when the link died.
bool TcpConnection::sendQueued(const LinkChannels& channels, bool& progressed) {
    std::lock_guard<std::mutex> hold(transmitLock);
    while (transmitCount > 0) {
        ssize_t w = ::send(fd, transmit.data(), static_cast<size_t>(transmitCount), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (w > 0) {
            std::memmove(transmit.data(), transmit.data() + w, static_cast<size_t>(transmitCount - w));
            transmitCount -= static_cast<int>(w);
            progressed = true;
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        markDead(channels, w < 0 ? errno : EIO, linkerr::tcpSend);
        return false;
    }
    return true;
}

// The TCP link's one thread: it waits on the socket and on its wake-up descriptor,
// appends what the peer sends to the receive ring (holding off at 1000 bytes) and
// sends what the transmit queue holds as the socket takes it. The window's thread
// only queues; it never waits on the peer. A hang-up, a hard error or a send that
// makes no progress within the time-out marks the link dead and ends the thread.
void TcpConnection::loop(std::stop_token stop, const LinkChannels& channels) {
    using Clock = std::chrono::steady_clock;
    ReceiveRing& ring = channels.ring;
    Clock::time_point stalledSince{};
    bool stalled = false;
    while (!stop.stop_requested()) {
        const int held = ring.ringCount.load();
        if (held < 0) break;
        const bool wantRead = held < kReaderHighWater;
        const bool wantWrite = pending() > 0;
        int waitMs = wantRead ? 1000 : 5;  // a full ring is looked at again shortly
        if (wantWrite && stalled) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                kTcpTimeout - (Clock::now() - stalledSince));
            waitMs = std::clamp(static_cast<int>(left.count()) + 1, 0, waitMs);
        }
        pollfd waits[2] = {{fd, static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0)), 0},
                           {wake, POLLIN, 0}};
        if (poll(waits, 2, waitMs) < 0 && errno != EINTR) {
            markDead(channels, errno, linkerr::tcpReceive);
            break;
        }
        if (waits[1].revents & POLLIN) {
            uint64_t count = 0;
            (void)!read(wake, &count, sizeof count);
        }
        if (stop.stop_requested()) break;
        if (waits[0].revents & POLLERR) {
            int code = 0;
            socklen_t length = sizeof code;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length);
            markDead(channels, code != 0 ? code : EIO, linkerr::tcpReceive);
            break;
        }
        if (wantRead && (waits[0].revents & (POLLIN | POLLHUP))) {
            uint8_t bytes[256];
            const size_t room = static_cast<size_t>(kReaderHighWater - held);
            ssize_t got = recv(fd, bytes, std::min(room, sizeof bytes), MSG_DONTWAIT);
            if (got > 0) {
                RingAppendLink(ring, bytes, static_cast<int>(got));
                channels.link.rxActivity = 1;
            } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                markDead(channels, got == 0 ? ECONNRESET : errno, linkerr::tcpReceive);
                break;
            }
        }
        if (wantWrite) {
            bool progressed = false;
            if (!sendQueued(channels, progressed)) break;
            if (pending() == 0) {
                stalled = false;
            } else if (progressed || !stalled) {
                stalled = true;
                stalledSince = Clock::now();
            } else if (Clock::now() - stalledSince >= kTcpTimeout) {
                markDead(channels, ETIMEDOUT, linkerr::tcpSend);
                break;
            }
        }
    }
    // Closing: what is queued goes out if the socket takes it now; nothing waits.
    bool progressed = false;
    if (!peerClosed) sendQueued(channels, progressed);
}

bool TcpConnection::send(const LinkChannels& channels, const uint8_t* bytes, int n) {
    {
        std::lock_guard<std::mutex> hold(transmitLock);
        // A closed or dying link takes no more bytes.
        if (fd < 0 || peerClosed || channels.ring.ringCount.load() < 0) return false;
        // With nothing queued ahead, the bytes leave at once if the socket takes
        // them without waiting; only a remainder waits for the thread.
        int sent = 0;
        while (transmitCount == 0 && sent < n) {
            ssize_t w = ::send(fd, bytes + sent, static_cast<size_t>(n - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (w > 0) {
                sent += static_cast<int>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            markDead(channels, w < 0 ? errno : EIO, linkerr::tcpSend);
            return false;
        }
        if (sent == n) return true;
        if (n - sent > static_cast<int>(transmit.size()) - transmitCount) {
            RecordFailure(channels.errors, ENOBUFS, linkerr::tcpSend);
            return false;
        }
        std::memcpy(transmit.data() + transmitCount, bytes + sent, static_cast<size_t>(n - sent));
        transmitCount += n - sent;
    }
    Wake(wake);
    return true;
}

// The one place TCP requests are paced: at most one per clock second, only one
// that waits, and only when a master status frame asks for it.
void TcpConnection::sendPaced(const LinkChannels& channels, const RequestSend& request) {
    ReapDeadTcpLink(channels);
    if (channels.link.linkKind != kLinkTcp) return;
    PollState& poll = request.poll;
    const std::string now = TimeText(request.clock.now());
    if (now == poll.lastTcpSendTime || poll.requestState >= 8) return;
    if (send(channels, request.request.bytes.data(), 8)) ++channels.link.requestsSent;
    poll.lastTcpSendTime = now;
    poll.requestState = 8;
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
    // Stays non-blocking: the link's thread waits in poll, never in recv or send.
    return fd;
}

// The connected socket, or -1 with the failure recorded and its errno in `code`.
int ConnectTcp(Program& program, int& code) {
    code = EINVAL;
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
        code = status == EAI_SYSTEM ? errno : EHOSTUNREACH;
        RecordFailure(program.errors, code, linkerr::tcpConnect);
        return -1;
    }
    int fd = -1;
    code = EHOSTUNREACH;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) fd = ConnectWithTimeout(*a, static_cast<int>(kTcpTimeout.count()), code);
    freeaddrinfo(found);
    if (fd < 0) {
        RecordFailure(program.errors, code, linkerr::tcpConnect);
        return -1;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

LinkResult OpenTcpLink(Program& program) {
    LinkState& link = program.link;
    LinkResult result;
    result.where = link.ipAddressText + ":" + link.portText;
    const auto fail = [&](int code) {
        result.ok = false;
        result.error = code;
        result.detail = result.where + ": " + std::strerror(code);
        result.sentence = "Could not connect to " + result.detail;
        return result;
    };
    if (link.serialPortOpen) {
        if (CloseSerialPort(link, program.errors))
            link.linkUp = 0;
        else
            RecordFailure(program.errors, EIO, linkerr::tcpConnect);
    }
    if (link.linkKind == kLinkUdp) CloseUdpSocket(program.link, program.errors);
    if (link.linkKind == kLinkTcp) return result;

    int code = 0;
    int fd = ConnectTcp(program, code);
    if (fd < 0) return fail(code);
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        code = errno;
        RecordFailure(program.errors, code, linkerr::tcpConnect);
        close(fd);
        return fail(code);
    }
    ResetReceiveState(program.ring, program.poll);
    auto connection = std::make_shared<TcpConnection>(fd, wake);
    connection->start({link, program.ring, program.errors});
    InstallTransport(link, std::move(connection));
    link.linkKind = kLinkTcp;
    link.linkUp = 1;  // may be kept alive from now on, painted or not
    return result;
}

void CloseTcpConnection(const LinkChannels& channels) {
    LinkState& link = channels.link;
    channels.ring.ringCount.store(ReceiveRing::kTcpStop);
    if (dynamic_cast<TcpConnection*>(link.transport.get()) != nullptr) RemoveTransport(link)->shut(channels.errors);
    link.linkKind = kLinkSerial;
}

void CloseTcpLink(Program& program) { CloseTcpConnection({program.link, program.ring, program.errors}); }

bool CloseDeadLinks(Program& program) {
    if (program.link.linkKind != kLinkTcp || !CurrentTransport(program.link)->farEndGone()) return false;
    CloseTcpLink(program);
    // A frame cut off by the hang-up is dropped with the link.
    program.poll.pendingFrameType = 0;
    program.link.statusChanged = true;
    return true;
}

void ReapDeadTcpLink(const LinkChannels& channels) {
    // Bytes that arrived before the hang-up are still handed out first.
    if (CurrentTransport(channels.link)->farEndGone() && channels.ring.ringCount.load() <= 0) {
        CloseTcpConnection(channels);
        channels.link.statusChanged = true;
    }
}
