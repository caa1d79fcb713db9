#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/keyboard.h"
#include "engine/remote_setup.h"
#include "support/setup_fixture.h"

namespace {

using Strings = std::vector<std::string>;

constexpr int kUp = 38, kDown = 40, kPageUp = 33, kPageDown = 34;

class Keyboard : public SetupFixture {
protected:
    Keyboard() { addRadios(40); }
    void press(int key) { OnKeyDown(*program, host, key); }
    int selected() const { return program->network.selectedRadio; }
    void onScreen(int screen) { program->display.screenNumber = screen; }
};

TEST_F(Keyboard, ArrowsWrapAroundOnScreen2) {
    onScreen(2);
    program->network.selectedRadio = 0;
    press(kUp);
    EXPECT_EQ(selected(), 40);
    press(kDown);
    EXPECT_EQ(selected(), 0);
    press(kDown);
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(host.events, Strings(3, "invalidate:erase"));
    EXPECT_EQ(host.updates, 3);
}

TEST_F(Keyboard, ArrowsOnTheGraphsRepaintWithoutErasing) {
    for (int screen : {3, 4}) {
        onScreen(screen);
        host.events.clear();
        program->network.selectedRadio = 40;
        press(kDown);
        EXPECT_EQ(selected(), 0);
        press(kPageDown);
        EXPECT_EQ(selected(), 23);
        EXPECT_EQ(host.events, Strings(2, "invalidate"));
    }
}

TEST_F(Keyboard, PageKeysStayWithinTheTableOnScreen2) {
    onScreen(2);  // rowsPerPage 23
    program->network.selectedRadio = 23;
    press(kPageUp);
    EXPECT_EQ(selected(), 0);
    program->network.selectedRadio = 24;
    press(kPageUp);
    EXPECT_EQ(selected(), 1);
    press(kPageDown);
    EXPECT_EQ(selected(), 24);
    press(kPageDown);
    EXPECT_EQ(selected(), 40);
    press(kPageDown);
    EXPECT_EQ(selected(), 40);
}

TEST_F(Keyboard, StaleSelectionStepsFromInsideTheTable) {
    onScreen(2);
    program->network.radioCount = 5;
    program->network.selectedRadio = 300;  // left behind by a smaller network
    press(kUp);
    EXPECT_EQ(selected(), 4);
    program->network.selectedRadio = 300;
    press(kDown);
    EXPECT_EQ(selected(), 0);
    // A window too small for one row gives a negative page.
    program->display.rowsPerPage = -3;
    program->network.selectedRadio = 4;
    press(kPageUp);
    EXPECT_EQ(selected(), 5);
    press(kPageDown);
    EXPECT_EQ(selected(), 2);
    program->network.selectedRadio = 1;
    press(kPageDown);
    EXPECT_EQ(selected(), 0);
}

TEST_F(Keyboard, ListScreensScrollAndFollowTheLastRowRule) {
    RadioNetwork& network = program->network;
    for (int screen : {0, 1}) {
        onScreen(screen);
        network.firstVisibleRow = 1;
        press(kUp);
        EXPECT_EQ(network.firstVisibleRow, 1);
        EXPECT_EQ(network.lastVisibleRow, 24);
        press(kDown);
        EXPECT_EQ(network.firstVisibleRow, 2);
        EXPECT_EQ(network.lastVisibleRow, 25);
        press(kPageDown);
        EXPECT_EQ(network.firstVisibleRow, 25);
        EXPECT_EQ(network.lastVisibleRow, 40);
        network.firstVisibleRow = 17;  // 40 - 23 is not beyond 17
        press(kPageDown);
        EXPECT_EQ(network.firstVisibleRow, 17);
        network.firstVisibleRow = 16;
        press(kPageDown);
        EXPECT_EQ(network.firstVisibleRow, 39);
        EXPECT_EQ(network.lastVisibleRow, 40);
        press(kPageUp);
        EXPECT_EQ(network.firstVisibleRow, 16);
        EXPECT_EQ(network.lastVisibleRow, 39);
        press(kPageUp);
        EXPECT_EQ(network.firstVisibleRow, 1);
        EXPECT_EQ(network.selectedRadio, 0);
    }
}

TEST_F(Keyboard, DownStopsAtTheLastRadioAndShortListsDoNotPage) {
    RadioNetwork& network = program->network;
    onScreen(0);
    network.radioCount = 5;
    network.firstVisibleRow = 5;
    press(kDown);
    EXPECT_EQ(network.firstVisibleRow, 5);
    EXPECT_EQ(network.lastVisibleRow, 5);
    network.firstVisibleRow = 1;
    press(kPageDown);
    EXPECT_EQ(network.firstVisibleRow, 1);
    EXPECT_EQ(network.lastVisibleRow, 5);
}

TEST_F(Keyboard, AlarmTimeStepsAndStopsAtOneSecond) {
    program->display.alarmTimeSeconds = 3;
    for (int key : {189, 109, 189, 109}) press(key);
    EXPECT_FLOAT_EQ(program->display.alarmTimeSeconds, 1);
    for (int key : {187, 107}) press(key);
    EXPECT_FLOAT_EQ(program->display.alarmTimeSeconds, 3);
    EXPECT_EQ(host.erasingInvalidations, 6);
}

TEST_F(Keyboard, NTogglesNamesAndDigitsChooseTheScreen) {
    program->display.showNames = true;  // "Names" from the Show menu
    press(78);
    EXPECT_FALSE(program->display.showNames);
    press(78);
    EXPECT_TRUE(program->display.showNames);
    press(50);
    EXPECT_EQ(program->display.screenNumber, 2);
    press(99);
    EXPECT_EQ(program->display.screenNumber, 3);
    press(96);
    EXPECT_EQ(program->display.screenNumber, 0);
    press(52);
    EXPECT_EQ(program->display.screenNumber, 4);
    press(53);  // "5" has no screen
    EXPECT_EQ(program->display.screenNumber, 4);
    EXPECT_EQ(host.erasingInvalidations, 7);
}

TEST_F(Keyboard, KeysWithoutAnActionOnlyRepaint) {
    program->network.selectedRadio = 7;
    program->poll.pollMode = PollPhase::polling(PollOrder::random);
    program->display.alarmTimeSeconds = 60;
    for (int key : {66, 13, 90}) press(key);  // B, Enter, Z
    EXPECT_EQ(host.events, Strings(3, "invalidate:erase"));
    EXPECT_EQ(host.updates, 3);
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(program->network.selectedRadio, 7);
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    EXPECT_EQ(program->display.screenNumber, 0);
    EXPECT_FALSE(program->display.showNames);
}

TEST_F(Keyboard, WRequestsASnapshotWithoutRepaint) {
    press(87);
    EXPECT_TRUE(program->log.logRequested);
    EXPECT_EQ(host.invalidations, 0);
}

TEST_F(Keyboard, FOnScreen2WritesTheShownRadiosSettingsWithoutRepaint) {
    namespace fs = std::filesystem;
    const fs::path before = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("setup_keyboard_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    onScreen(2);
    program->network.radioCount = 4;
    program->network.selectedRadio = 90;  // stale: the report is of radio 4, which Screen2 shows
    press(70);
    const bool written = fs::exists(dir / "5000004.dat");
    fs::current_path(before);
    fs::remove_all(dir);
    EXPECT_TRUE(written);
    EXPECT_EQ(host.invalidations, 0);
}

TEST_F(Keyboard, EscClosesTheWindowWithoutRepaint) {
    press(27);
    EXPECT_TRUE(host.quitCalled);
    EXPECT_EQ(host.invalidations, 0);
}

TEST_F(Keyboard, SAndRChooseThePollingAndEndAnySequence) {
    program->poll.pollMode = PollPhase::fromNumber(45);
    program->poll.currentRadio = 9;
    press(83);
    EXPECT_EQ(program->poll.pollMode.number(), 0);
    EXPECT_EQ(program->poll.currentRadio, 1);
    program->poll.pollMode = PollPhase::fromNumber(-20);
    program->poll.randomNumber = 77;
    press(82);
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    EXPECT_EQ(program->poll.randomNumber, 0);
}

TEST_F(Keyboard, POnScreen2ReadsEverySetupParameterOfTheSelectedRadio) {
    onScreen(2);
    program->network.selectedRadio = 6;
    program->setup.setupParamCount = 34;
    program->poll.setupSweepIndex = 12;
    program->poll.pollMode = PollPhase::polling(PollOrder::random);
    press(80);
    EXPECT_EQ(program->poll.pollMode.number(), 1 - 68);
    EXPECT_EQ(program->poll.setupSweepIndex, 0);
    EXPECT_EQ(program->poll.currentRadio, 6);
    EXPECT_TRUE(host.shown.empty());
}

TEST_F(Keyboard, PElsewhereIsRefusedWhileAWriteRuns) {
    program->poll.pollMode = PollPhase::fromNumber(45);
    program->poll.currentRadio = 3;
    program->network.selectedRadio = 3;
    host.answer(true, "5000010");
    for (int screen : {0, 1, 3, 4}) {
        onScreen(screen);
        press(80);
    }
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(program->poll.pollMode.number(), 45);
    EXPECT_EQ(program->poll.currentRadio, 3);
    EXPECT_EQ(program->network.selectedRadio, 3);
}

TEST_F(Keyboard, PElsewherePollsTheTypedRadio) {
    program->poll.pollMode = PollPhase::polling(PollOrder::sequential);
    host.answer(true, "5000010");
    press(80);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0].title, "Radio Serial Number to Poll?");
    EXPECT_EQ(program->poll.pollMode.number(), 10);
    EXPECT_EQ(program->poll.currentRadio, 10);
    EXPECT_EQ(program->network.selectedRadio, 10);
}

TEST_F(Keyboard, CRunsChangeEprom) {
    program->network.radios[4].disconnectCount = 9;
    press(67);  // Screen0: counters cleared
    EXPECT_EQ(program->network.radios[4].disconnectCount, 0);
    onScreen(2);
    host.answer(false);
    press(67);
    ASSERT_FALSE(host.shown.empty());
    EXPECT_EQ(host.shown.back().title, "Radio Parameter to Change?");
}

TEST_F(Keyboard, AAndDOpenTheRadioDialogs) {
    press(65);
    press(68);
    ASSERT_EQ(host.shown.size(), 2u);
    EXPECT_EQ(host.shown[0].title, "Radio Serial Number to Add?");
    EXPECT_EQ(host.shown[1].title, "Radio Serial Number to Delete?");
    EXPECT_EQ(program->network.radioCount, 40);
}

}  // namespace
