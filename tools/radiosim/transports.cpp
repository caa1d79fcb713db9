// The simulator's side of its links: opening them, reading what the program
// sends, queueing and writing what goes back, and noticing when it goes away.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "links.h"
#include "simulator.h"

namespace radiosim {

namespace {

constexpr int64_t kPtyRecheckMs = 100;
constexpr int64_t kUdpPeerForgetMs = 60000;

std::string Printable(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
            out += '.';
        else
            out += c;
    }
    return out;
}

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

const char* LinkName(LinkId id) {
    switch (id) {
        case LinkId::Tcp: return "tcp";
        case LinkId::Udp: return "udp";
        case LinkId::Pty: return "pty";
        case LinkId::Modem: return "modem";
        default: return "sim";
    }
}

bool Simulator::open(std::string& error) {
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) < 0) {
        error = "cannot create the wake-up pipe";
        return false;
    }
    if (options.pty) {
        pty.fd = OpenRawPty(pty.path, error);
        if (pty.fd < 0) return false;
        pty.hung = true;
    }
    if (options.modem) {
        modemLink.fd = OpenRawPty(modemLink.path, error);
        if (modemLink.fd < 0) return false;
        modemLink.hung = true;
    }
    if (options.tcp) {
        tcpListen = ListenTcp(*options.tcp, tcpListenPort, error);
        if (tcpListen < 0) return false;
        if (options.faults.stopReadingSeconds > 0) {
            // A small receive buffer, taken over by every accepted connection,
            // so that a client's bytes fill the window soon once reading stops.
            const int size = 4096;
            setsockopt(tcpListen, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
    }
    if (options.udp) {
        udp.fd = BindUdp(*options.udp, udp.port, error);
        if (udp.fd < 0) return false;
        if (options.faults.udpOtherPort) {
            udp.answerFd = BindUdp(Endpoint{options.udp->host, 0}, udp.answerPort, error);
            if (udp.answerFd < 0) return false;
        }
    }
    return true;
}

std::vector<std::string> Simulator::startupLines() const {
    std::vector<std::string> lines;
    if (pty.fd >= 0) lines.push_back("pty " + pty.path);
    if (modemLink.fd >= 0) lines.push_back("modem " + modemLink.path);
    if (tcpListen >= 0) lines.push_back("tcp " + options.tcp->host + ":" + std::to_string(tcpListenPort));
    if (udp.fd >= 0) lines.push_back("udp " + options.udp->host + ":" + std::to_string(udp.port));
    if (udp.answerFd >= 0) lines.push_back("udp-answers " + options.udp->host + ":" + std::to_string(udp.answerPort));
    lines.push_back("ready");
    return lines;
}

StreamLink* Simulator::stream(LinkId id) {
    switch (id) {
        case LinkId::Tcp: return &tcp;
        case LinkId::Pty: return &pty;
        case LinkId::Modem: return &modemLink;
        default: return nullptr;
    }
}

bool Simulator::linkUp(LinkId id) const {
    switch (id) {
        case LinkId::Tcp: return tcp.fd >= 0;
        case LinkId::Udp: return udp.fd >= 0 && udp.peer.has_value();
        case LinkId::Pty: return pty.fd >= 0 && !pty.hung;
        case LinkId::Modem: return modemLink.fd >= 0 && !modemLink.hung && modem.online();
        default: return false;
    }
}

void Simulator::push(LinkId link, Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to) {
    Outbox* out = link == LinkId::Udp ? &udp.out : &stream(link)->out;
    counters.droppedOutputBytes += out->push(std::move(bytes), notBeforeMs, to);
}

void Simulator::sendRaw(LinkId link, Bytes bytes, const std::string& text, int64_t nowMs) {
    log(nowMs, link, "tx", Hex(bytes), text);
    push(link, std::move(bytes), nowMs, std::nullopt);
}

int Simulator::pushEverywhere(const Bytes& bytes, const std::string& text, int64_t nowMs) {
    int links = 0;
    for (LinkId id : {LinkId::Pty, LinkId::Modem, LinkId::Tcp, LinkId::Udp}) {
        if (!linkUp(id)) continue;
        log(nowMs, id, "tx", Hex(bytes), text);
        push(id, bytes, nowMs, id == LinkId::Udp ? udp.peer : std::nullopt);
        ++links;
    }
    return links;
}

void Simulator::hangUp(StreamLink& l, int64_t nowMs) {
    l.hung = true;
    l.recheckMs = nowMs + kPtyRecheckMs;
    l.endSession();
    if (l.id == LinkId::Modem) {
        if (modem.online()) log(nowMs, l.id, "ev", "", "carrier lost");
        modem.hangup();
        dialDueMs = -1;
    }
    log(nowMs, l.id, "ev", "", "port closed by the other side");
}

void Simulator::closeTcp(int64_t nowMs, const std::string& why) {
    if (tcp.fd < 0) return;
    close(tcp.fd);
    tcp.fd = -1;
    tcp.closeAtMs = -1;
    tcp.cutFrameAtMs = -1;
    tcp.closeWhenFlushed = false;
    tcp.stopReadingAtMs = -1;
    tcp.reading = true;
    tcp.endSession();
    log(nowMs, LinkId::Tcp, "ev", "", why);
}

void Simulator::onAccept(int64_t nowMs) {
    std::string peer;
    const int fd = AcceptClient(tcpListen, peer);
    if (fd < 0) return;
    tcp.fd = fd;
    ++tcp.generation;
    ++counters.connections;
    auto after = [nowMs](double seconds) { return seconds > 0 ? nowMs + static_cast<int64_t>(seconds * 1000) : -1; };
    tcp.closeAtMs = after(options.faults.closeAfterSeconds);
    tcp.cutFrameAtMs = after(options.faults.closeMidFrameSeconds);
    tcp.stopReadingAtMs = after(options.faults.stopReadingSeconds);
    log(nowMs, LinkId::Tcp, "ev", "", "client connected from " + peer);
}

void Simulator::onStreamInput(StreamLink& l, int64_t nowMs) {
    uint8_t buf[4096];
    for (;;) {
        const ssize_t n = l.id == LinkId::Tcp ? recv(l.fd, buf, sizeof buf, MSG_DONTWAIT) : read(l.fd, buf, sizeof buf);
        if (n > 0) {
            std::span<const uint8_t> data(buf, static_cast<size_t>(n));
            if (l.id == LinkId::Modem && !modem.online()) {
                onModemCommand(l, data, nowMs);
                continue;
            }
            std::vector<ParseEvent> events;
            l.parser.feed(data, events);
            for (const auto& e : events) onParseEvent(l.id, e, nowMs, std::nullopt);
            if (l.fd < 0 || l.hung) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // End of stream or an error: the other side has gone.
        if (l.id == LinkId::Tcp)
            closeTcp(nowMs, "client disconnected");
        else
            hangUp(l, nowMs);
        return;
    }
}

void Simulator::onModemCommand(StreamLink& l, std::span<const uint8_t> data, int64_t nowMs) {
    log(nowMs, l.id, "rx", Hex(data),
        "modem command text \"" + Printable(std::string(data.begin(), data.end())) + "\"");
    const std::string reply = modem.feed(data);
    if (auto aborted = modem.takeAbortedDial()) {
        dialDueMs = -1;
        ++counters.dialsAborted;
        log(nowMs, l.id, "ev", Hex(std::span<const uint8_t>(&aborted->byte, 1)),
            "dial to " + aborted->number + " aborted by a byte received while dialling");
    }
    if (!reply.empty()) sendRaw(l.id, ToBytes(reply), "modem \"" + Printable(reply) + "\"", nowMs);
    if (modem.dialPending() && dialDueMs < 0) {
        dialDueMs = nowMs + options.modemDelayMs;
        log(nowMs, l.id, "ev", "", "dialling " + modem.dialPending()->number);
    }
}

void Simulator::onDatagrams(int fd, int64_t nowMs) {
    uint8_t buf[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            recvfrom(fd, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        const size_t size = std::min(static_cast<size_t>(n), sizeof buf);
        std::span<const uint8_t> data(buf, size);
        const std::string& password = udp.password;
        const size_t expected = 8 + password.size();
        std::string why;
        if (static_cast<size_t>(n) != expected)
            why = std::to_string(n) + " bytes, expected " + std::to_string(expected);
        else if (!std::equal(password.begin(), password.end(), buf + 8,
                             [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
            why = "wrong password";
        if (!why.empty()) {
            ++counters.refusedDatagrams;
            log(nowMs, LinkId::Udp, "ev", Hex(data), "refused datagram from " + AddressText(from) + ": " + why);
            continue;
        }
        Request r;
        if (!IsRequestType(buf[0])) {
            counters.skippedBytes += 8;
            log(nowMs, LinkId::Udp, "rx", Hex(data.first(8)), "not a request, skipped");
            continue;
        }
        if (!ParseRequest(data.first(8), r)) {
            onParseEvent(LinkId::Udp, {ParseEvent::kBadXor, r, 8, {}}, nowMs, from);
            continue;
        }
        if (!udp.peer || AddressText(*udp.peer) != AddressText(from))
            log(nowMs, LinkId::Udp, "ev", "",
                "peer " + AddressText(from) +
                    (udp.answerFd >= 0 ? " [fault udp-other-port: answered from port " +
                                             std::to_string(udp.answerPort) + ", not " + std::to_string(udp.port) + "]"
                                       : ""));
        udp.peer = from;
        udp.heardMs = nowMs;
        onRequest(LinkId::Udp, r, nowMs, from);
    }
}

void Simulator::runLinkTimers(int64_t nowMs) {
    if (tcp.fd >= 0 && tcp.reading && tcp.stopReadingAtMs >= 0 && nowMs >= tcp.stopReadingAtMs) {
        tcp.reading = false;
        ++counters.faults["stop-reading"];
        log(nowMs, LinkId::Tcp, "ev", "", "[fault stop-reading: nothing more read from the client]");
    }
    if (tcp.fd >= 0 && tcp.closeAtMs >= 0 && nowMs >= tcp.closeAtMs) {
        ++counters.faults["close-after"];
        closeTcp(nowMs, "[fault close-after: connection closed]");
    }
    if (udp.peer && nowMs - udp.heardMs > kUdpPeerForgetMs) {
        log(nowMs, LinkId::Udp, "ev", "", "peer " + AddressText(*udp.peer) + " silent, no longer sent status");
        udp.peer.reset();
    }
    if (dialDueMs >= 0 && nowMs >= dialDueMs) {
        dialDueMs = -1;
        const std::string number = modem.dialPending() ? modem.dialPending()->number : "";
        const std::string answer = modem.answer();
        if (answer.empty())
            log(nowMs, LinkId::Modem, "ev", "", "no answer from " + number);
        else
            sendRaw(LinkId::Modem, ToBytes(answer), "modem \"" + Printable(answer) + "\"", nowMs);
        if (modem.online()) {
            ++modemLink.generation;
            modemLink.parser.reset();
            log(nowMs, LinkId::Modem, "ev", "", "connected to " + number + ", speaking the protocol");
        }
    }
    for (StreamLink* l : {&pty, &modemLink}) {
        if (l->fd < 0 || !l->hung || nowMs < l->recheckMs) continue;
        if (PtyHungUp(l->fd)) {
            l->recheckMs = nowMs + kPtyRecheckMs;
        } else {
            l->hung = false;
            log(nowMs, l->id, "ev", "", "port opened by the other side");
        }
    }
}

void Simulator::flushAll(int64_t nowMs) {
    for (StreamLink* l : {&tcp, &pty, &modemLink}) {
        if (l->fd < 0 || l->hung) continue;
        const auto via = l->id == LinkId::Tcp ? Outbox::Via::Socket : Outbox::Via::Terminal;
        const auto result = l->out.flush(l->fd, nowMs, via);
        l->blocked = result == Outbox::Result::Blocked;
        if (result == Outbox::Result::Failed) {
            if (l->id == LinkId::Tcp)
                closeTcp(nowMs, "client gone (write failed)");
            else
                hangUp(*l, nowMs);
        } else if (l->id == LinkId::Tcp && tcp.closeWhenFlushed && tcp.out.empty()) {
            closeTcp(nowMs, "[fault close-mid-frame: connection closed in the middle of a frame]");
        }
    }
    if (udp.fd >= 0) udp.blocked = udp.out.flush(udp.sendFd(), nowMs, Outbox::Via::Datagram) == Outbox::Result::Blocked;
}

int64_t Simulator::linkWakeMs() const {
    int64_t next = -1;
    auto consider = [&next](int64_t t) {
        if (t >= 0 && (next < 0 || t < next)) next = t;
    };
    consider(tcp.fd >= 0 ? tcp.closeAtMs : -1);
    consider(tcp.fd >= 0 && tcp.reading ? tcp.stopReadingAtMs : -1);
    consider(dialDueMs);
    for (const StreamLink* l : {&pty, &modemLink})
        if (l->fd >= 0 && l->hung) consider(l->recheckMs);
    for (const StreamLink* l : {&tcp, &pty, &modemLink})
        if (l->fd >= 0 && !l->hung && !l->blocked) consider(l->out.nextDueMs());
    if (!udp.blocked) consider(udp.out.nextDueMs());
    return next;
}

}  // namespace radiosim
