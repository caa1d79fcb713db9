#pragma once
#include <cstdint>
#include <span>

#include "monitor/monitor_snapshot.h"

// The Modbus register map of one network: a few network registers, then twenty
// per table slot. Values are the snapshot's, rounded to each register's unit.
namespace modbus_map {
constexpr uint16_t kVersion = 1;
constexpr int kNetworkRegisters = 10;  // 0..9
constexpr int kFirstRadio = 100;
constexpr int kPerRadio = 20;
constexpr int kSlots = 2047;
constexpr int kEnd = kFirstRadio + kPerRadio * kSlots;  // one past the last register
constexpr uint16_t kUnknownSigned = 0x8000;
constexpr uint16_t kUnknownUnsigned = 0xFFFF;
}  // namespace modbus_map

// True when every register of [first, first + count) is in the map.
bool InModbusMap(int first, int count);

// Fills `out` with registers first .. first + out.size() - 1 (all in the map).
void FillModbusRegisters(const MonitorSnapshot& snapshot, int first, std::span<uint16_t> out);
