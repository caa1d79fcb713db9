// The remote write started by Change EPROM, driven tick by tick with scripted replies:
// it must only ever talk to the radio chosen when the change was confirmed.
#include <map>
#include <string>
#include <vector>

#include "app/change_parameter.h"
#include "app/keyboard.h"
#include "engine/poll_cycle.h"
#include "engine/remote_setup.h"
#include "protocol/ring.h"
#include "support/frames.h"
#include "support/setup_fixture.h"

namespace {

using Frame = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

constexpr uint32_t kTarget = 5000002;  // radio 2
constexpr uint32_t kOther = 5000003;   // radio 3
constexpr uint32_t kMaster = 4000000;  // slot 0

uint32_t SerialOf(const Frame& f) { return (uint32_t(f[1]) << 16) | (uint32_t(f[2]) << 8) | f[3]; }
int WordOf(const Frame& f) { return f[5] * 256 + f[6]; }

Frame Serial24(uint32_t serial) {
    return {uint8_t(serial >> 16), uint8_t(serial >> 8), uint8_t(serial)};
}

// A slave's diagnostics reply without hops: 0xF8 (read) or 0xF9 (write echo).
Frame Diagnostics(uint8_t type, uint32_t serial, int address, uint8_t value) {
    Frame f = {type, uint8_t(address >> 8), uint8_t(address), 0x40};
    for (uint8_t b : Serial24(serial)) f.push_back(b);
    for (int b : {0, 200, 0x40, 0x20, 0, 0, 120, 130, 7, int(value), 3, 0x10, 0x00}) f.push_back(uint8_t(b));
    return AppendXor(f);
}

// The master's own echo: 0xF2 (read) or 0xF3 (write).
Frame MasterEcho(uint8_t type, int address, uint8_t value) {
    Frame f = {type};
    for (uint8_t b : Serial24(kMaster)) f.push_back(b);
    for (uint8_t b : {uint8_t(address >> 8), uint8_t(address), value}) f.push_back(b);
    return AppendXor(f);
}

class WriteSequence : public SetupFixture {
protected:
    WriteSequence() {
        program->replySource = &replies;
        program->poll.pollInterval = 0;  // a request leaves on every tick
        program->display.screenNumber = 2;
        program->network.radioCount = 3;
        program->network.radios[0].serialNumber = kMaster;
        program->network.master.serialNumber = int32_t(kMaster);
        program->network.radios[1].serialNumber = 5000001;
        program->network.radios[2].serialNumber = kTarget;
        program->network.radios[3].serialNumber = kOther;
        for (int r = 1; r <= 3; ++r) program->network.radios[r].pollScore = 10000;
        program->poll.pollMode = 1;
    }

    // Change EPROM on Screen2 for the selected radio: row 5 ("Retry TimeOut", 0x0D82) to 9.
    void confirmChange(int radio, int row = 5, const std::string& value = "9") {
        program->network.selectedRadio = radio;
        host.answer(true, std::to_string(row));
        host.answer(true, value);
        ChangeSetupParameter(*program, host);
        ASSERT_GE(program->poll.pollMode, 60);
        sent.clear();
    }

    // One timer tick; what it sent goes to `sent`, and the radios that hear it answer.
    void tick() {
        PollTick(*program, host);
        std::vector<uint8_t> bytes;
        RingDrainLink(program->link.transmit, [&](const uint8_t* b, int n) {
            bytes.insert(bytes.end(), b, b + n);
            return n;
        });
        for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            Frame f(bytes.begin() + long(i), bytes.begin() + long(i) + 8);
            sent.push_back(f);
            answer(f);
        }
    }

    // The simulated radios: a radio that is switched on echoes reads and writes.
    void answer(const Frame& f) {
        const uint32_t serial = SerialOf(f);
        auto on = radioOn.find(serial);
        if (on == radioOn.end() || !on->second) return;
        if (f[0] == 0xF8) {
            if (answersReads[serial]) queue(Diagnostics(0xF8, serial, WordOf(f), eeprom[serial][WordOf(f)]));
        } else if (f[0] == 0xF9) {
            lastWritten[serial] = f[5];
            if (answersWrites[serial]) queue(Diagnostics(0xF9, serial, lastAddress(serial, f), f[5]));
        } else if (f[0] == 0xFA) {
            eeprom[serial][WordOf(f)] = lastWritten[serial];
            ++commits[serial];
        }
    }

    // A write frame carries the value only; the radio echoes the address it was asked last.
    int lastAddress(uint32_t serial, const Frame&) {
        for (auto it = sent.rbegin(); it != sent.rend(); ++it)
            if (SerialOf(*it) == serial && (*it)[0] == 0xF8) return WordOf(*it);
        return 0;
    }

    void queue(const Frame& f) { replies.feed(f); }

    void switchOn(uint32_t serial, bool reads = true, bool writes = true) {
        radioOn[serial] = true;
        answersReads[serial] = reads;
        answersWrites[serial] = writes;
    }

    void runUntilIdle(int maxTicks = 80) {
        for (int i = 0; i < maxTicks && program->poll.pollMode >= 2; ++i) tick();
    }

    std::string types() const {
        std::string out;
        for (const auto& f : sent) out += HexText(std::span<const uint8_t>(f.data(), 1)) + " ";
        return out;
    }

    void expectEveryFrameTo(uint32_t serial) const {
        for (const auto& f : sent) EXPECT_EQ(SerialOf(f), serial) << HexText(f);
    }

    int count(uint8_t type) const {
        int n = 0;
        for (const auto& f : sent) n += f[0] == type;
        return n;
    }

    VectorByteSource replies;
    std::vector<Frame> sent;
    std::map<uint32_t, bool> radioOn, answersReads, answersWrites;
    std::map<uint32_t, std::map<int, uint8_t>> eeprom;
    std::map<uint32_t, uint8_t> lastWritten;
    std::map<uint32_t, int> commits;
};

TEST_F(WriteSequence, ContactWriteCommitAndReadBack) {
    switchOn(kTarget);
    eeprom[kTarget][0x0D82] = 4;
    confirmChange(2);
    runUntilIdle();

    EXPECT_EQ(program->poll.pollMode, 1);
    EXPECT_TRUE(host.messages().empty());
    expectEveryFrameTo(kTarget);
    // Every echo arrives one tick after its request, when the next request of the
    // stage is already built: two contact reads, two writes, six commits, two reads back.
    EXPECT_EQ(types(), "F8 F8 F9 F9 FA FA FA FA FA FA F8 F8 ");
    EXPECT_EQ(sent[0], AppendXor({0xF8, 0x4C, 0x4B, 0x42, 0x00, 0x0D, 0x82}));
    for (const auto& f : sent) {
        if (f[0] == 0xF9) {
            EXPECT_EQ(WordOf(f), 0x0909);
        } else {
            EXPECT_EQ(WordOf(f), 0x0D82);
        }
    }
    EXPECT_EQ(eeprom[kTarget][0x0D82], 9);
    EXPECT_EQ(program->network.radios[2].eepromValue[5], 9);  // read back into the cache
    EXPECT_EQ(program->poll.pendingAddress, -1);
    EXPECT_EQ(program->poll.pendingValue, -1);
}

TEST_F(WriteSequence, ArrowKeysDuringTheWriteDoNotRedirectIt) {
    switchOn(kTarget);
    switchOn(kOther);
    switchOn(5000001);
    confirmChange(2);
    const std::vector<int> keys = {40, 40, 38, 34, 33, 40, 38, 38};
    for (int key : keys) {
        OnKeyDown(*program, host, key);
        tick();
    }
    runUntilIdle();

    EXPECT_EQ(program->poll.pollMode, 1);
    EXPECT_TRUE(host.messages().empty());
    expectEveryFrameTo(kTarget);
    EXPECT_EQ(eeprom[kTarget][0x0D82], 9);
    EXPECT_EQ(commits[kOther], 0);
    EXPECT_EQ(commits[5000001], 0);
    EXPECT_EQ(lastWritten.count(kOther), 0u);
}

TEST_F(WriteSequence, EchoesOfAnotherRadioDoNotAdvanceTheContact) {
    // The target is silent; the newly selected radio echoes the very address.
    confirmChange(2);
    program->network.selectedRadio = 3;
    for (int i = 0; i < 12; ++i) {
        queue(Diagnostics(0xF8, kOther, 0x0D82, 9));
        queue(Diagnostics(0xF9, kOther, 0x0D82, 9));
        queue(MasterEcho(0xF2, 0x0D82, 9));
        queue(MasterEcho(0xF3, 0x0D82, 9));
        tick();
        if (program->poll.pollMode < 2) break;
    }
    EXPECT_EQ(count(0xF8), 8);
    EXPECT_EQ(count(0xF9), 0);
    EXPECT_EQ(count(0xFA), 0);
    expectEveryFrameTo(kTarget);
    EXPECT_EQ(host.messages(), Strings({"Error: Remote program Failed,No Comm"}));
    EXPECT_EQ(program->poll.pollMode, 1);
    EXPECT_EQ(program->poll.pendingAddress, -1);
    EXPECT_EQ(program->poll.pendingValue, -1);
}

TEST_F(WriteSequence, ReadOfAnotherAddressDoesNotAdvanceTheContact) {
    confirmChange(2);
    for (int i = 0; i < 12 && program->poll.pollMode >= 2; ++i) {
        queue(Diagnostics(0xF8, kTarget, 0x0D80, 3));  // the target, but Modem Mode
        tick();
    }
    EXPECT_EQ(count(0xF8), 8);
    EXPECT_EQ(count(0xF9), 0);
    EXPECT_EQ(program->network.radios[2].eepromValue[0], 3);  // still stored as a value
    EXPECT_EQ(host.messages(), Strings({"Error: Remote program Failed,No Comm"}));
}

TEST_F(WriteSequence, WriteEchoOfAnotherRadioOrValueNeverCommits) {
    switchOn(kTarget, /*reads=*/true, /*writes=*/false);
    confirmChange(2);
    for (int i = 0; i < 20 && program->poll.pollMode >= 2; ++i) {
        queue(Diagnostics(0xF9, kOther, 0x0D82, 9));   // another radio
        queue(Diagnostics(0xF9, kTarget, 0x0D82, 8));  // the target, another value
        queue(Diagnostics(0xF9, kTarget, 0x0D83, 9));  // the target, another address
        tick();
    }
    EXPECT_EQ(count(0xF9), 5);
    EXPECT_EQ(count(0xFA), 0);
    expectEveryFrameTo(kTarget);
    EXPECT_EQ(host.messages(), Strings({"Error: Remote Program Failed"}));
    EXPECT_EQ(program->poll.pollMode, 1);
}

TEST_F(WriteSequence, SequentialPollingResumesAfterTheWrite) {
    switchOn(kTarget);
    program->poll.pollMode = 0;
    confirmChange(2);
    EXPECT_EQ(program->poll.pollMode, 60);
    runUntilIdle();
    EXPECT_EQ(program->poll.pollMode, 0);
    expectEveryFrameTo(kTarget);
}

TEST_F(WriteSequence, TheMasterIsWrittenThroughItsOwnEchoes) {
    confirmChange(0, 22, "255");  // LowPower, 0x0F39
    const Frame read = MasterEcho(0xF2, 0x0F39, 0);
    const Frame write = MasterEcho(0xF3, 0x0F39, 255);
    for (int i = 0; i < 40 && program->poll.pollMode >= 2; ++i) {
        tick();
        if (!sent.empty() && sent.back()[0] == 0xF8) queue(read);
        if (!sent.empty() && sent.back()[0] == 0xF9) queue(write);
    }
    EXPECT_EQ(program->poll.pollMode, 1);
    EXPECT_TRUE(host.messages().empty());
    expectEveryFrameTo(kMaster);
    EXPECT_EQ(types(), "F8 F8 F9 F9 FA FA FA FA FA FA F8 F8 ");
}

TEST_F(WriteSequence, SinglePollOnScreen0IsRefusedAndKeepsTheTarget) {
    switchOn(kTarget);
    confirmChange(2);
    tick();
    program->display.screenNumber = 0;
    host.answer(true, "5000003");
    OnKeyDown(*program, host, 80);
    EXPECT_GE(program->poll.pollMode, 2);
    EXPECT_EQ(program->poll.currentRadio, 2);
    runUntilIdle();
    expectEveryFrameTo(kTarget);
    EXPECT_EQ(eeprom[kTarget][0x0D82], 9);
}


TEST_F(WriteSequence, DeletingAnEarlierRadioDoesNotRedirectTheWrite) {
    switchOn(kTarget);
    switchOn(kOther);
    confirmChange(2);
    tick();
    host.answer(true, "5000001");
    OnKeyDown(*program, host, 68);  // D: radio 1 goes, radio 2 moves to slot 1
    runUntilIdle();
    expectEveryFrameTo(kTarget);
    EXPECT_EQ(lastWritten.count(kOther), 0u);
}


TEST_F(WriteSequence, DeletingTheTargetAbandonsTheWrite) {
    switchOn(kTarget);
    switchOn(kOther);
    confirmChange(2);
    tick();
    host.answer(true, "5000002");
    OnKeyDown(*program, host, 68);
    EXPECT_EQ(program->poll.pollMode, 1);
    EXPECT_EQ(program->poll.pendingAddress, -1);
    const size_t before = sent.size();
    for (int i = 0; i < 10; ++i) tick();
    EXPECT_EQ(lastWritten.count(kOther), 0u);
    for (size_t i = before + 1; i < sent.size(); ++i) EXPECT_NE(sent[i][0], 0xF9);
}

}  // namespace
