// The EEPROM setup parameters a radio holds, by row, with their addresses.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace radiosim {

inline constexpr uint16_t kEepromBase = 0x0D80;
inline constexpr int kSetupRows = 39;
inline constexpr int kOldTypeRows = 34;

struct SetupRow {
    const char* name;
    int offset;
};

extern const std::array<SetupRow, kSetupRows> kSetupTable;

// Address of a row: base + offset, as a 16-bit value (offsets may be negative).
uint16_t RowAddress(int row);

// Row of an address among the first rowCount rows, if any.
std::optional<int> RowOfAddress(uint16_t address, int rowCount = kSetupRows);

// New-type radios carry rows 34..38 and the 32.5 V voltage scale.
bool IsNewType(uint32_t serial);
inline int RowCount(uint32_t serial) { return IsNewType(serial) ? kSetupRows : kOldTypeRows; }

// Named rows the simulator gives particular values.
enum Row : int {
    kModemMode = 0,
    kBaudRate = 1,
    kBaudHigh = 2,
    kXmitPower = 13,
    kRadioIdHigh = 29,
    kRadioIdLow = 30,
    kRadioIdSuper = 33,
    kXmitPowerCal = 38,
};

}  // namespace radiosim
