#include <pty.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/link_commands.h"
#include "app/menu_commands.h"
#include "link/links.h"
#include "model/radio_table.h"
#include "support/log_fixture.h"
#include "text/typed_number.h"

namespace {

using Strings = std::vector<std::string>;

class MenuCommands : public FileFixture {
protected:
    MenuCommands() {
        RadioNetwork& n = program->network;
        n.radios[0].serialNumber = 2412345;
        for (int i = 1; i <= 3; ++i) n.radios[i].serialNumber = 5000000 + i;
        n.radioCount = 3;
        n.lastVisibleRow = 3;
    }
    bool command(int id) { return OnMenuCommand(*program, host, id); }
    Strings prompts() const {
        Strings out;
        for (const auto& s : host.shown)
            if (s.kind == "prompt") out.push_back(s.title + "|" + s.text);
        return out;
    }
    RadioNetwork& network() { return program->network; }
};

TEST_F(MenuCommands, UnknownIdsAreNotHandled) {
    EXPECT_FALSE(command(0));
    EXPECT_FALSE(command(145));
    EXPECT_FALSE(command(3082));
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(host.invalidations, 0);
}

TEST_F(MenuCommands, LocatePrefillsTheSelectedRadioOrRadioOne) {
    host.answer(false);
    EXPECT_TRUE(command(151));
    network().selectedRadio = 2;
    host.answer(false);
    command(151);
    EXPECT_EQ(prompts(), (Strings{"Locate Radio|5000001", "Locate Radio|5000002"}));
    EXPECT_EQ(network().selectedRadio, 2);  // Cancel changes nothing
}

TEST_F(MenuCommands, LocateSelectsTheRadioAndScrollsToIt) {
    host.answer(true, " 5000003");
    command(151);
    EXPECT_EQ(network().selectedRadio, 3);
    EXPECT_EQ(network().firstVisibleRow, 3);
    EXPECT_EQ(host.updates, 1);

    host.answer(true, "2412345");
    command(151);
    EXPECT_EQ(network().selectedRadio, 0);
    EXPECT_EQ(network().firstVisibleRow, 1);

    host.answer(true, "777");
    command(151);
    EXPECT_EQ(host.messages(), Strings{"Struck out!: Radio Not Found!"});
    EXPECT_EQ(network().selectedRadio, 0);
}

TEST_F(MenuCommands, SaveAllWritesOneReportPerSlotAndEndsOnTheLastRadio) {
    network().radios[0].serialNumber = 0;  // no master reply yet
    EXPECT_TRUE(command(135));
    for (const char* name : {"0.dat", "5000001.dat", "5000002.dat", "5000003.dat"})
        EXPECT_TRUE(FileExists(name)) << name;
    EXPECT_EQ(program->display.screenNumber, 2);
    EXPECT_EQ(network().selectedRadio, 3);
    EXPECT_EQ(host.invalidations, 4);
    EXPECT_NE(ReadFileBytes("5000002.dat").find("\r\n                  2   5000002 NAME:NewRadio\r\n"),
              std::string::npos);
}

TEST_F(MenuCommands, SaveAllShowsOnlyTheFirstFailure) {
    ASSERT_EQ(::mkdir("5000001.dat", 0755), 0);
    ASSERT_EQ(::mkdir("5000002.dat", 0755), 0);
    command(135);
    EXPECT_EQ(host.messages(), Strings{"Error: Could not write 5000001.dat: Is a directory"});
    EXPECT_EQ(program->errors.count.load(), 2);
    EXPECT_TRUE(FileExists("5000003.dat"));
}

TEST_F(MenuCommands, SaveRadioSettingsShowsScreen2AndWritesTheSelectedReport) {
    network().selectedRadio = 2;
    command(123);
    EXPECT_EQ(program->display.screenNumber, 2);
    EXPECT_EQ(host.updates, 1);
    EXPECT_TRUE(FileExists("5000002.dat"));
    EXPECT_FALSE(FileExists("5000001.dat"));
}

TEST_F(MenuCommands, PollRadioIgnoresSerialsUpTo10000) {
    host.answer(true, "10000");
    command(3078);
    EXPECT_EQ(network().radioCount, 3);
    EXPECT_EQ(program->poll.pollMode, 1);
    EXPECT_EQ(network().selectedRadio, 0);

    host.answer(true, "10001");
    command(3078);
    EXPECT_EQ(prompts(), (Strings{"Radio Serial Number to Poll?|", "Radio Serial Number to Poll?|"}));
    EXPECT_EQ(network().radioCount, 4);
    EXPECT_EQ(network().selectedRadio, 4);
    EXPECT_EQ(program->poll.currentRadio, 4);
    EXPECT_EQ(program->poll.pollMode, 11);
}

TEST_F(MenuCommands, PollRadioOnScreen2ReadsAllParametersWithoutAPrompt) {
    program->display.screenNumber = 2;
    network().selectedRadio = 2;
    command(3078);
    EXPECT_TRUE(host.shown.empty());
    EXPECT_LT(program->poll.pollMode, 0);
    EXPECT_EQ(program->poll.currentRadio, 2);
}

TEST_F(MenuCommands, AddRadioAsksForTheNumberThenTheName) {
    host.answer(true, "7000001");
    host.answer(true, "Pump House 2");
    command(3079);
    EXPECT_EQ(prompts(), (Strings{"Radio Serial Number to Add?|", "Radio 7000001's Name?|"}));
    ASSERT_EQ(network().radioCount, 4);
    EXPECT_EQ(network().radios[4].serialNumber, 7000001u);
    EXPECT_EQ(NameText(network().radios[4].name), "Pump Hou");

    host.answer(true, "5000002");  // already there: renamed, not added
    host.answer(true, "Mid");
    command(3079);
    EXPECT_EQ(network().radioCount, 4);
    EXPECT_EQ(NameText(network().radios[2].name), "Mid     ");
}

TEST_F(MenuCommands, AddRadioCancelRules) {
    command(3079);  // Cancel at the number: nothing
    EXPECT_EQ(network().radioCount, 3);

    host.answer(true, "7000002");  // Cancel at the name: added, name untouched
    command(3079);
    ASSERT_EQ(network().radioCount, 4);
    EXPECT_EQ(NameText(network().radios[4].name), "NewRadio");
}

TEST_F(MenuCommands, AddRadioRefusesAFullTableAndImpossibleNumbers) {
    network().radioCount = kMaxRadios;
    host.answer(true, "7000003");
    host.answer(true, "X");
    command(3079);
    EXPECT_EQ(network().radioCount, kMaxRadios);

    host.answer(true, "99999999");
    command(3079);
    EXPECT_EQ(host.messages(), (Strings{"Error: Radio table is full", "Error: Bad Input Try Again"}));
}

TEST_F(MenuCommands, DeleteRadioRemovesTheTypedSerial) {
    host.answer(true, "5000002");
    command(3077);
    EXPECT_EQ(prompts(), Strings{"Radio Serial Number to Delete?|"});
    ASSERT_EQ(network().radioCount, 2);
    EXPECT_EQ(network().radios[2].serialNumber, 5000003u);

    host.answer(true, "123");
    command(3077);
    EXPECT_EQ(network().radioCount, 2);
}

TEST_F(MenuCommands, DeleteRadioKeepsARunningWriteOnItsRadio) {
    program->poll.pollMode = 45;  // a write to radio 3 is under way
    program->poll.currentRadio = 3;
    host.answer(true, "5000001");
    command(3077);
    EXPECT_EQ(program->poll.currentRadio, 2);  // radio 3 moved down a slot
    EXPECT_EQ(network().radios[2].serialNumber, 5000003u);
    EXPECT_EQ(program->poll.pollMode, 45);

    host.answer(true, "5000003");  // the radio being written goes: its write ends
    command(3077);
    EXPECT_EQ(network().radioCount, 1);
    EXPECT_EQ(program->poll.pollMode, 1);
    EXPECT_EQ(program->poll.pendingAddress, -1);
}

TEST_F(MenuCommands, DeleteRadioTakesAnySerialARecordCanHoldAndSaysNothingElse) {
    network().radios[2].serialNumber = 20000000;  // loaded from a file; never on the air
    host.answer(true, "20000000");
    command(3077);
    EXPECT_EQ(network().radioCount, 2);
    EXPECT_EQ(network().radios[2].serialNumber, 5000003u);

    for (const char* typed : {"-5000001", "5000001e9", "nothing"}) {
        host.answer(true, typed);
        command(3077);
    }
    EXPECT_EQ(network().radioCount, 2);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.invalidations, 1);
}

TEST_F(MenuCommands, SaveRadioSettingsListsTheRowsTheShownRadioHas) {
    network().selectedRadio = 2;  // 5000002: 34 parameters
    command(123);
    EXPECT_EQ(program->setup.setupParamCount, 34);
    std::string text = ReadFileBytes("5000002.dat");
    EXPECT_NE(text.find("33       Radio ID Super       XXX \r\n\r\nStart Time was "), std::string::npos);

    network().selectedRadio = 0;  // the master, 2412345: 39 parameters
    command(123);
    EXPECT_EQ(program->setup.setupParamCount, 39);
    text = ReadFileBytes("2412345.dat");
    EXPECT_NE(text.find("38       Xmit Power Cal.      XXX \r\n\r\nStart Time was "), std::string::npos);
}

TEST(TypedNumbers, ReadAsDecimalNumbersUpToTheFirstCharacterThatCannotContinueOne) {
    EXPECT_DOUBLE_EQ(ParseTypedNumber("  5000001"), 5000001);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("\t2.5 s"), 2.5);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("+7x9"), 7);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("5e6"), 5000000);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("2.5E-1"), 0.25);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("12e"), 12);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("12e+"), 12);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("e5"), 0);
    EXPECT_DOUBLE_EQ(ParseTypedNumber(""), 0);
    EXPECT_DOUBLE_EQ(ParseTypedNumber("abc"), 0);
    EXPECT_TRUE(std::isinf(ParseTypedNumber("1e99999")));
}

TEST_F(MenuCommands, FlagsScreensAndUnits) {
    command(122);
    command(204);
    EXPECT_TRUE(program->log.logRequested);
    EXPECT_TRUE(program->log.csvRequested);
    EXPECT_EQ(host.invalidations, 0);

    for (int id = 140; id <= 144; ++id) {
        command(id);
        EXPECT_EQ(program->display.screenNumber, id - 140);
    }
    command(124);
    EXPECT_TRUE(program->display.showNames);
    command(125);
    EXPECT_FALSE(program->display.showNames);
    command(133);
    EXPECT_FALSE(program->display.metricUnits);
    command(132);
    EXPECT_TRUE(program->display.metricUnits);
    EXPECT_EQ(host.erasingInvalidations, 9);
    EXPECT_EQ(host.updates, 9);

    EXPECT_TRUE(command(126));
    EXPECT_TRUE(command(127));
    EXPECT_EQ(host.invalidations, 9);
}

TEST_F(MenuCommands, PollModes) {
    program->poll.randomNumber = 9;
    command(202);
    EXPECT_EQ(program->poll.pollMode, 0);
    EXPECT_EQ(program->poll.currentRadio, 1);
    command(201);
    EXPECT_EQ(program->poll.pollMode, 1);
    EXPECT_EQ(program->poll.randomNumber, 0);

    command(203);  // only on screen 2
    EXPECT_TRUE(host.shown.empty());
    host.answer(true, "2.5");
    command(152);
    EXPECT_FLOAT_EQ(program->poll.pollInterval, 2.5f);
    EXPECT_EQ(prompts(), Strings{"Polling Interval|0.2"});
}

TEST_F(MenuCommands, ResetDisconnectCountsNewNetworkAndMessages) {
    network().radios[2].disconnectCount = 7;
    command(134);
    EXPECT_EQ(network().radios[2].disconnectCount, 0);
    EXPECT_EQ(host.invalidations, 0);

    command(3074);
    command(3080);
    command(3081);
    EXPECT_EQ(host.messages(),
              (Strings{": CLOSE selected", "Corvane: Corvane's Support number is (800-555-0199)"}));
    EXPECT_EQ(host.shown.back().kind, "about");

    network().networkFileName = "SITE7.RAD";
    command(3072);
    EXPECT_EQ(network().radioCount, 0);
    EXPECT_EQ(network().networkFileName, "NONAME.RAD");
    EXPECT_EQ(host.updates, 1);
}

TEST_F(MenuCommands, ExitDestroysTheWindow) {
    command(3076);
    EXPECT_TRUE(host.quitCalled);
    EXPECT_EQ(host.quitCode, 0);
}

TEST_F(MenuCommands, ChangeCommPortClosesAnOpenPortAndKeepsItClosed) {
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::setenv("CORVANE_COM1", name, 1);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    ASSERT_TRUE(program->link.serialPortOpen.load());

    host.answer(true, "Com3");
    command(119);
    EXPECT_FALSE(program->link.serialPortOpen.load());
    EXPECT_EQ(program->link.commPortName, "Com3");
    EXPECT_EQ(host.listItems.front(), std::string("Com1  ") + name);

    CloseAllLinks(*program, host);
    ::unsetenv("CORVANE_COM1");
    ::close(slave);
    ::close(master);
}

TEST_F(MenuCommands, ChangeIpAddressStoresBothTexts) {
    program->link.ipAddressText = "10.0.0.1";
    host.answer(true, "10.0.0.2");
    host.answer(true, "4002");
    command(129);
    EXPECT_EQ(prompts(), (Strings{"New IP Address|10.0.0.1", "Port Address|"}));
    EXPECT_EQ(program->link.ipAddressText, "10.0.0.2");
    EXPECT_EQ(program->link.portText, "4002");
}

TEST_F(MenuCommands, SaveAllListsEachRadiosOwnRows) {
    network().radios[2].serialNumber = 2415000;  // a newer type: 39 parameters
    program->setup.setupParamCount = 34;         // left by Screen2 showing an older radio
    command(135);
    EXPECT_NE(ReadFileBytes("2415000.dat").find("38       Xmit Power Cal.      XXX \r\n\r\nStart Time was "),
              std::string::npos);
    EXPECT_NE(ReadFileBytes("5000003.dat").find("33       Radio ID Super       XXX \r\n\r\nStart Time was "),
              std::string::npos);
}

TEST(TypedNumbers, AHugeExponentNeverGivesNaN) {
    const std::string manyDigits(400, '9');
    struct Case {
        std::string text;
        double value;
    };
    const Case cases[] = {{"0e55015", 0.0},
                          {"0.000e999", 0.0},
                          {manyDigits + "e-999", HUGE_VAL},
                          {"-" + manyDigits + "e-5", -HUGE_VAL},
                          {"7e-999", 0.0}};
    for (const Case& c : cases) EXPECT_EQ(ParseTypedNumber(c.text), c.value) << c.text;
}

}  // namespace
