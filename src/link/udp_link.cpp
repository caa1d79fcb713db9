#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstring>

#include "link/link_internal.h"
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

void CloseUdpSocket(LinkState& link, ProtocolError& errors) {
    if (link.udpSocket >= 0 && close(link.udpSocket) != 0) RecordFailure(errors, errno, linkerr::udpClose);
    link.udpSocket = -1;
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

    link.udpPeerAddress = UdpPeerAddressFromText(link.ipAddressText);
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
    link.udpSocket = fd;
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
    LinkState& link = program.link;
    if (link.linkKind != kLinkUdp || link.udpSocket < 0) return;
    // The largest datagram, on the reading thread's stack: nothing shared between links.
    std::array<uint8_t, 65536> datagram;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t length = recvfrom(link.udpSocket, datagram.data(), datagram.size(), MSG_DONTWAIT,
                              reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (length < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            RecordFailure(program.errors, errno, linkerr::udpReceive);
        return;
    }
    // Only the host we talk to may put bytes into the ring; its port may differ
    // (serial-to-IP gateways and NAT answer from another one). Anything else is
    // untrusted: dropped, recorded with its sender and counted on the status line.
    uint32_t peerAddress = 0;
    std::memcpy(&peerAddress, &from.sin_addr.s_addr, 4);
    if (from.sin_family != AF_INET || peerAddress != link.udpPeerAddress) {
        link.foreignDatagrams.fetch_add(1);
        RecordFailure(program.errors, linkerr::udpForeign, static_cast<int>(ntohl(from.sin_addr.s_addr)));
        link.statusChanged = true;
        return;
    }
    UdpDatagramIntake(program.ring, program.poll, *program.live, datagram.data(), static_cast<int>(length));
}
