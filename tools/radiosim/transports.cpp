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

bool Simulator::Open(std::string& error) {
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) < 0) {
        error = "cannot create the wake-up pipe";
        return false;
    }
    if (options_.pty) {
        pty_.fd = OpenRawPty(pty_.path, error);
        if (pty_.fd < 0) return false;
        pty_.hung = true;
    }
    if (options_.modem) {
        modemLink_.fd = OpenRawPty(modemLink_.path, error);
        if (modemLink_.fd < 0) return false;
        modemLink_.hung = true;
    }
    if (options_.tcp) {
        tcpListen_ = ListenTcp(*options_.tcp, tcpListenPort_, error);
        if (tcpListen_ < 0) return false;
        if (options_.faults.stopReadingSeconds > 0) {
            // A small receive buffer, taken over by every accepted connection,
            // so that a client's bytes fill the window soon once reading stops.
            const int size = 4096;
            setsockopt(tcpListen_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
    }
    if (options_.udp) {
        udp_.fd = BindUdp(*options_.udp, udp_.port, error);
        if (udp_.fd < 0) return false;
        if (options_.faults.udpOtherPort) {
            udp_.answerFd = BindUdp(Endpoint{options_.udp->host, 0}, udp_.answerPort, error);
            if (udp_.answerFd < 0) return false;
        }
    }
    return true;
}

std::vector<std::string> Simulator::StartupLines() const {
    std::vector<std::string> lines;
    if (pty_.fd >= 0) lines.push_back("pty " + pty_.path);
    if (modemLink_.fd >= 0) lines.push_back("modem " + modemLink_.path);
    if (tcpListen_ >= 0) lines.push_back("tcp " + options_.tcp->host + ":" + std::to_string(tcpListenPort_));
    if (udp_.fd >= 0) lines.push_back("udp " + options_.udp->host + ":" + std::to_string(udp_.port));
    if (udp_.answerFd >= 0)
        lines.push_back("udp-answers " + options_.udp->host + ":" + std::to_string(udp_.answerPort));
    lines.push_back("ready");
    return lines;
}

StreamLink* Simulator::Stream(LinkId id) {
    switch (id) {
        case LinkId::Tcp: return &tcp_;
        case LinkId::Pty: return &pty_;
        case LinkId::Modem: return &modemLink_;
        default: return nullptr;
    }
}

bool Simulator::LinkUp(LinkId id) const {
    switch (id) {
        case LinkId::Tcp: return tcp_.fd >= 0;
        case LinkId::Udp: return udp_.fd >= 0 && udp_.peer.has_value();
        case LinkId::Pty: return pty_.fd >= 0 && !pty_.hung;
        case LinkId::Modem: return modemLink_.fd >= 0 && !modemLink_.hung && modem_.Online();
        default: return false;
    }
}

void Simulator::Push(LinkId link, Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to) {
    Outbox* out = link == LinkId::Udp ? &udp_.out : &Stream(link)->out;
    counts_.droppedOutputBytes += out->Push(std::move(bytes), notBeforeMs, to);
}

void Simulator::SendRaw(LinkId link, Bytes bytes, const std::string& text, int64_t nowMs) {
    Log(nowMs, link, "tx", Hex(bytes), text);
    Push(link, std::move(bytes), nowMs, std::nullopt);
}

int Simulator::PushEverywhere(const Bytes& bytes, const std::string& text, int64_t nowMs) {
    int links = 0;
    for (LinkId id : {LinkId::Pty, LinkId::Modem, LinkId::Tcp, LinkId::Udp}) {
        if (!LinkUp(id)) continue;
        Log(nowMs, id, "tx", Hex(bytes), text);
        Push(id, bytes, nowMs, id == LinkId::Udp ? udp_.peer : std::nullopt);
        ++links;
    }
    return links;
}

void Simulator::HangUp(StreamLink& l, int64_t nowMs) {
    l.hung = true;
    l.recheckMs = nowMs + kPtyRecheckMs;
    l.endSession();
    if (l.id == LinkId::Modem) {
        if (modem_.Online()) Log(nowMs, l.id, "ev", "", "carrier lost");
        modem_.Hangup();
        dialDueMs_ = -1;
    }
    Log(nowMs, l.id, "ev", "", "port closed by the other side");
}

void Simulator::CloseTcp(int64_t nowMs, const std::string& why) {
    if (tcp_.fd < 0) return;
    close(tcp_.fd);
    tcp_.fd = -1;
    tcp_.closeAtMs = -1;
    tcp_.cutFrameAtMs = -1;
    tcp_.closeWhenFlushed = false;
    tcp_.stopReadingAtMs = -1;
    tcp_.reading = true;
    tcp_.endSession();
    Log(nowMs, LinkId::Tcp, "ev", "", why);
}

void Simulator::OnAccept(int64_t nowMs) {
    std::string peer;
    const int fd = AcceptClient(tcpListen_, peer);
    if (fd < 0) return;
    tcp_.fd = fd;
    ++tcp_.generation;
    ++counts_.connections;
    auto after = [nowMs](double seconds) { return seconds > 0 ? nowMs + static_cast<int64_t>(seconds * 1000) : -1; };
    tcp_.closeAtMs = after(options_.faults.closeAfterSeconds);
    tcp_.cutFrameAtMs = after(options_.faults.closeMidFrameSeconds);
    tcp_.stopReadingAtMs = after(options_.faults.stopReadingSeconds);
    Log(nowMs, LinkId::Tcp, "ev", "", "client connected from " + peer);
}

void Simulator::OnStreamInput(StreamLink& l, int64_t nowMs) {
    uint8_t buf[4096];
    for (;;) {
        const ssize_t n = l.id == LinkId::Tcp ? recv(l.fd, buf, sizeof buf, MSG_DONTWAIT) : read(l.fd, buf, sizeof buf);
        if (n > 0) {
            std::span<const uint8_t> data(buf, static_cast<size_t>(n));
            if (l.id == LinkId::Modem && !modem_.Online()) {
                OnModemCommand(l, data, nowMs);
                continue;
            }
            std::vector<ParseEvent> events;
            l.parser.Feed(data, events);
            for (const auto& e : events) OnParseEvent(l.id, e, nowMs, std::nullopt);
            if (l.fd < 0 || l.hung) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // End of stream or an error: the other side has gone.
        if (l.id == LinkId::Tcp)
            CloseTcp(nowMs, "client disconnected");
        else
            HangUp(l, nowMs);
        return;
    }
}

void Simulator::OnModemCommand(StreamLink& l, std::span<const uint8_t> data, int64_t nowMs) {
    Log(nowMs, l.id, "rx", Hex(data),
        "modem command text \"" + Printable(std::string(data.begin(), data.end())) + "\"");
    const std::string reply = modem_.Feed(data);
    if (auto aborted = modem_.TakeAbortedDial()) {
        dialDueMs_ = -1;
        ++counts_.dialsAborted;
        Log(nowMs, l.id, "ev", Hex(std::span<const uint8_t>(&aborted->byte, 1)),
            "dial to " + aborted->number + " aborted by a byte received while dialling");
    }
    if (!reply.empty()) SendRaw(l.id, ToBytes(reply), "modem \"" + Printable(reply) + "\"", nowMs);
    if (modem_.DialPending() && dialDueMs_ < 0) {
        dialDueMs_ = nowMs + options_.modemDelayMs;
        Log(nowMs, l.id, "ev", "", "dialling " + modem_.DialPending()->number);
    }
}

void Simulator::OnDatagrams(int fd, int64_t nowMs) {
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
        const std::string& password = udp_.password;
        const size_t expected = 8 + password.size();
        std::string why;
        if (static_cast<size_t>(n) != expected)
            why = std::to_string(n) + " bytes, expected " + std::to_string(expected);
        else if (!std::equal(password.begin(), password.end(), buf + 8,
                             [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
            why = "wrong password";
        if (!why.empty()) {
            ++counts_.refusedDatagrams;
            Log(nowMs, LinkId::Udp, "ev", Hex(data), "refused datagram from " + AddressText(from) + ": " + why);
            continue;
        }
        Request r;
        if (!IsRequestType(buf[0])) {
            counts_.skippedBytes += 8;
            Log(nowMs, LinkId::Udp, "rx", Hex(data.first(8)), "not a request, skipped");
            continue;
        }
        if (!ParseRequest(data.first(8), r)) {
            OnParseEvent(LinkId::Udp, {ParseEvent::kBadXor, r, 8, {}}, nowMs, from);
            continue;
        }
        if (!udp_.peer || AddressText(*udp_.peer) != AddressText(from))
            Log(nowMs, LinkId::Udp, "ev", "",
                "peer " + AddressText(from) +
                    (udp_.answerFd >= 0
                         ? " [fault udp-other-port: answered from port " + std::to_string(udp_.answerPort) + ", not " +
                               std::to_string(udp_.port) + "]"
                         : ""));
        udp_.peer = from;
        udp_.heardMs = nowMs;
        OnRequest(LinkId::Udp, r, nowMs, from);
    }
}

void Simulator::RunLinkTimers(int64_t nowMs) {
    if (tcp_.fd >= 0 && tcp_.reading && tcp_.stopReadingAtMs >= 0 && nowMs >= tcp_.stopReadingAtMs) {
        tcp_.reading = false;
        ++counts_.faults["stop-reading"];
        Log(nowMs, LinkId::Tcp, "ev", "", "[fault stop-reading: nothing more read from the client]");
    }
    if (tcp_.fd >= 0 && tcp_.closeAtMs >= 0 && nowMs >= tcp_.closeAtMs) {
        ++counts_.faults["close-after"];
        CloseTcp(nowMs, "[fault close-after: connection closed]");
    }
    if (udp_.peer && nowMs - udp_.heardMs > kUdpPeerForgetMs) {
        Log(nowMs, LinkId::Udp, "ev", "", "peer " + AddressText(*udp_.peer) + " silent, no longer sent status");
        udp_.peer.reset();
    }
    if (dialDueMs_ >= 0 && nowMs >= dialDueMs_) {
        dialDueMs_ = -1;
        const std::string number = modem_.DialPending() ? modem_.DialPending()->number : "";
        const std::string answer = modem_.Answer();
        if (answer.empty())
            Log(nowMs, LinkId::Modem, "ev", "", "no answer from " + number);
        else
            SendRaw(LinkId::Modem, ToBytes(answer), "modem \"" + Printable(answer) + "\"", nowMs);
        if (modem_.Online()) {
            ++modemLink_.generation;
            modemLink_.parser.Reset();
            Log(nowMs, LinkId::Modem, "ev", "", "connected to " + number + ", speaking the protocol");
        }
    }
    for (StreamLink* l : {&pty_, &modemLink_}) {
        if (l->fd < 0 || !l->hung || nowMs < l->recheckMs) continue;
        if (PtyHungUp(l->fd)) {
            l->recheckMs = nowMs + kPtyRecheckMs;
        } else {
            l->hung = false;
            Log(nowMs, l->id, "ev", "", "port opened by the other side");
        }
    }
}

void Simulator::FlushAll(int64_t nowMs) {
    for (StreamLink* l : {&tcp_, &pty_, &modemLink_}) {
        if (l->fd < 0 || l->hung) continue;
        const auto via = l->id == LinkId::Tcp ? Outbox::Via::Socket : Outbox::Via::Terminal;
        const auto result = l->out.Flush(l->fd, nowMs, via);
        l->blocked = result == Outbox::Result::Blocked;
        if (result == Outbox::Result::Failed) {
            if (l->id == LinkId::Tcp)
                CloseTcp(nowMs, "client gone (write failed)");
            else
                HangUp(*l, nowMs);
        } else if (l->id == LinkId::Tcp && tcp_.closeWhenFlushed && tcp_.out.Empty()) {
            CloseTcp(nowMs, "[fault close-mid-frame: connection closed in the middle of a frame]");
        }
    }
    if (udp_.fd >= 0)
        udp_.blocked = udp_.out.Flush(udp_.sendFd(), nowMs, Outbox::Via::Datagram) == Outbox::Result::Blocked;
}

int64_t Simulator::LinkWakeMs() const {
    int64_t next = -1;
    auto consider = [&next](int64_t t) {
        if (t >= 0 && (next < 0 || t < next)) next = t;
    };
    consider(tcp_.fd >= 0 ? tcp_.closeAtMs : -1);
    consider(tcp_.fd >= 0 && tcp_.reading ? tcp_.stopReadingAtMs : -1);
    consider(dialDueMs_);
    for (const StreamLink* l : {&pty_, &modemLink_})
        if (l->fd >= 0 && l->hung) consider(l->recheckMs);
    for (const StreamLink* l : {&tcp_, &pty_, &modemLink_})
        if (l->fd >= 0 && !l->hung && !l->blocked) consider(l->out.NextDueMs());
    if (!udp_.blocked) consider(udp_.out.NextDueMs());
    return next;
}

}  // namespace radiosim
