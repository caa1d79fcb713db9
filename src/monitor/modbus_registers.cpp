#include "monitor/modbus_registers.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace modbus_map;

uint16_t Signed(double value) {
    const long v = std::lround(value);
    // 0x8000 means "not known": a real value never reads as it.
    return static_cast<uint16_t>(static_cast<int16_t>(std::clamp<long>(v, -32767, 32767)));
}

uint16_t Unsigned(double value, long cap = 65534) {
    return static_cast<uint16_t>(std::clamp<long>(std::lround(value), 0, cap));
}

uint16_t NetworkRegister(const MonitorSnapshot& s, int n) {
    switch (n) {
    case 0: return kVersion;
    case 1: return static_cast<uint16_t>(s.radios.size());
    case 2: return s.linkUp ? 1 : 0;
    case 3: return s.masterSeen ? Unsigned(s.masterAgeSeconds) : kUnknownUnsigned;
    default: return 0;
    }
}

uint16_t RadioRegister(const RadioSnapshot& r, int n) {
    switch (n) {
    case 0: return static_cast<uint16_t>(r.serial >> 16);
    case 1: return static_cast<uint16_t>(r.serial & 0xFFFF);
    case 13: return r.repeaterNumber;
    case 18:
    case 19: return 0;
    default: break;
    }
    if (!r.replied) return n == 3 || n == 4 || n == 6 || n == 7 ? kUnknownSigned : kUnknownUnsigned;
    switch (n) {
    case 2: return Unsigned(r.ageSeconds);
    case 3: return Signed(r.signal);
    case 4: return Signed(r.noise);
    case 5: return Unsigned(r.goodRatio * 1000, 1000);
    case 6: return Signed(r.ppm * 10);
    case 7: return Signed(r.temperatureC);
    case 8: return Unsigned(r.volts * 10);
    case 9: return Unsigned(r.km * 100);
    case 10: return static_cast<uint16_t>(r.disconnects & 0xFFFF);
    case 11: return Unsigned(r.pollRatio * 1000, 1000);
    case 12: return r.alarmRules;
    default: return r.pathRepeater[static_cast<size_t>(n - 14)];  // 14..17
    }
}

}  // namespace

bool InModbusMap(int first, int count) {
    if (count < 1 || first < 0) return false;
    const int last = first + count - 1;
    return last < kNetworkRegisters || (first >= kFirstRadio && last < kEnd);
}

void FillModbusRegisters(const MonitorSnapshot& snapshot, int first, std::span<uint16_t> out) {
    for (size_t i = 0; i < out.size(); ++i) {
        const int reg = first + static_cast<int>(i);
        if (reg < kFirstRadio) {
            out[i] = NetworkRegister(snapshot, reg);
            continue;
        }
        const size_t slot = static_cast<size_t>((reg - kFirstRadio) / kPerRadio);
        // A slot past the table's end reads as all zero (serial 0: empty).
        out[i] = slot < snapshot.radios.size() ? RadioRegister(snapshot.radios[slot], (reg - kFirstRadio) % kPerRadio)
                                               : 0;
    }
}
