// Dialling the simulated modem: connected, busy then redialled, no dial tone then cancelled.
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_fixture.h"

namespace {

constexpr int kDialup = 200;
constexpr int kCloseComm = 120;

class DialupE2E : public E2ETest {
protected:
    void dial() {
        setenv("CORVANE_COM1", sim->endpoint("modem").c_str(), 1);
        run.command(kDialup);
    }
    std::vector<std::string> dialogTitles() const {
        std::vector<std::string> out;
        for (const auto& s : run.host.shown) out.push_back(s.kind + ":" + s.title);
        return out;
    }
    // Once connected the line is a serial link like any other: the network answers.
    void expectNetworkAnswers() {
        EXPECT_EQ(run.p().link.serialPortOpen, 1);
        EXPECT_EQ(run.p().link.linkUp, 1);
        EXPECT_FALSE(run.host.dialingShown);
        EXPECT_EQ(run.linkStatusLine(), "Com1  Opened");
        const auto radios = simRadios();
        EXPECT_TRUE(run.runUntil([&] { return TableHolds(run.p(), radios) && AllAnswered(run.p()); }, 30));
        EXPECT_TRUE(OnlyTheseRadios(run.p(), radios));
        EXPECT_GE(Requests(simLog(), "modem").size(), 12u);
    }
};

}  // namespace

TEST_F(DialupE2E, ConnectsAndPollsTheNetworkThroughTheModem) {
    ASSERT_TRUE(startSim({"--modem"}).ready());
    run.host.answer(true, "5551234");
    dial();
    EXPECT_EQ(dialogTitles(), std::vector<std::string>{"prompt:Phone Number To Dial"});
    EXPECT_FALSE(WithText(simLog(), "ATDT5551234\\r").empty());
    expectNetworkAnswers();
    EXPECT_TRUE(run.host.messages().empty());

    // Closing the port hangs up; dialling again gets the line back.
    run.command(kCloseComm);
    EXPECT_EQ(run.p().link.serialPortOpen, 0);
    ASSERT_TRUE(run.runUntil([&] { return !WithText(simLog(), "carrier lost").empty(); }, 10));
    const size_t sent = Requests(simLog(), "modem").size();
    run.host.answer(true, "5551234");
    dial();
    EXPECT_EQ(run.p().link.serialPortOpen, 1);
    EXPECT_TRUE(run.runUntil([&] { return Requests(simLog(), "modem").size() >= sent + 5; }, 15));
}

TEST_F(DialupE2E, BusyLineIsRedialledUntilItConnects) {
    ASSERT_TRUE(startSim({"--modem", "--modem-busy", "5550000"}).ready());
    run.host.answer(true, "5550000");
    run.host.answer(true);  // REDIAL
    run.host.answer(true, "5551234");
    dial();
    EXPECT_EQ(dialogTitles(), (std::vector<std::string>{"prompt:Phone Number To Dial", "redial:Phone Busy",
                                                         "prompt:Phone Number To Dial"}));
    // The number is asked again, not pre-filled.
    EXPECT_EQ(run.host.shown[2].text, "");
    expectNetworkAnswers();
}

TEST_F(DialupE2E, NoDialtoneThenCancelLeavesThePortClosedAndTheProgramRunning) {
    ASSERT_TRUE(startSim({"--modem", "--modem-nodialtone", "5550001"}).ready());
    run.host.answer(true, "5550001");
    run.host.answer(false);  // CANCEL
    dial();
    EXPECT_EQ(dialogTitles(), (std::vector<std::string>{"prompt:Phone Number To Dial", "redial:No Dialtone"}));
    EXPECT_EQ(run.p().link.serialPortOpen, 0);
    EXPECT_FALSE(run.host.dialingShown);
    EXPECT_EQ(run.linkStatusLine(), "No Connection");
    const int before = run.ticks;
    run.runFor(1.5);
    EXPECT_GE(run.ticks, before + 10);
    EXPECT_EQ(run.p().network.radioCount, 0);
    EXPECT_TRUE(Requests(simLog(), "modem").empty());
}
