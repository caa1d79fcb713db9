#pragma once
#include <string>
#include <vector>

#include "monitor/monitor_options.h"

// The networks one monitor polls, as its config file lists them.
struct FleetConfig {
    std::string metricsAddress;              // "ADDRESS:PORT", empty: no exporter
    std::string workDir;                     // absolute; network <name> writes in workDir/<name>/
    std::string modbusAddress;               // "ADDRESS:PORT", empty: no Modbus door
    std::vector<std::string> modbusAllowed;  // empty: any client
    // In file order, which is also the order of the Modbus units 1, 2, ... Each holds
    // its name, link, settings, its own work folder and its network file's full path.
    std::vector<MonitorOptions> networks;
};

// Reads the YAML text of a config file named `fileName` (for messages). Relative
// folders count from `baseDir`. False with "FILE:LINE: reason" in `error`.
bool ParseFleetConfig(const std::string& text, const std::string& fileName, const std::string& baseDir,
                      FleetConfig& config, std::string& error);
// The same from a file, relative folders counting from the current one.
bool ReadFleetConfig(const std::string& path, FleetConfig& config, std::string& error);
