#include "eeprom.h"

#include <algorithm>

namespace radiosim {

uint8_t Eeprom::get(uint16_t address) const {
    auto it =
        std::lower_bound(cells.begin(), cells.end(), address, [](const auto& c, uint16_t a) { return c.first < a; });
    return it != cells.end() && it->first == address ? it->second : 0xFF;
}

void Eeprom::set(uint16_t address, uint8_t value) {
    auto it =
        std::lower_bound(cells.begin(), cells.end(), address, [](const auto& c, uint16_t a) { return c.first < a; });
    if (it != cells.end() && it->first == address)
        it->second = value;
    else
        cells.insert(it, {address, value});
}

Eeprom DefaultEeprom(Role role, uint32_t serial, int radioId, const NetworkSettings& net, std::mt19937& rng) {
    auto pick = [&rng](int lo, int hi) {
        return static_cast<uint8_t>(std::uniform_int_distribution<int>(lo, hi)(rng));
    };
    const bool newType = IsNewType(serial);
    const uint8_t calibration = pick(150, 230);

    uint8_t values[kSetupRows] = {};
    values[kModemMode] = role == Role::Master ? 2 : role == Role::Repeater ? 7 : 3;
    values[kBaudRate] = 4;  // with the high byte 0: 115200 baud
    values[kBaudHigh] = 0;
    values[3] = 0x10;                                   // RS232 Mode
    values[4] = 0;                                      // MODBus RTU off
    values[5] = 20;                                     // Retry TimeOut
    values[6] = pick(110, 150);                         // Xtal Tune, factory set
    values[7] = pick(18, 30);                           // SlicerThreshold, factory set
    values[8] = 2;                                      // Frequency
    values[9] = net.freqKey;
    values[10] = 9;                                     // Max Packet Size
    values[11] = 3;                                     // RF Data Rate
    values[12] = 1;                                     // Min Packet Size
    values[kXmitPower] = newType ? calibration : static_cast<uint8_t>(12 + 27 * 8);
    values[14] = 0;                                     // RTS/CTS Control
    values[15] = 112;                                   // Hop table size
    values[16] = net.repeaterCount > 0 ? 1 : 0;         // Number Repeaters
    values[17] = 0;                                     // Master Repeat
    values[18] = 9;                                     // Max Slave Retry
    values[19] = 9;                                     // Retry Odds
    values[20] = 0;                                     // DTR Connect
    values[21] = role == Role::Repeater ? 1 : 0;        // Repeater Freq
    values[22] = 0;                                     // LowPower
    values[23] = 0;                                     // PPS Enable
    values[24] = role == Role::Repeater ? 1 : 0;        // Slave/Repeater
    values[25] = 0;                                     // Master Sync
    values[26] = net.networkIdHigh;
    values[27] = net.networkIdLow;
    values[28] = 0x00;                                  // SubNet ID: RX 0, TX 0
    values[kRadioIdHigh] = static_cast<uint8_t>(radioId >> 8);
    values[kRadioIdLow] = static_cast<uint8_t>(radioId);
    values[31] = 0;                                     // Freq Table
    values[32] = 1;                                     // Diagnostics on
    values[kRadioIdSuper] = 0xFF;                       // no extension of the ID
    values[34] = pick(2, 12);                           // Reflected Power, measured
    values[35] = pick(30, 60);                          // High Noise
    values[36] = 2;                                     // Turn On Delay
    values[37] = 2;                                     // Turn Off Delay
    values[kXmitPowerCal] = calibration;

    Eeprom e;
    const int rows = RowCount(serial);
    for (int row = 0; row < rows; ++row) e.set(RowAddress(row), values[row]);
    return e;
}

uint8_t SetupMemory::read(uint16_t address) {
    lastRead = address;
    return eeprom.get(address);
}

uint16_t SetupMemory::write(uint8_t value, int64_t nowMs) {
    pendingWrite = PendingWrite{lastRead, value, nowMs};
    return lastRead;
}

std::optional<PendingWrite> SetupMemory::store(uint16_t address) {
    if (!pendingWrite || pendingWrite->address != address) return std::nullopt;
    auto done = pendingWrite;
    eeprom.set(done->address, done->value);
    pendingWrite.reset();
    return done;
}

std::optional<PendingWrite> SetupMemory::reset() {
    auto lost = pendingWrite;
    pendingWrite.reset();
    lastRead = kEepromBase;
    return lost;
}

}  // namespace radiosim
