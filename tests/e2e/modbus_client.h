#pragma once
#include <string>
#include <vector>

// What a real Modbus client (mbpoll) read: the registers, or the failure it printed.
struct ModbusRead {
    std::vector<int> registers;  // raw 16-bit values
    std::string failure;
};

// Reads `count` holding registers from `first` of `unit` at 127.0.0.1:port, or
// writes `write` to `first` when given.
ModbusRead Mbpoll(int port, int unit, int first, int count, const std::string& write = "");

class MonitorProcess;
// The port of the monitor's "modbus at ADDRESS:PORT, ..." line, 0 when it has none.
int ModbusPort(MonitorProcess& monitor);
// Waits up to 10 s for that line; its port, 0 when it did not come.
int StartedModbusPort(MonitorProcess& monitor);
