#include <string>
#include <vector>

#include "app/change_parameter.h"
#include "engine/remote_setup.h"
#include "support/setup_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class ChangeParameter : public SetupFixture {
protected:
    ChangeParameter() {
        addRadios(3);
        program->display.screenNumber = 2;
        program->poll.pollMode = 1;
        program->poll.currentRadio = 0;
    }

    // Selects radio 2 with a serial number and the row count Screen2 gives it.
    void selectRadio(uint32_t serial) {
        program->network.radios[2].serialNumber = serial;
        program->network.selectedRadio = 2;
        program->setup.setupParamCount = SetupParamCountForSerial(serial);
    }

    // Types a row and the answers that follow.
    void change(const std::string& row, const Strings& values = {}) {
        host.answer(true, row);
        for (const auto& v : values) host.answer(true, v);
        ChangeSetupParameter(*program, host);
    }

    bool started() const { return program->poll.pollMode >= 2; }

    void expectRefusal(const std::string& text) {
        EXPECT_EQ(host.events, Strings({"beep", "message:Error:" + text}));
        EXPECT_FALSE(started());
        EXPECT_EQ(program->poll.pollMode, 1);
    }
};

TEST_F(ChangeParameter, ConfirmedChangeStartsTheWriteToTheSelectedRadio) {
    selectRadio(5000000);
    program->poll.pendingAddress = 7;
    change("5", {"9"});
    EXPECT_EQ(host.shown.size(), 2u);
    EXPECT_EQ(host.shown[0].title, "Radio Parameter to Change?");
    EXPECT_EQ(host.shown[0].text, "");
    EXPECT_EQ(host.shown[1].title, "NewValue?");
    EXPECT_EQ(host.shown[1].text, "");
    EXPECT_EQ(host.beeps, 0);

    const PollState& poll = program->poll;
    EXPECT_EQ(poll.pollMode, 61);
    EXPECT_EQ(poll.writeAddress, 0x0D82);
    EXPECT_EQ(poll.writeValue, 9);
    EXPECT_EQ(poll.pendingAddress, 0x0D82);
    EXPECT_EQ(poll.pendingValue, 9);
    EXPECT_EQ(poll.ackAddress, -1);
    EXPECT_EQ(poll.ackValue, -1);
    EXPECT_EQ(poll.currentRadio, 2);
}

TEST_F(ChangeParameter, SequentialBaseModeIsKeptInTheLowestBit) {
    selectRadio(9500000);
    program->poll.pollMode = 0;
    change("35", {"4"});
    EXPECT_EQ(program->poll.pollMode, 60);
    EXPECT_EQ(program->poll.writeAddress, 0x040D);  // below the EEPROM base
}

TEST_F(ChangeParameter, OnlyScreen2AndIdlePollingOfferTheChange) {
    selectRadio(5000000);
    for (int screen : {1, 3, 4}) {
        program->display.screenNumber = screen;
        ChangeSetupParameter(*program, host);
    }
    program->display.screenNumber = 2;
    for (int mode : {-20, 2, 47, 61}) {
        program->poll.pollMode = mode;
        ChangeSetupParameter(*program, host);
        EXPECT_EQ(program->poll.pollMode, mode);
    }
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(host.invalidations, 0);
}

TEST_F(ChangeParameter, OnScreen0ItClearsEveryDisconnectCounter) {
    program->display.screenNumber = 0;
    for (int r = 0; r <= 3; ++r) program->network.radios[r].disconnectCount = static_cast<uint8_t>(r + 4);
    ChangeSetupParameter(*program, host);
    for (int r = 0; r <= 3; ++r) EXPECT_EQ(program->network.radios[r].disconnectCount, 0) << r;
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(host.erasingInvalidations, 1);
    EXPECT_EQ(host.updates, 1);
    EXPECT_EQ(program->poll.pollMode, 1);
}

TEST_F(ChangeParameter, CancelChangesNothing) {
    selectRadio(5000000);
    host.answer(false);
    ChangeSetupParameter(*program, host);
    host.answer(true, "5");
    host.answer(false);
    ChangeSetupParameter(*program, host);
    host.answer(true, "28");
    host.answer(false, "1", "2");
    ChangeSetupParameter(*program, host);
    EXPECT_FALSE(started());
    EXPECT_EQ(host.beeps, 0);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ChangeParameter, RowsOutsideTheRadiosTableAreOutOfRange) {
    selectRadio(5000000);  // 34 rows
    for (const char* row : {"34", "-1", "-0.4", "40", "99999999999"}) {  // negative before rounding too
        host.events.clear();
        change(row);
        expectRefusal("Out oF Range");
    }
    selectRadio(9500000);  // 39 rows
    host.events.clear();
    change("39");
    expectRefusal("Out oF Range");
}

TEST_F(ChangeParameter, FixedRowsCannotBeChanged) {
    selectRadio(9500000);
    for (const char* row : {"6", "7", "8", "34", "38"}) {
        host.events.clear();
        change(row);
        expectRefusal("These cannot be changed");
        EXPECT_EQ(host.shown.back().kind, "message") << row;
    }
}

TEST_F(ChangeParameter, ValueOutsideTheRowsRuleIsAskedAgain) {
    selectRadio(5000000);
    change("0", {"2", "7"});  // Screen2 calls 2 "Master", yet it cannot be set
    EXPECT_EQ(host.events, Strings({"beep", "message:Error:Bad Input Try Again"}));
    EXPECT_EQ(host.shown.size(), 4u);
    EXPECT_EQ(host.shown[3].title, "NewValue?");
    EXPECT_EQ(program->poll.writeValue, 7);
    EXPECT_TRUE(started());
}

struct ValueCase {
    int row;
    const char* typed;
    int stored;  // -1: refused
};

class ChangeParameterValues : public ChangeParameter, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ChangeParameterValues, RowRuleDecides) {
    const ValueCase& c = GetParam();
    selectRadio(5000000);
    // A refused value is asked again; the second answer cancels.
    host.answer(true, std::to_string(c.row));
    host.answer(true, c.typed);
    ChangeSetupParameter(*program, host);
    if (c.stored < 0) {
        EXPECT_EQ(host.messages(), Strings({"Error: Bad Input Try Again"}));
        EXPECT_EQ(host.beeps, 1);
        EXPECT_EQ(host.shown.back().title, "NewValue?");
        EXPECT_FALSE(started());
    } else {
        EXPECT_TRUE(host.messages().empty());
        EXPECT_TRUE(started());
        EXPECT_EQ(program->poll.writeValue, c.stored);
        EXPECT_EQ(program->poll.pendingValue, c.stored);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ChangeParameterValues,
    ::testing::Values(ValueCase{0, "3", 3}, ValueCase{0, "7", 7}, ValueCase{0, "2", -1}, ValueCase{0, "4", -1},
                      ValueCase{3, "147", 0x93}, ValueCase{3, "148", -1}, ValueCase{3, "4", -1},
                      ValueCase{3, "128", 128}, ValueCase{9, "15", 15}, ValueCase{9, "16", -1},
                      ValueCase{10, "16", -1}, ValueCase{12, "0", 0}, ValueCase{11, "1", -1},
                      ValueCase{11, "2", 2}, ValueCase{11, "3", 3}, ValueCase{15, "112", 112},
                      ValueCase{15, "113", -1}, ValueCase{17, "9", 9}, ValueCase{19, "10", -1},
                      ValueCase{20, "2", 2}, ValueCase{20, "3", -1}, ValueCase{5, "255", 255},
                      ValueCase{5, "256", -1}, ValueCase{5, "-1", -1}, ValueCase{5, "6.6", 7},
                      ValueCase{5, "255.4", 255}, ValueCase{5, "255.6", -1}, ValueCase{16, "abc", 0},
                      ValueCase{13, "5", 147}, ValueCase{13, "1", 39}, ValueCase{13, "9", 255},
                      ValueCase{13, "0", -1}, ValueCase{13, "10", -1}));

TEST_F(ChangeParameter, NewTypeTransmitPowerScalesByTheCalibration) {
    selectRadio(9500000);
    setParam(2, 38, 200);
    change("13", {"10"});
    EXPECT_EQ(program->poll.writeValue, 200);

    program->poll.pollMode = 1;
    setParam(2, 38, 157);
    change("13", {"3"});
    EXPECT_EQ(program->poll.writeValue, 47);  // 47.1 to the nearest

    program->poll.pollMode = 1;
    change("13", {"0"});
    EXPECT_EQ(program->poll.writeValue, 0);

    program->poll.pollMode = 1;
    host.events.clear();
    change("13", {"11", "10"});
    EXPECT_EQ(host.events, Strings({"beep", "message:Error:Bad Input Try Again"}));
    EXPECT_EQ(program->poll.writeValue, 157);
}

TEST_F(ChangeParameter, NewTypeTransmitPowerNeedsTheCalibrationRead) {
    selectRadio(0);  // serial 0 counts as the new type
    change("13", {"5"});
    expectRefusal("EEPROM #38 Reguired First");

    host.events.clear();
    setParam(2, 38, 0);
    change("13", {"5"});
    expectRefusal("EEPROM #38 Reguired First");
}

TEST_F(ChangeParameter, SubnetBoxesGiveTransmitHighReceiveLow) {
    selectRadio(9500000);
    host.answer(true, "28");
    host.answer(true, "0", "F");  // RX box, TX box
    ChangeSetupParameter(*program, host);
    ASSERT_EQ(host.shown.size(), 2u);
    EXPECT_EQ(host.shown[1].kind, "subnet");
    EXPECT_EQ(host.shown[1].title, "New Subnet Value");
    EXPECT_EQ(host.shown[1].text, "RX|TX");
    EXPECT_EQ(program->poll.writeValue, 0xF0);
    EXPECT_EQ(program->poll.writeAddress, 0x0F3E);
    EXPECT_EQ(program->poll.pollMode, 61);
}

struct SubnetCase {
    const char* rx;
    const char* tx;
    int stored;  // -1: "Incorrect Value"
};

class SubnetValues : public ChangeParameter, public ::testing::WithParamInterface<SubnetCase> {};

TEST_P(SubnetValues, HexadecimalScan) {
    const SubnetCase& c = GetParam();
    selectRadio(9500000);
    host.answer(true, "28");
    host.answer(true, c.rx, c.tx);
    ChangeSetupParameter(*program, host);
    if (c.stored < 0) {
        expectRefusal("Incorrect Value");
    } else {
        EXPECT_TRUE(host.events.empty());
        EXPECT_EQ(program->poll.writeValue, c.stored);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, SubnetValues,
                         ::testing::Values(SubnetCase{"RX", "TX", -1}, SubnetCase{"a", "b", 0xBA},
                                           SubnetCase{"", "", 0}, SubnetCase{"1", " ", 1},
                                           SubnetCase{"2", "1 ", -1}, SubnetCase{"F", "0F", 0xFF},
                                           SubnetCase{"0", "10", -1}, SubnetCase{"0", "0000001", 0x10},
                                           SubnetCase{"G", "1", -1}, SubnetCase{"1", "-", -1}));

}  // namespace
