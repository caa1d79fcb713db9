#include "monitor/fleet_config.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include <yaml-cpp/yaml.h>

#include "monitor/web_config.h"

namespace {

namespace fs = std::filesystem;

// Unit ids a Modbus client can address.
constexpr size_t kMaxModbusUnits = 247;

bool IsNumericAddress(const std::string& text) {
    in6_addr any{};
    return inet_pton(AF_INET, text.c_str(), &any) == 1 || inet_pton(AF_INET6, text.c_str(), &any) == 1;
}

// "ADDRESS:PORT" for a listener; port 0 asks for any free port.
bool IsListenAddress(const std::string& text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string host, port;
    return text.substr(colon + 1) == "0" || (ParseMonitorHostPort(text, host, port) && !port.empty());
}

class ConfigReader {
public:
    ConfigReader(std::string fileName, std::string baseDir, std::string& error)
        : fileName(std::move(fileName)), baseDir(std::move(baseDir)), error(error) {}

    bool read(const YAML::Node& root, FleetConfig& config);

private:
    bool fail(const YAML::Mark& at, const std::string& text) {
        error = fileName + ":" + std::to_string(at.is_null() ? 1 : at.line + 1) + ": " + text;
        return false;
    }
    // A plain value (empty for a key with nothing after it); false for a list or a map.
    bool scalar(const YAML::Node& key, const YAML::Node& value, std::string& out) {
        if (value.IsNull()) {
            out.clear();
            return true;
        }
        if (!value.IsScalar()) return fail(key.Mark(), key.Scalar() + ": expected one value, not a list or a map");
        out = value.Scalar();
        return true;
    }
    bool readNetwork(const YAML::Node& entry, MonitorOptions& o);
    std::string underBase(const std::string& path) const {
        return (fs::path(baseDir) / path).lexically_normal().string();
    }

    std::string fileName;
    std::string baseDir;
    std::string& error;
};

bool ConfigReader::readNetwork(const YAML::Node& entry, MonitorOptions& o) {
    if (!entry.IsMap()) return fail(entry.Mark(), "a network is a map of keys (name:, serial: ...)");
    bool serial = false, tcp = false, udp = false, dial = false;
    using Setter = std::function<bool(const std::string&)>;
    // Each key with what it takes; the same ranges as the command line's options.
    const std::map<std::string, std::pair<Setter, const char*>> keys = {
        {"name",
         {[&](const std::string& v) {
              o.networkName = v;
              return ValidNetworkName(v);
          },
          "a name of a-z, 0-9, _ and - (at most 64)"}},
        {"serial",
         {[&](const std::string& v) {
              serial = true;
              o.device = v;
              return !v.empty();
          },
          "a device path"}},
        // An empty address is taken from the network file, as on the command line.
        {"tcp",
         {[&](const std::string& v) {
              tcp = true;
              return ParseMonitorHostPort(v, o.host, o.port);
          },
          "HOST:PORT"}},
        {"udp",
         {[&](const std::string& v) {
              udp = true;
              return ParseMonitorHostPort(v, o.host, o.port);
          },
          "HOST:PORT"}},
        {"password",
         {[&](const std::string& v) {
              o.hasPassword = true;
              o.password = v;
              return true;
          },
          "text"}},
        {"dial",
         {[&](const std::string& v) {
              dial = true;
              o.dialNumber = v;
              return !v.empty();
          },
          "a phone number"}},
        {"network_file",
         {[&](const std::string& v) {
              o.networkFile = v;
              return !v.empty();
          },
          "a file name"}},
        {"mode",
         {[&](const std::string& v) {
              o.hasMode = true;
              o.sequential = v == "sequential";
              return v == "sequential" || v == "random";
          },
          "random or sequential"}},
        {"interval",
         {[&](const std::string& v) {
              o.hasInterval = true;
              return ParseMonitorSeconds(v, 0, 3600, o.intervalSeconds);
          },
          "seconds, 0 to 3600"}},
        {"alarm_time",
         {[&](const std::string& v) { return ParseMonitorSeconds(v, 1, 86400, o.alarmTimeSeconds); },
          "seconds, 1 to 86400"}},
        {"reconnect",
         {[&](const std::string& v) { return ParseMonitorSeconds(v, 0, 86400, o.reconnectSeconds); },
          "seconds, 0 to 86400"}},
    };
    std::set<std::string> given;
    for (auto it = entry.begin(); it != entry.end(); ++it) {
        const std::string key = it->first.Scalar();
        const auto found = keys.find(key);
        if (found == keys.end())
            return fail(it->first.Mark(), "unknown key " + key +
                                              " (a network has name, serial, tcp, udp, password, "
                                              "dial, network_file, mode, interval, alarm_time, reconnect)");
        if (!given.insert(key).second) return fail(it->first.Mark(), key + " given twice");
        std::string value;
        if (!scalar(it->first, it->second, value)) return false;
        if (!found->second.first(value))
            return fail(it->first.Mark(), key + ": expected " + found->second.second + ", not \"" + value + "\"");
    }
    const YAML::Mark at = entry.Mark();
    if (!given.count("name")) return fail(at, "a network without a name");
    const std::string who = "network " + o.networkName + ": ";
    const int links = int(serial && !dial) + int(tcp) + int(udp) + int(dial);
    if (links != 1) return fail(at, who + "give exactly one link: serial, tcp, udp, or dial with serial");
    if (dial && !serial) return fail(at, who + "dial needs serial: the modem's device");
    if (o.hasPassword && !udp) return fail(at, who + "password is for udp only");
    o.link = dial ? MonitorLink::dialup : tcp ? MonitorLink::tcp : udp ? MonitorLink::udp : MonitorLink::serial;
    if ((tcp || udp) && (o.host.empty() || o.port.empty()) && o.networkFile.empty())
        return fail(at, who + MonitorLinkName(o.link) + " needs HOST:PORT or a network_file with the address");
    return true;
}

bool ConfigReader::read(const YAML::Node& root, FleetConfig& config) {
    if (root.IsNull()) return fail(root.Mark(), "no networks: list them under networks:");
    if (!root.IsMap()) return fail(root.Mark(), "expected keys metrics, work, modbus, modbus_allow and networks");
    std::string work = ".";
    YAML::Node networks;
    std::set<std::string> given;
    for (auto it = root.begin(); it != root.end(); ++it) {
        const std::string key = it->first.Scalar();
        const YAML::Mark at = it->first.Mark();
        if (!given.insert(key).second) return fail(at, key + " given twice");
        std::string value;
        if (key == "networks") {
            if (!it->second.IsSequence()) return fail(at, "networks: expected a list of networks (- name: ...)");
            networks = it->second;
        } else if (key == "modbus_allow") {
            const YAML::Node list = it->second;
            if (!list.IsSequence()) return fail(at, "modbus_allow: expected a list of client addresses");
            for (const YAML::Node& client : list) {
                if (!client.IsScalar() || !IsNumericAddress(client.Scalar()))
                    return fail(client.Mark(), "modbus_allow: expected IPv4 or IPv6 addresses, not \"" +
                                                   (client.IsScalar() ? client.Scalar() : "a list or map") + "\"");
                config.modbusAllowed.push_back(client.Scalar());
            }
        } else if (key == "metrics" || key == "modbus") {
            if (!scalar(it->first, it->second, value)) return false;
            if (!IsListenAddress(value)) return fail(at, key + ": expected ADDRESS:PORT, not \"" + value + "\"");
            (key == "metrics" ? config.metricsAddress : config.modbusAddress) = value;
        } else if (key == "work") {
            if (!scalar(it->first, it->second, work)) return false;
            if (work.empty()) return fail(at, "work: expected a folder");
        } else {
            return fail(at, "unknown key " + key + " (the file has metrics, work, modbus, modbus_allow, networks)");
        }
    }
    if (!config.modbusAllowed.empty() && config.modbusAddress.empty())
        return fail(root["modbus_allow"].Mark(), "modbus_allow needs modbus: ADDRESS:PORT");
    if (!networks || networks.size() == 0) return fail(root.Mark(), "no networks: list them under networks:");
    if (!config.modbusAddress.empty() && networks.size() > kMaxModbusUnits)
        return fail(networks.Mark(), "at most " + std::to_string(kMaxModbusUnits) + " networks, one Modbus unit each");
    config.workDir = underBase(work);

    std::map<std::string, std::string> devices;  // a serial device, by the network that has it
    for (const YAML::Node& entry : networks) {
        MonitorOptions o;
        if (!readNetwork(entry, o)) return false;
        for (const MonitorOptions& other : config.networks)
            if (other.networkName == o.networkName)
                return fail(entry.Mark(), "network " + o.networkName + " listed twice (names are folders and labels)");
        // Two networks on one port would fight over it.
        if (!o.device.empty()) {
            const auto [holder, fresh] = devices.emplace(o.device, o.networkName);
            if (!fresh)
                return fail(entry.Mark(),
                            "network " + o.networkName + ": " + o.device + " is network " + holder->second + "'s");
        }
        o.workDir = (fs::path(config.workDir) / o.networkName).string();
        if (!o.networkFile.empty()) o.networkFile = (fs::path(o.workDir) / o.networkFile).lexically_normal().string();
        config.networks.push_back(std::move(o));
    }
    return true;
}

}  // namespace

bool ParseFleetConfig(const std::string& text, const std::string& fileName, const std::string& baseDir,
                      FleetConfig& config, std::string& error) {
    config = FleetConfig{};
    YAML::Node root;
    try {
        root = YAML::Load(text);
    } catch (const YAML::Exception& e) {
        error = fileName + ":" + std::to_string(e.mark.is_null() ? 1 : e.mark.line + 1) + ": " + e.msg;
        return false;
    }
    ConfigReader reader(fileName, baseDir, error);
    try {
        if (reader.read(root, config)) return true;
    } catch (const YAML::Exception& e) {
        // Not expected from a tree already parsed; said plainly all the same.
        error = fileName + ":" + std::to_string(e.mark.is_null() ? 1 : e.mark.line + 1) + ": " + e.msg;
    }
    config = FleetConfig{};
    return false;
}

bool ReadFleetConfig(const std::string& path, FleetConfig& config, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text, error)) return false;
    std::error_code ignored;
    return ParseFleetConfig(text, path, fs::current_path(ignored).string(), config, error);
}
