#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "link/link_internal.h"
#include "link/link_transport.h"
#include "link/links.h"
#include "model/program.h"
#include "protocol/ring.h"
#include "text/typed_number.h"

uint32_t UdpPeerAddressFromText(const std::string& ipAddressText) {
    // Four parts split at the first three dots; the last part is all that follows.
    uint32_t address = 0;
    std::string rest = ipAddressText;
    for (int part = 0; part < 4; ++part) {
        size_t dot = part < 3 ? rest.find('.') : std::string::npos;
        const std::string text = rest.substr(0, dot);
        rest = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
        address |= (static_cast<uint32_t>(DecimalValue(text)) & 0xFF) << (8 * part);
    }
    return address;
}

namespace {

// The socket towards the master's gateway and the peer's address. A socket that
// could not be made is kept as -1: the link still counts as UDP, its sends fail.
class UdpSocket : public LinkTransport {
public:
    UdpSocket(int fd, uint32_t peer) : fd(fd), peerAddress(peer) {}
    ~UdpSocket() override {
        if (fd >= 0) close(fd);
    }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Received datagrams wait in the receive ring.
    int bytesAvailable(const LinkChannels& channels) override { return std::max(channels.ring.ringCount.load(), 0); }
    void receive(const LinkChannels& channels, uint8_t* destination, int n) override {
        if (RingTakeMain(channels.ring, destination, n)) return;
        std::memset(destination, 0, static_cast<size_t>(n));
        RecordFault(channels.errors, ProtocolFault::ReceiveBeyondRing, n);
    }
    bool sendsOnInterval(const LinkState&, bool) const override { return true; }
    void sendRequest(const LinkChannels& channels, const RequestSend& send) override;
    int descriptor() const override { return fd; }
    bool shut(ProtocolError& errors) override {
        const bool closed = fd < 0 || close(fd) == 0;
        if (!closed) RecordFailure(errors, errno, linkerr::udpClose);
        fd = -1;
        return closed;
    }
    void datagramWaiting(const LinkChannels& channels, PollState& poll, LiveListener& live);
    uint32_t peer() const { return peerAddress; }

private:
    int fd;
    uint32_t peerAddress;  // network byte order when stored little-endian
};

void UdpSocket::sendRequest(const LinkChannels& channels, const RequestSend& send) {
    LinkState& link = channels.link;
    if (link.udpPassword.empty()) link.udpPassword = std::string(4, '\xFF');
    uint8_t datagram[12];
    std::memcpy(datagram, send.request.bytes.data(), 8);
    const size_t passwordBytes = std::min<size_t>(link.udpPassword.size(), 4);
    std::memcpy(datagram + 8, link.udpPassword.data(), passwordBytes);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    std::memcpy(&peer.sin_addr.s_addr, &peerAddress, 4);  // memory order = wire order
    const long port = DecimalValue(link.portText);
    if (port < 1 || port > 65535) {
        RecordFailure(channels.errors, EINVAL, linkerr::udpSend);
        return;
    }
    peer.sin_port = htons(static_cast<uint16_t>(port));
    ssize_t sent =
        sendto(fd, datagram, 8 + passwordBytes, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (sent < 0)
        RecordFailure(channels.errors, errno, linkerr::udpSend);
    else
        ++link.requestsSent;
}

void UdpSocket::datagramWaiting(const LinkChannels& channels, PollState& poll, LiveListener& live) {
    LinkState& link = channels.link;
    if (fd < 0) return;
    // The largest datagram, on the reading thread's stack: nothing shared between links.
    std::array<uint8_t, 65536> datagram;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t length =
        recvfrom(fd, datagram.data(), datagram.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (length < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            RecordFailure(channels.errors, errno, linkerr::udpReceive);
        return;
    }
    // Only the host we talk to may put bytes into the ring; its port may differ
    // (serial-to-IP gateways and NAT answer from another one). Anything else is
    // untrusted: dropped, recorded with its sender and counted on the status line.
    uint32_t sender = 0;
    std::memcpy(&sender, &from.sin_addr.s_addr, 4);
    if (from.sin_family != AF_INET || sender != peerAddress) {
        link.foreignDatagrams.fetch_add(1);
        RecordFailure(channels.errors, linkerr::udpForeign, static_cast<int>(ntohl(from.sin_addr.s_addr)));
        link.statusChanged = true;
        return;
    }
    UdpDatagramIntake(channels.ring, poll, live, datagram.data(), static_cast<int>(length));
}

}  // namespace

void CloseUdpSocket(LinkState& link, ProtocolError& errors) {
    if (dynamic_cast<UdpSocket*>(link.transport.get()) != nullptr) RemoveTransport(link)->shut(errors);
    link.linkKind = kLinkSerial;
}

LinkResult OpenUdpLink(Program& program, LinkQuestions& questions, const std::optional<std::string>& password) {
    LinkState& link = program.link;
    LinkResult result;
    if (link.serialPortOpen && !CloseSerialLink(program)) questions.notice("Could not close comm port!", "Error!");
    if (link.linkKind == kLinkTcp) {
        CloseTcpLink(program);
        link.linkKind = kLinkSerial;
    }
    if (link.linkKind != kLinkSerial) return result;  // UDP already open

    const uint32_t peer = UdpPeerAddressFromText(link.ipAddressText);
    if (password) {
        link.udpPassword = *password;
    } else {
        std::string typed = link.udpPassword;
        if (questions.udpPassword(typed)) link.udpPassword = typed;
    }
    int code = 0;

    // Reads happen only when the window reports a waiting datagram, never blocking.
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = 0;
        if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            code = errno;
            RecordFailure(program.errors, code, linkerr::udpOpen);
            close(fd);
            fd = -1;
        }
    } else {
        code = errno;
        RecordFailure(program.errors, code, linkerr::udpOpen);
    }
    // A socket that could not be made shows up as no replies; the link still counts as UDP.
    InstallTransport(link, std::make_shared<UdpSocket>(fd, peer));
    link.foreignDatagrams = 0;
    ResetReceiveState(program.ring, program.poll);
    if (fd >= 0) questions.watchUdpSocket(fd);
    link.linkKind = kLinkUdp;
    if (fd < 0) {
        result.ok = false;
        result.error = code;
        result.where = link.ipAddressText + ":" + link.portText;
        result.detail = result.where + ": " + std::strerror(code);
        result.sentence = std::string("Could not open a UDP socket: ") + std::strerror(code);
    }
    return result;
}

void CloseUdpLink(Program& program, LinkQuestions& questions) {
    questions.watchUdpSocket(-1);
    CloseUdpSocket(program.link, program.errors);
}

void OnUdpReadable(Program& program) {
    if (program.link.linkKind != kLinkUdp) return;
    const std::shared_ptr<LinkTransport> held = CurrentTransport(program.link);
    if (auto* socket = dynamic_cast<UdpSocket*>(held.get()))
        socket->datagramWaiting({program.link, program.ring, program.errors}, program.poll, *program.live);
}

uint32_t LinkUdpPeer(const LinkState& link) {
    const std::shared_ptr<LinkTransport> held = CurrentTransport(link);
    const auto* socket = dynamic_cast<const UdpSocket*>(held.get());
    return socket != nullptr ? socket->peer() : 0;
}
