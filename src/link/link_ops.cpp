#include <memory>
#include <mutex>
#include <utility>

#include "link/link_internal.h"
#include "link/link_transport.h"
#include "link/links.h"
#include "model/program.h"
#include "protocol/ring.h"

namespace {

std::string SerialStatusText(const LinkState& link) {
    return link.serialPortOpen ? link.commPortName + "  Opened" : std::string();
}

std::string UdpStatusText(const LinkState& link) {
    std::string text = link.ipAddressText + " OpenedUDP";
    // Datagrams from other hosts are dropped; the technician sees how many.
    if (const int dropped = link.foreignDatagrams.load(); dropped > 0) text += "  Dropped " + std::to_string(dropped);
    return text;
}

// The status line's text from what the link shows; empty when no link is up.
std::string OpenLinkText(const LinkState& link) {
    switch (link.linkKind.load()) {
        case kLinkTcp: return link.ipAddressText + " OpenedTCP";
        case kLinkUdp: return UdpStatusText(link);
        default: return SerialStatusText(link);  // a serial port, a dial-up modem, or nothing
    }
}

}  // namespace

std::shared_ptr<LinkTransport> CurrentTransport(const LinkState& link) {
    if (std::shared_ptr<LinkTransport> open = link.transport) return open;
    // Not owned: the port-less behaviour lives as long as the program.
    return std::shared_ptr<LinkTransport>(std::shared_ptr<LinkTransport>(), &PortlessSerial());
}

void InstallTransport(LinkState& link, std::shared_ptr<LinkTransport> transport) {
    std::lock_guard<std::mutex> hold(link.transportLock);
    link.transport = std::move(transport);
}

std::shared_ptr<LinkTransport> RemoveTransport(LinkState& link) {
    std::lock_guard<std::mutex> hold(link.transportLock);
    return std::exchange(link.transport, nullptr);
}

namespace {

LinkChannels ChannelsOf(Program& program) { return {program.link, program.ring, program.errors}; }
RequestSend SendOf(Program& program) { return {program.request, program.poll, *program.clock}; }

}  // namespace

int LinkBytesAvailable(Program& program) { return CurrentTransport(program.link)->bytesAvailable(ChannelsOf(program)); }

namespace {

// Taking bytes and asking about the interval never close the link, so these
// calls need not hold the transport.
LinkTransport& OpenTransport(const LinkState& link) { return link.transport ? *link.transport : PortlessSerial(); }

}  // namespace

void LinkReceive(Program& program, uint8_t* destination, int n) {
    if (n <= 0) return;
    OpenTransport(program.link).receive(ChannelsOf(program), destination, n);
}

void LinkSendRequest(Program& program) {
    CurrentTransport(program.link)->sendRequest(ChannelsOf(program), SendOf(program));
}

bool LinkSendsOnInterval(const Program& program) {
    return OpenTransport(program.link).sendsOnInterval(program.link, program.poll.masterBusy != 0);
}

void LinkOnMasterStatus(Program& program) {
    CurrentTransport(program.link)->onMasterStatus(ChannelsOf(program), SendOf(program));
}

std::string LinkStatusText(const LinkState& link) {
    std::string text = OpenLinkText(link);
    return text.empty() ? "No Connection" : text;
}

bool LinkIsUp(const LinkState& link) { return !OpenLinkText(link).empty(); }

int LinkDescriptor(const LinkState& link) {
    const std::shared_ptr<LinkTransport> open = link.transport;
    return open ? open->descriptor() : -1;
}

int LinkUdpSocket(const LinkState& link) { return link.linkKind == kLinkUdp ? LinkDescriptor(link) : -1; }

bool LinkFarEndGone(const LinkState& link) { return CurrentTransport(link)->farEndGone(); }

void KeepAliveStep(const LinkChannels& channels) {
    // Borrowed under the lock: the window's thread may be closing the link meanwhile.
    std::shared_ptr<LinkTransport> open;
    {
        std::lock_guard<std::mutex> hold(channels.link.transportLock);
        open = channels.link.transport;
    }
    (open ? *open : PortlessSerial()).keepAlive(channels);
}

void QueueSerialText(LinkState& link, std::string_view text) {
    RingAppendMain(link.transmit, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    WakeSerialWriter(link);
}

void ResetReceiveState(ReceiveRing& ring, PollState& poll) {
    RingReset(ring);
    poll.pendingFrameType = 0;
}

bool TakeLinkStatusChange(LinkState& link) { return link.statusChanged.exchange(false); }
