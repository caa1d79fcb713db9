#include <functional>
#include <sys/ioctl.h>

#include "link_fixture.h"

namespace linktest {
namespace {

// Plays the modem on the far side of the pseudo-terminal while the dial-up wait
// pumps the window: it takes the dial command, then answers chunk by chunk, each
// chunk delivered before the next pump so that every chunk lands in its own read.
// Like a real modem it abandons the call when any byte follows the dial command
// before it has answered, and says "NO CARRIER" instead.
class ModemHost : public ScriptedHost {
public:
    ModemHost(const Pty& pty, const std::unique_ptr<Program>& program) : pty(pty), program(program) {}

    void pumpEvents() override {
        ScriptedHost::pumpEvents();
        if (duringWait && !awaitingCommand) duringWait();
        // The window's timer keeps firing while the wait lets the window breathe.
        if (timerFires) WindowProc(*program, *this, msg::timer, 1, 0);
        if (pumps > 40000) {  // a wait that never ends would hang the suite: end it
            if (pumps == 40001) pty.write("NO DIALTONE");
            return;
        }
        if (awaitingCommand) {
            takeCommand();
            return;
        }
        if (attempt >= answers.size()) return;
        if (chunk < answers[attempt].size()) {
            if (chunk == 0 && !ReadWhatever(pty.master, 50).empty()) {
                pty.write("\r\nNO CARRIER\r\n");  // the stray byte ended the call
                answers[attempt].clear();
                return;
            }
            const std::string& text = answers[attempt][chunk++];
            pty.write(text);
            WaitFor([&] {
                int waiting = 0;
                ioctl(LinkDescriptor(program->link), FIONREAD, &waiting);
                return waiting >= static_cast<int>(text.size());
            });
        }
        if (chunk == answers[attempt].size() && !answers[attempt].empty()) {
            ++attempt;
            chunk = 0;
            awaitingCommand = true;
        }
    }

    // The window handles what waits while the "Dialing" box opens: the timer too.
    void showDialing(bool shown) override {
        ScriptedHost::showDialing(shown);
        if (!shown || !tickAsDialingShows) return;
        takeCommand();  // the command has left for the modem when the tick comes
        WaitFor([&] { return program->link.transmit.ringCount == 0; });
        WindowProc(*program, *this, msg::timer, 1, 0);
    }

    // The modem's answers per dialling attempt; an empty list is a silent modem.
    std::vector<std::vector<std::string>> answers;
    std::vector<std::string> commands;
    bool timerFires = false;
    bool tickAsDialingShows = false;
    // Runs at every pump once the modem has the dial command.
    std::function<void()> duringWait;

private:
    void takeCommand() {
        if (!awaitingCommand) return;
        std::string command;
        while (command.empty() || command.back() != '\r') {
            std::string more = ReadBytes(pty.master, 1);
            if (more.empty()) return;
            command += more;
        }
        commands.push_back(command);
        awaitingCommand = false;
    }

    const Pty& pty;
    const std::unique_ptr<Program>& program;
    bool awaitingCommand = true;
    size_t attempt = 0;
    size_t chunk = 0;
};

class Dialup : public LinkTest {
protected:
    void TearDown() override {
        CloseAllLinks(*program, modem);
        LinkTest::TearDown();
    }
    std::vector<std::string> shownTitles() const {
        std::vector<std::string> out;
        for (const auto& s : modem.shown) out.push_back(s.kind + ":" + s.title + ":" + s.text);
        return out;
    }

    Pty pty;
    ModemHost modem{pty, program};
};

TEST_F(Dialup, ConnectSplitOverTwoReadsBringsTheLinkUp) {
    usePty(pty);
    modem.answer(true, "5551234");
    modem.answers = {{"ATDT5551234\r\r\nCONN", "ECT 9600\r\n"}};
    DialUp(*program, modem);
    EXPECT_EQ(modem.commands, (std::vector<std::string>{"ATDT5551234\r"}));
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"prompt:Phone Number To Dial:"}));
    EXPECT_EQ(program->link.serialPortOpen, 1);
    EXPECT_EQ(program->link.linkUp, 1);
    EXPECT_FALSE(modem.dialingShown);
    EXPECT_EQ(modem.events, (std::vector<std::string>{"dialing:show", "dialing:hide"}));

    // From here on it is a serial link like any other.
    LinkSendRequest(*program);
    EXPECT_EQ(ReadBytes(pty.master, 8), requestBytes());
}

TEST_F(Dialup, TimerTicksDuringTheWaitNeitherReadTheAnswerNorQueueRequests) {
    usePty(pty);
    modem.timerFires = true;
    modem.answer(true, "5551234");
    modem.answers = {{"ATDT5551234\r\r\n", "CONNECT 9600\r\n"}};
    DialUp(*program, modem);
    EXPECT_EQ(program->link.linkUp, 1);
    EXPECT_EQ(modem.messages(), std::vector<std::string>{});
    EXPECT_EQ(modem.commands, (std::vector<std::string>{"ATDT5551234\r"}));
    EXPECT_EQ(ReadWhatever(pty.master), "");  // no request went into the dialogue
    EXPECT_EQ(program->errors.count, 0);       // no modem text was read as frames
    EXPECT_FALSE(program->link.dialling);

    // Connected, the ticks poll again: the waiting request goes out.
    for (int i = 0; i < 3; ++i) WindowProc(*program, modem, msg::timer, 1, 0);
    EXPECT_EQ(ReadBytes(pty.master, 8).size(), 8u);
}

TEST_F(Dialup, ATickAsTheDialingBoxOpensSendsNothingAfterTheDialCommand) {
    usePty(pty);
    modem.tickAsDialingShows = true;
    program->poll.pollInterval = 0;
    program->poll.requestState = 0;  // a request waits to go out
    modem.answer(true, "5551234");
    modem.answers = {{"CONNECT 9600\r\n"}};
    DialUp(*program, modem);
    EXPECT_EQ(modem.commands, (std::vector<std::string>{"ATDT5551234\r"}));
    EXPECT_EQ(modem.messages(), std::vector<std::string>{});
    EXPECT_EQ(program->link.linkUp, 1);
}

TEST_F(Dialup, ClosingTheWindowDuringTheWaitEndsTheDialAndQuits) {
    usePty(pty);
    modem.answer(true, "5551234");
    modem.answers = {{}};  // the modem is still dialling when the window closes
    modem.duringWait = [&] {
        if (!modem.quitCalled) WindowProc(*program, modem, msg::destroy, 0, 0);
    };
    DialUp(*program, modem);
    EXPECT_TRUE(modem.quitCalled);
    EXPECT_EQ(modem.messages(), std::vector<std::string>{});
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"prompt:Phone Number To Dial:"}));
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
    EXPECT_EQ(TimeText(clock.now()), "10:00:00");
}

TEST_F(Dialup, APortThatVanishesDuringTheWaitEndsItAtOnce) {
    usePty(pty);
    modem.answer(true, "5551234");
    modem.answers = {{}};
    modem.duringWait = [&] {  // the adapter is pulled out
        if (pty.master < 0) return;
        close(pty.master);
        close(pty.slave);
        pty.master = pty.slave = -1;
    };
    DialUp(*program, modem);
    EXPECT_EQ(modem.messages(),
              (std::vector<std::string>{"Error!: Comm port failed!\n" + pty.slaveName + ": Input/output error"}));
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
    EXPECT_EQ(TimeText(clock.now()), "10:00:00");
}

TEST_F(Dialup, BusyThenRedialAsksTheNumberAgain) {
    usePty(pty);
    modem.answer(true, "5551234");
    modem.answer(true);  // REDIAL
    modem.answer(true, "777");
    modem.answers = {{"ATDT5551234\r\r\n", "BUSY\r\n"}, {"CONNECT\r\n"}};
    DialUp(*program, modem);
    EXPECT_EQ(modem.commands, (std::vector<std::string>{"ATDT5551234\r", "ATDT777\r"}));
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"prompt:Phone Number To Dial:", "redial:Phone Busy:",
                                                        "prompt:Phone Number To Dial:"}));
    EXPECT_EQ(program->link.serialPortOpen, 1);
    EXPECT_EQ(program->link.linkUp, 1);
}

TEST_F(Dialup, NoDialtoneThenCancelLeavesThePortClosed) {
    usePty(pty);
    modem.answer(true, "1");
    modem.answer(false);  // CANCEL
    modem.answers = {{"NO DIALTONE\r\n"}};
    DialUp(*program, modem);
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"prompt:Phone Number To Dial:", "redial:No Dialtone:"}));
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
    EXPECT_EQ(program->link.linkUp, 0);
    EXPECT_EQ(program->link.transport, nullptr);  // no writer thread left
}

TEST_F(Dialup, ConnectWinsOverBusyInTheSameReply) {
    usePty(pty);
    modem.answer(true, "2");
    modem.answers = {{"BUSY\r\nCONNECT\r\n"}};
    DialUp(*program, modem);
    EXPECT_EQ(program->link.linkUp, 1);
    EXPECT_EQ(shownTitles().size(), 1u);
}

TEST_F(Dialup, SilentModemTimesOutSixtySecondsLaterAcrossMidnight) {
    usePty(pty);
    clock.setTimeOfDay(23, 59, 30);
    modem.answer(true, "3");
    modem.answers = {{}};
    DialUp(*program, modem);
    EXPECT_EQ(TimeText(clock.now()), "00:00:31");
    EXPECT_EQ(modem.messages(), (std::vector<std::string>{"Error!: Connection Timed Out!"}));
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
}

TEST_F(Dialup, PortThatWillNotOpenAndCancelledNumber) {
    setenv("CORVANE_COM1", "/nonexistent/modem", 1);
    DialUp(*program, modem);
    EXPECT_EQ(modem.messages(), (std::vector<std::string>{
                                    "Error!: Could not open comm port!\n/nonexistent/modem: No such file or directory"}));
    EXPECT_EQ(program->link.linkUp, 3);
    EXPECT_EQ(modem.shown.size(), 1u);

    usePty(pty);
    DialUp(*program, modem);  // nothing queued: the number prompt answers Cancel
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
    EXPECT_EQ(ReadWhatever(pty.master), "");
}

TEST_F(Dialup, MenuCommandDialsOnlyWhenNoPortIsOpen) {
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, modem));
    CommandConnectDialup(*program, modem);
    EXPECT_TRUE(modem.shown.empty());
    EXPECT_EQ(modem.erasingInvalidations, 1);
    EXPECT_EQ(modem.updates, 1);
}

}  // namespace
}  // namespace linktest
