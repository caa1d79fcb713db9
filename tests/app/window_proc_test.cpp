#include <gtest/gtest.h>

#include "app/menu_table.h"
#include "app/window_proc.h"
#include "model/program.h"
#include "support/recording_canvas.h"
#include "support/scripted_host.h"

namespace {

struct WindowFixture : ::testing::Test {
    ManualClock clock{LocalTime{2026, 12, 8, 10, 15, 0, 0}};
    std::unique_ptr<Program> program = CreateProgram(clock);
    ScriptedHost host;
    RecordingCanvas canvas{Rect{0, 0, 792, 541}};

    void SetUp() override {
        host.canvas = &canvas;
        WindowProc(*program, host, msg::create, 0, 0);
    }
    intptr_t point(int x, int y) { return static_cast<intptr_t>(((y & 0xFFFF) << 16) | (x & 0xFFFF)); }
};

}  // namespace

TEST_F(WindowFixture, StartUpAndCreationDefaults) {
    const Program& p = *program;
    EXPECT_EQ(p.link.linkUp, 1);
    EXPECT_EQ(p.link.commPortName, "Com1");
    EXPECT_EQ(p.log.bannerText, "Diagnostics KTX Version 2.16");
    EXPECT_EQ(p.setup.setupParamCount, 39);
    EXPECT_EQ(p.setup.table.rows[0].name, "Modem Mode      ");
    EXPECT_FLOAT_EQ(p.poll.pollInterval, 0.2f);
    EXPECT_FLOAT_EQ(p.poll.tickAccumulator, 0.01f);
    EXPECT_EQ(p.poll.pollMode.number(), 1);
    EXPECT_EQ(p.poll.requestState, 8);
    EXPECT_FLOAT_EQ(p.display.alarmTimeSeconds, 60.0f);
    EXPECT_TRUE(p.display.metricUnits);
    EXPECT_EQ(p.network.networkFileName, "NONAME.RAD");
    EXPECT_EQ(p.network.radioCount, 0);
    EXPECT_EQ(p.network.firstVisibleRow, 1);
    EXPECT_EQ(NameText(p.network.radios[2047].name), "NewRadio");
    EXPECT_EQ(p.display.clientRect, (Rect{0, 0, 792, 541}));
    // Creation paints the whole window with erasing.
    EXPECT_GE(host.erasingInvalidations, 1);
    EXPECT_GE(host.updates, 1);
}

TEST_F(WindowFixture, MenuHelpShowsStringsOnlyForFileAndEditItems) {
    WindowProc(*program, host, msg::menuSelect, 3081, 0);
    EXPECT_EQ(host.statusText, "About Diagnostics 2.16");
    WindowProc(*program, host, msg::menuSelect, 3076 | (0x8080u << 16), 0);
    EXPECT_EQ(host.statusText, "Exit Skeleton");
    WindowProc(*program, host, msg::menuSelect, 201, 0);
    EXPECT_EQ(host.statusText, "");
}

TEST_F(WindowFixture, MouseMoveShowsThePositionWithSignPlaces) {
    WindowProc(*program, host, msg::mouseMove, 0, point(5, 7));
    EXPECT_EQ(host.statusText, " 5, 7");
    WindowProc(*program, host, msg::mouseMove, 0, point(123, 45));
    EXPECT_EQ(host.statusText, " 123, 45");
}

TEST_F(WindowFixture, ClicksOnTheBarsActAsArrowAndPageKeys) {
    Program& p = *program;
    p.network.radioCount = 5;
    p.display.screenNumber = 2;
    p.display.rowsPerPage = 10;
    p.network.selectedRadio = 0;
    WindowProc(p, host, msg::leftButtonDown, 1, point(300, 90));  // Up: wraps to the last radio
    EXPECT_EQ(p.network.selectedRadio, 5);
    WindowProc(p, host, msg::leftButtonDown, 1, point(300, 100));  // between the bars: nothing
    EXPECT_EQ(p.network.selectedRadio, 5);
    WindowProc(p, host, msg::leftButtonDown, 1, point(300, 112 + 160 + 5));  // Down: wraps to 0
    EXPECT_EQ(p.network.selectedRadio, 0);
    WindowProc(p, host, msg::rightButtonDown, 2, point(300, 541 - 70));  // Page Down
    EXPECT_EQ(p.network.selectedRadio, 5);
    WindowProc(p, host, msg::rightButtonDown, 2, point(300, 85));  // Page Up
    EXPECT_EQ(p.network.selectedRadio, 0);
}

TEST_F(WindowFixture, SizeMessageSetsTheClientRectangle) {
    WindowProc(*program, host, msg::size, 0, point(640, 480));
    EXPECT_EQ(program->display.clientRect, (Rect{0, 0, 640, 480}));
}

TEST_F(WindowFixture, DestroyClosesTheLinkAndQuits) {
    WindowProc(*program, host, msg::destroy, 0, 0);
    EXPECT_TRUE(host.quitCalled);
    EXPECT_EQ(host.quitCode, 0);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(program->link.serialPortOpen, 0);
}

TEST_F(WindowFixture, PaintDrawsTheFrameOnTheWindowCanvas) {
    WindowProc(*program, host, msg::paint, 0, 0);
    EXPECT_EQ(canvas.text(1, 30, 10), "NONAME.RAD");
}

TEST(MenuTable, EveryMenuInOrderWithItsIds) {
    auto menus = MainMenu();
    ASSERT_EQ(menus.size(), 6u);
    const char* titles[] = {"&File", "&EditRadio", "&Communication", "&Show", "P&oll Options", "&Help"};
    for (size_t i = 0; i < menus.size(); ++i) EXPECT_EQ(menus[i].title, titles[i]);
    EXPECT_TRUE(menus[5].rightAligned);
    // The nine File items, then Export Graph... and Export History... before Exit.
    EXPECT_EQ(menus[0].items.size(), 11u);
    EXPECT_EQ(menus[0].items[8].id, 160);
    EXPECT_EQ(menus[0].items[9].id, 161);
    EXPECT_TRUE(menus[0].items[9].separatorAfter);
    EXPECT_EQ(menus[0].items[10].id, 3076);
    EXPECT_EQ(menus[0].items[2].id, 3074);
    EXPECT_TRUE(menus[0].items[2].greyed);
    EXPECT_TRUE(menus[0].items[2].separatorAfter);
    EXPECT_EQ(menus[2].items[4].text, "Connect TCPIP ");
    EXPECT_EQ(menus[2].items[5].text, "Connect  UDP");
    EXPECT_EQ(menus[3].items[8].text, "RSSI regularl");
    EXPECT_EQ(menus[4].items[3].id, 152);
    int ids = 0;
    for (const auto& m : menus) ids += static_cast<int>(m.items.size());
    EXPECT_EQ(ids, 42);
}

TEST_F(WindowFixture, TimerTicksDrawTheLiveUpdatesOnTheWindow) {
    canvas.clear();
    WindowProc(*program, host, msg::timer, 1, 0);
    EXPECT_EQ(canvas.text(1, 73, 8), "10:15:00");
    WindowProc(*program, host, msg::timer, 1, 0);
    // The second tick builds the first random poll and shows it on the upper status line.
    EXPECT_NE(canvas.lineAtBottom(541 - 42).find("Random"), std::string::npos);
}
