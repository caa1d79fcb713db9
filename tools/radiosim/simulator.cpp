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
    if (auto row = RowOfAddress(r.address())) where = " (row " + std::to_string(*row) + ")";
    const std::string who =
        r.byNumber() ? "radio number " + std::to_string(r.number()) : "radio " + std::to_string(r.serial());
    switch (r.type()) {
        case kReadRequest:
            std::snprintf(buf, sizeof buf, "read %s @%04X%s", who.c_str(), r.address(), where.c_str());
            break;
        case kWriteRequest: std::snprintf(buf, sizeof buf, "write %s value %u", who.c_str(), r.value()); break;
        default: std::snprintf(buf, sizeof buf, "store %s @%04X%s", who.c_str(), r.address(), where.c_str()); break;
    }
    return buf;
}

std::string RequestKind(const Request& r) {
    switch (r.type()) {
        case kReadRequest: return r.byNumber() ? "read-by-number" : "read";
        case kWriteRequest: return "write";
        default: return "store";
    }
}

uint32_t SerialAt(const Bytes& f, size_t at) {
    return (uint32_t{f[at]} << 16) | (uint32_t{f[at + 1]} << 8) | f[at + 2];
}

}  // namespace

Simulator::Simulator(Options given, LogSink sink)
    : options(std::move(given)),
      sink(std::move(sink)),
      network(NetworkConfig{options.radios, options.repeaters, options.seed, options.chainHops}),
      modem(ModemNumbers{options.modemUp, options.modemBusy, options.modemNoDialtone, options.modemSilent},
            options.modemLenientDial),
      faults(options.faults, options.seed),
      start(std::chrono::steady_clock::now()) {
    tcp.id = LinkId::Tcp;
    pty.id = LinkId::Pty;
    modemLink.id = LinkId::Modem;
    network.silenced.insert(options.faults.silenced.begin(), options.faults.silenced.end());
    network.ignoreStores = options.faults.noStore;
    network.shortTrafficSerialsPercent = options.faults.shortTrafficSerialsPercent;
    udp.password = options.passwordBytes();
}

Simulator::~Simulator() {
    for (int fd : {wake[0], wake[1], tcpListen, tcp.fd, udp.fd, udp.answerFd, pty.fd, modemLink.fd})
        if (fd >= 0) close(fd);
}

int64_t Simulator::elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

void Simulator::log(int64_t ms, LinkId link, const char* kind, const std::string& hex, const std::string& text) {
    if (!sink) return;
    std::string line = std::to_string(ms);
    line += ' ';
    line += LinkName(link);
    line += ' ';
    line += kind;
    line += ' ';
    line += hex.empty() ? "-" : hex;
    line += ' ';
    line += text;
    sink(line);
}

void Simulator::stop() {
    stopping = true;
    if (wake[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = write(wake[1], &c, 1);
    }
}

void Simulator::sendFrame(LinkId link, Bytes frame, const std::string& text, int64_t nowMs,
                          std::optional<sockaddr_in> to) {
    if (link == LinkId::Tcp && tcp.closeWhenFlushed) return;  // the connection is about to go
    if (link == LinkId::Tcp && tcp.cutFrameAtMs >= 0 && nowMs >= tcp.cutFrameAtMs && frame.size() >= 2) {
        const size_t sent = frame.size() / 2;
        ++counters.faults["close-mid-frame"];
        log(nowMs, link, "tx", Hex(frame),
            text + " [fault close-mid-frame: " + std::to_string(sent) + " of " + std::to_string(frame.size()) +
                " bytes sent, then the connection closes]");
        push(link, Bytes(frame.begin(), frame.begin() + static_cast<ptrdiff_t>(sent)), nowMs, to);
        tcp.closeWhenFlushed = true;
        return;
    }
    ++counters.replies[frame[0]];
    for (auto& t : faults.shape(std::move(frame), text, counters.faults)) {
        log(nowMs, link, "tx", t.hex, t.text);
        for (auto& piece : t.pieces) push(link, std::move(piece.bytes), nowMs + piece.delayMs, to);
    }
}

void Simulator::broadcast(const Unsolicited& u, int64_t nowMs) {
    for (LinkId id : {LinkId::Pty, LinkId::Modem, LinkId::Tcp, LinkId::Udp})
        if (linkUp(id)) sendFrame(id, u.frame, u.text, nowMs, id == LinkId::Udp ? udp.peer : std::nullopt);
    if (!u.fault.empty()) ++counters.faults[u.fault];
}

void Simulator::onRequest(LinkId link, const Request& r, int64_t nowMs, std::optional<sockaddr_in> to) {
    ++counters.requests[RequestKind(r)];
    log(nowMs, link, "rx", Hex(r.span()), RequestText(r));
    if (faults.busy(nowMs)) {
        ++counters.faults["busy"];
        log(nowMs, link, "ev", "", "[fault busy: master busy, request not relayed]");
        return;
    }
    Outcome o = network.answer(r, nowMs);
    if (o.silenced) ++counters.faults["silence"];
    if (o.storeRefused) ++counters.faults["no-store"];
    if (!o.reply) {
        log(nowMs, link, "ev", "",
            (o.silenced       ? "[fault silence] "
             : o.storeRefused ? "[fault no-store] "
                              : "") +
                o.text);
        return;
    }
    if (faults.dropReply()) {
        ++counters.faults["drop"];
        log(nowMs, link, "ev", Hex(*o.reply), "[fault drop: reply not sent] " + o.text);
        return;
    }
    const int64_t due = nowMs + options.latencyMs + static_cast<int64_t>(o.hops) * options.hopLatencyMs;
    const uint32_t generation = link == LinkId::Udp ? 0 : stream(link)->generation;
    scheduled.push_back({due, link, generation, std::move(*o.reply), o.text, to});
}

void Simulator::onParseEvent(LinkId link, const ParseEvent& e, int64_t nowMs, std::optional<sockaddr_in> to) {
    switch (e.kind) {
        case ParseEvent::kRequest: onRequest(link, e.request, nowMs, to); break;
        case ParseEvent::kBadXor:
            ++counters.badXor;
            log(nowMs, link, "rx", Hex(e.request.span()), "bad XOR, not answered");
            break;
        case ParseEvent::kSkipped:
            counters.skippedBytes += e.count;
            log(nowMs, link, "rx", Hex(e.skipped),
                "skipped " + std::to_string(e.count) + " unknown bytes" +
                    (e.count > e.skipped.size() ? " (first shown)" : ""));
            break;
        case ParseEvent::kKeepAlive:
            ++counters.keepAlives;
            log(nowMs, link, "rx", "0D", "keep-alive");
            break;
    }
}

void Simulator::runLineFaults(int64_t nowMs) {
    const LineFaults due = faults.lineFaults(nowMs, network);
    if (const size_t n = due.noise.size(); n > 0) {
        if (pushEverywhere(due.noise, "[fault noise: " + std::to_string(n) + " random bytes]", nowMs) > 0)
            counters.faults["noise"] += n;
    }
    if (due.noiseOver) log(nowMs, LinkId::Sim, "ev", "", "[fault noise: over]");
    for (const Bytes& reply : due.flood) {
        const std::string text =
            "[fault flood: reply from radio " + std::to_string(SerialAt(reply, 4)) + ", not in the network]";
        if (pushEverywhere(reply, text, nowMs) > 0) ++counters.faults["flood"];
    }
    if (due.floodOver) log(nowMs, LinkId::Sim, "ev", "", "[fault flood: over]");
}

void Simulator::runTimers(int64_t nowMs) {
    runLineFaults(nowMs);
    if (const auto busy = faults.busyChange(nowMs))
        log(nowMs, LinkId::Sim, "ev", "", *busy ? "[fault busy: master busy from now]" : "master no longer busy");
    if (options.statusMs > 0 && nowMs >= nextStatusMs) {
        broadcast(network.masterStatus(nowMs, faults.busy(nowMs)), nowMs);
        nextStatusMs += options.statusMs;
        if (nextStatusMs <= nowMs) nextStatusMs = nowMs + options.statusMs;
    }
    if (options.reportMs > 0 && nowMs >= nextReportMs) {
        if (nextReportMs > 0) {
            auto u = faults.linkReportNext() ? network.linkReport(nowMs) : network.trafficReport(nowMs);
            if (u) broadcast(*u, nowMs);
        }
        nextReportMs = nowMs + faults.reportWaitMs(options.reportMs);
    }
    if (options.traceMs > 0 && nowMs >= nextTraceMs) {
        if (nextTraceMs > 0)
            if (auto u = network.trace(nowMs)) broadcast(*u, nowMs);
        nextTraceMs = nowMs + options.traceMs;
    }
    const int64_t pendingTimeout = options.pendingTimeoutS * 1000LL;
    if (const int64_t d = network.nextPendingDeadline(pendingTimeout); d >= 0 && d <= nowMs)
        for (const auto& text : network.expirePendingWrites(nowMs, pendingTimeout))
            log(nowMs, LinkId::Sim, "ev", "", text);
    runLinkTimers(nowMs);
    sendScheduled(nowMs);
}

void Simulator::sendScheduled(int64_t nowMs) {
    if (scheduled.empty()) return;
    std::vector<Scheduled> due;
    auto split = std::stable_partition(scheduled.begin(), scheduled.end(),
                                       [nowMs](const Scheduled& s) { return s.dueMs > nowMs; });
    due.assign(std::make_move_iterator(split), std::make_move_iterator(scheduled.end()));
    scheduled.erase(split, scheduled.end());
    std::stable_sort(due.begin(), due.end(), [](const Scheduled& a, const Scheduled& b) { return a.dueMs < b.dueMs; });
    for (auto& s : due) {
        const bool current =
            s.link == LinkId::Udp ? udp.fd >= 0 : linkUp(s.link) && stream(s.link)->generation == s.generation;
        if (!current) {
            log(nowMs, s.link, "ev", Hex(s.frame), "reply not sent, link closed: " + s.text);
            continue;
        }
        sendFrame(s.link, std::move(s.frame), s.text, nowMs, s.to);
    }
}

int64_t Simulator::nextWakeMs(int64_t nowMs) const {
    int64_t next = nowMs + 1000;
    auto consider = [&next](int64_t t) {
        if (t >= 0 && t < next) next = t;
    };
    if (options.statusMs > 0) consider(nextStatusMs);
    if (options.reportMs > 0) consider(nextReportMs);
    if (options.traceMs > 0) consider(nextTraceMs);
    consider(network.nextPendingDeadline(options.pendingTimeoutS * 1000LL));
    consider(faults.nextWakeMs(nowMs));
    consider(linkWakeMs());
    for (const auto& s : scheduled) consider(s.dueMs);
    return std::max(next, nowMs);
}

void Simulator::run() {
    {
        const int64_t now = elapsedMs();
        for (int i = 0; i < network.size(); ++i) log(now, LinkId::Sim, "ev", "", network.describe(network.at(i)));
        nextStatusMs = now;
    }
    std::vector<pollfd> fds;
    std::vector<Source> sources;
    while (!stopping) {
        int64_t now = elapsedMs();
        runTimers(now);
        flushAll(now);
        watchList(fds, sources);
        const int timeout = static_cast<int>(std::clamp<int64_t>(nextWakeMs(now) - now, 0, 1000));
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            log(elapsedMs(), LinkId::Sim, "ev", "", std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        now = elapsedMs();
        for (size_t i = 0; i < fds.size(); ++i)
            if (fds[i].revents) onReady(sources[i], fds[i].revents, now);
    }
}

void Simulator::watchList(std::vector<pollfd>& fds, std::vector<Source>& sources) const {
    fds.clear();
    sources.clear();
    auto add = [&](int fd, short events, Source s) {
        fds.push_back({fd, events, 0});
        sources.push_back(s);
    };
    add(wake[0], POLLIN, Source::Wake);
    if (tcpListen >= 0 && tcp.fd < 0) add(tcpListen, POLLIN, Source::Listen);
    if (tcp.fd >= 0)
        add(tcp.fd, static_cast<short>((tcp.reading ? POLLIN : POLLRDHUP) | (tcp.blocked ? POLLOUT : 0)), Source::Tcp);
    if (udp.fd >= 0)
        add(udp.fd, static_cast<short>(POLLIN | (udp.blocked && udp.answerFd < 0 ? POLLOUT : 0)), Source::Udp);
    if (udp.answerFd >= 0)
        add(udp.answerFd, static_cast<short>(POLLIN | (udp.blocked ? POLLOUT : 0)), Source::UdpAnswer);
    if (pty.fd >= 0 && !pty.hung) add(pty.fd, static_cast<short>(POLLIN | (pty.blocked ? POLLOUT : 0)), Source::Pty);
    if (modemLink.fd >= 0 && !modemLink.hung)
        add(modemLink.fd, static_cast<short>(POLLIN | (modemLink.blocked ? POLLOUT : 0)), Source::Modem);
}

void Simulator::onReady(Source source, short ev, int64_t nowMs) {
    switch (source) {
        case Source::Wake: {
            char drain[16];
            while (read(wake[0], drain, sizeof drain) > 0) {}
            break;
        }
        case Source::Listen: onAccept(nowMs); break;
        case Source::Tcp:
            if (!tcp.reading) {
                if (ev & (POLLRDHUP | POLLHUP | POLLERR)) closeTcp(nowMs, "client disconnected, its last bytes unread");
            } else if (ev & (POLLIN | POLLHUP | POLLERR)) {
                onStreamInput(tcp, nowMs);
            }
            if (tcp.fd >= 0 && (ev & POLLOUT)) tcp.blocked = false;
            break;
        case Source::Udp:
        case Source::UdpAnswer:
            if (ev & POLLIN) onDatagrams(source == Source::Udp ? udp.fd : udp.answerFd, nowMs);
            if (ev & POLLOUT) udp.blocked = false;
            break;
        case Source::Pty:
        case Source::Modem: {
            StreamLink& l = source == Source::Pty ? pty : modemLink;
            if (ev & POLLIN) onStreamInput(l, nowMs);
            if (!l.hung && (ev & (POLLHUP | POLLERR))) hangUp(l, nowMs);
            if (!l.hung && (ev & POLLOUT)) l.blocked = false;
            break;
        }
    }
}

std::string Simulator::summary() const {
    std::ostringstream s;
    auto count = [](const std::map<std::string, uint64_t>& m, const char* key) {
        auto it = m.find(key);
        return it == m.end() ? uint64_t{0} : it->second;
    };
    s << "summary requests";
    for (const char* k : {"read", "read-by-number", "write", "store"})
        s << ' ' << k << '=' << count(counters.requests, k);
    s << " bad-xor=" << counters.badXor << " skipped-bytes=" << counters.skippedBytes
      << " keep-alives=" << counters.keepAlives << '\n';
    s << "summary replies";
    for (uint8_t t : {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF8, 0xF9, 0xFB}) {
        auto it = counters.replies.find(t);
        s << ' ' << Hex(std::span<const uint8_t>(&t, 1)) << '=' << (it == counters.replies.end() ? 0 : it->second);
    }
    s << '\n';
    s << "summary faults";
    for (const char* k :
         {"drop", "corrupt", "split", "late-hops", "stray", "silence", "busy", "no-store", "close-after",
          "close-mid-frame", "stop-reading", "short-serial", "noise", "flood", "withheld-hops"})
        s << ' ' << k << '=' << count(counters.faults, k);
    s << '\n';
    s << "summary links tcp-connections=" << counters.connections << " udp-refused=" << counters.refusedDatagrams
      << " output-dropped-bytes=" << counters.droppedOutputBytes << " dials-aborted=" << counters.dialsAborted << '\n';
    return s.str();
}

}  // namespace radiosim
