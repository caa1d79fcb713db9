// Changing a remote radio's setup parameter through the simulated network: the write,
// the stores and the read-back on the wire, and what the program shows afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_fixture.h"
#include "model/radio_table.h"

namespace {

constexpr int kScreen2Key = 50;
constexpr int kChangeKey = 67;  // 'C'
constexpr int kPollRadioValue = 203;
constexpr int kAddRadio = 3079;
constexpr int kSaveRadioSettings = 123;
constexpr int kMasterRepeatRow = 17;

class RemoteSetupE2E : public E2ETest {
protected:
    bool idle() const { return run.program->poll.pollMode.polling(); }

    int masterRepeatAddress() const { return 0x0D80 + run.program->setup.table.rows[kMasterRepeatRow].offset; }
    // How the simulator names the location in its log: "@0D91 (row 17)".
    std::string masterRepeatText() const {
        char text[32];
        std::snprintf(text, sizeof text, "@%04X (row %d)", masterRepeatAddress(), kMasterRepeatRow);
        return text;
    }

    // The first slave behind a repeater that has answered: its table index.
    int pickRelayedSlave() {
        for (const auto& r : simRadios())
            if (r.role == "slave" && !r.path.empty()) {
                const int index = FindRadio(run.p().network, r.serial, 1);
                if (index > 0 && run.p().network.radios[index].replyCount > 0) return index;
            }
        return -1;
    }

    // Screen2 for the radio, and its Master Repeat read with "Poll Radio Value".
    int readMasterRepeat(int index, double seconds) {
        Program& p = run.p();
        p.network.selectedRadio = index;
        run.key(kScreen2Key);
        run.host.answer(true, std::to_string(kMasterRepeatRow));
        run.command(kPollRadioValue);
        const RadioRecord& radio = p.network.radios[index];
        const bool read = run.runUntil(
            [&] { return radio.eepromValid[kMasterRepeatRow] && p.poll.singleParamPolls == 0 && idle(); }, seconds);
        EXPECT_TRUE(read) << "Master Repeat never read";
        return read ? radio.eepromValue[kMasterRepeatRow] : -1;
    }

    // Key 'C' on Screen2 with the two prompts answered.
    void changeMasterRepeat(int value) {
        run.host.answer(true, std::to_string(kMasterRepeatRow));
        run.host.answer(true, std::to_string(value));
        run.key(kChangeKey);
    }

    // Frames of one type the simulator took in for one radio.
    std::vector<SimLine> framesTo(uint32_t serial, uint8_t type, const std::string& link) {
        std::vector<SimLine> out;
        for (const auto& l : Requests(simLog(), link))
            if (l.bytes[0] == type && FrameSerial(l) == serial) out.push_back(l);
        return out;
    }

    // The whole exchange on one link: contact, write, six stores, read-back.
    void expectParameterChanged(const std::string& link, int index, double seconds) {
        Program& p = run.p();
        ASSERT_GE(index, 0);
        const uint32_t serial = p.network.radios[index].serialNumber;
        const int before = readMasterRepeat(index, seconds);
        ASSERT_GE(before, 0);
        const int baseMode = p.poll.pollMode.number();
        const int wanted = (before + 1) % 10;

        changeMasterRepeat(wanted);
        ASSERT_EQ(p.poll.pollMode.number(), baseMode + 60) << "the change was not accepted";
        ASSERT_TRUE(run.runUntil([&] { return idle(); }, seconds)) << "pollMode stuck at " << p.poll.pollMode.number();

        EXPECT_TRUE(run.host.messages().empty()) << run.host.messages().front();
        EXPECT_EQ(p.poll.pollMode.number(), baseMode);
        EXPECT_EQ(p.network.radios[index].eepromValue[kMasterRepeatRow], wanted);
        EXPECT_EQ(Screen2Value(run.paint(), p.setup.table.rows[kMasterRepeatRow].name), wanted);

        run.runFor(0.5);  // the last frames reach the simulator's log
        // Each request is built as soon as the one before has left, so the write that
        // follows the contact is built once more before its echo is back: one or two.
        const auto writes = framesTo(serial, 0xF9, link);
        ASSERT_GE(writes.size(), 1u);
        EXPECT_LE(writes.size(), 2u);
        for (const auto& w : writes) {
            EXPECT_EQ(w.bytes[5], wanted);
            EXPECT_EQ(w.bytes[6], wanted);
        }
        const auto stores = framesTo(serial, 0xFA, link);
        EXPECT_EQ(stores.size(), 6u);
        for (const auto& s : stores) EXPECT_EQ((s.bytes[5] << 8) | s.bytes[6], masterRepeatAddress());
        const auto log = simLog();
        EXPECT_GE(WithText(log, "radio " + std::to_string(serial) + " store " + masterRepeatText() + " = " + std::to_string(wanted) +
                                    " committed").size(), 1u);
        // The read-back after the stores returned the new value.
        const std::string who = index == 0 ? "master " : "radio ";
        const auto reads = WithText(log, who + std::to_string(serial) + " read " + masterRepeatText() + " = " +
                                             std::to_string(wanted));
        ASSERT_FALSE(reads.empty());
        EXPECT_GT(reads.back().ms, stores.back().ms);

        // Polling goes on in the former mode.
        const size_t sent = Requests(simLog(), link).size();
        run.runFor(3);
        EXPECT_GT(Requests(simLog(), link).size(), sent);
    }
};

}  // namespace

TEST_F(RemoteSetupE2E, ParameterIsWrittenStoredAndReadBackOverThePty) {
    ASSERT_TRUE(startSim({"--pty"}).ready());
    run.openSerial(sim->endpoint("pty"));
    ASSERT_TRUE(run.runUntil([&] { return TableHolds(run.p(), simRadios()) && AllAnswered(run.p()); }, 30));
    const int index = pickRelayedSlave();
    expectParameterChanged("pty", index, 30);

    // "Save Radio Settings": the report carries the value the radio confirmed.
    const RadioRecord& radio = run.p().network.radios[index];
    run.p().network.selectedRadio = index;
    run.command(kSaveRadioSettings);
    const std::string report = dir.read(std::to_string(radio.serialNumber) + ".dat");
    const std::string name(run.p().setup.table.rows[kMasterRepeatRow].name);
    const size_t at = report.find(name);
    ASSERT_NE(at, std::string::npos) << report;
    EXPECT_EQ(std::atoi(report.c_str() + at + name.size()), radio.eepromValue[kMasterRepeatRow]);
}

TEST_F(RemoteSetupE2E, ParameterIsWrittenStoredAndReadBackOverTcp) {
    ASSERT_TRUE(startSim({"--tcp", "127.0.0.1:0"}).ready());
    run.connectTcp(sim->port("tcp"));
    // One request a second: the first relayed slave that answers will do.
    ASSERT_TRUE(run.runUntil([&] { return pickRelayedSlave() > 0; }, 60));
    expectParameterChanged("tcp", pickRelayedSlave(), 60);
}

TEST_F(RemoteSetupE2E, MastersOwnParameterGoesThroughItsEchoes) {
    // The master answers reads and writes of its own memory with its short echo frames.
    ASSERT_TRUE(startSim({"--pty"}).ready());
    const uint32_t master = simRadios().front().serial;
    run.openSerial(sim->endpoint("pty"));
    ASSERT_TRUE(run.runUntil([&] { return run.p().network.radios[0].serialNumber == master; }, 30));
    expectParameterChanged("pty", 0, 30);
    EXPECT_FALSE(WithText(simLog(), "master " + std::to_string(master) + " write").empty());
}

TEST_F(RemoteSetupE2E, SilentRadioFailsWithNoCommAndIsNeverWritten) {
    ASSERT_TRUE(startSim({"--pty"}).ready());
    const auto radios = simRadios();
    ASSERT_GE(radios.size(), 4u);
    const uint32_t silent = radios[3].serial;
    sim.reset();
    ASSERT_TRUE(startSim({"--pty", "--silence", std::to_string(silent)}).ready());
    run.openSerial(sim->endpoint("pty"));
    run.runFor(1);

    // The technician adds it by hand: it is on the site plan but never answers.
    run.host.answer(true, std::to_string(silent));
    run.host.answer(true, "Silent");
    run.command(kAddRadio);
    const int index = FindRadio(run.p().network, silent, 1);
    ASSERT_GT(index, 0);
    run.p().network.selectedRadio = index;
    run.key(kScreen2Key);
    const int baseMode = run.p().poll.pollMode.number();
    changeMasterRepeat(4);
    ASSERT_EQ(run.p().poll.pollMode.number(), baseMode + 60);
    ASSERT_TRUE(run.runUntil([&] { return idle(); }, 30));
    run.runFor(0.5);  // the last frames reach the simulator's log

    EXPECT_EQ(run.host.messages(), std::vector<std::string>{"Error: Remote program Failed,No Comm"});
    EXPECT_EQ(run.p().poll.pollMode.number(), baseMode);
    EXPECT_TRUE(framesTo(silent, 0xF9, "pty").empty());
    EXPECT_TRUE(framesTo(silent, 0xFA, "pty").empty());
    const auto contacts = framesTo(silent, 0xF8, "pty");
    EXPECT_EQ(contacts.size(), 8u);
    for (const auto& c : contacts) EXPECT_EQ((c.bytes[5] << 8) | c.bytes[6], masterRepeatAddress());
    EXPECT_FALSE(run.p().network.radios[index].eepromValid[kMasterRepeatRow]);

    // Polling resumes.
    const size_t sent = Requests(simLog(), "pty").size();
    run.runFor(2);
    EXPECT_GT(Requests(simLog(), "pty").size(), sent);
}

TEST_F(RemoteSetupE2E, IgnoredStoreShowsTheOldValueAfterTheReadBack) {
    // The radio answers the write but drops the stores: the program cannot see a
    // missing store, but its read-back brings the old value, and that is what it shows.
    ASSERT_TRUE(startSim({"--pty", "--no-store"}).ready());
    run.openSerial(sim->endpoint("pty"));
    ASSERT_TRUE(run.runUntil([&] { return TableHolds(run.p(), simRadios()) && AllAnswered(run.p()); }, 30));
    Program& p = run.p();
    const int index = pickRelayedSlave();
    ASSERT_GT(index, 0);
    const uint32_t serial = p.network.radios[index].serialNumber;
    const int before = readMasterRepeat(index, 30);
    ASSERT_GE(before, 0);
    const int baseMode = p.poll.pollMode.number();

    changeMasterRepeat((before + 1) % 10);
    ASSERT_TRUE(run.runUntil([&] { return idle(); }, 30));
    run.runFor(0.5);
    EXPECT_TRUE(run.host.messages().empty());
    EXPECT_EQ(p.poll.pollMode.number(), baseMode);
    EXPECT_GE(framesTo(serial, 0xF9, "pty").size(), 1u);
    EXPECT_EQ(framesTo(serial, 0xFA, "pty").size(), 6u);
    EXPECT_EQ(WithText(simLog(), "[fault no-store] radio " + std::to_string(serial)).size(), 6u);
    EXPECT_EQ(p.network.radios[index].eepromValue[kMasterRepeatRow], before);
    EXPECT_EQ(Screen2Value(run.paint(), p.setup.table.rows[kMasterRepeatRow].name), before);
}
