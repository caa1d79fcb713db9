#pragma once
#include <string>
#include <vector>

// How the monitor reaches the master radio.
enum class MonitorLink { serial, tcp, udp, dialup };

struct MonitorOptions {
    MonitorLink link = MonitorLink::serial;
    std::string device;      // --serial (also the modem's port for --dial)
    int comPort = 0;         // --com N: "ComN"
    std::string host;        // --tcp / --udp HOST (empty: from the network file)
    std::string port;
    bool hasPassword = false;
    std::string password;
    std::string dialNumber;
    std::string networkFile;
    bool hasMode = false;     // --mode given; otherwise as the window: sequential after a network file
    bool sequential = false;  // --mode sequential
    bool hasInterval = false;
    double intervalSeconds = 0.2;
    double alarmTimeSeconds = 60;
    std::string metricsAddress;  // "ADDRESS:PORT", empty: no exporter
    std::string workDir;         // empty: the current folder
    double reconnectSeconds = 10;
    double durationSeconds = 0;  // 0: until stopped
    std::string modbusAddress;   // "ADDRESS:PORT", empty: no Modbus door
    std::vector<std::string> modbusAllowed;  // empty: any client
    std::string webConfigFile;               // --web.config.file: who may read the metrics, TLS
    std::string networkName = "default";     // --name: the network label (and Modbus unit 1)
    std::string configFile;                  // --config: the networks come from this file
};

// Reads the command line (without the program name). Returns false with a
// one-line reason in `error`; `help` is set for --help.
bool ParseMonitorOptions(const std::vector<std::string>& args, MonitorOptions& options, std::string& error,
                         bool& help);
const char* MonitorUsage();
// "serial", "tcp", "udp", "dialup"
const char* MonitorLinkName(MonitorLink link);

// Shared with the config file, so both read values alike.
// Seconds as a plain number within [low, high].
bool ParseMonitorSeconds(const std::string& text, double low, double high, double& out);
// "HOST:PORT", ":PORT" or "PORT" ("[::1]:PORT" for IPv6); the host may be empty.
bool ParseMonitorHostPort(const std::string& text, std::string& host, std::string& port);
// [a-z0-9_-]+, at most 64 characters: a label value and a folder name alike.
bool ValidNetworkName(const std::string& name);
