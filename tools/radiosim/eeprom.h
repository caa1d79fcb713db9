// A radio's EEPROM and the read / write / store exchange that changes it.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "setup_table.h"

namespace radiosim {

enum class Role { Master, Slave, Repeater };

// Sparse byte memory: only the setup parameters are ever written; the rest
// reads as erased (0xFF), as an untouched EEPROM cell would.
class Eeprom {
public:
    uint8_t get(uint16_t address) const;
    void set(uint16_t address, uint8_t value);
    size_t size() const { return cells.size(); }

private:
    std::vector<std::pair<uint16_t, uint8_t>> cells;  // sorted by address
};

// Values shared by every radio of one network.
struct NetworkSettings {
    uint8_t freqKey = 5;
    uint8_t networkIdHigh = 0x12;
    uint8_t networkIdLow = 0x34;
    uint8_t repeaterCount = 0;
};

// Sensible setup values for a radio of the given role and type.
Eeprom DefaultEeprom(Role role, uint32_t serial, int radioId, const NetworkSettings& net, std::mt19937& rng);

struct PendingWrite {
    uint16_t address = 0;
    uint8_t value = 0;
    int64_t sinceMs = 0;
};

// A radio remembers the address it was last asked to read; a write changes
// that address, but only in a pending copy until a store commits it.
class SetupMemory {
public:
    SetupMemory() = default;
    explicit SetupMemory(Eeprom eeprom) : eeprom(std::move(eeprom)) {}

    uint8_t read(uint16_t address);
    // Returns the address the value is pending for.
    uint16_t write(uint8_t value, int64_t nowMs);
    // Commits the pending value if it is for this address; the committed write, if any.
    std::optional<PendingWrite> store(uint16_t address);
    // A reset loses what was not stored; returns the lost write.
    std::optional<PendingWrite> reset();

    uint16_t lastReadAddress() const { return lastRead; }
    const std::optional<PendingWrite>& pending() const { return pendingWrite; }
    const Eeprom& memory() const { return eeprom; }

private:
    Eeprom eeprom;
    uint16_t lastRead = kEepromBase;
    std::optional<PendingWrite> pendingWrite;
};

}  // namespace radiosim
