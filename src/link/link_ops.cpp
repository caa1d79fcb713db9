#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

#include "app/program.h"
#include "link/link_internal.h"
#include "link/links.h"
#include "poll/ring.h"

long DecimalValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && value < 100000000)
        value = value * 10 + (text[i++] - '0');
    return negative ? -value : value;
}

int linkBytesAvailable(Program& program) {
    if (program.link.linkKind == kLinkTcp) ReapDeadTcpLink(program);
    const int kind = program.link.linkKind;
    if (kind == kLinkTcp || kind == kLinkUdp) return std::max(program.ring.ringCount.load(), 0);
    if (program.link.serialPortOpen) return SerialBytesWaiting(program);
    return 0;
}

void linkReceive(Program& program, uint8_t* destination, int n) {
    if (n <= 0) return;
    const int kind = program.link.linkKind;
    if (kind == kLinkTcp || kind == kLinkUdp) {
        // Raising the process to a real-time class around the take is not open to a
        // normal user on Linux; the take is a short copy on the main thread anyway.
        if (!RingTakeMain(program.ring, destination, n)) {
            std::memset(destination, 0, static_cast<size_t>(n));
            if (kind == kLinkUdp) RecordFault(program.errors, ProtocolFault::ReceiveBeyondRing, n);
        }
        return;
    }
    if (!program.link.serialPortOpen) {
        std::memset(destination, 0, static_cast<size_t>(n));
        return;
    }
    SerialRead(program, destination, n);
    program.link.rxActivity = 1;
}

namespace {

void SendUdpRequest(Program& program) {
    LinkState& link = program.link;
    if (link.udpPassword.empty()) link.udpPassword = std::string(4, '\xFF');
    uint8_t datagram[12];
    std::memcpy(datagram, program.request.bytes.data(), 8);
    const size_t passwordBytes = std::min<size_t>(link.udpPassword.size(), 4);
    std::memcpy(datagram + 8, link.udpPassword.data(), passwordBytes);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    std::memcpy(&peer.sin_addr.s_addr, &link.udpPeerAddress, 4);  // memory order = wire order
    const long port = DecimalValue(link.portText);
    if (port < 1 || port > 65535) {
        RecordFailure(program.errors, EINVAL, linkerr::udpSend);
        return;
    }
    peer.sin_port = htons(static_cast<uint16_t>(port));
    ssize_t sent = sendto(link.udpSocket, datagram, 8 + passwordBytes, MSG_NOSIGNAL,
                          reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (sent < 0)
        RecordFailure(program.errors, errno, linkerr::udpSend);
    else
        ++link.requestsSent;
}

void SendTcpRequest(Program& program) {
    ReapDeadTcpLink(program);
    if (program.link.linkKind != kLinkTcp) return;
    // At most one request per clock second, and only one that waits.
    const std::string now = TimeText(program.clock->now());
    if (now == program.poll.lastTcpSendTime || program.poll.requestState >= 8) return;
    if (TcpSend(program, program.request.bytes.data(), 8)) ++program.link.requestsSent;
    program.poll.lastTcpSendTime = now;
    program.poll.requestState = 8;
}

}  // namespace

void linkSendRequest(Program& program) {
    switch (program.link.linkKind.load()) {
        case kLinkTcp:
            SendTcpRequest(program);
            break;
        case kLinkUdp:
            SendUdpRequest(program);
            break;
        default:
            if (RingAppendMain(program.ring, program.request.bytes.data(), 8)) ++program.link.requestsSent;
            WakeSerialWriter(program);
            break;
    }
}

void ResetReceiveState(Program& program) {
    RingReset(program.ring);
    program.poll.pendingFrameType = 0;
}

void queueSerialText(Program& program, std::string_view text) {
    RingAppendMain(program.ring, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    WakeSerialWriter(program);
}
