#include "monitor/monitor_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <set>

namespace {

bool ParseSeconds(const std::string& text, double low, double high, double& out) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || stop != end || !std::isfinite(value) || value < low || value > high) return false;
    out = value;
    return true;
}

// "HOST:PORT", ":PORT" or "PORT"; the host may be empty (taken from the network file).
bool ParseHostPort(const std::string& text, std::string& host, std::string& port) {
    host.clear();
    port.clear();
    if (text.empty()) return true;
    const size_t colon = text.rfind(':');
    host = colon == std::string::npos ? std::string() : text.substr(0, colon);
    port = colon == std::string::npos ? text : text.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (port.empty()) return !host.empty();
    int value = 0;
    auto [stop, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    return ec == std::errc() && stop == port.data() + port.size() && value >= 1 && value <= 65535;
}

}  // namespace

bool ParseMonitorSeconds(const std::string& text, double low, double high, double& out) {
    return ParseSeconds(text, low, high, out);
}

bool ParseMonitorHostPort(const std::string& text, std::string& host, std::string& port) {
    return ParseHostPort(text, host, port);
}

bool ValidNetworkName(const std::string& name) {
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

const char* MonitorUsage() {
    return R"(Usage: corvane-monitor LINK [OPTIONS]

Polls a radio network through its master without a window, writes Current.log
every minute and exposes what it sees as Prometheus metrics.

LINK (exactly one):
  --serial DEVICE            the master on a serial port (e.g. /dev/ttyUSB0)
  --com N                    the master on ComN (1..8), mapped as the window maps it
  --tcp HOST:PORT            TCP to the master (HOST:PORT may be left to --network)
  --udp HOST:PORT            UDP to the master
  --password TEXT            UDP password (default none)
  --dial NUMBER --serial DEVICE   dial the master through a modem on DEVICE

OPTIONS:
  --network FILE.RAD         radio names, repeater numbers and the TCP/UDP address
  --mode random|sequential   poll mode (default sequential with --network, else random)
  --interval SECONDS         poll interval (default 0.2)
  --alarm-time SECONDS       age of the last reply that raises an alarm (default 60)
  --metrics ADDRESS:PORT     serve http://ADDRESS:PORT/metrics (port 0: any free port;
                             [::]:PORT for IPv6 and IPv4, :PORT for every address)
  --web.config.file FILE     Basic authentication (bcrypt) and TLS for --metrics, in
                             the exporters' web config format: basic_auth_users and
                             tls_server_config (cert_file, key_file, min_version,
                             max_version); other keys are refused
  --work DIR                 folder for Current.log (default: the current folder)
  --reconnect SECONDS        retry a lost link this often (default 10; 0: exit 3)
  --duration SECONDS         stop after this long (default: run until stopped)
  --modbus ADDRESS:PORT      serve the radios' health as read-only Modbus TCP
                             registers, unit 1 (e.g. 127.0.0.1:502; port 0: any free port)
  --modbus-allow ADDR[,ADDR] only these client addresses may read them (repeatable)
  --name NAME                the network's label in the metrics ([a-z0-9_-], default "default")

MANY NETWORKS:
  corvane-monitor --config FILE.yml [--duration SECONDS] [--web.config.file FILE]
                             polls every network the file lists, each on its own
                             (see "Many networks" in the README); no link or network
                             option goes with it

SIGHUP reads the network file again (names, repeaters, address) and keeps the link.
)";
}

const char* MonitorLinkName(MonitorLink link) {
    switch (link) {
        case MonitorLink::tcp: return "tcp";
        case MonitorLink::udp: return "udp";
        case MonitorLink::dialup: return "dialup";
        default: return "serial";
    }
}

bool ParseMonitorOptions(const std::vector<std::string>& args, MonitorOptions& o, std::string& error, bool& help) {
    help = false;
    bool serial = false, com = false, tcp = false, udp = false, dial = false;
    using Setter = std::function<bool(const std::string&)>;
    auto seconds = [](double& target, double low, double high) {
        return Setter([&target, low, high](const std::string& v) { return ParseSeconds(v, low, high, target); });
    };
    // One option a line, with what it expects.
    // clang-format off
    const std::map<std::string, std::pair<Setter, const char*>> valued = {
        {"--serial", {[&](const std::string& v) { serial = true; o.device = v; return !v.empty(); }, "a device path"}},
        {"--com", {[&](const std::string& v) {
                       com = true;
                       return v.size() == 1 && v[0] >= '1' && v[0] <= '8' && ((o.comPort = v[0] - '0'), true);
                   }, "a port number from 1 to 8"}},
        {"--tcp", {[&](const std::string& v) { tcp = true; return ParseHostPort(v, o.host, o.port); }, "HOST:PORT"}},
        {"--udp", {[&](const std::string& v) { udp = true; return ParseHostPort(v, o.host, o.port); }, "HOST:PORT"}},
        {"--password", {[&](const std::string& v) { o.hasPassword = true; o.password = v; return true; }, "text"}},
        {"--dial", {[&](const std::string& v) { dial = true; o.dialNumber = v; return !v.empty(); }, "a phone number"}},
        {"--network", {[&](const std::string& v) { o.networkFile = v; return !v.empty(); }, "a file name"}},
        {"--mode", {[&](const std::string& v) {
                        o.hasMode = true;
                        o.sequential = v == "sequential";
                        return v == "sequential" || v == "random";
                    }, "random or sequential"}},
        {"--interval", {[&](const std::string& v) { o.hasInterval = true; return ParseSeconds(v, 0, 3600, o.intervalSeconds); },
                        "seconds, 0 to 3600"}},
        {"--alarm-time", {seconds(o.alarmTimeSeconds, 1, 86400), "seconds, 1 to 86400"}},
        {"--metrics", {[&](const std::string& v) {
                           std::string h, p;
                           o.metricsAddress = v;
                           return v.find(':') != std::string::npos && ParseHostPort(v, h, p) && !p.empty();
                       }, "ADDRESS:PORT"}},
        {"--web.config.file", {[&](const std::string& v) { o.webConfigFile = v; return !v.empty(); }, "a file name"}},
        {"--work", {[&](const std::string& v) { o.workDir = v; return !v.empty(); }, "a folder"}},
        {"--reconnect", {seconds(o.reconnectSeconds, 0, 86400), "seconds, 0 to 86400"}},
        {"--duration", {seconds(o.durationSeconds, 0.001, 1e9), "seconds, above 0"}},
        {"--modbus", {[&](const std::string& v) {
                          std::string h, p;
                          o.modbusAddress = v;
                          return v.find(':') != std::string::npos && ParseHostPort(v, h, p) && !h.empty() &&
                                 !p.empty();
                      }, "ADDRESS:PORT"}},
        {"--modbus-allow", {[&](const std::string& v) {
                                size_t from = 0;
                                while (from <= v.size()) {
                                    const size_t comma = std::min(v.find(',', from), v.size());
                                    if (comma == from) return false;
                                    o.modbusAllowed.push_back(v.substr(from, comma - from));
                                    from = comma + 1;
                                }
                                return true;
                            }, "client addresses separated by commas"}},
        {"--name", {[&](const std::string& v) { o.networkName = v; return ValidNetworkName(v); },
                    "a name of a-z, 0-9, _ and - (at most 64)"}},
        {"--config", {[&](const std::string& v) { o.configFile = v; return !v.empty(); }, "a file name"}},
    };
    // clang-format on
    std::set<std::string> given;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            help = true;
            return true;
        }
        auto found = valued.find(name);
        if (found == valued.end()) {
            error = "unknown option " + name;
            return false;
        }
        // The TCP and UDP links may leave their address to the network file.
        const bool addressMayFollow = name == "--tcp" || name == "--udp";
        if (!inlineValue && addressMayFollow && (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0)) {
            inlineValue = true;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value (" + found->second.second + ")";
                return false;
            }
            value = args[++i];
        }
        bool ok = false;
        // --metrics takes port 0 (any free port), which a link address may not.
        if (name == "--metrics" || name == "--modbus") {
            const size_t colon = value.rfind(':');
            const std::string p = colon == std::string::npos ? "" : value.substr(colon + 1);
            ok = colon != std::string::npos && (p == "0" || found->second.first(value));
            (name == "--metrics" ? o.metricsAddress : o.modbusAddress) = value;
        } else {
            ok = found->second.first(value);
        }
        if (!ok) {
            error = name + " " + value + ": expected " + found->second.second;
            return false;
        }
        given.insert(name);
    }
    if (!o.configFile.empty()) {
        // The file says everything about its networks; only the run's length and who
        // may read the metrics may be added.
        for (const std::string& name : given) {
            if (name == "--config" || name == "--duration" || name == "--web.config.file") continue;
            error = name + " cannot be used with --config (the file " + o.configFile + " says it)";
            return false;
        }
        return true;
    }
    const int links = int(serial && !dial) + int(com) + int(tcp) + int(udp) + int(dial);
    if (links != 1) {
        error = links == 0 ? "no link given: use --serial, --com, --tcp, --udp or --dial"
                           : "give exactly one link (--serial, --com, --tcp, --udp or --dial with --serial)";
        return false;
    }
    if (dial && !serial) {
        error = "--dial needs --serial DEVICE for the modem";
        return false;
    }
    if (!o.modbusAllowed.empty() && o.modbusAddress.empty()) {
        error = "--modbus-allow needs --modbus ADDRESS:PORT";
        return false;
    }
    if (!o.webConfigFile.empty() && o.metricsAddress.empty()) {
        error = "--web.config.file needs --metrics ADDRESS:PORT";
        return false;
    }
    if (o.hasPassword && !udp) {
        error = "--password is for --udp only";
        return false;
    }
    o.link = dial ? MonitorLink::dialup : tcp ? MonitorLink::tcp : udp ? MonitorLink::udp : MonitorLink::serial;
    if ((tcp || udp) && (o.host.empty() || o.port.empty()) && o.networkFile.empty()) {
        error = std::string("--") + MonitorLinkName(o.link) + " needs HOST:PORT or a --network file with the address";
        return false;
    }
    return true;
}
