#include "options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>

#include "network.h"

namespace radiosim {

std::string Options::passwordBytes() const {
    if (password.empty()) return std::string(4, '\xFF');
    return password.substr(0, 4);
}

const char* HelpText() {
    return R"(Usage: corvane-radiosim [OPTIONS]

A simulated radio network (one master, slaves and repeaters) that answers the
diagnostics program over TCP, UDP, a pseudo-terminal and a Hayes modem.

Links (any combination, at least one):
  --tcp [HOST:]PORT        TCP server, one client at a time (PORT 0: system-chosen)
  --udp [HOST:]PORT        UDP, answering each datagram to its sender
  --password TEXT          UDP password; its first 4 characters follow every
                           request (default: none, i.e. the four bytes FF FF FF FF)
  --pty                    a pseudo-terminal as the serial port
  --modem                  a Hayes modem on a pseudo-terminal
  --modem-up NUMBER        answer ATDT NUMBER with CONNECT 115200 (repeatable;
                           default: every number not listed below is up)
  --modem-busy NUMBER      answer BUSY (repeatable)
  --modem-nodialtone NUMBER  answer NO DIALTONE (repeatable)
  --modem-silent NUMBER    never answer (repeatable)
  --modem-delay MS         time from the dial command to the answer (default 500)
  --modem-lenient-dial     keep dialling when bytes arrive during the dial
                           (default: any byte aborts it with NO CARRIER, as a
                           real modem does)

Network:
  --radios N               radios besides the master, 1..2047 (default 12)
  --repeaters N            how many of them are repeaters (default a quarter)
  --seed N                 seed of every random choice (default 1)
  --status-interval MS     master status frame period, 0 = none (default 500)
  --reports MS             mean time between link and traffic reports, 0 = none (default 2000)
  --trace MS               trace frame period, 0 = none (default 0)
  --latency MS             reply delay over the air (default 20) ...
  --hop-latency MS         ... plus this per repeater on the path (default 15)
  --pending-timeout S      a radio resets, losing an unstored write, after S seconds (default 30)
  --chain N                N repeaters (3..7) each behind the one before, and a
                           slave behind the last: paths of 1 to N hops

Faults (all off by default):
  --drop PERCENT           replies to requests not sent
  --corrupt PERCENT        frames sent with a wrong XOR byte
  --split PERCENT          frames written in 2 or 3 pieces ...
  --split-delay MS         ... this far apart (default 40)
  --late-hops PERCENT      relayed replies whose hop records follow late ...
  --late-hops-delay MS     ... by this much (default 1500)
  --stray PERCENT          frames preceded by 1..3 stray bytes
  --silence SERIAL         this radio never answers (repeatable)
  --busy-at S              the master reports busy from S seconds after start ...
  --busy-for S             ... for this long, and ignores requests meanwhile
  --no-store               radios answer writes but ignore stores
  --close-after S          close each TCP connection S seconds after it opened
  --close-mid-frame S      S seconds after a TCP connection opened, send part of
                           the next frame and close the connection
  --stop-reading S         S seconds after a TCP connection opened, read nothing
                           more from it (its receive window fills) but keep sending
  --udp-other-port         answer UDP requests from another port than the one
                           they arrive on (printed as "udp-answers HOST:PORT")
  --short-traffic-serials PERCENT
                           traffic reports (0xF5) whose serial is cut short: half
                           to its low 20 bits (radios sharing the master's top
                           four bits), half to its low 16 bits (unusable)
  --noise BYTES            line noise: this many random bytes a second between
                           the frames of every link; now and then a run of them
                           is a frame with a good check byte ...
  --noise-for S            ... for the first S seconds only (default: for ever)
  --flood N                N well-formed diagnostics replies (0xF8, good XOR) a
                           second on every link, from serials not in the
                           network, a new serial each ...
  --flood-for S            ... for the first S seconds only (default: for ever)
  --withhold-hops PERCENT  diagnostics replies sent as their first 21 bytes only,
                           announcing hop records that never follow ...
  --withhold-hops-count N  ... N of them, 1..7 (default 7)

Output:
  --log FILE               write the log to FILE instead of standard output
  --network-file FILE      write the simulated radios as a network file for
                           the program (with the TCP, else UDP, address)
  --summary                print counts of requests, replies and faults on
                           standard output at exit
  --help                   this text
  --version                print the version and exit

Standard output starts with one line per link, then "ready":
  pty /dev/pts/N
  modem /dev/pts/M
  tcp 127.0.0.1:PORT
  udp 127.0.0.1:PORT
  udp-answers 127.0.0.1:PORT   (with --udp-other-port)
  ready
Then the log, one line per event:
  MS LINK KIND HEX TEXT
  MS    milliseconds since start
  LINK  tcp, udp, pty, modem, or sim for the network itself
  KIND  rx (bytes received), tx (frame sent), ev (anything else, faults included)
  HEX   the frame's bytes, upper-case, no spaces; "-" when there are none
  TEXT  a short description
Examples:
  2941 pty rx F88B99D5000D80B2 read radio 9148885 @0D80 (row 0)
  2976 pty tx F80D80358B99D501FD351331007C6755033680DD4539154A153D41 radio 9148885
       read @0D80 (row 0) = 3   (one line in the log)
  3000 pty tx F081BB490601731500007A6734CB status master 8502089 slot 6 data 371
  3410 pty rx 0D keep-alive
  9120 sim ev - radio 2411281 reset: write @0D81 (row 1) = 5 lost, never stored
Faults are marked "[fault NAME...]" in TEXT; rx lines are requests, keep-alives,
skipped bytes and requests with a bad XOR; tx lines are frames as queued.

Exit status: 0 after SIGINT or SIGTERM, 2 on a bad option or a port in use.
)";
}

namespace {

bool ParseInt(const std::string& text, long long lo, long long hi, long long& out) {
    long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseNumber(const std::string& text, double lo, double hi, double& out) {
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseEndpoint(const std::string& text, Endpoint& out) {
    Endpoint e;
    std::string port = text;
    if (auto colon = text.rfind(':'); colon != std::string::npos) {
        e.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        in_addr a{};
        if (inet_pton(AF_INET, e.host.c_str(), &a) != 1) return false;
    }
    long long p = 0;
    if (!ParseInt(port, 0, 65535, p)) return false;
    e.port = static_cast<uint16_t>(p);
    out = e;
    return true;
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
    using Handler = std::function<bool(const std::string&)>;
    auto integer = [](int& target, long long lo, long long hi) {
        return Handler([&target, lo, hi](const std::string& v) {
            long long x;
            if (!ParseInt(v, lo, hi, x)) return false;
            target = static_cast<int>(x);
            return true;
        });
    };
    auto number = [](double& target, double lo, double hi) {
        return Handler([&target, lo, hi](const std::string& v) { return ParseNumber(v, lo, hi, target); });
    };
    auto list = [](std::vector<std::string>& target) {
        return Handler([&target](const std::string& v) {
            if (v.empty()) return false;
            target.push_back(v);
            return true;
        });
    };
    FaultOptions& f = o.faults;
    const std::map<std::string, std::pair<Handler, const char*>> valued = {
        {"--radios", {integer(o.radios, 1, kMaxRadios), "a number from 1 to 2047"}},
        {"--repeaters", {integer(o.repeaters, 0, kMaxRadios), "a number from 0 to 2047"}},
        {"--seed", {[&o](const std::string& v) {
                        long long x;
                        if (!ParseInt(v, 0, 0xFFFFFFFFLL, x)) return false;
                        o.seed = static_cast<uint32_t>(x);
                        return true;
                    },
                    "a number from 0 to 4294967295"}},
        {"--status-interval", {integer(o.statusMs, 0, 3600000), "milliseconds, 0 to 3600000"}},
        {"--reports", {integer(o.reportMs, 0, 3600000), "milliseconds, 0 to 3600000"}},
        {"--trace", {integer(o.traceMs, 0, 3600000), "milliseconds, 0 to 3600000"}},
        {"--latency", {integer(o.latencyMs, 0, 10000), "milliseconds, 0 to 10000"}},
        {"--hop-latency", {integer(o.hopLatencyMs, 0, 10000), "milliseconds, 0 to 10000"}},
        {"--pending-timeout", {integer(o.pendingTimeoutS, 1, 86400), "seconds, 1 to 86400"}},
        {"--tcp", {[&o](const std::string& v) { return ParseEndpoint(v, o.tcp.emplace()); },
                   "[IPv4-ADDRESS:]PORT"}},
        {"--udp", {[&o](const std::string& v) { return ParseEndpoint(v, o.udp.emplace()); },
                   "[IPv4-ADDRESS:]PORT"}},
        {"--password", {[&o](const std::string& v) { o.password = v; return true; }, "text"}},
        {"--modem-up", {list(o.modemUp), "a phone number"}},
        {"--modem-busy", {list(o.modemBusy), "a phone number"}},
        {"--modem-nodialtone", {list(o.modemNoDialtone), "a phone number"}},
        {"--modem-silent", {list(o.modemSilent), "a phone number"}},
        {"--modem-delay", {integer(o.modemDelayMs, 0, 60000), "milliseconds, 0 to 60000"}},
        {"--chain", {integer(o.chainHops, kMinChain, kMaxChain), "a number from 3 to 7"}},
        {"--log", {[&o](const std::string& v) { o.logFile = v; return !v.empty(); }, "a file name"}},
        {"--network-file", {[&o](const std::string& v) { o.networkFile = v; return !v.empty(); }, "a file name"}},
        {"--drop", {number(f.dropPercent, 0, 100), "a percentage, 0 to 100"}},
        {"--corrupt", {number(f.corruptPercent, 0, 100), "a percentage, 0 to 100"}},
        {"--split", {number(f.splitPercent, 0, 100), "a percentage, 0 to 100"}},
        {"--split-delay", {integer(f.splitDelayMs, 0, 60000), "milliseconds, 0 to 60000"}},
        {"--late-hops", {number(f.lateHopsPercent, 0, 100), "a percentage, 0 to 100"}},
        {"--late-hops-delay", {integer(f.lateHopsDelayMs, 0, 60000), "milliseconds, 0 to 60000"}},
        {"--stray", {number(f.strayPercent, 0, 100), "a percentage, 0 to 100"}},
        {"--silence", {[&f](const std::string& v) {
                           long long x;
                           if (!ParseInt(v, 0, 0xFFFFFF, x)) return false;
                           f.silenced.push_back(static_cast<uint32_t>(x));
                           return true;
                       },
                       "a serial number, 0 to 16777215"}},
        {"--busy-at", {number(f.busyAtSeconds, 0, 1e7), "seconds, 0 or more"}},
        {"--busy-for", {number(f.busyForSeconds, 0, 1e7), "seconds, 0 or more"}},
        {"--close-after", {number(f.closeAfterSeconds, 0.001, 1e7), "seconds, above 0"}},
        {"--close-mid-frame", {number(f.closeMidFrameSeconds, 0.001, 1e7), "seconds, above 0"}},
        {"--stop-reading", {number(f.stopReadingSeconds, 0.001, 1e7), "seconds, above 0"}},
        {"--short-traffic-serials", {number(f.shortTrafficSerialsPercent, 0, 100), "a percentage, 0 to 100"}},
        {"--noise", {number(f.noiseBytesPerSecond, 0, 1e6), "bytes a second, 0 to 1000000"}},
        {"--noise-for", {number(f.noiseForSeconds, 0.001, 1e7), "seconds, above 0"}},
        {"--flood", {number(f.floodPerSecond, 0, 1e5), "replies a second, 0 to 100000"}},
        {"--flood-for", {number(f.floodForSeconds, 0.001, 1e7), "seconds, above 0"}},
        {"--withhold-hops", {number(f.withheldHopsPercent, 0, 100), "a percentage, 0 to 100"}},
        {"--withhold-hops-count", {integer(f.withheldHopCount, 1, kMaxHops), "a number from 1 to 7"}},
    };
    const std::map<std::string, bool*> flags = {
        {"--pty", &o.pty}, {"--modem", &o.modem}, {"--summary", &o.summary}, {"--no-store", &f.noStore},
        {"--modem-lenient-dial", &o.modemLenientDial}, {"--udp-other-port", &f.udpOtherPort}};

    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (name == "--help" || name == "-h") return ParseResult::Help;
        if (auto flag = flags.find(name); flag != flags.end()) {
            if (value) {
                error = "option " + name + " takes no value";
                return ParseResult::Error;
            }
            *flag->second = true;
            continue;
        }
        auto opt = valued.find(name);
        if (opt == valued.end()) {
            error = "unknown option '" + args[i] + "'";
            return ParseResult::Error;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value: " + opt->second.second;
                return ParseResult::Error;
            }
            value = args[++i];
        }
        if (!opt->second.first(*value)) {
            error = "bad value '" + *value + "' for " + name + ": expected " + opt->second.second;
            return ParseResult::Error;
        }
    }
    if (!o.tcp && !o.udp && !o.pty && !o.modem) {
        error = "no link to serve: give --tcp, --udp, --pty or --modem";
        return ParseResult::Error;
    }
    if (o.repeaters > o.radios) {
        error = "--repeaters " + std::to_string(o.repeaters) + " is more than --radios " + std::to_string(o.radios);
        return ParseResult::Error;
    }
    if (o.chainHops > 0) {
        const int repeaters = o.repeaters < 0 ? std::max(o.radios / 4, o.chainHops) : o.repeaters;
        if (repeaters < o.chainHops || o.radios - repeaters < 1) {
            error = "--chain " + std::to_string(o.chainHops) + " needs that many repeaters and a slave: give --radios " +
                    std::to_string(o.chainHops + 1) + " or more and --repeaters " + std::to_string(o.chainHops) +
                    " or more";
            return ParseResult::Error;
        }
        o.repeaters = repeaters;
    }
    if (f.udpOtherPort && !o.udp) {
        error = "--udp-other-port needs --udp";
        return ParseResult::Error;
    }
    if (f.busyForSeconds > 0 && f.busyAtSeconds < 0) f.busyAtSeconds = 0;
    return ParseResult::Run;
}

}  // namespace radiosim
