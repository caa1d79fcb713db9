#include "support/protocol_fixture.h"

namespace {

class ReportTest : public ProtocolTest {
protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        deliver(FillXor(HexFrame("F0 5A 12 34 03 00 00 25 00 00 80 C0 15 00")));  // master 0x5A1234
        p->network.master.dataBytesTotal = 0;
        live.calls.clear();
    }
    // F1 about 5000001 (0x4C4B41) with sequence byte `seq`, 10 master and 20 slave bytes.
    std::vector<uint8_t> linkReport(uint8_t seq, uint8_t type = 0xF1) {
        return AppendXor({type, 0x4C, 0x4B, 0x41, 0, seq, 10, 20, 0x24, 0x00, 0x00});
    }
};

TEST_F(ReportTest, LinkReportAddsANewRadioAndItsValues) {
    deliver(linkReport(0x11));
    ASSERT_EQ(p->network.radioCount, 1);
    EXPECT_EQ(radio(1).serialNumber, 5000001u);
    EXPECT_EQ(NameText(radio(1).name), "NewRadio");
    EXPECT_EQ(radio(1).pollScore, 0);  // only a diagnostics reply counts as an answer
    EXPECT_EQ(radio(1).distanceRaw, 229167);
    EXPECT_EQ(std::string(radio(1).timeReceived.begin(), radio(1).timeReceived.end()), "12:00:00");
    EXPECT_EQ(radio(1).dataBytes, 20);
    EXPECT_EQ(p->network.master.dataBytesTotal, 10);
    EXPECT_EQ(live.calls, (std::vector<std::string>{"numberRadios 1", "reportNoise 20", "reportFields 1"}));
}

TEST_F(ReportTest, SequenceNibblesCountEachReportOnce) {
    deliver(linkReport(0x11));
    deliver(linkReport(0x11));  // repeated: nothing
    EXPECT_EQ(p->network.master.dataBytesTotal, 10);
    EXPECT_EQ(radio(1).dataBytes, 20);
    deliver(linkReport(0x12));  // only the slave's number moved
    EXPECT_EQ(p->network.master.dataBytesTotal, 10);
    EXPECT_EQ(radio(1).dataBytes, 40);
    deliver(linkReport(0x22));  // only the master's number moved
    EXPECT_EQ(p->network.master.dataBytesTotal, 20);
    EXPECT_EQ(radio(1).dataBytes, 40);
    EXPECT_EQ(p->network.lastMasterSequence, 0x22);
    EXPECT_EQ(p->network.lastSlaveSequence, 0x12);
}

TEST_F(ReportTest, TwentyBitSerialTakesTheMastersTopBits) {
    deliver(AppendXor({0xF4, 0x01, 0xE2, 0x40, 0, 0x11, 1, 2, 0x20, 0x16, 0x00}));
    ASSERT_EQ(p->network.radioCount, 1);
    EXPECT_EQ(radio(1).serialNumber, 0x51E240u);
    EXPECT_EQ(radio(1).distanceRaw, 0);
}

TEST_F(ReportTest, BadLinkReportIsDroppedWithoutRecord) {
    auto bad = linkReport(0x11);
    bad.back() ^= 0x40;
    deliver(bad);
    EXPECT_EQ(p->network.radioCount, 0);
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(ReportTest, ReportAboutAKnownRadioOffScreenDrawsNothing) {
    addRadios(3, 4999999);  // 5000001 is radio 3
    p->network.lastVisibleRow = 2;
    deliver(linkReport(0x11));
    EXPECT_EQ(p->network.radioCount, 3);
    EXPECT_EQ(radio(3).dataBytes, 20);
    EXPECT_EQ(live.calls, (std::vector<std::string>{"reportNoise 20"}));
    live.calls.clear();
    p->display.screenNumber = 2;
    deliver(linkReport(0x22));
    EXPECT_TRUE(live.calls.empty());
}

std::vector<uint8_t> Traffic(uint32_t serial, uint16_t data, uint8_t bad, uint8_t good) {
    return AppendXor({0xF5, uint8_t(serial >> 16), uint8_t(serial >> 8), uint8_t(serial), uint8_t(data >> 8),
                      uint8_t(data), bad, good, 0x22, 0x15, 0x00});
}

TEST_F(ReportTest, TrafficReportCountsIntoRadioAndMaster) {
    deliver(Traffic(5000001, 0x0102, 3, 40));
    ASSERT_EQ(p->network.radioCount, 1);
    EXPECT_EQ(radio(1).dataBytes, 0x0102);
    EXPECT_EQ(radio(1).distanceRaw, 10417);
    EXPECT_EQ(p->network.master.dataRateAccumulator, 0x0102);
    EXPECT_EQ(live.calls, (std::vector<std::string>{"numberRadios 1", "reportNoise 18", "reportFields 1"}));
}

TEST_F(ReportTest, TrafficCountsGoIntoOpenSamplesOnlyOnceARadioHasHistory) {
    deliver(Traffic(5000001, 100, 3, 40));
    EXPECT_EQ(p->network.history[1].historyCount, 0);
    EXPECT_EQ(p->network.history[0].samples[1].goodCount, 0);

    deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2));  // takes the radio's first sample
    ASSERT_EQ(p->network.history[1].historyCount, 1);
    deliver(Traffic(5000001, 100, 3, 40));
    deliver(Traffic(5000001, 50, 1, 10));
    const HistorySample& open = p->network.history[1].samples[1];
    EXPECT_EQ(open.dataBytes, 150);
    EXPECT_EQ(open.goodCount, 50);
    EXPECT_EQ(open.badCount, 4);
    const HistorySample& master = p->network.history[0].samples[1];
    EXPECT_EQ(master.goodCount, 50);
    EXPECT_EQ(master.badCount, 4);
    EXPECT_EQ(master.dataBytes, 0);
}

TEST_F(ReportTest, TrafficSerialRules) {
    deliver(Traffic(0x00FFFF, 1, 0, 0));
    EXPECT_EQ(errorCode(), 32);
    EXPECT_EQ(errorValue(), 0xFF);
    EXPECT_EQ(p->network.radioCount, 0);

    deliver(Traffic(0x01E240, 1, 0, 0));  // below 0x100000: master's top bits added
    deliver(Traffic(0x61E240, 1, 0, 0));  // full serial kept
    ASSERT_EQ(p->network.radioCount, 2);
    EXPECT_EQ(radio(1).serialNumber, 0x51E240u);
    EXPECT_EQ(radio(2).serialNumber, 0x61E240u);

    auto bad = Traffic(5000001, 1, 0, 0);
    bad.back() ^= 0x11;
    deliver(bad);
    EXPECT_EQ(errorCode(), 21);
    EXPECT_EQ(errorValue(), 0x11);
    EXPECT_EQ(p->network.radioCount, 2);
}

TEST_F(ReportTest, GraphicsThreeShowsTheSelectedRadiosPacketCounts) {
    addRadios(2, 5000000);
    p->display.screenNumber = 3;
    p->network.selectedRadio = 2;
    deliver(Traffic(5000001, 1, 3, 40));
    EXPECT_EQ(live.calls, (std::vector<std::string>{"graphicsLiveValue 3 40"}));
    live.calls.clear();
    deliver(Traffic(5000000, 1, 3, 40));
    EXPECT_TRUE(live.calls.empty());
}

}  // namespace
