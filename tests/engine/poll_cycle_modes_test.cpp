#include "app/poll_commands.h"
#include "poll_cycle_fixture.h"

namespace {

class PollModesTest : public PollCycleTest {};

TEST_F(PollModesTest, SequentialAndRandomCommandsAbandonAWriteSequence) {
    AddRadios({0x2A0001, 0x2A0002});
    program->poll.pollMode = PollPhase::fromNumber(41);
    program->poll.currentRadio = 2;
    PollSequentialMode(program->poll);
    EXPECT_EQ(program->poll.pollMode.number(), 0);
    EXPECT_EQ(program->poll.currentRadio, 1);
    EXPECT_EQ(NextRequest(), Request(0xF8, 0x2A0001, 0x0D, 0x80));

    program->poll.randomNumber = 90;
    program->poll.pollMode = PollPhase::fromNumber(50);
    PollRandomMode(program->poll);
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    EXPECT_EQ(program->poll.randomNumber, 0);
}

TEST_F(PollModesTest, PollSingleRadioAddsTheRadioAndReadsItFiveTimes) {
    AddRadios({0x2A0001});
    program->poll.writeAddress = 0x0D95;
    host.answer(true, "2950000");
    PollSingleRadio(*program, host);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0].title, "Radio Serial Number to Poll?");
    EXPECT_EQ(host.shown[0].text, "");
    EXPECT_EQ(program->network.radioCount, 2);
    EXPECT_EQ(program->network.radios[2].serialNumber, 2950000u);
    EXPECT_EQ(program->network.selectedRadio, 2);
    EXPECT_EQ(program->poll.currentRadio, 2);
    EXPECT_EQ(program->poll.pollMode.number(), 11);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(NextRequest(), Request(0xF8, 2950000, 0x0D, 0x95)) << i;
    EXPECT_EQ(NextRequest()[1], 0xFF);  // random polling again
    EXPECT_EQ(program->poll.pollMode.number(), 1);
}

TEST_F(PollModesTest, PollSingleRadioRefusals) {
    // Small numbers and Cancel do nothing.
    host.answer(true, "10000");
    PollSingleRadio(*program, host);
    PollSingleRadio(*program, host);
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    EXPECT_EQ(program->network.radioCount, 0);
    // A running sweep or write refuses without asking.
    program->poll.pollMode = PollPhase::fromNumber(45);
    PollSingleRadio(*program, host);
    program->poll.pollMode = PollPhase::fromNumber(-3);
    PollSingleRadio(*program, host);
    EXPECT_EQ(host.shown.size(), 2u);
    // A serial that does not fit the frame's 24 bits is refused.
    program->poll.pollMode = PollPhase::polling(PollOrder::sequential);
    host.answer(true, "16777216");
    PollSingleRadio(*program, host);
    EXPECT_EQ(program->network.radioCount, 0);
    EXPECT_EQ(host.beeps, 1);
    EXPECT_EQ(program->poll.pollMode.number(), 0);
}

TEST_F(PollModesTest, PollSingleRadioWithAFullTableDoesNothing) {
    program->network.radioCount = kMaxRadios;
    program->poll.pollMode = PollPhase::polling(PollOrder::sequential);
    program->poll.currentRadio = 5;
    host.answer(true, "2950000");
    PollSingleRadio(*program, host);
    EXPECT_EQ(program->network.radioCount, kMaxRadios);
    EXPECT_EQ(program->poll.pollMode.number(), 0);
    EXPECT_EQ(program->poll.currentRadio, 5);
}

TEST_F(PollModesTest, SetPollIntervalOffersTheCurrentValue) {
    host.answer(true, "1.5");
    SetPollInterval(*program, host);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0].title, "Polling Interval");
    EXPECT_EQ(host.shown[0].text, "0.2");
    EXPECT_FLOAT_EQ(program->poll.pollInterval, 1.5f);
    host.answer(true, "0");
    SetPollInterval(*program, host);
    EXPECT_EQ(host.shown[1].text, "1.5");
    EXPECT_FLOAT_EQ(program->poll.pollInterval, 0.0f);
}

TEST_F(PollModesTest, SetPollIntervalTakesAnyNumberButKeepsOnCancel) {
    host.answer(true, "-1");  // no lower bound: sends on every tick like 0
    SetPollInterval(*program, host);
    EXPECT_FLOAT_EQ(program->poll.pollInterval, -1.0f);
    EXPECT_EQ(host.beeps, 0);
    host.answer(true, std::string(400, '9'));  // beyond what the interval can hold
    SetPollInterval(*program, host);
    EXPECT_FLOAT_EQ(program->poll.pollInterval, -1.0f);
    EXPECT_EQ(host.messages(), (std::vector<std::string>{"Error: Bad Input Try Again"}));
    SetPollInterval(*program, host);  // Cancel
    EXPECT_FLOAT_EQ(program->poll.pollInterval, -1.0f);
}

}  // namespace
