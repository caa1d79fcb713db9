#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

#include "link/link_backend.h"
#include "link/link_internal.h"
#include "link/links.h"
#include "model/program.h"
#include "protocol/ring.h"
#include "text/typed_number.h"

namespace {

constexpr uint8_t kCarriageReturn = 13;

// Received bytes of the network links wait in the receive ring.
int RingBytesAvailable(Program& program) {
    if (program.link.linkKind == kLinkTcp) ReapDeadTcpLink(program);
    return std::max(program.ring.ringCount.load(), 0);
}

void RingReceive(Program& program, uint8_t* destination, int n) {
    // Raising the process to a real-time class around the take is not open to a
    // normal user on Linux; the take is a short copy on the main thread anyway.
    if (!RingTakeMain(program.ring, destination, n)) {
        std::memset(destination, 0, static_cast<size_t>(n));
        if (program.link.linkKind == kLinkUdp) RecordFault(program.errors, ProtocolFault::ReceiveBeyondRing, n);
    }
}

int SerialBytesAvailable(Program& program) {
    return program.link.serialPortOpen ? SerialBytesWaiting(program) : 0;
}

void SerialReceive(Program& program, uint8_t* destination, int n) {
    if (!program.link.serialPortOpen) {
        std::memset(destination, 0, static_cast<size_t>(n));
        return;
    }
    SerialRead(program.link, program.errors, destination, n);
    program.link.rxActivity = 1;
}

bool SerialSendsOnInterval(const Program& program) {
    // The serial writer thread drains the transmit queue; queue only into an empty one.
    return program.link.transmit.ringCount.load() == 0 && program.poll.masterBusy == 0;
}

void SerialSendRequest(Program& program) {
    if (RingAppendMain(program.link.transmit, program.request.bytes.data(), 8)) ++program.link.requestsSent;
    WakeSerialWriter(program.link);
}

void SerialKeepAlive(const LinkChannels& channels) {
    LinkState& link = channels.link;
    if (link.serialPortOpen != 1) return;
    if (link.rxActivity == 1)
        link.rxActivity = 0;
    else if (link.linkUp == 1)
        QueueSerialText(link, "\r");
}

std::string SerialStatusText(const LinkState& link) {
    return link.serialPortOpen ? link.commPortName + "  Opened" : std::string();
}

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

std::string UdpStatusText(const LinkState& link) {
    std::string text = link.ipAddressText + " OpenedUDP";
    // Datagrams from other hosts are dropped; the technician sees how many.
    if (const int dropped = link.foreignDatagrams.load(); dropped > 0) text += "  Dropped " + std::to_string(dropped);
    return text;
}

// The one place TCP requests are paced: at most one per clock second, only one
// that waits, and only when a master status frame asks for it.
void SendTcpRequest(Program& program) {
    ReapDeadTcpLink(program);
    if (program.link.linkKind != kLinkTcp) return;
    const std::string now = TimeText(program.clock->now());
    if (now == program.poll.lastTcpSendTime || program.poll.requestState >= 8) return;
    if (TcpSend({program.link, program.ring, program.errors}, program.request.bytes.data(), 8))
        ++program.link.requestsSent;
    program.poll.lastTcpSendTime = now;
    program.poll.requestState = 8;
}

void TcpKeepAlive(const LinkChannels& channels) {
    LinkState& link = channels.link;
    if (link.rxActivity == 1)
        link.rxActivity = 0;
    else if (link.linkUp == 1)
        TcpSend(channels, &kCarriageReturn, 1);
}

std::string TcpStatusText(const LinkState& link) { return link.ipAddressText + " OpenedTCP"; }

bool Always(const Program&) { return true; }
bool Never(const Program&) { return false; }
void Nothing(Program&) {}
void NoKeepAlive(const LinkChannels&) {}

void SerialClose(Program& program, LinkQuestions& questions) {
    if (program.link.serialPortOpen && !CloseSerialLink(program))
        questions.notice("Could not close comm port!", "Error!");
    program.link.serialPortOpen = 0;
}
void TcpClose(Program& program, LinkQuestions&) { CloseTcpLink(program); }

const LinkBackend kSerialBackend{SerialBytesAvailable, SerialReceive,   SerialSendsOnInterval, SerialSendRequest,
                                 Nothing,              SerialKeepAlive, SerialStatusText,      SerialClose};
const LinkBackend kTcpBackend{RingBytesAvailable, RingReceive,  Never,         SendTcpRequest,
                              SendTcpRequest,     TcpKeepAlive, TcpStatusText, TcpClose};
const LinkBackend kUdpBackend{RingBytesAvailable, RingReceive,   Always,      SendUdpRequest, Nothing,
                              NoKeepAlive,        UdpStatusText, CloseUdpLink};

}  // namespace

const LinkBackend& CurrentBackend(const LinkState& link) {
    switch (link.linkKind.load()) {
        case kLinkTcp: return kTcpBackend;
        case kLinkUdp: return kUdpBackend;
        default: return kSerialBackend;  // a serial port, a dial-up modem, or nothing
    }
}

int LinkBytesAvailable(Program& program) { return CurrentBackend(program.link).bytesAvailable(program); }

void LinkReceive(Program& program, uint8_t* destination, int n) {
    if (n <= 0) return;
    CurrentBackend(program.link).receive(program, destination, n);
}

void LinkSendRequest(Program& program) { CurrentBackend(program.link).sendRequest(program); }

bool LinkSendsOnInterval(const Program& program) { return CurrentBackend(program.link).sendsOnInterval(program); }

void LinkOnMasterStatus(Program& program) { CurrentBackend(program.link).onMasterStatus(program); }

std::string LinkStatusText(const LinkState& link) {
    std::string text = CurrentBackend(link).statusText(link);
    return text.empty() ? "No Connection" : text;
}

bool LinkIsUp(const LinkState& link) { return !CurrentBackend(link).statusText(link).empty(); }

int LinkUdpSocket(const LinkState& link) { return link.linkKind == kLinkUdp ? link.udpSocket : -1; }

void KeepAliveStep(const LinkChannels& channels) { CurrentBackend(channels.link).keepAlive(channels); }

void QueueSerialText(LinkState& link, std::string_view text) {
    RingAppendMain(link.transmit, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    WakeSerialWriter(link);
}

void ResetReceiveState(ReceiveRing& ring, PollState& poll) {
    RingReset(ring);
    poll.pendingFrameType = 0;
}

bool TakeLinkStatusChange(LinkState& link) { return link.statusChanged.exchange(false); }
