#include "model/setup_table.h"

namespace {

constexpr int kEepromBase = 0x0D80;
constexpr int kTableRows = 39;

constexpr SetupParameter kParameters[kTableRows] = {
    {"Modem Mode      ", 0},     {"Baud Rate       ", 1},     {"Baud High Byte  ", 20},
    {"RS232 Mode      ", 21},    {"MODBus RTU      ", 435},   {"Retry TimeOut   ", 2},
    {"Xtal Tune       ", 3},     {"SlicerThreshold ", 4},     {"Frequency       ", 5},
    {"Freqkey         ", 6},     {"Max Packet Size ", 7},     {"RF Data Rate    ", 8},
    {"Min Packet Size ", 9},     {"Xmit Power      ", 11},    {"RTS/CTS Control ", 146},
    {"Hop table size  ", 437},   {"Number Repeaters", 14},    {"Master Repeat   ", 15},
    {"Max Slave Retry ", 16},    {"Retry Odds      ", 17},    {"DTR Connect     ", 18},
    {"Repeater Freq   ", 19},    {"LowPower        ", 441},   {"PPS Enable      ", 438},
    {"Slave/Repeater  ", 442},   {"Master Sync     ", 431},   {"Network ID High ", 449},
    {"Network ID Low  ", 430},   {"SubNet ID       ", 446},   {"Radio ID High   ", 447},
    {"Radio ID low    ", 448},   {"Freq Table      ", 143},   {"Diagnostics     ", 444},
    {"Radio ID Super  ", 450},   {"Reflected  Power", 1148},  {"High Noise      ", -2419},
    {"Turn On Delay   ", -2417}, {"Turn Off Delay  ", -2400}, {"Xmit Power Cal. ", -2418},
};

}  // namespace

void FillSetupParameterTable(SetupState& setup) {
    for (auto& row : setup.table.rows) row = SetupParameter{};  // slots 39 and 40 stay empty
    for (int i = 0; i < kTableRows; ++i) setup.table.rows[static_cast<size_t>(i)] = kParameters[i];
}

uint16_t AddressOfRow(const SetupState& setup, int row) {
    if (row < 0 || row >= static_cast<int>(setup.table.rows.size())) return kEepromBase;
    return static_cast<uint16_t>((kEepromBase + setup.table.rows[static_cast<size_t>(row)].offset) & 0xFFFF);
}

int RowOfAddress(const SetupState& setup, int address) {
    const int offset = address - kEepromBase;
    int count = setup.setupParamCount;
    if (count > static_cast<int>(setup.table.rows.size())) count = static_cast<int>(setup.table.rows.size());
    for (int i = 0; i < count; ++i)
        if (setup.table.rows[static_cast<size_t>(i)].offset == offset) return i;
    return -1;
}

int SetupParamCountForSerial(uint32_t serial) {
    if (serial > 9110000 || serial == 0 || (serial > 2410000 && serial < 2420000)) return 39;
    return 34;
}

bool RowIsChangeable(int row) {
    if (row < 0 || row >= kTableRows) return false;
    return row != 6 && row != 7 && row != 8 && row != 34 && row != 38;
}
