#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <tuple>

#include "display_fixture.h"
#include "model/derived_values.h"
#include "platform/canvas.h"

namespace {

class GraphTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        start = LocalTime{2024, 3, 1, 8, 0, 0, 0};
        program->network.runStartSeconds = SecondsClock(start);
        addRadio(9200000).name = MakeRadioName("Hilltop");
        program->network.selectedRadio = 1;
        program->display.screenNumber = 3;
    }

    // Puts the clock `seconds` after the run start.
    void nowAt(int64_t seconds) {
        LocalTime t = start;
        t.day += static_cast<int>(seconds / 86400);
        int64_t rest = seconds % 86400 + 8 * 3600;
        t.day += static_cast<int>(rest / 86400);
        rest %= 86400;
        t.hour = static_cast<int>(rest / 3600);
        t.minute = static_cast<int>(rest / 60 % 60);
        t.second = static_cast<int>(rest % 60);
        clock.set(t);
    }

    HistorySample& addSample(int row, int32_t time) {
        HistoryRow& h = program->network.history[static_cast<size_t>(row)];
        HistorySample& s = h.samples[static_cast<size_t>(++h.historyCount)];
        s.time = time;
        return s;
    }

    LocalTime start;
};

TEST_F(GraphTest, HeaderAndScalesOfGraphics3) {
    RadioRecord& r = program->network.radios[1];
    r.eepromValid[29] = r.eepromValid[30] = r.eepromValid[33] = 1;
    r.eepromValue[29] = 1;
    r.eepromValue[30] = 2;
    r.eepromValue[33] = 255;
    paint();
    EXPECT_EQ(canvas.row(2), "Serial Number: 9200000       Signal Quality over Time       Name    : Hilltop");
    EXPECT_EQ(canvas.colorAt(2, 16), colors::brightGreen);
    EXPECT_EQ(canvas.colorAt(2, 71), colors::brightGreen);
    EXPECT_EQ(canvas.row(3), "Radio Number : 1                                            Radio ID: 258");
    EXPECT_EQ(canvas.lineAtBottom(88), " 4.0K 100");
    EXPECT_EQ(canvas.lineAtBottom(248), " 2.4K 60");
    EXPECT_EQ(canvas.lineAtBottom(488), " 0.0K 0");
    EXPECT_EQ(canvas.byBottom[88][2].color, colors::olive);
    EXPECT_EQ(canvas.byBottom[88][7].color, colors::black);
    // Small bars at the right, then the black plot with its grey grid.
    ASSERT_EQ(canvas.rects.size(), 3u);
    EXPECT_EQ(canvas.rects[0].rect, (Rect{710, 80, 800, 94}));
    EXPECT_EQ(canvas.rects[1].rect, (Rect{710, 480, 800, 494}));
    EXPECT_EQ(canvas.rects[2].rect, (Rect{100, 80, 700, 480}));
    EXPECT_EQ(canvas.rects[2].brush, Brush::black);
    EXPECT_EQ(canvas.rects[2].pen, Pen::grey);
    EXPECT_EQ(canvas.linesWith(Pen::grey).size(), 9u);
    // Nothing recorded: no time axis.
    EXPECT_EQ(canvas.text(3, 34, 11), std::string(11, ' '));
}

TEST_F(GraphTest, HeaderAndScalesOfGraphics4) {
    program->display.screenNumber = 4;
    paint();
    EXPECT_EQ(canvas.row(2), "Serial Number: 9200000     Temp, Voltage, PPM Over Time     Name    : Hilltop");
    EXPECT_EQ(canvas.text(3, 61, 18), "Radio ID:  XXXXXX ");
    EXPECT_EQ(canvas.lineAtBottom(88), " 75  15 30");
    EXPECT_EQ(canvas.text(8, 1, 7), "     12");
    EXPECT_EQ(canvas.lineAtBottom(488), " -50-15 0");
    EXPECT_EQ(canvas.byBottom[88][2].color, colors::alarmRed);
    EXPECT_EQ(canvas.byBottom[88][5].color, colors::navy);
    EXPECT_EQ(canvas.byBottom[88][9].color, colors::darkGreen);
    EXPECT_EQ(canvas.linesWith(Pen::grey).size(), 14u);
}

TEST_F(GraphTest, TwentyMinutesGiveAHalfHourAxis) {
    for (int t : {0, 600, 1200}) addSample(1, t).signal = 20;
    nowAt(1200);
    paint();
    EXPECT_EQ(canvas.text(3, 34, 11), "Minutes Ago");
    EXPECT_EQ(canvas.row(4), "      30        25        20        15        10        5         0");
    auto green = canvas.linesWith(Pen::green);
    ASSERT_EQ(green.size(), 3u);
    EXPECT_EQ(green[0].x1, 300);  // 30 minutes span, oldest sample 20 minutes ago
    EXPECT_EQ(green[1].x2, 500);
    EXPECT_EQ(green[2].x2, 700);
    EXPECT_EQ(green[2].y2, 400);
}

TEST_F(GraphTest, FiveHoursGiveAnEightHourAxis) {
    addSample(1, 0);
    addSample(1, 5 * 3600);
    nowAt(5 * 3600);
    paint();
    EXPECT_EQ(canvas.text(3, 37, 9), "Hours Ago");
    EXPECT_EQ(canvas.row(4), "      8         6.67      5.33      4         2.67      1.33      0");
}

TEST_F(GraphTest, NineDaysGiveTheLongestAxis) {
    addSample(1, 0);
    addSample(1, 9 * 86400);
    nowAt(9 * 86400);
    paint();
    EXPECT_EQ(canvas.text(3, 37, 9), "Hours Ago");
    EXPECT_EQ(canvas.row(4), "      1536      1280      1024      768       512       256       0");
    auto green = canvas.linesWith(Pen::green);
    ASSERT_FALSE(green.empty());
    EXPECT_EQ(green[0].x1, 100 + static_cast<int>(600.0 * (5529600 - 777600) / 5529600 + 0.5));
}

TEST_F(GraphTest, SlaveSeriesAndLegend) {
    const int signal[] = {20, 50, 30};
    const int noise[] = {5, 9, 7};
    const int good[] = {250, 128, 200};
    const int dataBytes[] = {6000, 120000, 18000};
    for (int i = 0; i < 3; ++i) {
        HistorySample& s = addSample(1, 600 * i);
        s.signal = static_cast<uint8_t>(signal[i]);
        s.noise = static_cast<uint8_t>(noise[i]);
        s.goodPackets = static_cast<uint8_t>(good[i]);
        s.dataBytes = dataBytes[i];
        s.goodCount = 30;
        s.badCount = 9;
    }
    nowAt(1200);
    paint();
    EXPECT_EQ(canvas.text(7, 72, 9), "Receive %");
    EXPECT_EQ(canvas.text(8, 72, 9), "Mx Ave Mn");
    // 250, 193 and 128 of 256.
    EXPECT_EQ(canvas.text(9, 71, 10), " 98  75 50");
    EXPECT_EQ(canvas.colorAt(9, 71), colors::darkBlue);
    EXPECT_EQ(canvas.text(12, 72, 9), "Signal Lv");
    EXPECT_EQ(canvas.text(14, 71, 10), " 50  33 20");
    EXPECT_EQ(canvas.colorAt(14, 71), colors::brightGreen);
    EXPECT_EQ(canvas.text(19, 71, 10), "9    7   5");
    EXPECT_EQ(canvas.colorAt(19, 71), colors::legendRed);
    EXPECT_EQ(canvas.text(21, 72, 8), "Transmit");
    EXPECT_EQ(canvas.text(23, 72, 5), " kB/s");
    // Last rate: 120000 bytes over 600 s is 20 tens of bytes per second.
    EXPECT_EQ(canvas.text(24, 71, 6), "  0.20");
    EXPECT_EQ(canvas.text(26, 72, 9), "Bad Pckts");
    EXPECT_EQ(canvas.text(28, 72, 9), "NumPoints");
    EXPECT_EQ(canvas.text(29, 75, 3), "  3");

    auto red = canvas.linesWith(Pen::red);
    ASSERT_EQ(red.size(), 3u);
    EXPECT_EQ(red[1].y2, 480 - 36);
    auto blue = canvas.linesWith(Pen::blue);
    EXPECT_EQ(blue[1].y2, 280);  // 128 / 0.64 = 200
    auto olive = canvas.linesWith(Pen::olive);
    ASSERT_EQ(olive.size(), 4u);  // two steps
    EXPECT_EQ((std::array{olive[0].x1, olive[0].y1, olive[0].x2, olive[0].y2}), (std::array{300, 480, 300, 479}));
    EXPECT_EQ((std::array{olive[1].x2, olive[1].y2}), (std::array{500, 479}));
    EXPECT_EQ((std::array{olive[2].x2, olive[2].y2, olive[3].x2}), (std::array{500, 460, 700}));
    auto orange = canvas.linesWith(Pen::orange);
    ASSERT_EQ(orange.size(), 2u);  // the one step from sample 2 to 3
    // Rate 30 (120000 bytes over 400 s, the step cap, / 10), times 9 bad of 40: 6.75 pixels.
    EXPECT_EQ(orange[0].x2, 500);
    EXPECT_EQ(orange[0].y2, 473);
    EXPECT_EQ(orange[1].x2, 700);
}

TEST_F(GraphTest, LevelMinimaStartAt99AndTheReceiveShareTakesItsTrueMinimum) {
    const int signal[] = {120, 130};
    const int noise[] = {105, 110};
    const int good[] = {250, 240};
    for (int i = 0; i < 2; ++i) {
        HistorySample& s = addSample(1, 600 * i);
        s.signal = static_cast<uint8_t>(signal[i]);
        s.noise = static_cast<uint8_t>(noise[i]);
        s.goodPackets = static_cast<uint8_t>(good[i]);
    }
    nowAt(600);
    paint();
    // 250, 245 and 240 of 256.
    EXPECT_EQ(canvas.text(9, 71, 10), " 98  96 94");
    EXPECT_EQ(canvas.text(14, 71, 11), "130 125 99 ");
    EXPECT_EQ(canvas.text(19, 71, 13), "110  108  99 ");
}

TEST_F(GraphTest, MasterLegendShowsErrorShareAndDataRate) {
    program->network.selectedRadio = 0;
    // Each sample counts its interval's packets; the stored byte is the good share
    // (what the blue line plots), the legend the error share: 10, 30 and 2 of 255.
    const int rate[] = {35, 80, 20};
    const int bad[] = {10, 30, 2};
    for (int i = 0; i < 3; ++i) {
        HistorySample& s = addSample(0, 60 * i);
        s.signal = static_cast<uint8_t>(rate[i]);
        s.badCount = bad[i];
        s.goodCount = 254 - bad[i];
        s.goodPackets = static_cast<uint8_t>(255 - 1 - bad[i]);
    }
    nowAt(120);
    paint();
    EXPECT_EQ(canvas.text(7, 72, 9), " Error  %");
    EXPECT_EQ(canvas.text(8, 72, 9), "Mx Ave Ls");
    EXPECT_EQ(canvas.text(9, 71, 11), "12    5   1");
    EXPECT_EQ(canvas.linesWith(Pen::blue).back().y2, 86);  // 480 - 252 / 0.64
    EXPECT_EQ(canvas.text(11, 72, 9), "Total Rcv");
    EXPECT_EQ(canvas.text(12, 72, 9), "Data Rate");
    EXPECT_EQ(canvas.text(13, 72, 9), "Mx Ave Ls");
    EXPECT_EQ(canvas.text(14, 71, 10), "8.0 4.52.0");
    EXPECT_EQ(canvas.text(3, 1, 19), "Radio Number : 0   ");
}

TEST_F(GraphTest, EmptyHistoryLegends) {
    paint();
    EXPECT_EQ(canvas.text(9, 71, 10), "  0   0  0");
    EXPECT_EQ(canvas.text(14, 71, 10), "  0   0  0");
    EXPECT_EQ(canvas.text(19, 71, 10), "0    0   0");
    EXPECT_EQ(canvas.text(24, 71, 6), "  0.00");
    EXPECT_EQ(canvas.text(29, 75, 3), "  0");
    EXPECT_TRUE(canvas.linesWith(Pen::green).empty());

    program->display.screenNumber = 4;
    paint();
    EXPECT_EQ(canvas.text(8, 72, 9), "Radio PPM");
    EXPECT_EQ(canvas.text(9, 72, 10), " Max  Min ");
    EXPECT_EQ(canvas.text(10, 71, 11), "-12.8 -12.8");
    EXPECT_EQ(canvas.text(16, 71, 10), "  0.0  0.0");
    EXPECT_EQ(canvas.text(20, 72, 9), "RadioTemp");
    EXPECT_EQ(canvas.text(22, 71, 10), "  499  499");
    EXPECT_EQ(canvas.text(25, 72, 9), "NumPoints");
    EXPECT_EQ(canvas.text(26, 75, 3), "  0");
}

TEST_F(GraphTest, Graphics4SeriesAndLegend) {
    program->display.screenNumber = 4;
    const int volts[] = {255, 200, 220, 230, 240};
    const int temps[] = {128, 200, 100, 128, 128};
    const int freq[] = {0, 0, 0, 0, 148};
    for (int i = 0; i < 5; ++i) {
        HistorySample& s = addSample(1, 100 * i);
        s.voltageRaw = static_cast<uint8_t>(volts[i]);
        s.temperatureRaw = static_cast<uint8_t>(temps[i]);
        s.freqCode = static_cast<uint8_t>(freq[i]);
    }
    nowAt(400);
    paint();
    auto green = canvas.linesWith(Pen::green);
    ASSERT_EQ(green.size(), 5u);
    EXPECT_EQ(green[0].y2, 47);  // 32.5 V on a 30 V scale: above the plot
    // Only the fifth sample carries a ppm reading.
    auto blue = canvas.linesWith(Pen::blue);
    ASSERT_EQ(blue.size(), 1u);
    EXPECT_EQ(blue[0].y2, 256);
    EXPECT_EQ(canvas.text(10, 71, 9), "2.0   2.0");
    EXPECT_EQ(canvas.text(16, 71, 10), " 32.5 25.5");
    // Raw 100 is the warmest, raw 200 the coldest.
    EXPECT_EQ(canvas.text(22, 71, 10), "   38    1");
}

TEST_F(GraphTest, Graphics4VoltageScaleFollowsTheRadiosFullScale) {
    program->display.screenNumber = 4;
    addSample(1, 0).voltageRaw = 255;
    addSample(1, 100).voltageRaw = 255;
    nowAt(100);
    // The 2410000..2419999 window radios measure on the 32.5 V scale like the new
    // types; plot and legend use the same scale.
    for (auto [serial, y, legend] : {std::tuple{2415000u, 47, " 32.5 32.5"}, std::tuple{5000000u, 280, " 15.0 15.0"},
                                     std::tuple{2419999u, 280, " 15.0 15.0"}}) {
        program->network.radios[1].serialNumber = serial;
        paint();
        auto green = canvas.linesWith(Pen::green);
        ASSERT_EQ(green.size(), 2u) << serial;
        EXPECT_EQ(green[1].y2, y) << serial;
        EXPECT_EQ(canvas.text(16, 71, 10), legend) << serial;
    }
}

TEST_F(GraphTest, ValuesBeyondThePlotStayInsideTheClientArea) {
    program->display.screenNumber = 4;
    const int temps[] = {1, 0, 255};
    for (int i = 0; i < 3; ++i) addSample(1, 100 * i).temperatureRaw = static_cast<uint8_t>(temps[i]);
    nowAt(200);
    paint();
    auto red = canvas.linesWith(Pen::red);
    ASSERT_EQ(red.size(), 3u);
    EXPECT_EQ(red[0].y2, 0);        // 197 C would be far above the window
    EXPECT_EQ(red[1].y2, 0);        // raw 0 reads 499 C
    EXPECT_EQ(red[2].y2, 541);      // -69 C, below the plot but above the status lines

    program->display.screenNumber = 3;
    HistoryRow& h = program->network.history[1];
    h.samples[1].dataBytes = -100000000;
    paint();
    for (const auto& l : canvas.lines) {
        EXPECT_GE(l.y2, 0);
        EXPECT_LE(l.y2, 558);
    }
}

TEST_F(GraphTest, RadiosWithoutHistoryRowShowTheEmptyGraph) {
    program->network.selectedRadio = 1500;
    paint();
    EXPECT_EQ(canvas.text(29, 75, 3), "  0");
    program->network.selectedRadio = -4;
    paint();
    EXPECT_EQ(canvas.text(3, 1, 19), "Radio Number : -4  ");
}

TEST_F(GraphTest, MasterVoltageUsesTheMastersScale) {
    program->display.screenNumber = 4;
    program->network.selectedRadio = 0;
    program->network.radios[0].serialNumber = 2100000;  // a serial the slave rule reads as 15 V
    addSample(0, 0).voltageRaw = 100;
    addSample(0, 100).voltageRaw = 100;
    nowAt(100);
    paint();
    // 100 / 256 x 32.5 = 12.7 V, as the master's row on Screen1 shows it.
    EXPECT_EQ(canvas.text(16, 71, 10), " 12.7 12.7");
    EXPECT_EQ(canvas.linesWith(Pen::green).back().y2, 310);
}

// Stepping radios repaints over the old graph without erasing it.
TEST_F(GraphTest, SteppingRadiosLeavesNoOldLegendText) {
    addSample(0, 0).signal = 35;
    for (int i = 0; i < 2; ++i) {
        HistorySample& s = addSample(1, 60 * i);
        s.signal = 37;
        s.goodPackets = 95;
    }
    nowAt(60);
    program->network.selectedRadio = 0;
    paint();
    EXPECT_EQ(canvas.text(11, 72, 9), "Total Rcv");
    program->network.radios[0].serialNumber = 1234567;
    program->network.selectedRadio = 1;
    PaintWindow(*program, canvas);
    EXPECT_EQ(canvas.text(11, 72, 9), std::string(9, ' '));
    // The header's values too: radio 1 (7 digits, no ID), then 1024, the master.
    RadioRecord& master = program->network.radios[0];
    master.serialNumber = 12345678;
    master.eepromValid[29] = master.eepromValid[30] = master.eepromValid[33] = 1;
    master.eepromValue[30] = 5;
    master.eepromValue[33] = 255;
    program->network.selectedRadio = 1024;
    PaintWindow(*program, canvas);
    program->network.selectedRadio = 0;
    PaintWindow(*program, canvas);
    EXPECT_EQ(canvas.text(3, 15, 5), " 0   ");
    EXPECT_EQ(canvas.text(3, 71, 8), "5       ");
    program->network.selectedRadio = 1;
    PaintWindow(*program, canvas);
    EXPECT_EQ(canvas.text(2, 16, 8), "9200000 ");
    EXPECT_EQ(canvas.text(14, 71, 10), " 37  37 37");
    EXPECT_EQ(canvas.text(9, 71, 10), " 37  37 37");

    program->display.screenNumber = 4;
    for (int t : {30, 40, 50, 55, 58}) addSample(0, t).freqCode = 255;
    for (int t : {70, 80, 90}) addSample(1, t).freqCode = 148;
    HistoryRow& slave = program->network.history[1];
    for (int s = 1; s <= slave.historyCount; ++s) slave.samples[static_cast<size_t>(s)].freqCode = 148;
    program->network.selectedRadio = 0;
    paint();
    EXPECT_EQ(canvas.text(10, 71, 10), "12.7  12.7");
    program->network.selectedRadio = 1;
    PaintWindow(*program, canvas);
    EXPECT_EQ(canvas.text(10, 71, 10), "2.0   2.0 ");
}

TEST_F(GraphTest, AdjacentScaleLabelsStayApart) {
    program->display.screenNumber = 4;
    paint();
    EXPECT_EQ(canvas.lineAtBottom(408), " -25 -9 6");
}

}  // namespace
