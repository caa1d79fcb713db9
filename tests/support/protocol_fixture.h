#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/derived_values.h"
#include "model/program.h"
#include "model/setup_table.h"
#include "platform/clock.h"
#include "protocol/protocol.h"
#include "support/frames.h"
#include "support/test_program.h"

// A program reading replies from bytes the test feeds, with a hand-set clock and
// a live listener that writes down what the window would be told.
class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.set(LocalTime{2024, 5, 17, 12, 0, 0, 0});
        p = MakeTestProgram(clock, live, &source);
        p->network.runStartSeconds = SecondsClock(clock.now());
        p->display.screenNumber = 0;
        p->network.firstVisibleRow = 1;
        p->network.lastVisibleRow = 40;
    }

    // Feeds bytes and runs one tick's reading.
    void deliver(const std::vector<uint8_t>& bytes) {
        source.feed(bytes);
        ReadReplies(*p);
    }
    void deliverHex(std::string_view hex) { deliver(HexFrame(hex)); }

    int errorCode() const { return p->errors.lastCode; }
    int errorValue() const { return p->errors.lastValue; }
    int errorCount() const { return p->errors.count; }
    RadioRecord& radio(int i) { return p->network.radios[size_t(i)]; }

    // Adds radios 1..n with serials `first`, `first` + 1, ...
    void addRadios(int n, uint32_t first) {
        for (int i = 1; i <= n; ++i) p->network.radios[size_t(i)].serialNumber = first + uint32_t(i - 1);
        p->network.radioCount = n;
    }

    ManualClock clock;
    RecordingLiveListener live;
    VectorByteSource source;
    std::unique_ptr<Program> p;
};

// A diagnostics reply (F8 read echo, F9 write echo) with up to 7 hop records
// {serial, signal byte, distance word}; XOR appended.
struct Hop {
    uint32_t serial;
    uint8_t signal;
    uint16_t distance;
};
inline std::vector<uint8_t> Diagnostics(uint8_t type, uint16_t address, uint32_t serial, uint8_t value,
                                        const std::vector<Hop>& hops = {}, uint16_t distance = 0x1600) {
    std::vector<uint8_t> f = {type,
                              uint8_t(address >> 8),
                              uint8_t(address),
                              0x46,  // link signal 70 + 16
                              uint8_t(serial >> 16),
                              uint8_t(serial >> 8),
                              uint8_t(serial),
                              uint8_t(hops.size()),
                              0xC8,  // good packets 200
                              0x3A,  // signal 42 + 16
                              0x1F,  // noise 15 + 16
                              0xB3,  // line status: RTS, CTS, DTR set, counter 3
                              0x00,
                              0x80,  // temperature
                              0x9A,  // voltage
                              0x40,  // frequency counter 64
                              value,
                              0x21};  // revision
    for (const Hop& h : hops) {
        f.insert(f.end(), {uint8_t(h.serial >> 16), uint8_t(h.serial >> 8), uint8_t(h.serial), h.signal,
                           uint8_t(h.distance >> 8), uint8_t(h.distance)});
    }
    f.push_back(uint8_t(distance >> 8));
    f.push_back(uint8_t(distance));
    return AppendXor(f);
}
