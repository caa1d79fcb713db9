#include <algorithm>

#include "model/radio_table.h"
#include "support/protocol_fixture.h"

namespace {

using DiagnosticsTest = ProtocolTest;

TEST_F(DiagnosticsTest, ReplyFromANewRadioFillsTheRecord) {
    auto reply = Diagnostics(0xF8, 0x0D95, 5000001, 0x13);
    deliver(reply);
    ASSERT_EQ(p->network.radioCount, 1);
    const RadioRecord& r = radio(1);
    EXPECT_EQ(r.serialNumber, 5000001u);
    EXPECT_EQ(NameText(r.name), "NewRadio");
    EXPECT_EQ(r.pollScore, 10000);
    EXPECT_EQ(r.replyCount, 1);
    EXPECT_EQ(r.freqOffsetCode, 128);
    EXPECT_EQ(r.lastFreqReading, 0x40);
    EXPECT_EQ(r.signalLevel, 42);
    EXPECT_EQ(r.noiseLevel, 15);
    EXPECT_EQ(r.goodPacketsRaw, 200);
    EXPECT_EQ(r.temperatureRaw, 0x80);
    EXPECT_EQ(r.voltageRaw, 0x9A);
    EXPECT_EQ(r.revision, 0x21);
    EXPECT_EQ(r.lineStatus, 0xB3);
    EXPECT_EQ(r.disconnectCount, 3);
    EXPECT_EQ(r.distanceRaw, 0);
    EXPECT_EQ(r.hopRepeater[0], 0);
    EXPECT_EQ(r.hopSignalRaw[0], 54);  // direct link 0x46 - 16
    EXPECT_EQ(r.hopSignalAvg[0], 54 * 256);
    EXPECT_EQ(r.eepromValid[3], 1);
    EXPECT_EQ(r.eepromValue[3], 0x13);
    EXPECT_EQ(std::string(r.timeReceived.begin(), r.timeReceived.end()), "12:00:00");
    EXPECT_FLOAT_EQ(r.lastReplySeconds, 43200.0f);
    const HistoryRow& h = p->network.history[1];
    ASSERT_EQ(h.historyCount, 1);
    EXPECT_EQ(h.samples[1].signal, 42);
    EXPECT_EQ(h.samples[1].freqCode, 128);
    // The dump shows the reply from byte 4 to its end (17 bytes without hops).
    std::vector<std::string> expected = {"numberRadios 1",
                                         "replyDump 4C 4B 41 00 C8 3A 1F B3 00 80 9A 40 13 21 16 00 " +
                                             HexText(std::span(reply).last(1)),
                                         "radioRow 1"};
    EXPECT_EQ(live.calls, expected);
}

TEST_F(DiagnosticsTest, PollScoreRises200CappedAt10000) {
    addRadios(1, 5000001);
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 2);
    radio(1).pollScore = 9000;
    deliver(reply);
    EXPECT_EQ(radio(1).pollScore, 9200);
    radio(1).pollScore = 9900;
    deliver(reply);
    EXPECT_EQ(radio(1).pollScore, 10100);  // may stand above 10000 until the next reply
    deliver(reply);
    EXPECT_EQ(radio(1).pollScore, 10000);
    deliver(reply);
    EXPECT_EQ(radio(1).pollScore, 10000);
    radio(1).pollScore = 0;
    deliver(reply);
    EXPECT_EQ(radio(1).pollScore, 10000);
    EXPECT_EQ(p->network.radioCount, 1);
    EXPECT_TRUE(std::find(live.calls.begin(), live.calls.end(), "numberRadios 1") == live.calls.end());
}

TEST_F(DiagnosticsTest, TwoHopsFillSlotsZeroAndOneAndClearTheRest) {
    addRadios(1, 5000001);
    RadioRecord& r = radio(1);
    r.hopRepeater[2] = 9;
    r.hopSignalAvg[3] = 777;
    r.hopSignalRaw[2] = 5;
    deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2, {{3000000, 0x50, 0x1500}, {3000001, 0x48, 0x1400}}, 0x0000));
    ASSERT_EQ(p->network.radioCount, 3);
    EXPECT_EQ(radio(2).serialNumber, 3000000u);
    EXPECT_EQ(radio(3).serialNumber, 3000001u);
    EXPECT_EQ(radio(2).repeaterNumber, 1);
    EXPECT_EQ(radio(3).repeaterNumber, 2);
    EXPECT_EQ(p->network.repeaterCount, 2);
    EXPECT_EQ(r.hopRepeater[0], 1);
    EXPECT_EQ(r.hopRepeater[1], 2);
    EXPECT_EQ(r.hopSignalRaw[0], 64);
    EXPECT_EQ(r.hopSignalAvg[0], 64 * 256);
    EXPECT_EQ(r.hopSignalAvg[1], 56 * 256);
    EXPECT_EQ(r.hopRepeater[2], 0);
    EXPECT_EQ(r.hopSignalRaw[2], 0);
    EXPECT_EQ(r.hopSignalAvg[3], 0);
    EXPECT_EQ(r.distanceRaw, 10417);  // the first hop's word, not the closing 0x0000

    // Again: repeater numbers stay, signals are smoothed.
    deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2, {{3000000, 0x48, 0x1500}, {3000001, 0x48, 0x1400}}));
    EXPECT_EQ(p->network.repeaterCount, 2);
    EXPECT_EQ(r.hopSignalAvg[0], 16128);  // 0.875 x 16384 + 32 x 56
    EXPECT_EQ(r.hopSignalRaw[0], 56);
}

TEST_F(DiagnosticsTest, OnlyFourHopsAreStored) {
    std::vector<Hop> hops;
    for (uint32_t i = 0; i < 7; ++i) hops.push_back({3000000 + i, 0x40, 0x1500});
    deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2, hops));
    EXPECT_EQ(p->network.radioCount, 5);
    EXPECT_EQ(p->network.repeaterCount, 4);
    EXPECT_EQ(radio(1).hopRepeater[3], 4);
    EXPECT_EQ(radio(1).hopRepeater[4], 0);
}

TEST_F(DiagnosticsTest, HopSerialOutOfRangeIsError4AndLeavesItsSlot) {
    addRadios(1, 5000001);
    RadioRecord& r = radio(1);
    r.hopRepeater[1] = 7;
    r.hopSignalRaw[1] = 5;
    r.hopSignalAvg[1] = 1234;
    deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2, {{2000000, 0x50, 0x1500}, {1999999, 0x48, 0x1400}}));
    EXPECT_EQ(errorCode(), 4);
    EXPECT_EQ(errorValue(), 19);
    EXPECT_EQ(p->network.radioCount, 2);  // 2000000 is a repeater; 1999999 is not added
    EXPECT_EQ(r.hopRepeater[1], 7);
    EXPECT_EQ(r.hopSignalRaw[1], 5);
    EXPECT_EQ(r.hopSignalAvg[1], 1234);

    deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2, {{9150001, 0x50, 0x1500}, {9150000, 0x48, 0x1400}}));
    EXPECT_EQ(errorValue(), 91);
    EXPECT_EQ(errorCount(), 2);
    EXPECT_EQ(p->network.radioCount, 3);
    EXPECT_EQ(radio(3).serialNumber, 9150000u);
}

TEST_F(DiagnosticsTest, DisconnectCounterWrapsAtSixteen) {
    addRadios(1, 5000001);
    radio(1).lineStatus = 0x0E;
    radio(1).disconnectCount = 254;
    deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2));  // counter 3: 3 - 14 + 16 = 5
    EXPECT_EQ(radio(1).disconnectCount, 3);        // 254 + 5 wraps at 256
    EXPECT_EQ(radio(1).lineStatus, 0xB3);
}

class FrequencyTest : public ProtocolTest {
protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2));  // first reply: code 128, reading 0x40
    }
    void replyWithReading(int reading) {
        auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 2);
        reply[15] = uint8_t(reading);
        deliver(FillXor(reply));
    }
};

TEST_F(FrequencyTest, DriftIsSmoothedIntoTheCode) {
    clock.advanceMs(10000);
    replyWithReading(0x40 + 20);  // 69.444 x 20 / 25.6 / 10 = 5.43
    EXPECT_EQ(radio(1).freqOffsetCode, 129);
    EXPECT_EQ(radio(1).lastFreqReading, 0x54);
    EXPECT_EQ(radio(1).replyCount, 2);
}

TEST_F(FrequencyTest, ZeroElapsedTimeSkipsTheEstimate) {
    replyWithReading(0x40 + 100);
    EXPECT_EQ(radio(1).freqOffsetCode, 128);
    EXPECT_EQ(radio(1).lastFreqReading, 0x40 + 100);
    EXPECT_EQ(radio(1).replyCount, 2);
}

TEST_F(FrequencyTest, CodeIsClampedToAByte) {
    clock.advanceMs(10);
    replyWithReading(0x40 + 127);
    EXPECT_EQ(radio(1).freqOffsetCode, 255);
    clock.advanceMs(10);
    replyWithReading(0x40);  // -127
    EXPECT_EQ(radio(1).freqOffsetCode, 0);
}

TEST_F(FrequencyTest, JumpsOf128OrMoreLeaveTheCode) {
    radio(1).freqOffsetCode = 140;
    clock.advanceMs(1000);
    replyWithReading(0x40 + 128);
    EXPECT_EQ(radio(1).freqOffsetCode, 140);
    EXPECT_EQ(radio(1).lastFreqReading, 0xC0);
}

TEST_F(FrequencyTest, ElapsedTimeCrossesMidnight) {
    clock.setTimeOfDay(23, 59, 50);
    replyWithReading(0x40);
    clock.advanceMs(20000);  // 00:00:10
    replyWithReading(0x40 + 20);
    // 20 seconds: 69.444 x 20 / 25.6 / 20 = 2.71 -> (3 x 128 + 2.71 + 128) / 4 = 128.68
    EXPECT_EQ(radio(1).freqOffsetCode, 129);
}

TEST_F(DiagnosticsTest, UnknownAddressIsError8AndTheRestIsStored) {
    deliver(Diagnostics(0xF8, 0x0D8A, 5000001, 2));
    EXPECT_EQ(errorCode(), 8);
    EXPECT_EQ(errorValue(), 10);
    EXPECT_EQ(radio(1).replyCount, 1);
    EXPECT_EQ(std::count(radio(1).eepromValid.begin(), radio(1).eepromValid.end(), 1), 0);

    // Rows 34..38 exist only while setupParamCount is 39.
    p->setup.setupParamCount = 34;
    deliver(Diagnostics(0xF8, 0x040D, 5000001, 2));
    EXPECT_EQ(errorValue(), 0x040D - 0x0D80);
    p->setup.setupParamCount = 39;
    deliver(Diagnostics(0xF8, 0x040D, 5000001, 2));
    EXPECT_EQ(radio(1).eepromValue[35], 2);
}

TEST_F(DiagnosticsTest, BadXorIsError22AndChangesNothing) {
    auto reply = Diagnostics(0xF9, 0x0D80, 5000001, 2);
    reply.back() ^= 0x81;
    deliver(reply);
    EXPECT_EQ(errorCode(), 22);
    EXPECT_EQ(errorValue(), 0x81);
    EXPECT_EQ(p->network.radioCount, 0);
}

TEST_F(DiagnosticsTest, ScreenEffectsForTheSelectedRadio) {
    addRadios(2, 5000000);
    p->display.screenNumber = 2;
    p->network.selectedRadio = 2;
    deliver(Diagnostics(0xF8, 0x0D95, 5000001, 2));
    EXPECT_EQ(live.calls, (std::vector<std::string>{"statusUpdate 3"}));
    EXPECT_TRUE(p->poll.repaintRequested);

    p->poll.repaintRequested = false;
    live.calls.clear();
    deliver(Diagnostics(0xF8, 0x0D95, 5000000, 2));  // not the selected radio
    EXPECT_TRUE(live.calls.empty());
    EXPECT_FALSE(p->poll.repaintRequested);

    p->display.screenNumber = 4;
    deliver(Diagnostics(0xF9, 0x0D95, 5000001, 2));
    EXPECT_TRUE(p->poll.repaintRequested);
    EXPECT_TRUE(live.calls.empty());

    p->display.screenNumber = 1;
    p->network.firstVisibleRow = 2;
    deliver(Diagnostics(0xF8, 0x0D95, 5000000, 2));  // radio 1 scrolled out of view
    deliver(Diagnostics(0xF8, 0x0D95, 5000001, 2));
    EXPECT_EQ(live.calls, (std::vector<std::string>{"radioRow 2"}));
}

TEST_F(DiagnosticsTest, FullTableRefusesThe2048thRadioAndDropsTheReply) {
    addRadios(kMaxRadios, 5000000);
    deliver(Diagnostics(0xF8, 0x0D80, 7000000, 2));
    EXPECT_EQ(p->network.radioCount, kMaxRadios);
    EXPECT_EQ(p->network.refusedAdditions, 1);
    EXPECT_EQ(errorCount(), 1);
    EXPECT_TRUE(live.calls.empty());
    // A known radio whose new repeater cannot be added keeps its other values.
    deliver(Diagnostics(0xF8, 0x0D80, 5000000 + 2046, 2, {{3000000, 0x50, 0x1500}}));
    EXPECT_EQ(radio(2047).replyCount, 1);
    EXPECT_EQ(radio(2047).hopRepeater[0], 0);
    EXPECT_EQ(p->network.refusedAdditions, 2);
}

// Radios 1..10 come from a network file; replies from 2037 serials no one polled fill the rest.
class FullOfPhantomsTest : public DiagnosticsTest {
protected:
    static constexpr uint32_t kPhantom = 7000000;
    void SetUp() override {
        DiagnosticsTest::SetUp();
        addRadios(10, 5000000);
        RebuildRadioIndex(p->network);
        for (uint32_t k = 0; k < kMaxRadios - 10; ++k) deliver(Diagnostics(0xF8, 0x0D80, kPhantom + k, 2));
        ASSERT_EQ(p->network.radioCount, kMaxRadios);
        live.calls.clear();
    }
};

TEST_F(FullOfPhantomsTest, ANewcomerTakesTheSlotOfTheOldestProvisionalRadio) {
    p->network.history[11].historyCount = 5;
    radio(11).dataBytes = 777;
    clock.advanceMs(3000);
    deliver(Diagnostics(0xF8, 0x0D80, 8000000, 4));
    EXPECT_EQ(p->network.radioCount, kMaxRadios);
    EXPECT_EQ(p->network.forgottenRadios, 1);
    EXPECT_EQ(p->network.lastForgottenSerial, kPhantom);
    EXPECT_EQ(p->network.refusedAdditions, 0);
    EXPECT_EQ(FindRadio(p->network, kPhantom, 1), -1) << "the index no longer leads to the forgotten radio";
    ASSERT_EQ(FindRadio(p->network, 8000000, 1), 11);
    EXPECT_EQ(radio(11).dataBytes, 0) << "the newcomer starts clean";
    EXPECT_EQ(radio(11).replyCount, 1);
    EXPECT_EQ(radio(11).eepromValue[0], 4);
    EXPECT_EQ(p->network.history[11].historyCount, 1) << "only the newcomer's own sample";
    EXPECT_EQ(FindRadio(p->network, kPhantom + 1, 1), 12);

    // Once the noise is gone, every phantom gives way in turn; the file's radios never do.
    for (uint32_t k = 1; k < kMaxRadios - 10; ++k) deliver(Diagnostics(0xF8, 0x0D80, 8000000 + k, 4));
    EXPECT_EQ(p->network.forgottenRadios, kMaxRadios - 10);
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(radio(i).serialNumber, 5000000u + uint32_t(i - 1));
    for (uint32_t k = 0; k < kMaxRadios - 10; ++k) EXPECT_EQ(FindRadio(p->network, kPhantom + k, 1), -1);
}

TEST_F(FullOfPhantomsTest, ARadioThatAnsweredItsOwnPollStays) {
    const uint32_t real = kPhantom;  // the oldest, heard before it was polled
    RememberPoll(p->poll, real);
    deliver(Diagnostics(0xF8, 0x0D80, real, 2));
    deliver(Diagnostics(0xF8, 0x0D80, 8000000, 2));
    EXPECT_EQ(FindRadio(p->network, real, 1), 11);
    EXPECT_EQ(FindRadio(p->network, 8000000, 1), 12) << "the next oldest gave way";
    EXPECT_EQ(p->network.lastForgottenSerial, kPhantom + 1);
}

TEST_F(FullOfPhantomsTest, TheSelectedRadioAndTheReplysOwnRadioNeverGiveWay) {
    // Only two provisional radios left: 2046 (selected) and 2047.
    for (int i = 11; i <= 2045; ++i) KeepRadio(p->network, i);
    p->network.selectedRadio = 2046;
    const uint32_t selected = radio(2046).serialNumber;
    // The newcomer takes 2047; its new repeater finds no radio that may give way.
    deliver(Diagnostics(0xF8, 0x0D80, 8000000, 2, {{3000000, 0x50, 0x1500}}));
    EXPECT_EQ(FindRadio(p->network, 8000000, 1), 2047);
    EXPECT_EQ(radio(2046).serialNumber, selected);
    EXPECT_EQ(FindRadio(p->network, 3000000, 1), -1);
    EXPECT_EQ(p->network.forgottenRadios, 1);
    EXPECT_EQ(p->network.refusedAdditions, 1);
    EXPECT_EQ(radio(2047).replyCount, 1) << "the reply itself is stored";
}

TEST_F(FullOfPhantomsTest, ReportsFromUnknownRadiosMakeRoomTheSameWay) {
    deliver(FillXor(HexFrame("F1 7A 12 00 00 11 05 06 30 16 00 00")));
    EXPECT_EQ(FindRadio(p->network, 0x7A1200, 1), 11);
    EXPECT_EQ(p->network.forgottenRadios, 1);
    // The report's fields alone would leave the forgotten radio's values on its row.
    EXPECT_NE(std::find(live.calls.begin(), live.calls.end(), "radioRow 11"), live.calls.end());
}

TEST_F(DiagnosticsTest, RadiosFrom1024OnKeepNoHistory) {
    addRadios(1100, 5000000);
    HistoryRow before = p->network.history[76];
    HistoryRow masterBefore = p->network.history[0];
    deliver(Diagnostics(0xF8, 0x0D80, 5000000 + 1099, 2));
    deliver(AppendXor({0xF5, uint8_t((5000000 + 1099) >> 16), uint8_t((5000000 + 1099) >> 8),
                       uint8_t(5000000 + 1099), 0, 9, 1, 2, 0x20, 0x16, 0}));
    EXPECT_EQ(radio(1100).replyCount, 1);
    EXPECT_EQ(radio(1100).dataBytes, 9);
    EXPECT_EQ(p->network.history[76].historyCount, before.historyCount);
    EXPECT_EQ(p->network.history[0].historyCount, masterBefore.historyCount);
}

TEST_F(DiagnosticsTest, TraceRowsRunFromZeroTo29ThenFrom10) {
    auto trace = Diagnostics(0xFB, 0x0D80, 5000001, 0);
    for (int i = 0; i < 32; ++i) deliver(trace);
    ASSERT_EQ(live.calls.size(), 32u);
    EXPECT_EQ(live.calls[0], "traceRow 0 " + HexText(trace));
    EXPECT_EQ(live.calls[29].substr(0, 12), "traceRow 29 ");
    EXPECT_EQ(live.calls[30].substr(0, 12), "traceRow 10 ");
    EXPECT_EQ(live.calls[31].substr(0, 12), "traceRow 11 ");
    EXPECT_EQ(p->network.radioCount, 0);  // a trace changes no table

    trace.back() ^= 0x44;
    deliver(trace);
    EXPECT_EQ(errorCode(), 32);
    EXPECT_EQ(errorValue(), 0x44);
}

}  // namespace
