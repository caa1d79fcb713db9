#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "model/derived_values.h"
#include "model/program.h"
#include "model/radio_table.h"

namespace {

class CountingListener : public LiveListener {
public:
    void numberRadios(int radioCount) override { shown.push_back(radioCount); }
    std::vector<int> shown;
};

class RadioTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.set(LocalTime{2024, 3, 15, 10, 20, 30, 0});
        p = std::make_unique<Program>();
        p->clock = &clock;
        p->live = &live;
        NewNetworkReset(p->network, p->poll, p->request, p->log, p->clock);
    }
    RadioNetwork& net() { return p->network; }

    ManualClock clock;
    CountingListener live;
    std::unique_ptr<Program> p;
};

TEST_F(RadioTableTest, FindOrAddAppendsOnceAndShowsTheCount) {
    EXPECT_EQ(FindOrAddRadio(p->network, p->errors, *p->live, 5001234), 1);
    EXPECT_EQ(FindOrAddRadio(p->network, p->errors, *p->live, 5001235), 2);
    EXPECT_EQ(FindOrAddRadio(p->network, p->errors, *p->live, 5001234), 1);
    EXPECT_EQ(net().radioCount, 2);
    EXPECT_EQ(live.shown, (std::vector<int>{1, 2}));
    EXPECT_EQ(net().radios[2].freqOffsetCode, 128);
    EXPECT_EQ(NameText(net().radios[2].name), "NewRadio");
}

TEST_F(RadioTableTest, MasterSerialInSlotZeroIsFoundNotAdded) {
    net().radios[0].serialNumber = 9123456;
    EXPECT_EQ(FindOrAddRadio(p->network, p->errors, *p->live, 9123456), 0);
    EXPECT_EQ(net().radioCount, 0);
    EXPECT_EQ(LocateRadio(net(), 9123456), 0);
    EXPECT_EQ(FindRadio(net(), 9123456, 1), -1);
    EXPECT_EQ(LocateRadio(net(), 777), -1);
}

TEST_F(RadioTableTest, ListWindowFollowsAppendsUpToFortyRows) {
    net().firstVisibleRow = 1;
    net().lastVisibleRow = 0;
    for (uint32_t s = 1; s <= 45; ++s) FindOrAddRadio(p->network, p->errors, *p->live, 3000000 + s);
    EXPECT_EQ(net().lastVisibleRow, 40);
    EXPECT_EQ(net().firstVisibleRow, 1);
}

TEST_F(RadioTableTest, AppendStartsFromACleanSlot) {
    net().radioCount = 4;
    RadioRecord& stale = net().radios[5];
    stale.dataBytes = 99;
    stale.eepromValid[29] = 1;
    stale.name = MakeRadioName("OLDNAME");
    net().history[5].historyCount = 7;
    EXPECT_EQ(AppendRadio(p->network, p->errors, 4000001), 5);
    EXPECT_EQ(net().radios[5].dataBytes, 0);
    EXPECT_EQ(net().radios[5].eepromValid[29], 0);
    EXPECT_EQ(NameText(net().radios[5].name), "NewRadio");
    EXPECT_EQ(net().history[5].historyCount, 0);
    EXPECT_TRUE(live.shown.empty());  // only FindOrAddRadio draws the count
}

TEST_F(RadioTableTest, FullTableRefusesTheNextRadio) {
    for (uint32_t s = 1; s <= 2047; ++s)
        ASSERT_EQ(AppendRadio(p->network, p->errors, 2000000 + s), static_cast<int>(s));
    EXPECT_EQ(FindOrAddRadio(p->network, p->errors, *p->live, 7654321), -1);
    EXPECT_EQ(net().radioCount, 2047);
    EXPECT_EQ(net().refusedAdditions, 1);
    EXPECT_EQ(p->errors.lastCode.load(), 40);
    EXPECT_EQ(p->errors.lastValue.load(), 76);
    EXPECT_EQ(FindOrAddRadio(p->network, p->errors, *p->live, 2002047), 2047);  // present radios are still found
}

TEST_F(RadioTableTest, ATypedInRadioIsNeverForgotten) {
    // Heard on the air, then typed in by the technician: it stays for good.
    EXPECT_EQ(AddRadioFromAir(net(), p->errors, 2000001, -1), 1);
    EXPECT_EQ(FindOrAddRadio(net(), p->errors, *p->live, 2000001), 1);
    for (uint32_t s = 2; s <= 2047; ++s) ASSERT_EQ(AddRadioFromAir(net(), p->errors, 2000000 + s, -1), int(s));
    EXPECT_EQ(AddRadioFromAir(net(), p->errors, 7654321, -1), 2);
    EXPECT_EQ(net().radios[1].serialNumber, 2000001u);
    EXPECT_EQ(net().forgottenRadios, 1);
    // New Network leaves nothing provisional behind in the cleared slots.
    NewNetworkReset(p->network, p->poll, p->request, p->log, p->clock);
    for (const RadioRecord& r : net().radios) ASSERT_EQ(r.provisionalOrder, 0u);
}

TEST_F(RadioTableTest, DeleteMovesLaterRadiosWithEverythingTheyHold) {
    for (uint32_t s = 1; s <= 4; ++s) FindOrAddRadio(p->network, p->errors, *p->live, 1000 + s);
    RadioRecord& third = net().radios[3];
    third.name = MakeRadioName("THIRD");
    third.hopRepeater[7] = 9;
    third.hopSignalAvg[3] = 1234;
    third.eepromValue[40] = 0x5A;
    third.eepromValid[40] = 1;
    net().history[3].historyCount = 2;
    net().history[3].samples[2].signal = 77;
    net().history[4].historyCount = 1;
    net().lastVisibleRow = 4;
    net().selectedRadio = 4;

    EXPECT_TRUE(DeleteRadio(net(), 1002));
    EXPECT_EQ(net().radioCount, 3);
    const RadioRecord& moved = net().radios[2];
    EXPECT_EQ(moved.serialNumber, 1003u);
    EXPECT_EQ(NameText(moved.name), "THIRD   ");
    EXPECT_EQ(moved.hopRepeater[7], 9);
    EXPECT_EQ(moved.hopSignalAvg[3], 1234);
    EXPECT_EQ(moved.eepromValue[40], 0x5A);
    EXPECT_EQ(moved.eepromValid[40], 1);
    EXPECT_EQ(net().history[2].historyCount, 2);
    EXPECT_EQ(net().history[2].samples[2].signal, 77);
    EXPECT_EQ(net().history[3].historyCount, 1);
    EXPECT_EQ(net().history[4].historyCount, 0);
    EXPECT_EQ(net().radios[4].serialNumber, 0u);
    EXPECT_EQ(net().lastVisibleRow, 3);
    EXPECT_EQ(net().selectedRadio, 3);

    EXPECT_FALSE(DeleteRadio(net(), 1002));
    EXPECT_EQ(net().radioCount, 3);
}

TEST_F(RadioTableTest, DeleteNeverRemovesTheMaster) {
    net().radios[0].serialNumber = 9200000;
    FindOrAddRadio(p->network, p->errors, *p->live, 1001);
    EXPECT_FALSE(DeleteRadio(net(), 9200000));
    EXPECT_EQ(net().radioCount, 1);
}

TEST_F(RadioTableTest, DeleteAcrossTheHistoryBoundary) {
    for (uint32_t s = 1; s <= 1100; ++s) AppendRadio(p->network, p->errors, 10000 + s);
    net().history[1023].historyCount = 5;
    EXPECT_TRUE(DeleteRadio(net(), 10000 + 1000));
    EXPECT_EQ(net().radios[1023].serialNumber, 10000u + 1024);
    EXPECT_EQ(net().history[1022].historyCount, 5);  // radio 1023 moved down with its row
    EXPECT_EQ(net().history[1023].historyCount, 0);  // radio 1024 had none
    EXPECT_EQ(net().radioCount, 1099);
}

TEST_F(RadioTableTest, MeasurementResetKeepsIdentity) {
    FindOrAddRadio(p->network, p->errors, *p->live, 5550001);
    RadioRecord& r = net().radios[1];
    r.name = MakeRadioName("PUMP 7");
    r.repeaterNumber = 3;
    r.signalLevel = 90;
    r.pollScore = 9000;
    r.disconnectCount = 4;
    r.hopRepeater[0] = 3;
    r.eepromValid[5] = 1;
    r.lastReplySeconds = 100.5f;
    net().history[1].historyCount = 9;
    net().history[1].samples[3].time = 40;
    net().master.dataBytesTotal = 500;
    p->log.lastLogMinute = 17;
    net().firstVisibleRow = 0;

    clock.set(LocalTime{2024, 3, 16, 8, 0, 5, 0});
    ResetMeasurements(p->network, p->log, p->clock);
    EXPECT_EQ(r.serialNumber, 5550001u);
    EXPECT_EQ(NameText(r.name), "PUMP 7  ");
    EXPECT_EQ(r.repeaterNumber, 3);
    EXPECT_EQ(r.signalLevel, 0);
    EXPECT_EQ(r.pollScore, 0);
    EXPECT_EQ(r.disconnectCount, 0);
    EXPECT_EQ(r.hopRepeater[0], 0);
    EXPECT_EQ(r.eepromValid[5], 0);
    EXPECT_EQ(r.lastReplySeconds, 0.0f);
    EXPECT_EQ(net().history[1].historyCount, 0);
    EXPECT_EQ(net().history[1].samples[3].time, 0);
    EXPECT_EQ(net().master.dataBytesTotal, 0);
    EXPECT_EQ(p->log.lastLogMinute, 0);
    EXPECT_EQ(net().firstVisibleRow, 1);
    EXPECT_EQ(net().runStartSeconds, SecondsClock(clock.now()));
    EXPECT_EQ(net().runStartTime, "08:00:05");
    EXPECT_EQ(net().runStartDate, "03-16-2024");
}

TEST_F(RadioTableTest, NewNetworkEmptiesTheTableAndRestartsRandomPolling) {
    FindOrAddRadio(p->network, p->errors, *p->live, 5550001);
    net().radios[0].serialNumber = 9200000;
    net().radios[1].name = MakeRadioName("X");
    net().repeaterCount = 4;
    net().networkFileName = "PLANT.RAD";
    net().lastMasterSequence = 3;
    net().lastSlaveSequence = 5;
    net().selectedRadio = 1;
    p->poll.pollMode = PollPhase::polling(PollOrder::sequential);
    p->poll.randomNumber = 44;
    p->poll.requestState = 0;
    p->poll.currentRadio = 1;
    p->poll.sweepCount = 9;
    p->request.bytes.fill(0xAA);

    NewNetworkReset(p->network, p->poll, p->request, p->log, p->clock);
    EXPECT_EQ(net().radioCount, 0);
    EXPECT_EQ(net().repeaterCount, 0);
    EXPECT_EQ(net().radios[0].serialNumber, 0u);
    EXPECT_EQ(NameText(net().radios[1].name), "NewRadio");
    EXPECT_EQ(NameText(net().radios[2047].name), "NewRadio");
    EXPECT_EQ(net().networkFileName, "NONAME.RAD");
    EXPECT_EQ(net().firstVisibleRow, 1);
    EXPECT_EQ(net().lastVisibleRow, 0);
    EXPECT_EQ(net().selectedRadio, 0);
    EXPECT_EQ(net().lastMasterSequence, 0);
    EXPECT_EQ(net().lastSlaveSequence, 0);
    EXPECT_EQ(p->poll.pollMode.number(), 1);
    EXPECT_EQ(p->poll.randomNumber, 0);
    EXPECT_EQ(p->poll.requestState, 8);
    EXPECT_EQ(p->poll.currentRadio, 0);
    EXPECT_EQ(p->poll.sweepCount, 0);
    EXPECT_EQ(p->request.bytes, (std::array<uint8_t, 8>{}));
}

TEST_F(RadioTableTest, DisconnectCountsResetEverywhere) {
    net().radios[0].disconnectCount = 1;
    net().radios[2047].disconnectCount = 200;
    ResetDisconnectCounts(net());
    EXPECT_EQ(net().radios[0].disconnectCount, 0);
    EXPECT_EQ(net().radios[2047].disconnectCount, 0);
}

TEST(RadioName, CutOrPaddedToEight) {
    EXPECT_EQ(NameText(MakeRadioName("Pump")), "Pump    ");
    EXPECT_EQ(NameText(MakeRadioName("Substation9")), "Substati");
    EXPECT_EQ(NameText(MakeRadioName("")), "        ");
    // Typed names are UTF-8; a cut never splits a character.
    EXPECT_EQ(NameText(MakeRadioName("M\xC3\xBCller")), "M\xC3\xBCller ");
    EXPECT_EQ(NameText(MakeRadioName("Stra\u00DFenbahn")), "Stra\u00DFen");
    EXPECT_EQ(NameText(MakeRadioName("Schacht\xC3\xBC")), "Schacht ");
    EXPECT_EQ(NameText(MakeRadioName("Pumpe\u20AC9")), "Pumpe\u20AC");
    EXPECT_EQ(NameText(MakeRadioName("Pumpen\xE2\x82\xAC")), "Pumpen  ");
}

}  // namespace
