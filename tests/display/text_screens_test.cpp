#include <gtest/gtest.h>

#include "display_fixture.h"
#include "platform/canvas.h"

namespace {

const std::string kScreen0Row =
    "1234567  S    45 12   90  0.3    150012.0   2  0 30                 100 11:59:55";

TEST_F(DisplayTest, Screen0HeadersFollowTheUnits) {
    paint();
    EXPECT_EQ(canvas.row(3), " Radio   Fn  Sig Nse  %  Freq   DATA  Dist Num Rep1 Rep2 Rep3 Rep4 Poll  Time");
    EXPECT_EQ(canvas.row(4), "                          ppm   bytes  km  Dis N Sg N Sg N Sg N Sg   %   Rcvd");
    program->display.metricUnits = false;
    paint();
    EXPECT_EQ(canvas.row(4), "                          ppm   bytes  mi  Dis N Sg N Sg N Sg N Sg   %   Rcvd");
    EXPECT_EQ(canvas.colorAt(3, 2), colors::black);
}

TEST_F(DisplayTest, Screen1HeadersFollowTheUnits) {
    program->display.screenNumber = 1;
    paint();
    EXPECT_EQ(canvas.row(3), " Radio   Fn     ID   Rev Freq   Data  Dist Temp VTG  RTS CTS DTR  Polls  Time");
    EXPECT_EQ(canvas.row(4), "                          ppm   bytes  km    C   V                 Rcvd  Rcvd");
    program->display.metricUnits = false;
    paint();
    EXPECT_EQ(canvas.row(4), "                          ppm   bytes  mi    F   V                 Rcvd  Rcvd");
}

TEST_F(DisplayTest, FileNameHeadsEveryScreen) {
    program->network.networkFileName = "SITE7.RAD";
    for (int screen = 0; screen <= 4; ++screen) {
        program->display.screenNumber = screen;
        paint();
        EXPECT_EQ(canvas.text(1, 30, 9), "SITE7.RAD") << screen;
    }
}

TEST_F(DisplayTest, Screen0RowFieldByField) {
    addRadio(1234567);
    paint();
    EXPECT_EQ(canvas.row(7), kScreen0Row);
    // Column 9 is never drawn: Fn is placed at column 10 whatever the identity's width.
    for (int column = 1; column <= 80; ++column) {
        if (column == 9) continue;
        EXPECT_EQ(canvas.colorAt(7, column), colors::darkGreen) << column;
    }
}

TEST_F(DisplayTest, Screen0HopsAndMilesAndNames) {
    RadioRecord& r = addRadio(1234567);
    r.hopRepeater = {10, 3, 0, 0};
    r.hopSignalAvg = {20 * 256, 41 * 256 + 100, 7 * 256, 0};
    program->display.metricUnits = false;
    program->display.showNames = true;
    r.name = MakeRadioName("Tower");
    paint();
    // 12 km is 7.46 miles; hop slot 2 without a repeater stays blank.
    EXPECT_EQ(canvas.text(7, 1, 12), "Tower    S  ");
    EXPECT_EQ(canvas.text(7, 38, 5), " 7.5 ");
    EXPECT_EQ(canvas.text(7, 47, 20), " A 20 3 41          ");
}

TEST_F(DisplayTest, AlarmColoursOnScreen0) {
    addRadio(1000001).goodPacketsRaw = 191;  // 74.6 %
    addRadio(1000002).goodPacketsRaw = 192;  // 75 %
    addRadio(1000003).freqOffsetCode = 179;  // +5.1 ppm
    addRadio(1000004).freqOffsetCode = 77;   // -5.1 ppm
    addRadio(1000005).freqOffsetCode = 178;  // +5.0 ppm
    addRadio(1000006).freqOffsetCode = 78;   // -5.0 ppm
    RadioRecord& old = addRadio(1000007);
    old.lastReplySeconds = 12 * 3600 - 61;
    paint();
    EXPECT_EQ(canvas.colorAt(7, 20), colors::alarmRed);
    EXPECT_EQ(canvas.colorAt(7, 24), colors::alarmRed);
    EXPECT_EQ(canvas.colorAt(7, 25), colors::darkGreen);
    EXPECT_EQ(canvas.colorAt(8, 20), colors::darkGreen);
    EXPECT_EQ(canvas.text(9, 25, 5), "  5.1");
    EXPECT_EQ(canvas.colorAt(9, 25), colors::alarmRed);
    EXPECT_EQ(canvas.colorAt(9, 30), colors::darkGreen);
    EXPECT_EQ(canvas.text(10, 25, 5), " -5.1");
    EXPECT_EQ(canvas.colorAt(10, 29), colors::alarmRed);
    EXPECT_EQ(canvas.colorAt(11, 25), colors::darkGreen);
    EXPECT_EQ(canvas.colorAt(12, 25), colors::darkGreen);
    EXPECT_EQ(canvas.colorAt(12, 73), colors::darkGreen);
    EXPECT_EQ(canvas.colorAt(13, 73), colors::alarmRed);
    EXPECT_EQ(canvas.colorAt(13, 80), colors::alarmRed);
    EXPECT_EQ(canvas.colorAt(13, 72), colors::darkGreen);
}

TEST_F(DisplayTest, AgeOfTheLastReplyAcrossMidnight) {
    clock.set(LocalTime{2024, 3, 16, 0, 0, 5, 0});
    RadioRecord& beforeMidnight = addRadio(1000001);
    beforeMidnight.lastReplySeconds = 23 * 3600 + 59 * 60 + 50;  // 15 s old
    RadioRecord& ahead = addRadio(1000002);
    ahead.lastReplySeconds = 5.3f;  // a fraction ahead of the clock: not an old reply
    RadioRecord& dayOld = addRadio(1000003);
    dayOld.lastReplySeconds = 10;  // ahead by 5 s: read as almost a day old
    paint();
    EXPECT_EQ(canvas.colorAt(7, 73), colors::darkGreen);
    EXPECT_EQ(canvas.colorAt(8, 73), colors::darkGreen);
    EXPECT_EQ(canvas.colorAt(9, 73), colors::alarmRed);
    program->display.alarmTimeSeconds = 14;
    paint();
    EXPECT_EQ(canvas.colorAt(7, 73), colors::alarmRed);
}

TEST_F(DisplayTest, NeverRepliedRadioShowsIdentityAndFnOnly) {
    RadioRecord& r = addRadio(2345678);
    r.replyCount = 0;
    r.repeaterNumber = 3;
    program->display.screenNumber = 1;
    paint();
    EXPECT_EQ(canvas.row(7), "2345678  R3");
    // The rest of the row is blanked out to column 80 and no further.
    EXPECT_EQ(canvas.grid[7].count(80), 1u);
    EXPECT_EQ(canvas.grid[7].count(81), 0u);
    EXPECT_EQ(canvas.text(7, 14, 67), std::string(67, ' '));
    program->display.screenNumber = 0;
    paint();
    EXPECT_EQ(canvas.row(7), "2345678  R3");
    EXPECT_EQ(canvas.grid[7].count(79), 1u);
    EXPECT_EQ(canvas.grid[7].count(80), 0u);
}

TEST_F(DisplayTest, RepeaterNumbersTenAndSixteen) {
    addRadio(1000001).repeaterNumber = 10;
    addRadio(1000002).repeaterNumber = 16;
    paint();
    // From 15 on the Sig field narrows so the columns stay in place.
    EXPECT_EQ(canvas.text(7, 10, 10), "RA   45 12");
    EXPECT_EQ(canvas.text(8, 10, 10), "R10  45 12");
    EXPECT_EQ(canvas.text(8, 20, 5), "   90");
    program->display.screenNumber = 1;
    paint();
    EXPECT_EQ(canvas.text(7, 10, 4), "RA  ");
    EXPECT_EQ(canvas.text(8, 10, 6), "R10  X");
}

TEST_F(DisplayTest, Screen1RowFieldByField) {
    RadioRecord& r = addRadio(1234567);
    r.temperatureRaw = 128;  // 28 C
    r.voltageRaw = 128;
    r.revision = 7;
    r.lineStatus = 0xB0;
    r.eepromValid[29] = r.eepromValid[30] = r.eepromValid[33] = 1;
    r.eepromValue[29] = 1;
    r.eepromValue[30] = 2;
    r.eepromValue[33] = 255;
    program->display.screenNumber = 1;
    paint();
    EXPECT_EQ(canvas.row(7), "1234567  S      258   7   0.3    150012.00  28  7.5   L   L    L      5 11:59:55");
    program->display.metricUnits = false;
    r.lineStatus = 0x0F;
    r.eepromValid[33] = 0;
    r.serialNumber = 2415000;  // the 32.5 V scale
    paint();
    EXPECT_EQ(canvas.row(7), "2415000  S   XXXXXX   7   0.3    1500 7.46  82 16.3   H   H    H      5 11:59:55");
    EXPECT_EQ(canvas.colorAt(7, 24), colors::darkGreen);
}

TEST_F(DisplayTest, RadioIdIsCappedAt9999OnScreen1AndTheGraphs) {
    // The shared radio ID, as the log and CSV files print it: 100 x 256 = 25600 shows 9999.
    RadioRecord& r = addRadio(9200000);
    r.eepromValid[29] = r.eepromValid[30] = r.eepromValid[33] = 1;
    r.eepromValue[29] = 100;
    r.eepromValue[33] = 255;
    program->display.screenNumber = 1;
    paint();
    EXPECT_EQ(canvas.text(7, 14, 6), "  9999");
    program->network.selectedRadio = 1;
    for (int screen : {3, 4}) {
        program->display.screenNumber = screen;
        paint();
        EXPECT_EQ(canvas.text(3, 61, 18), "Radio ID: 9999    ") << screen;
    }
}

TEST_F(DisplayTest, DistanceOffsetOfThe57Series) {
    RadioRecord& r = addRadio(0x570001);
    r.distanceRaw = 16200;  // 16.2 km less the 6.2 km offset
    paint();
    EXPECT_EQ(canvas.text(7, 38, 5), "10.0 ");
}

class PageGeometry : public DisplayTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(PageGeometry, RowsPerPageFromTheClientHeight) {
    auto [height, rows] = GetParam();
    for (int i = 0; i < 30; ++i) addRadio(1000000 + i);
    canvas.client = {0, 0, 808, height};
    paint();
    EXPECT_EQ(program->display.rowsPerPage, rows);
    EXPECT_EQ(program->network.lastVisibleRow, 1 + rows);
    EXPECT_EQ(canvas.text(rows + 8, 29, 22), "Ending At Radio Number");
}

INSTANTIATE_TEST_SUITE_P(Heights, PageGeometry,
                         ::testing::Values(std::pair{231, 0}, std::pair{232, 0}, std::pair{247, 0},
                                           std::pair{248, 1}, std::pair{600, 23}));

TEST_F(DisplayTest, ShortWindowDrawsTheEndBarAboveTheStartBar) {
    canvas.client = {0, 0, 808, 200};
    addRadio(1000001);
    paint();
    EXPECT_EQ(program->display.rowsPerPage, -2);
    EXPECT_EQ(program->network.lastVisibleRow, -1);
    EXPECT_EQ(canvas.row(7), "");
    EXPECT_EQ(canvas.text(6, 29, 22), "Ending At Radio Number");
}

TEST_F(DisplayTest, BarsFrameTheVisibleRadios) {
    for (int i = 0; i < 30; ++i) addRadio(1000000 + i);
    canvas.client = {0, 0, 808, 232 + 160};  // 10 rows per page
    paint();
    EXPECT_EQ(canvas.row(6),
              "--------------------------Starting At Radio Number    1 ------------------------");
    EXPECT_EQ(canvas.text(7, 1, 7), "1000000");
    EXPECT_EQ(canvas.text(17, 1, 7), "1000010");
    EXPECT_EQ(canvas.row(18),
              "----------------------------Ending At Radio Number   11 ------------------------");
    ASSERT_EQ(canvas.rects.size(), 4u);
    EXPECT_EQ(canvas.rects[0].rect, (Rect{0, 80, 260, 94}));
    EXPECT_EQ(canvas.rects[1].rect, (Rect{550, 80, 800, 94}));
    EXPECT_EQ(canvas.rects[2].rect, (Rect{0, 272, 280, 286}));
    EXPECT_EQ(canvas.rects[3].rect, (Rect{550, 272, 800, 286}));
    for (const auto& r : canvas.rects) {
        EXPECT_EQ(r.brush, Brush::lightGrey);
        EXPECT_EQ(r.pen, Pen::black);
    }
    auto arrows = canvas.linesWith(Pen::black);
    ASSERT_EQ(arrows.size(), 8u);
    EXPECT_EQ((std::array{arrows[0].x1, arrows[0].y1, arrows[0].x2, arrows[0].y2}), (std::array{680, 94, 680, 80}));
    EXPECT_EQ((std::array{arrows[3].x2, arrows[3].y2}), (std::array{680, 80}));
    EXPECT_EQ((std::array{arrows[4].x1, arrows[4].y1, arrows[4].x2, arrows[4].y2}),
              (std::array{680, 272, 680, 286}));
    EXPECT_EQ((std::array{arrows[5].x2, arrows[5].y2, arrows[6].x2, arrows[6].y2}),
              (std::array{675, 279, 685, 279}));
}

TEST_F(DisplayTest, EmptyListShowsBarsAndNoRows) {
    paint();
    EXPECT_EQ(program->network.lastVisibleRow, 0);
    EXPECT_EQ(canvas.row(7), "");
    EXPECT_EQ(canvas.row(31),
              "----------------------------Ending At Radio Number    0 ------------------------");
}

TEST_F(DisplayTest, Screen2GetsBarsWithoutText) {
    program->display.screenNumber = 2;
    paint();
    EXPECT_EQ(canvas.rects.size(), 4u);
    EXPECT_EQ(canvas.text(31, 1, 28), std::string(28, ' '));
}

TEST_F(DisplayTest, FooterAndLinkStatus) {
    for (int i = 0; i < 3; ++i) addRadio(1000000 + i);
    paint();
    EXPECT_EQ(canvas.lineAtBottom(558), "Number of Radios=   3   Alarm Time= 60 Sec");
    EXPECT_EQ(canvas.lineAtBottom(576), "No Connection");
    EXPECT_EQ(canvas.byBottom[576][1].color, colors::navy);
    EXPECT_EQ(program->link.linkUp.load(), 0);

    program->link.serialPortOpen = 1;
    program->link.commPortName = "Com3";
    paint();
    EXPECT_EQ(canvas.lineAtBottom(576), "Com3  Opened");
    EXPECT_EQ(program->link.linkUp.load(), 1);

    program->link.serialPortOpen = 0;
    program->link.linkKind = kLinkTcp;
    program->link.ipAddressText = "10.1.2.3";
    program->link.linkUp = 0;
    paint();
    EXPECT_EQ(canvas.lineAtBottom(576), "10.1.2.3 OpenedTCP");
    EXPECT_EQ(program->link.linkUp.load(), 1);

    program->link.linkKind = kLinkUdp;
    paint();
    EXPECT_EQ(canvas.lineAtBottom(576), "10.1.2.3 OpenedUDP");
    EXPECT_EQ(canvas.color, colors::black);
    EXPECT_EQ(program->display.canvas, nullptr);
}

TEST_F(DisplayTest, PaintSetsTheLinkFlagAfterADialUpThatNeverOpened) {
    // A dial-up whose port could not be opened leaves the flag at 3; the next paint
    // sets it from what is really open, so a TCP link opened later is kept alive.
    program->link.linkUp = 3;
    paint();
    EXPECT_EQ(program->link.linkUp.load(), 0);
    program->link.linkUp = 3;
    program->link.linkKind = kLinkTcp;
    program->link.ipAddressText = "10.1.2.3";
    paint();
    EXPECT_EQ(program->link.linkUp.load(), 1);
}

TEST_F(DisplayTest, PaintWhileTheModemDialsKeepsTheKeepAliveQuiet) {
    program->link.serialPortOpen = 1;
    program->link.commPortName = "Com2";
    program->link.linkUp = 0;
    program->link.dialling = true;
    paint();
    EXPECT_EQ(canvas.lineAtBottom(576), "Com2  Opened");
    EXPECT_EQ(program->link.linkUp.load(), 0);
    program->link.dialling = false;
    paint();
    EXPECT_EQ(program->link.linkUp.load(), 1);
}

}  // namespace
