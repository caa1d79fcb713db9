#include <gtest/gtest.h>

#include <array>

#include "display_fixture.h"
#include "platform/canvas.h"
#include "platform/live_listener.h"

namespace {

// The live view draws on whatever canvas the tick has put in place.
class LiveViewTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        view = MakeCanvasLiveView(*program);
        for (int i = 0; i < 30; ++i) addRadio(1000000 + i);
        paint();  // page geometry: radios 1..24 visible
        canvas.clear();
        program->display.canvas = &canvas;
    }

    std::unique_ptr<LiveListener> view;
};

TEST_F(LiveViewTest, ClockInBlackThenGreenForWhatFollows) {
    view->clockText("12:34:56");
    EXPECT_EQ(canvas.text(1, 73, 8), "12:34:56");
    EXPECT_EQ(canvas.colorAt(1, 73), colors::black);
    EXPECT_EQ(canvas.color, colors::darkGreen);
}

TEST_F(LiveViewTest, NothingIsDrawnWithoutACanvas) {
    program->display.canvas = nullptr;
    view->clockText("12:34:56");
    view->radioRow(3);
    view->statusSlot(4);
    EXPECT_TRUE(canvas.texts.empty());
}

TEST_F(LiveViewTest, RadioRowsOnlyWhenVisibleOnTheLists) {
    program->network.firstVisibleRow = 3;
    program->network.lastVisibleRow = 10;
    view->radioRow(2);
    view->radioRow(11);
    EXPECT_TRUE(canvas.texts.empty());
    view->radioRow(4);
    EXPECT_EQ(canvas.text(8, 1, 10), "1000003  S");
    EXPECT_EQ(canvas.text(8, 73, 8), "11:59:55");

    program->display.screenNumber = 1;
    view->radioRow(10);
    EXPECT_EQ(canvas.text(14, 10, 10), "S   XXXXXX");

    canvas.clear();
    program->display.screenNumber = 3;
    view->radioRow(4);
    EXPECT_TRUE(canvas.texts.empty());
}

TEST_F(LiveViewTest, MasterLineOnScreen0) {
    MasterStatus& m = program->network.master;
    m.serialNumber = 1234567;
    m.noiseLevel = 14;
    m.dataBytesTotal = 5120;
    m.revision = 9;
    m.timeReceived = "12:00:01";
    view->masterRow();
    EXPECT_EQ(canvas.row(5),
              "1234567  M       14              5120                                   12:00:01");
    EXPECT_EQ(canvas.colorAt(5, 1), colors::darkGreen);
}

TEST_F(LiveViewTest, MasterLineOnScreen1InBothUnits) {
    program->display.screenNumber = 1;
    MasterStatus& m = program->network.master;
    m.serialNumber = 1234567;
    m.dataBytesTotal = 5120;
    m.revision = 9;
    m.temperatureRaw = 128;  // 28 C
    m.voltageRaw = 128;      // 16.25 V
    m.timeReceived = "12:00:01";
    RadioRecord& slot0 = program->network.radios[0];
    slot0.eepromValid[29] = slot0.eepromValid[30] = slot0.eepromValid[33] = 1;
    slot0.eepromValue[30] = 77;
    slot0.eepromValue[33] = 255;
    view->masterRow();
    EXPECT_EQ(canvas.row(5),
              "1234567  M       77  9           5120       28 16.3                     12:00:01");
    program->display.metricUnits = false;
    slot0.eepromValid[30] = 0;
    view->masterRow();
    EXPECT_EQ(canvas.row(5),
              "1234567  M   XXXXXX  9           5120       82 16.3                     12:00:01");
}

TEST_F(LiveViewTest, ReportNoiseAndTheMasterTotal) {
    program->network.master.dataBytesTotal = 777;
    view->reportNoise(23);
    EXPECT_EQ(canvas.row(5), "              23                  777");
    canvas.clear();
    program->display.screenNumber = 1;
    view->reportNoise(23);
    EXPECT_EQ(canvas.row(5), "                                  777");
    canvas.clear();
    program->display.screenNumber = 2;
    view->reportNoise(23);
    EXPECT_TRUE(canvas.texts.empty());
}

TEST_F(LiveViewTest, StatusLineTexts) {
    view->statusUpdate(7);
    view->statusPollMode("Random  12");
    canvas.setTextColor(colors::darkGreen);
    view->statusSlot(3);
    EXPECT_EQ(canvas.lineAtBottom(558).substr(46), "Update  7 Random  12     Slot=   3");
    EXPECT_EQ(canvas.byBottom[558][72].color, colors::black);
}

TEST_F(LiveViewTest, NumberRadiosAndTheReplyDump) {
    view->numberRadios(31);
    EXPECT_EQ(canvas.lineAtBottom(558), "Number of Radios=  31");
    std::array<uint8_t, 20> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x10 * i + 0x0A);
    view->replyDump(bytes);
    // 18 values, one every 4th column; the 19th and 20th are not shown.
    EXPECT_EQ(canvas.text(2, 1, 12), "   A   1A  2");
    EXPECT_EQ(canvas.text(2, 72, 2), "1A");  // 0x11A wraps to a byte
    EXPECT_EQ(canvas.row(2).size(), 73u);
}

TEST_F(LiveViewTest, TraceRowLaysOutTheFrame) {
    const std::array<uint8_t, 8> frame{0xFB, 0x0D, 0x80, 0x05, 0xAB, 0x00, 0x0F, 0x33};
    view->traceRow(12, frame);
    EXPECT_EQ(canvas.row(12), "D  80 5  AB 0  F");
}

TEST_F(LiveViewTest, GraphicsLiveValueOnlyOnGraphics3) {
    view->graphicsLiveValue(4, 120);
    EXPECT_TRUE(canvas.texts.empty());
    program->display.screenNumber = 3;
    view->graphicsLiveValue(4, 120);
    EXPECT_EQ(canvas.text(27, 72, 7), "  4 120");
    EXPECT_EQ(canvas.colorAt(27, 72), colors::ochre);
}

TEST_F(LiveViewTest, DatagramInfoOnRowOne) {
    view->datagramInfo(21, 3, 0xF8);
    EXPECT_EQ(canvas.row(1), "21  3 248");
}

TEST_F(LiveViewTest, ANewRadioShowsInTheFooterAndOnTheEndBar) {
    program->network.firstVisibleRow = 9;
    addRadio(2000000);
    view->numberRadios(31);
    EXPECT_EQ(canvas.lineAtBottom(558), "Number of Radios=  31");
    // 23 rows a page: radios 9..31, the end bar on row 31.
    EXPECT_EQ(canvas.text(31, 29, 27), "Ending At Radio Number   31");
    EXPECT_EQ(canvas.colorAt(31, 29), colors::black);
}

TEST_F(LiveViewTest, ReportsRedrawOnlyTheirOwnFields) {
    RadioRecord& reportedOnly = program->network.radios[5];
    reportedOnly.replyCount = 0;
    PaintWindow(*program, canvas);
    const std::string repliedBefore = canvas.text(12, 1, 80);
    for (int radio : {5, 6}) {
        RadioRecord& r = program->network.radios[static_cast<size_t>(radio)];
        r.dataBytes = 777;
        r.distanceRaw = 9000;  // 9 km less the poll cycle's 4
        setTime(r, "12:00:00");
        r.lastReplySeconds = 12 * 3600;
        view->reportFields(radio);
    }
    EXPECT_EQ(canvas.text(11, 1, 12), "1000004  S  ");
    EXPECT_EQ(canvas.text(11, 31, 12), "    777 5.0 ");
    EXPECT_EQ(canvas.text(11, 73, 8), "12:00:00");
    std::string expected = repliedBefore;
    expected.replace(30, 12, "    777 5.0 ");
    expected.replace(72, 8, "12:00:00");
    EXPECT_EQ(canvas.text(12, 1, 80), expected);
}

}  // namespace
