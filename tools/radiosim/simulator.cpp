#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "links.h"
#include "setup_table.h"

namespace radiosim {

namespace {

constexpr int64_t kPtyRecheckMs = 100;
constexpr int64_t kUdpPeerForgetMs = 60000;

std::string RequestText(const Request& r) {
    char buf[96];
    std::string where;
    if (auto row = RowOfAddress(r.Address())) where = " (row " + std::to_string(*row) + ")";
    const std::string who = r.ByNumber() ? "radio number " + std::to_string(r.Number())
                                         : "radio " + std::to_string(r.Serial());
    switch (r.Type()) {
        case kReadRequest:
            std::snprintf(buf, sizeof buf, "read %s @%04X%s", who.c_str(), r.Address(), where.c_str());
            break;
        case kWriteRequest:
            std::snprintf(buf, sizeof buf, "write %s value %u", who.c_str(), r.Value());
            break;
        default:
            std::snprintf(buf, sizeof buf, "store %s @%04X%s", who.c_str(), r.Address(), where.c_str());
            break;
    }
    return buf;
}

std::string RequestKind(const Request& r) {
    switch (r.Type()) {
        case kReadRequest: return r.ByNumber() ? "read-by-number" : "read";
        case kWriteRequest: return "write";
        default: return "store";
    }
}

std::string Printable(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) out += '.';
        else out += c;
    }
    return out;
}

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

uint32_t SerialAt(const Bytes& f, size_t at) {
    return (uint32_t{f[at]} << 16) | (uint32_t{f[at + 1]} << 8) | f[at + 2];
}

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

Simulator::Simulator(Options options, LogSink sink)
    : options_(std::move(options)),
      sink_(std::move(sink)),
      network_(NetworkConfig{options_.radios, options_.repeaters, options_.seed, options_.chainHops}),
      modem_(ModemNumbers{options_.modemUp, options_.modemBusy, options_.modemNoDialtone, options_.modemSilent},
             options_.modemLenientDial),
      faultRng_(options_.seed ^ 0x5EEDFA17u),
      start_(std::chrono::steady_clock::now()),
      lineRng_(options_.seed ^ 0x0A15E5EDu) {
    tcp_.id = LinkId::Tcp;
    pty_.id = LinkId::Pty;
    modemLink_.id = LinkId::Modem;
    network_.silenced.insert(options_.faults.silenced.begin(), options_.faults.silenced.end());
    network_.ignoreStores = options_.faults.noStore;
    network_.shortTrafficSerialsPercent = options_.faults.shortTrafficSerialsPercent;
    udpPassword_ = options_.PasswordBytes();
}

Simulator::~Simulator() {
    for (int fd : {wake_[0], wake_[1], tcpListen_, tcp_.fd, udp_, udpAnswer_, pty_.fd, modemLink_.fd})
        if (fd >= 0) close(fd);
}

int64_t Simulator::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

void Simulator::Log(int64_t ms, LinkId link, const char* kind, const std::string& hex, const std::string& text) {
    if (!sink_) return;
    std::string line = std::to_string(ms);
    line += ' ';
    line += LinkName(link);
    line += ' ';
    line += kind;
    line += ' ';
    line += hex.empty() ? "-" : hex;
    line += ' ';
    line += text;
    sink_(line);
}

bool Simulator::Roll(double percent) {
    return percent > 0 && std::uniform_real_distribution<double>(0, 100)(faultRng_) < percent;
}

bool Simulator::Busy(int64_t nowMs) const {
    const auto& f = options_.faults;
    if (f.busyAtSeconds < 0 || f.busyForSeconds <= 0) return false;
    const double t = static_cast<double>(nowMs) / 1000.0;
    return t >= f.busyAtSeconds && t < f.busyAtSeconds + f.busyForSeconds;
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
        tcpListen_ = ListenTcp(*options_.tcp, tcpPort_, error);
        if (tcpListen_ < 0) return false;
        if (options_.faults.stopReadingSeconds > 0) {
            // A small receive buffer, taken over by every accepted connection,
            // so that a client's bytes fill the window soon once reading stops.
            const int size = 4096;
            setsockopt(tcpListen_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
    }
    if (options_.udp) {
        udp_ = BindUdp(*options_.udp, udpPort_, error);
        if (udp_ < 0) return false;
        if (options_.faults.udpOtherPort) {
            udpAnswer_ = BindUdp(Endpoint{options_.udp->host, 0}, udpAnswerPort_, error);
            if (udpAnswer_ < 0) return false;
        }
    }
    return true;
}

std::vector<std::string> Simulator::StartupLines() const {
    std::vector<std::string> lines;
    if (pty_.fd >= 0) lines.push_back("pty " + pty_.path);
    if (modemLink_.fd >= 0) lines.push_back("modem " + modemLink_.path);
    if (tcpListen_ >= 0) lines.push_back("tcp " + options_.tcp->host + ":" + std::to_string(tcpPort_));
    if (udp_ >= 0) lines.push_back("udp " + options_.udp->host + ":" + std::to_string(udpPort_));
    if (udpAnswer_ >= 0) lines.push_back("udp-answers " + options_.udp->host + ":" + std::to_string(udpAnswerPort_));
    lines.push_back("ready");
    return lines;
}

void Simulator::Stop() {
    stopping_ = true;
    if (wake_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = write(wake_[1], &c, 1);
    }
}

Simulator::StreamLink* Simulator::Stream(LinkId id) {
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
        case LinkId::Udp: return udp_ >= 0 && udpPeer_.has_value();
        case LinkId::Pty: return pty_.fd >= 0 && !pty_.hung;
        case LinkId::Modem: return modemLink_.fd >= 0 && !modemLink_.hung && modem_.Online();
        default: return false;
    }
}

void Simulator::Push(LinkId link, Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to) {
    Outbox* out = link == LinkId::Udp ? &udpOut_ : &Stream(link)->out;
    counts_.droppedOutputBytes += out->Push(std::move(bytes), notBeforeMs, to);
}

void Simulator::SendRaw(LinkId link, Bytes bytes, const std::string& text, int64_t nowMs) {
    Log(nowMs, link, "tx", Hex(bytes), text);
    Push(link, std::move(bytes), nowMs, std::nullopt);
}

void Simulator::SendFrame(LinkId link, Bytes frame, const std::string& text, int64_t nowMs,
                          std::optional<sockaddr_in> to) {
    const auto& f = options_.faults;
    if (link == LinkId::Tcp && tcp_.closeWhenFlushed) return;  // the connection is about to go
    if (link == LinkId::Tcp && tcp_.cutFrameAtMs >= 0 && nowMs >= tcp_.cutFrameAtMs && frame.size() >= 2) {
        const size_t sent = frame.size() / 2;
        ++counts_.faults["close-mid-frame"];
        Log(nowMs, link, "tx", Hex(frame),
            text + " [fault close-mid-frame: " + std::to_string(sent) + " of " + std::to_string(frame.size()) +
                " bytes sent, then the connection closes]");
        Push(link, Bytes(frame.begin(), frame.begin() + static_cast<ptrdiff_t>(sent)), nowMs, to);
        tcp_.closeWhenFlushed = true;
        return;
    }
    std::string notes;
    if (Roll(f.corruptPercent)) {
        frame.back() ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(faultRng_));
        ++counts_.faults["corrupt"];
        notes += " [fault corrupt: bad XOR]";
    }
    ++counts_.replies[frame[0]];
    if (Roll(f.strayPercent)) {
        // Bytes that are no reply type, so the program skips them one by one.
        static const uint8_t kStray[] = {0x00, 0x41, 0x7F, 0xA5, 0xF6, 0xF7, 0xFA, 0xFF, 0x0D, 0x55};
        Bytes stray(static_cast<size_t>(std::uniform_int_distribution<int>(1, 3)(faultRng_)));
        for (auto& b : stray) b = kStray[std::uniform_int_distribution<size_t>(0, std::size(kStray) - 1)(faultRng_)];
        ++counts_.faults["stray"];
        Log(nowMs, link, "tx", Hex(stray), "[fault stray: bytes between frames]");
        Push(link, std::move(stray), nowMs, to);
    }
    const bool variable = frame[0] == kReadReply || frame[0] == kWriteReply || frame[0] == kTrace;
    const int hops = variable ? frame[7] : 0;
    if ((frame[0] == kReadReply || frame[0] == kWriteReply) && Roll(f.withheldHopsPercent)) {
        // Only the fixed bytes, announcing hop records; the rest is lost on the air.
        Bytes header(frame.begin(), frame.begin() + 21);
        header[7] = static_cast<uint8_t>(f.withheldHopCount);
        ++counts_.faults["withheld-hops"];
        Log(nowMs, link, "tx", Hex(header),
            text + notes + " [fault withheld-hops: header announces " + std::to_string(f.withheldHopCount) +
                " hop records, none follow]");
        Push(link, std::move(header), nowMs, to);
        return;
    }
    if (hops >= 1 && hops <= kMaxHops && Roll(f.lateHopsPercent)) {
        ++counts_.faults["late-hops"];
        notes += " [fault late-hops: hop records " + std::to_string(f.lateHopsDelayMs) + " ms late]";
        Log(nowMs, link, "tx", Hex(frame), text + notes);
        Push(link, Bytes(frame.begin(), frame.begin() + 21), nowMs, to);
        Push(link, Bytes(frame.begin() + 21, frame.end()), nowMs + f.lateHopsDelayMs, to);
        return;
    }
    if (frame.size() >= 2 && Roll(f.splitPercent)) {
        const int pieces = std::min<int>(static_cast<int>(frame.size()), std::uniform_int_distribution<int>(2, 3)(faultRng_));
        std::vector<size_t> cuts;
        while (static_cast<int>(cuts.size()) < pieces - 1) {
            const size_t c = std::uniform_int_distribution<size_t>(1, frame.size() - 1)(faultRng_);
            if (std::find(cuts.begin(), cuts.end(), c) == cuts.end()) cuts.push_back(c);
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.push_back(frame.size());
        ++counts_.faults["split"];
        notes += " [fault split: " + std::to_string(pieces) + " pieces " + std::to_string(f.splitDelayMs) + " ms apart]";
        Log(nowMs, link, "tx", Hex(frame), text + notes);
        size_t from = 0;
        for (size_t k = 0; k < cuts.size(); ++k) {
            Push(link, Bytes(frame.begin() + static_cast<ptrdiff_t>(from), frame.begin() + static_cast<ptrdiff_t>(cuts[k])),
                 nowMs + static_cast<int64_t>(k) * f.splitDelayMs, to);
            from = cuts[k];
        }
        return;
    }
    Log(nowMs, link, "tx", Hex(frame), text + notes);
    Push(link, std::move(frame), nowMs, to);
}

void Simulator::Broadcast(const Unsolicited& u, int64_t nowMs) {
    for (LinkId id : {LinkId::Pty, LinkId::Modem, LinkId::Tcp, LinkId::Udp})
        if (LinkUp(id)) SendFrame(id, u.frame, u.text, nowMs, id == LinkId::Udp ? udpPeer_ : std::nullopt);
    if (!u.fault.empty()) ++counts_.faults[u.fault];
}

void Simulator::OnRequest(LinkId link, const Request& r, int64_t nowMs, std::optional<sockaddr_in> to) {
    ++counts_.requests[RequestKind(r)];
    Log(nowMs, link, "rx", Hex(r.Span()), RequestText(r));
    if (Busy(nowMs)) {
        ++counts_.faults["busy"];
        Log(nowMs, link, "ev", "", "[fault busy: master busy, request not relayed]");
        return;
    }
    Outcome o = network_.Answer(r, nowMs);
    if (o.silenced) ++counts_.faults["silence"];
    if (o.storeRefused) ++counts_.faults["no-store"];
    if (!o.reply) {
        Log(nowMs, link, "ev", "", (o.silenced ? "[fault silence] " : o.storeRefused ? "[fault no-store] " : "") + o.text);
        return;
    }
    if (Roll(options_.faults.dropPercent)) {
        ++counts_.faults["drop"];
        Log(nowMs, link, "ev", Hex(*o.reply), "[fault drop: reply not sent] " + o.text);
        return;
    }
    const int64_t due = nowMs + options_.latencyMs + static_cast<int64_t>(o.hops) * options_.hopLatencyMs;
    const uint32_t generation = link == LinkId::Udp ? 0 : Stream(link)->generation;
    scheduled_.push_back({due, link, generation, std::move(*o.reply), o.text, to});
}

void Simulator::OnParseEvent(LinkId link, const ParseEvent& e, int64_t nowMs, std::optional<sockaddr_in> to) {
    switch (e.kind) {
        case ParseEvent::kRequest:
            OnRequest(link, e.request, nowMs, to);
            break;
        case ParseEvent::kBadXor:
            ++counts_.badXor;
            Log(nowMs, link, "rx", Hex(e.request.Span()), "bad XOR, not answered");
            break;
        case ParseEvent::kSkipped:
            counts_.skippedBytes += e.count;
            Log(nowMs, link, "rx", Hex(e.skipped),
                "skipped " + std::to_string(e.count) + " unknown bytes" + (e.count > e.skipped.size() ? " (first shown)" : ""));
            break;
        case ParseEvent::kKeepAlive:
            ++counts_.keepAlives;
            Log(nowMs, link, "rx", "0D", "keep-alive");
            break;
    }
}

void Simulator::HangUp(StreamLink& l, int64_t nowMs) {
    l.hung = true;
    l.recheckMs = nowMs + kPtyRecheckMs;
    l.out.Clear();
    l.blocked = false;
    l.parser.Reset();
    ++l.generation;
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
    tcp_.out.Clear();
    tcp_.blocked = false;
    tcp_.parser.Reset();
    tcp_.closeAtMs = -1;
    tcp_.cutFrameAtMs = -1;
    tcp_.closeWhenFlushed = false;
    tcp_.stopReadingAtMs = -1;
    tcp_.reading = true;
    ++tcp_.generation;
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
                Log(nowMs, l.id, "rx", Hex(data), "modem command text \"" + Printable(std::string(data.begin(), data.end())) + "\"");
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

void Simulator::OnDatagrams(int fd, int64_t nowMs) {
    uint8_t buf[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(fd, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        const size_t size = std::min(static_cast<size_t>(n), sizeof buf);
        std::span<const uint8_t> data(buf, size);
        const size_t expected = 8 + udpPassword_.size();
        std::string why;
        if (static_cast<size_t>(n) != expected)
            why = std::to_string(n) + " bytes, expected " + std::to_string(expected);
        else if (!std::equal(udpPassword_.begin(), udpPassword_.end(), buf + 8,
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
        if (!udpPeer_ || AddressText(*udpPeer_) != AddressText(from))
            Log(nowMs, LinkId::Udp, "ev", "",
                "peer " + AddressText(from) +
                    (udpAnswer_ >= 0 ? " [fault udp-other-port: answered from port " + std::to_string(udpAnswerPort_) +
                                           ", not " + std::to_string(udpPort_) + "]"
                                     : ""));
        udpPeer_ = from;
        udpHeardMs_ = nowMs;
        OnRequest(LinkId::Udp, r, nowMs, from);
    }
}

bool Simulator::NoiseOn(int64_t nowMs) const {
    const auto& f = options_.faults;
    return f.noiseBytesPerSecond > 0 && (f.noiseForSeconds <= 0 || nowMs < f.noiseForSeconds * 1000);
}

bool Simulator::FloodOn(int64_t nowMs) const {
    const auto& f = options_.faults;
    return f.floodPerSecond > 0 && (f.floodForSeconds <= 0 || nowMs < f.floodForSeconds * 1000);
}

int Simulator::PushEverywhere(const Bytes& bytes, const std::string& text, int64_t nowMs) {
    int links = 0;
    for (LinkId id : {LinkId::Pty, LinkId::Modem, LinkId::Tcp, LinkId::Udp}) {
        if (!LinkUp(id)) continue;
        Log(nowMs, id, "tx", Hex(bytes), text);
        Push(id, bytes, nowMs, id == LinkId::Udp ? udpPeer_ : std::nullopt);
        ++links;
    }
    return links;
}

Bytes Simulator::FloodReply() {
    auto pick = [this](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(lineRng_); };
    DiagnosticsFrame d;
    // A plausible serial that no radio of this network has.
    do {
        d.serial = static_cast<uint32_t>(pick(2000000, 9150000));
    } while (network_.FindBySerial(d.serial) != nullptr);
    d.address = 0x0D80;
    d.linkSignal = pick(20, 70);
    d.goodShare = static_cast<uint8_t>(pick(150, 255));
    d.signal = pick(20, 70);
    d.noise = pick(5, 25);
    d.lineStatus = static_cast<uint8_t>(pick(0, 255) & 0xB0);
    d.temperatureRaw = static_cast<uint8_t>(pick(105, 135));
    d.voltageRaw = static_cast<uint8_t>(pick(90, 110));
    d.frequencyCounter = static_cast<uint8_t>(pick(0, 255));
    d.value = 3;
    d.revision = static_cast<uint8_t>(pick(1, 40));
    d.distanceWord = static_cast<uint16_t>(pick(3000, 5600));
    return EncodeDiagnostics(d);
}

void Simulator::RunLineFaults(int64_t nowMs) {
    const double seconds = static_cast<double>(nowMs - lineFaultsMs_) / 1000.0;
    lineFaultsMs_ = nowMs;
    const auto& f = options_.faults;
    if (NoiseOn(nowMs)) {
        noiseOwed_ += f.noiseBytesPerSecond * seconds;
        const auto n = static_cast<size_t>(noiseOwed_);
        if (n > 0) {
            noiseOwed_ -= static_cast<double>(n);
            Bytes noise(n);
            for (auto& b : noise) b = static_cast<uint8_t>(lineRng_());
            if (PushEverywhere(noise, "[fault noise: " + std::to_string(n) + " random bytes]", nowMs) > 0)
                counts_.faults["noise"] += n;
        }
    } else if (f.noiseBytesPerSecond > 0 && !noiseEnded_) {
        noiseEnded_ = true;
        Log(nowMs, LinkId::Sim, "ev", "", "[fault noise: over]");
    }
    if (FloodOn(nowMs)) {
        floodOwed_ += f.floodPerSecond * seconds;
        for (; floodOwed_ >= 1; floodOwed_ -= 1) {
            const Bytes reply = FloodReply();
            const std::string text =
                "[fault flood: reply from radio " + std::to_string(SerialAt(reply, 4)) + ", not in the network]";
            if (PushEverywhere(reply, text, nowMs) > 0) ++counts_.faults["flood"];
        }
    } else if (f.floodPerSecond > 0 && !floodEnded_) {
        floodEnded_ = true;
        Log(nowMs, LinkId::Sim, "ev", "", "[fault flood: over]");
    }
}

void Simulator::RunTimers(int64_t nowMs) {
    RunLineFaults(nowMs);
    const bool busy = Busy(nowMs);
    if (busy != wasBusy_) {
        Log(nowMs, LinkId::Sim, "ev", "", busy ? "[fault busy: master busy from now]" : "master no longer busy");
        wasBusy_ = busy;
    }
    if (options_.statusMs > 0 && nowMs >= nextStatusMs_) {
        Broadcast(network_.MasterStatus(nowMs, busy), nowMs);
        nextStatusMs_ += options_.statusMs;
        if (nextStatusMs_ <= nowMs) nextStatusMs_ = nowMs + options_.statusMs;
    }
    if (options_.reportMs > 0 && nowMs >= nextReportMs_) {
        if (nextReportMs_ > 0) {
            auto u = std::uniform_int_distribution<int>(0, 1)(faultRng_) ? network_.LinkReport(nowMs)
                                                                          : network_.TrafficReport(nowMs);
            if (u) Broadcast(*u, nowMs);
        }
        const double wait = std::exponential_distribution<double>(1.0 / options_.reportMs)(faultRng_);
        nextReportMs_ = nowMs + std::clamp<int64_t>(static_cast<int64_t>(wait), options_.reportMs / 4, 3LL * options_.reportMs);
    }
    if (options_.traceMs > 0 && nowMs >= nextTraceMs_) {
        if (nextTraceMs_ > 0)
            if (auto u = network_.Trace(nowMs)) Broadcast(*u, nowMs);
        nextTraceMs_ = nowMs + options_.traceMs;
    }
    const int64_t pendingTimeout = options_.pendingTimeoutS * 1000LL;
    if (const int64_t d = network_.NextPendingDeadline(pendingTimeout); d >= 0 && d <= nowMs)
        for (const auto& text : network_.ExpirePendingWrites(nowMs, pendingTimeout)) Log(nowMs, LinkId::Sim, "ev", "", text);

    if (tcp_.fd >= 0 && tcp_.reading && tcp_.stopReadingAtMs >= 0 && nowMs >= tcp_.stopReadingAtMs) {
        tcp_.reading = false;
        ++counts_.faults["stop-reading"];
        Log(nowMs, LinkId::Tcp, "ev", "", "[fault stop-reading: nothing more read from the client]");
    }
    if (tcp_.fd >= 0 && tcp_.closeAtMs >= 0 && nowMs >= tcp_.closeAtMs) {
        ++counts_.faults["close-after"];
        CloseTcp(nowMs, "[fault close-after: connection closed]");
    }
    if (udpPeer_ && nowMs - udpHeardMs_ > kUdpPeerForgetMs) {
        Log(nowMs, LinkId::Udp, "ev", "", "peer " + AddressText(*udpPeer_) + " silent, no longer sent status");
        udpPeer_.reset();
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
    if (!scheduled_.empty()) {
        std::vector<Scheduled> due;
        auto split = std::stable_partition(scheduled_.begin(), scheduled_.end(),
                                           [nowMs](const Scheduled& s) { return s.dueMs > nowMs; });
        due.assign(std::make_move_iterator(split), std::make_move_iterator(scheduled_.end()));
        scheduled_.erase(split, scheduled_.end());
        std::stable_sort(due.begin(), due.end(), [](const Scheduled& a, const Scheduled& b) { return a.dueMs < b.dueMs; });
        for (auto& s : due) {
            const bool current = s.link == LinkId::Udp ? udp_ >= 0
                                                       : LinkUp(s.link) && Stream(s.link)->generation == s.generation;
            if (!current) {
                Log(nowMs, s.link, "ev", Hex(s.frame), "reply not sent, link closed: " + s.text);
                continue;
            }
            SendFrame(s.link, std::move(s.frame), s.text, nowMs, s.to);
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
            if (l->id == LinkId::Tcp) CloseTcp(nowMs, "client gone (write failed)");
            else HangUp(*l, nowMs);
        } else if (l->id == LinkId::Tcp && tcp_.closeWhenFlushed && tcp_.out.Empty()) {
            CloseTcp(nowMs, "[fault close-mid-frame: connection closed in the middle of a frame]");
        }
    }
    if (udp_ >= 0) udpBlocked_ = udpOut_.Flush(UdpSendFd(), nowMs, Outbox::Via::Datagram) == Outbox::Result::Blocked;
}

int64_t Simulator::NextWakeMs(int64_t nowMs) const {
    const auto& f = options_.faults;
    int64_t next = nowMs + 1000;
    auto consider = [&next](int64_t t) {
        if (t >= 0 && t < next) next = t;
    };
    if (options_.statusMs > 0) consider(nextStatusMs_);
    if (options_.reportMs > 0) consider(nextReportMs_);
    if (options_.traceMs > 0) consider(nextTraceMs_);
    consider(network_.NextPendingDeadline(options_.pendingTimeoutS * 1000LL));
    consider(tcp_.fd >= 0 ? tcp_.closeAtMs : -1);
    consider(tcp_.fd >= 0 && tcp_.reading ? tcp_.stopReadingAtMs : -1);
    consider(dialDueMs_);
    // Noise and flood go out in small bursts; once they are over, one more look logs the end.
    constexpr int64_t kLineFaultStepMs = 10;
    if (NoiseOn(nowMs) || FloodOn(nowMs)) consider(nowMs + kLineFaultStepMs);
    if (f.noiseBytesPerSecond > 0 && f.noiseForSeconds > 0 && !noiseEnded_)
        consider(static_cast<int64_t>(f.noiseForSeconds * 1000));
    if (f.floodPerSecond > 0 && f.floodForSeconds > 0 && !floodEnded_)
        consider(static_cast<int64_t>(f.floodForSeconds * 1000));
    for (const StreamLink* l : {&pty_, &modemLink_})
        if (l->fd >= 0 && l->hung) consider(l->recheckMs);
    for (const auto& s : scheduled_) consider(s.dueMs);
    for (const StreamLink* l : {&tcp_, &pty_, &modemLink_})
        if (l->fd >= 0 && !l->hung && !l->blocked) consider(l->out.NextDueMs());
    if (!udpBlocked_) consider(udpOut_.NextDueMs());
    if (f.busyAtSeconds >= 0 && f.busyForSeconds > 0) {
        consider(wasBusy_ ? static_cast<int64_t>((f.busyAtSeconds + f.busyForSeconds) * 1000) + 1
                          : (nowMs < f.busyAtSeconds * 1000 ? static_cast<int64_t>(f.busyAtSeconds * 1000) : -1));
    }
    return std::max(next, nowMs);
}

void Simulator::Run() {
    {
        const int64_t now = NowMs();
        for (int i = 0; i < network_.Size(); ++i) Log(now, LinkId::Sim, "ev", "", network_.Describe(network_.At(i)));
        nextStatusMs_ = now;
    }
    while (!stopping_) {
        int64_t now = NowMs();
        RunTimers(now);
        FlushAll(now);

        std::vector<pollfd> fds;
        enum Source { kWake, kListen, kTcp, kUdp, kUdpAnswer, kPty, kModem };
        std::vector<Source> sources;
        auto add = [&](int fd, short events, Source s) {
            fds.push_back({fd, events, 0});
            sources.push_back(s);
        };
        add(wake_[0], POLLIN, kWake);
        if (tcpListen_ >= 0 && tcp_.fd < 0) add(tcpListen_, POLLIN, kListen);
        if (tcp_.fd >= 0)
            add(tcp_.fd, static_cast<short>((tcp_.reading ? POLLIN : POLLRDHUP) | (tcp_.blocked ? POLLOUT : 0)), kTcp);
        if (udp_ >= 0) add(udp_, static_cast<short>(POLLIN | (udpBlocked_ && udpAnswer_ < 0 ? POLLOUT : 0)), kUdp);
        if (udpAnswer_ >= 0) add(udpAnswer_, static_cast<short>(POLLIN | (udpBlocked_ ? POLLOUT : 0)), kUdpAnswer);
        if (pty_.fd >= 0 && !pty_.hung) add(pty_.fd, static_cast<short>(POLLIN | (pty_.blocked ? POLLOUT : 0)), kPty);
        if (modemLink_.fd >= 0 && !modemLink_.hung)
            add(modemLink_.fd, static_cast<short>(POLLIN | (modemLink_.blocked ? POLLOUT : 0)), kModem);

        const int timeout = static_cast<int>(std::clamp<int64_t>(NextWakeMs(now) - now, 0, 1000));
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            Log(NowMs(), LinkId::Sim, "ev", "", std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        now = NowMs();
        for (size_t i = 0; i < fds.size(); ++i) {
            const short ev = fds[i].revents;
            if (!ev) continue;
            switch (sources[i]) {
                case kWake: {
                    char drain[16];
                    while (read(wake_[0], drain, sizeof drain) > 0) {
                    }
                    break;
                }
                case kListen: OnAccept(now); break;
                case kTcp:
                    if (!tcp_.reading) {
                        if (ev & (POLLRDHUP | POLLHUP | POLLERR)) CloseTcp(now, "client disconnected, its last bytes unread");
                    } else if (ev & (POLLIN | POLLHUP | POLLERR)) {
                        OnStreamInput(tcp_, now);
                    }
                    if (tcp_.fd >= 0 && (ev & POLLOUT)) tcp_.blocked = false;
                    break;
                case kUdp:
                case kUdpAnswer:
                    if (ev & POLLIN) OnDatagrams(sources[i] == kUdp ? udp_ : udpAnswer_, now);
                    if (ev & POLLOUT) udpBlocked_ = false;
                    break;
                case kPty:
                case kModem: {
                    StreamLink& l = sources[i] == kPty ? pty_ : modemLink_;
                    if (ev & POLLIN) OnStreamInput(l, now);
                    if (!l.hung && (ev & (POLLHUP | POLLERR))) HangUp(l, now);
                    if (!l.hung && (ev & POLLOUT)) l.blocked = false;
                    break;
                }
            }
        }
    }
}

std::string Simulator::Summary() const {
    std::ostringstream s;
    auto count = [](const std::map<std::string, uint64_t>& m, const char* key) {
        auto it = m.find(key);
        return it == m.end() ? uint64_t{0} : it->second;
    };
    s << "summary requests";
    for (const char* k : {"read", "read-by-number", "write", "store"}) s << ' ' << k << '=' << count(counts_.requests, k);
    s << " bad-xor=" << counts_.badXor << " skipped-bytes=" << counts_.skippedBytes << " keep-alives=" << counts_.keepAlives
      << '\n';
    s << "summary replies";
    for (uint8_t t : {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF8, 0xF9, 0xFB}) {
        auto it = counts_.replies.find(t);
        s << ' ' << Hex(std::span<const uint8_t>(&t, 1)) << '=' << (it == counts_.replies.end() ? 0 : it->second);
    }
    s << '\n';
    s << "summary faults";
    for (const char* k :
         {"drop", "corrupt", "split", "late-hops", "stray", "silence", "busy", "no-store", "close-after",
          "close-mid-frame", "stop-reading", "short-serial", "noise", "flood", "withheld-hops"})
        s << ' ' << k << '=' << count(counts_.faults, k);
    s << '\n';
    s << "summary links tcp-connections=" << counts_.connections << " udp-refused=" << counts_.refusedDatagrams
      << " output-dropped-bytes=" << counts_.droppedOutputBytes << " dials-aborted=" << counts_.dialsAborted << '\n';
    return s.str();
}

}  // namespace radiosim
