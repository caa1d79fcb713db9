#include "monitor/modbus_registers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint16_t> Read(const MonitorSnapshot& s, int first, int count) {
    std::vector<uint16_t> out(static_cast<size_t>(count), 0x1234);
    FillModbusRegisters(s, first, out);
    return out;
}

TEST(ModbusRegisters, MapBoundsFollowTheRegisterTable) {
    struct Case {
        int first, count;
        bool in;
    } cases[] = {{0, 10, true},    {9, 1, true},     {9, 2, false},      {99, 1, false}, {100, 125, true},
                 {41039, 1, true}, {41039, 2, false}, {41040, 1, false}, {0, 0, false},  {-1, 1, false}};
    for (const Case& c : cases) EXPECT_EQ(InModbusMap(c.first, c.count), c.in) << c.first << "+" << c.count;
}

TEST(ModbusRegisters, ValuesAreScaledRoundedAndClamped) {
    MonitorSnapshot s;
    s.linkUp = true;
    s.radios.resize(2);
    RadioSnapshot& r = s.radios[0];
    r.serial = 0x8B01F5;
    r.repeaterNumber = 3;
    r.replied = true;
    r.ageSeconds = 1e6;  // capped below "never"
    r.signal = -40000;   // never reads as "not known"
    r.noise = -5;
    r.goodRatio = 0.9766;
    r.ppm = -1.26;
    r.temperatureC = -12;
    r.volts = 13.06;
    r.km = 4.217;
    r.disconnects = 65537;
    r.pollRatio = 1.5;
    r.alarmRules = kAlarmFrequency | kAlarmReplyAge;
    r.pathRepeater = {0, 3, 7, 0};
    s.radios[1].serial = 77;  // in the table, never replied

    EXPECT_EQ(Read(s, 0, 10), (std::vector<uint16_t>{1, 2, 1, 0xFFFF, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Read(s, 100, 20),
              (std::vector<uint16_t>{0x8B, 0x01F5, 65534, uint16_t(-32767), uint16_t(-5), 977, uint16_t(-13),
                                     uint16_t(-12), 131, 422, 1, 1000, 6, 3, 0, 3, 7, 0, 0, 0}));
    EXPECT_EQ(Read(s, 120, 20),
              (std::vector<uint16_t>{0, 77, 0xFFFF, 0x8000, 0x8000, 0xFFFF, 0x8000, 0x8000, 0xFFFF, 0xFFFF, 0xFFFF,
                                     0xFFFF, 0xFFFF, 0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0}));
    // Past the table's end: an empty slot.
    EXPECT_EQ(Read(s, 140, 3), (std::vector<uint16_t>{0, 0, 0}));
}

}  // namespace
