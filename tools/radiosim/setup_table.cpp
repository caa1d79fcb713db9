#include "setup_table.h"

namespace radiosim {

const std::array<SetupRow, kSetupRows> kSetupTable = {{
    {"Modem Mode", 0},         {"Baud Rate", 1},          {"Baud High Byte", 20},
    {"RS232 Mode", 21},        {"MODBus RTU", 435},       {"Retry TimeOut", 2},
    {"Xtal Tune", 3},          {"SlicerThreshold", 4},    {"Frequency", 5},
    {"Freqkey", 6},            {"Max Packet Size", 7},    {"RF Data Rate", 8},
    {"Min Packet Size", 9},    {"Xmit Power", 11},        {"RTS/CTS Control", 146},
    {"Hop table size", 437},   {"Number Repeaters", 14},  {"Master Repeat", 15},
    {"Max Slave Retry", 16},   {"Retry Odds", 17},        {"DTR Connect", 18},
    {"Repeater Freq", 19},     {"LowPower", 441},         {"PPS Enable", 438},
    {"Slave/Repeater", 442},   {"Master Sync", 431},      {"Network ID High", 449},
    {"Network ID Low", 430},   {"SubNet ID", 446},        {"Radio ID High", 447},
    {"Radio ID low", 448},     {"Freq Table", 143},       {"Diagnostics", 444},
    {"Radio ID Super", 450},   {"Reflected  Power", 1148}, {"High Noise", -2419},
    {"Turn On Delay", -2417},  {"Turn Off Delay", -2400}, {"Xmit Power Cal.", -2418},
}};

uint16_t RowAddress(int row) {
    return static_cast<uint16_t>((kEepromBase + kSetupTable.at(static_cast<size_t>(row)).offset) & 0xFFFF);
}

std::optional<int> RowOfAddress(uint16_t address, int rowCount) {
    for (int i = 0; i < rowCount && i < kSetupRows; ++i)
        if (RowAddress(i) == address) return i;
    return std::nullopt;
}

bool IsNewType(uint32_t serial) { return serial > 9110000 || (serial > 2410000 && serial < 2420000); }

}  // namespace radiosim
