#include "support/protocol_fixture.h"

namespace {

using MasterStatusTest = ProtocolTest;

// Serial 0x5A1234, slot 3, data count bytes 5/6/8 = 01 02 00, noise byte 0x25.
const char* const kStatus = "F0 5A 12 34 03 01 02 25 00 00 80 C0 15 00";

TEST_F(MasterStatusTest, FillsMasterAndSlotZero) {
    deliver(FillXor(HexFrame(kStatus)));
    const MasterStatus& m = p->network.master;
    EXPECT_EQ(m.serialNumber, 0x5A1234);
    EXPECT_EQ(radio(0).serialNumber, 0x5A1234u);
    EXPECT_EQ(NameText(radio(0).name), "MASTER  ");
    EXPECT_EQ(m.dataBytesTotal, 258);
    EXPECT_EQ(m.noiseLevel, 21);
    EXPECT_EQ(m.temperatureRaw, 0x80);
    EXPECT_EQ(m.voltageRaw, 0xC0);
    EXPECT_EQ(m.revision, 0x15);
    EXPECT_EQ(m.timeReceived, "12:00:00");
    EXPECT_EQ(p->poll.masterBusy, 0);
    EXPECT_EQ(p->network.radioCount, 0);  // the master is not a radio of the list
}

TEST_F(MasterStatusTest, DataCountTakesByteEightAsHighAndAccumulates) {
    deliver(FillXor(HexFrame("F0 5A 12 34 03 01 02 25 02 00 80 C0 15 00")));
    EXPECT_EQ(p->network.master.dataBytesTotal, 0x020102);
    deliver(FillXor(HexFrame("F0 5A 12 34 03 00 05 A5 00 00 80 C0 15 00")));
    EXPECT_EQ(p->network.master.dataBytesTotal, 0x020102 + 5);
    EXPECT_EQ(p->poll.masterBusy, 0x80);
    EXPECT_EQ(p->network.master.noiseLevel, 0x25 - 16);
}

TEST_F(MasterStatusTest, BadXorIsError20WithTheCheckValue) {
    auto status = FillXor(HexFrame(kStatus));
    status.back() ^= 0x3C;
    deliver(status);
    EXPECT_EQ(errorCode(), 20);
    EXPECT_EQ(errorValue(), 0x3C);
    EXPECT_EQ(p->network.master.serialNumber, 0);
    EXPECT_TRUE(live.calls.empty());
}

TEST_F(MasterStatusTest, ScreenEffects) {
    deliver(FillXor(HexFrame(kStatus)));
    EXPECT_EQ(live.calls, (std::vector<std::string>{"masterRow", "statusSlot 3"}));
    EXPECT_FALSE(p->poll.repaintRequested);

    live.calls.clear();
    p->display.screenNumber = 3;
    p->network.selectedRadio = 1;
    deliver(FillXor(HexFrame(kStatus)));
    EXPECT_EQ(live.calls, (std::vector<std::string>{"statusSlot 3"}));
    EXPECT_FALSE(p->poll.repaintRequested);

    p->network.selectedRadio = 0;
    p->display.screenNumber = 4;
    deliver(FillXor(HexFrame(kStatus)));
    EXPECT_TRUE(p->poll.repaintRequested);
}

TEST_F(MasterStatusTest, MasterHistoryEveryFiveSecondsWithRateAndErrorShare) {
    deliver(FillXor(HexFrame(kStatus)));
    HistoryRow& row = p->network.history[0];
    ASSERT_EQ(row.historyCount, 1);
    EXPECT_EQ(row.samples[1].noise, 21);
    EXPECT_EQ(row.samples[1].freqCode, 128);
    EXPECT_EQ(row.samples[1].temperatureRaw, 0x80);
    EXPECT_EQ(row.samples[1].voltageRaw, 0xC0);

    // Within 5 seconds: no new sample, but the data count goes into the open one.
    clock.advanceMs(5000);
    deliver(FillXor(HexFrame(kStatus)));
    EXPECT_EQ(row.historyCount, 1);
    EXPECT_EQ(row.samples[1].dataBytes, 258);

    row.samples[1].goodCount = 100;
    row.samples[1].badCount = 27;
    p->network.master.dataRateAccumulator = 60000;
    clock.advanceMs(1000);  // 6 s after the first sample
    deliver(FillXor(HexFrame(kStatus)));
    ASSERT_EQ(row.historyCount, 2);
    EXPECT_EQ(row.samples[2].time, 6);
    EXPECT_EQ(row.samples[2].signal, 100);       // 60000 / 6 / 100
    EXPECT_EQ(row.samples[2].goodPackets, 199);  // 255 x 100 / 128
    EXPECT_EQ(p->network.master.dataRateAccumulator, 0);
}

class MasterEchoTest : public ProtocolTest {
protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        deliver(FillXor(HexFrame(kStatus)));
        live.calls.clear();
    }
};

TEST_F(MasterEchoTest, ReadEchoStoresIntoSlotZero) {
    deliver(FillXor(HexFrame("F2 5A 12 34 0D 95 13 00")));
    EXPECT_EQ(radio(0).eepromValid[3], 1);
    EXPECT_EQ(radio(0).eepromValue[3], 0x13);
    // Below the base: "Xmit Power Cal." at 0x040E is row 38.
    deliver(FillXor(HexFrame("F2 5A 12 34 04 0E 07 00")));
    EXPECT_EQ(radio(0).eepromValue[38], 7);
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(MasterEchoTest, UnknownAddressIsError3WithTheOffset) {
    deliver(FillXor(HexFrame("F2 5A 12 34 0D 8A 13 00")));
    EXPECT_EQ(errorCode(), 3);
    EXPECT_EQ(errorValue(), 10);
    EXPECT_EQ(std::count(radio(0).eepromValid.begin(), radio(0).eepromValid.end(), 1), 0);
}

TEST_F(MasterEchoTest, OtherSerialOrBadXorIsDroppedSilently) {
    deliver(FillXor(HexFrame("F2 5A 12 35 0D 95 13 00")));
    auto bad = FillXor(HexFrame("F2 5A 12 34 0D 95 13 00"));
    bad.back() ^= 1;
    deliver(bad);
    auto badWrite = FillXor(HexFrame("F3 5A 12 34 0D 95 13 00"));
    badWrite.back() ^= 1;
    deliver(badWrite);
    EXPECT_EQ(radio(0).eepromValid[3], 0);
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(MasterEchoTest, EchoesConfirmTheMastersWriteSequence) {
    PollState& poll = p->poll;
    poll.pollMode = PollPhase::fromNumber(60);
    poll.currentRadio = 0;
    poll.writeAddress = 0x0D95;
    poll.pendingAddress = 0x0D95;
    poll.pendingValue = 0x13;
    poll.ackAddress = poll.ackValue = -1;
    deliver(FillXor(HexFrame("F2 5A 12 34 0D 95 12 00")));
    EXPECT_EQ(poll.pollMode.number(), 44);
    EXPECT_EQ(poll.ackAddress, 0x0D95);
    deliver(FillXor(HexFrame("F3 5A 12 34 0D 95 13 00")));
    EXPECT_EQ(poll.pollMode.number(), 34);
    EXPECT_EQ(poll.ackValue, 0x13);
}

TEST_F(MasterEchoTest, OnScreenTwoWithTheMasterSelectedShowsUpdate) {
    p->display.screenNumber = 2;
    p->network.selectedRadio = 0;
    deliver(FillXor(HexFrame("F2 5A 12 34 0D 95 13 00")));
    EXPECT_EQ(live.calls, (std::vector<std::string>{"statusUpdate 3"}));
    EXPECT_TRUE(p->poll.repaintRequested);

    p->poll.repaintRequested = false;
    p->network.selectedRadio = 2;
    deliver(FillXor(HexFrame("F3 5A 12 34 0D 95 13 00")));
    EXPECT_FALSE(p->poll.repaintRequested);
}

}  // namespace
