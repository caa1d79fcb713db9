#include "simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "setup_table.h"

namespace radiosim {

namespace {

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

uint32_t SerialAt(const Bytes& f, size_t at) {
    return (uint32_t{f[at]} << 16) | (uint32_t{f[at + 1]} << 8) | f[at + 2];
}

}  // namespace

Simulator::Simulator(Options options, LogSink sink)
    : options_(std::move(options)),
      sink_(std::move(sink)),
      network_(NetworkConfig{options_.radios, options_.repeaters, options_.seed, options_.chainHops}),
      modem_(ModemNumbers{options_.modemUp, options_.modemBusy, options_.modemNoDialtone, options_.modemSilent},
             options_.modemLenientDial),
      faults_(options_.faults, options_.seed),
      start_(std::chrono::steady_clock::now()) {
    tcp_.id = LinkId::Tcp;
    pty_.id = LinkId::Pty;
    modemLink_.id = LinkId::Modem;
    network_.silenced.insert(options_.faults.silenced.begin(), options_.faults.silenced.end());
    network_.ignoreStores = options_.faults.noStore;
    network_.shortTrafficSerialsPercent = options_.faults.shortTrafficSerialsPercent;
    udp_.password = options_.PasswordBytes();
}

Simulator::~Simulator() {
    for (int fd : {wake_[0], wake_[1], tcpListen_, tcp_.fd, udp_.fd, udp_.answerFd, pty_.fd, modemLink_.fd})
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

void Simulator::Stop() {
    stopping_ = true;
    if (wake_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = write(wake_[1], &c, 1);
    }
}

void Simulator::SendFrame(LinkId link, Bytes frame, const std::string& text, int64_t nowMs,
                          std::optional<sockaddr_in> to) {
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
    ++counts_.replies[frame[0]];
    for (auto& t : faults_.shape(std::move(frame), text, counts_.faults)) {
        Log(nowMs, link, "tx", t.hex, t.text);
        for (auto& piece : t.pieces) Push(link, std::move(piece.bytes), nowMs + piece.delayMs, to);
    }
}

void Simulator::Broadcast(const Unsolicited& u, int64_t nowMs) {
    for (LinkId id : {LinkId::Pty, LinkId::Modem, LinkId::Tcp, LinkId::Udp})
        if (LinkUp(id)) SendFrame(id, u.frame, u.text, nowMs, id == LinkId::Udp ? udp_.peer : std::nullopt);
    if (!u.fault.empty()) ++counts_.faults[u.fault];
}

void Simulator::OnRequest(LinkId link, const Request& r, int64_t nowMs, std::optional<sockaddr_in> to) {
    ++counts_.requests[RequestKind(r)];
    Log(nowMs, link, "rx", Hex(r.Span()), RequestText(r));
    if (faults_.busy(nowMs)) {
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
    if (faults_.dropReply()) {
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

void Simulator::RunLineFaults(int64_t nowMs) {
    const LineFaults due = faults_.lineFaults(nowMs, network_);
    if (const size_t n = due.noise.size(); n > 0) {
        if (PushEverywhere(due.noise, "[fault noise: " + std::to_string(n) + " random bytes]", nowMs) > 0)
            counts_.faults["noise"] += n;
    }
    if (due.noiseOver) Log(nowMs, LinkId::Sim, "ev", "", "[fault noise: over]");
    for (const Bytes& reply : due.flood) {
        const std::string text =
            "[fault flood: reply from radio " + std::to_string(SerialAt(reply, 4)) + ", not in the network]";
        if (PushEverywhere(reply, text, nowMs) > 0) ++counts_.faults["flood"];
    }
    if (due.floodOver) Log(nowMs, LinkId::Sim, "ev", "", "[fault flood: over]");
}

void Simulator::RunTimers(int64_t nowMs) {
    RunLineFaults(nowMs);
    if (const auto busy = faults_.busyChange(nowMs))
        Log(nowMs, LinkId::Sim, "ev", "", *busy ? "[fault busy: master busy from now]" : "master no longer busy");
    if (options_.statusMs > 0 && nowMs >= nextStatusMs_) {
        Broadcast(network_.MasterStatus(nowMs, faults_.busy(nowMs)), nowMs);
        nextStatusMs_ += options_.statusMs;
        if (nextStatusMs_ <= nowMs) nextStatusMs_ = nowMs + options_.statusMs;
    }
    if (options_.reportMs > 0 && nowMs >= nextReportMs_) {
        if (nextReportMs_ > 0) {
            auto u = faults_.linkReportNext() ? network_.LinkReport(nowMs) : network_.TrafficReport(nowMs);
            if (u) Broadcast(*u, nowMs);
        }
        nextReportMs_ = nowMs + faults_.reportWaitMs(options_.reportMs);
    }
    if (options_.traceMs > 0 && nowMs >= nextTraceMs_) {
        if (nextTraceMs_ > 0)
            if (auto u = network_.Trace(nowMs)) Broadcast(*u, nowMs);
        nextTraceMs_ = nowMs + options_.traceMs;
    }
    const int64_t pendingTimeout = options_.pendingTimeoutS * 1000LL;
    if (const int64_t d = network_.NextPendingDeadline(pendingTimeout); d >= 0 && d <= nowMs)
        for (const auto& text : network_.ExpirePendingWrites(nowMs, pendingTimeout)) Log(nowMs, LinkId::Sim, "ev", "", text);
    RunLinkTimers(nowMs);
    SendScheduled(nowMs);
}

void Simulator::SendScheduled(int64_t nowMs) {
    if (scheduled_.empty()) return;
    std::vector<Scheduled> due;
    auto split = std::stable_partition(scheduled_.begin(), scheduled_.end(),
                                       [nowMs](const Scheduled& s) { return s.dueMs > nowMs; });
    due.assign(std::make_move_iterator(split), std::make_move_iterator(scheduled_.end()));
    scheduled_.erase(split, scheduled_.end());
    std::stable_sort(due.begin(), due.end(), [](const Scheduled& a, const Scheduled& b) { return a.dueMs < b.dueMs; });
    for (auto& s : due) {
        const bool current =
            s.link == LinkId::Udp ? udp_.fd >= 0 : LinkUp(s.link) && Stream(s.link)->generation == s.generation;
        if (!current) {
            Log(nowMs, s.link, "ev", Hex(s.frame), "reply not sent, link closed: " + s.text);
            continue;
        }
        SendFrame(s.link, std::move(s.frame), s.text, nowMs, s.to);
    }
}

int64_t Simulator::NextWakeMs(int64_t nowMs) const {
    int64_t next = nowMs + 1000;
    auto consider = [&next](int64_t t) {
        if (t >= 0 && t < next) next = t;
    };
    if (options_.statusMs > 0) consider(nextStatusMs_);
    if (options_.reportMs > 0) consider(nextReportMs_);
    if (options_.traceMs > 0) consider(nextTraceMs_);
    consider(network_.NextPendingDeadline(options_.pendingTimeoutS * 1000LL));
    consider(faults_.nextWakeMs(nowMs));
    consider(LinkWakeMs());
    for (const auto& s : scheduled_) consider(s.dueMs);
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
        if (udp_.fd >= 0)
            add(udp_.fd, static_cast<short>(POLLIN | (udp_.blocked && udp_.answerFd < 0 ? POLLOUT : 0)), kUdp);
        if (udp_.answerFd >= 0)
            add(udp_.answerFd, static_cast<short>(POLLIN | (udp_.blocked ? POLLOUT : 0)), kUdpAnswer);
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
                    if (ev & POLLIN) OnDatagrams(sources[i] == kUdp ? udp_.fd : udp_.answerFd, now);
                    if (ev & POLLOUT) udp_.blocked = false;
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
