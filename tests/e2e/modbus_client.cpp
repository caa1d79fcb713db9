#include "e2e/modbus_client.h"

#include <cstdio>
#include <regex>

#include "e2e/monitor_process.h"

ModbusRead Mbpoll(int port, int unit, int first, int count, const std::string& write) {
    std::string command = "mbpoll -m tcp -p " + std::to_string(port) + " -a " + std::to_string(unit) + " -r " +
                          std::to_string(first) + (write.empty() ? " -c " + std::to_string(count) : "") +
                          " -0 -1 -t 4:hex 127.0.0.1 " + write + " 2>&1";
    ModbusRead out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {{}, "popen"};
    char line[256];
    static const std::regex value(R"(^\[(\d+)\]:\s+0x([0-9A-Fa-f]+))");
    while (std::fgets(line, sizeof line, pipe)) {
        std::cmatch m;
        const std::string text = line;
        if (std::regex_search(line, m, value))
            out.registers.push_back(std::stoi(m[2], nullptr, 16));
        else if (text.find("failed") != std::string::npos || text.find("mbpoll:") != std::string::npos)
            out.failure = text;
    }
    pclose(pipe);
    return out;
}

int StartedModbusPort(MonitorProcess& monitor) {
    return monitor.waitForLine("modbus at", 10) ? ModbusPort(monitor) : 0;
}

int ModbusPort(MonitorProcess& monitor) {
    static const std::regex address(R"(modbus at [^ ]*:(\d+),)");
    int port = 0;
    for (const auto& line : monitor.lines()) {
        std::smatch m;
        if (std::regex_search(line, m, address)) port = std::stoi(m[1]);
    }
    return port;
}
