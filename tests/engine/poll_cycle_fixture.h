#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/poll_cycle.h"
#include "model/program.h"
#include "model/setup_table.h"
#include "platform/clock.h"
#include "platform/live_listener.h"
#include "protocol/ring.h"
#include "support/frames.h"
#include "support/scripted_host.h"
#include "support/test_program.h"

using Frame = std::vector<uint8_t>;

inline Frame Request(uint8_t type, uint32_t serial, uint8_t b5, uint8_t b6) {
    return AppendXor({type, uint8_t(serial >> 16), uint8_t(serial >> 8), uint8_t(serial), 0, b5, b6});
}

// A diagnostics reply (0xF8 read, 0xF9 write) without hops.
inline Frame DiagnosticsReply(uint8_t type, uint32_t serial, uint16_t address, uint8_t value) {
    return AppendXor({type, uint8_t(address >> 8), uint8_t(address), 0x40, uint8_t(serial >> 16),
                      uint8_t(serial >> 8), uint8_t(serial), 0, 0xF0, 0x50, 0x20, 0, 0, 0x80, 0x90,
                      0x10, value, 0x21, 0x16, 0x00});
}

// A program polling on the serial path with no port open: requests land in the
// ring, and each tick the test drains it as the writer thread would.
class PollCycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.setTimeOfDay(10, 0, 0);
        program = MakeTestProgram(clock, live, &replies);
        program->network.radios[0].serialNumber = 0x123456;
    }

    void AddRadios(std::initializer_list<uint32_t> serials) {
        for (uint32_t s : serials) {
            auto& n = program->network;
            ++n.radioCount;
            n.radios[static_cast<size_t>(n.radioCount)].serialNumber = s;
        }
    }

    // One tick, then the writer thread's drain; returns the request that left, if any.
    Frame Tick() {
        PollTick(*program, host);
        clock.advanceMs(100);
        Frame out;
        RingDrainLink(program->link.transmit, [&](const uint8_t* b, int n) {
            out.insert(out.end(), b, b + n);
            return n;
        });
        if (!out.empty()) {
            sent.push_back(out);
            if (radio) radio(out);
        }
        return out;
    }

    // Which of the next `count` ticks sent a request.
    std::vector<int> SendingTicks(int count) {
        std::vector<int> out;
        for (int i = 1; i <= count; ++i)
            if (!Tick().empty()) out.push_back(i);
        return out;
    }

    // Ticks until a request leaves (at most `limit` ticks); empty when none did.
    Frame NextRequest(int limit = 40) {
        for (int i = 0; i < limit; ++i) {
            Frame f = Tick();
            if (!f.empty()) return f;
        }
        return {};
    }

    ManualClock clock;
    RecordingLiveListener live;
    ScriptedHost host;
    VectorByteSource replies;
    std::unique_ptr<Program> program;
    std::vector<Frame> sent;
    // Called with every request that left; may feed replies.
    std::function<void(const Frame&)> radio;
};
