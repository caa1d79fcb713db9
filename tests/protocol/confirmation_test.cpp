#include "engine/write_sequence.h"
#include "support/protocol_fixture.h"

namespace {

class ConfirmationTest : public ProtocolTest {
protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        // A Change EPROM of "RS232 Mode" (0x0D95) to 0x13 on radio 3.
        PollState& poll = p->poll;
        poll.currentRadio = 3;
        p->network.selectedRadio = 3;
        poll.writeAddress = 0x0D95;
        poll.writeValue = 0x13;
        poll.pendingAddress = 0x0D95;
        poll.pendingValue = 0x13;
        poll.ackAddress = poll.ackValue = -1;
    }
    PollState& poll() { return p->poll; }
};

TEST_F(ConfirmationTest, ReadEchoJumpsToTheWriteStageKeepingTheBaseMode) {
    poll().pollMode = PollPhase::fromNumber(58);
    ReadConfirmation(p->poll, 3, 0x15);
    EXPECT_EQ(poll().pollMode.number(), 44);
    EXPECT_EQ(poll().ackAddress, 0x0D95);
    poll().pollMode = PollPhase::fromNumber(47);
    ReadConfirmation(p->poll, 3, 0x15);
    EXPECT_EQ(poll().pollMode.number(), 45);
}

TEST_F(ConfirmationTest, ReadEchoDuringReadBackEndsTheSequence) {
    poll().pollMode = PollPhase::fromNumber(21);
    ReadConfirmation(p->poll, 3, 0x15);
    EXPECT_EQ(poll().pollMode.number(), 1);
    poll().pollMode = PollPhase::fromNumber(2);
    ReadConfirmation(p->poll, 3, 0x15);
    EXPECT_EQ(poll().pollMode.number(), 0);
}

TEST_F(ConfirmationTest, ReadEchoDuringWriteOrStoreOnlyAcknowledges) {
    poll().pollMode = PollPhase::fromNumber(30);
    ReadConfirmation(p->poll, 3, 0x15);
    EXPECT_EQ(poll().pollMode.number(), 30);
    EXPECT_EQ(poll().ackAddress, 0x0D95);
}

TEST_F(ConfirmationTest, ReadEchoIgnoredOutsideASequenceOrForAnotherAddressOrRadio) {
    poll().pollMode = PollPhase::polling(PollOrder::random);
    ReadConfirmation(p->poll, 3, 0x15);
    EXPECT_EQ(poll().ackAddress, -1);
    poll().pollMode = PollPhase::fromNumber(58);
    ReadConfirmation(p->poll, 3, 0x14);
    ReadConfirmation(p->poll, 2, 0x15);
    EXPECT_EQ(poll().pollMode.number(), 58);
    EXPECT_EQ(poll().ackAddress, -1);
}

TEST_F(ConfirmationTest, SelectionMovedByArrowKeysDoesNotRedirectTheSequence) {
    poll().pollMode = PollPhase::fromNumber(58);
    p->network.selectedRadio = 4;
    ReadConfirmation(p->poll, 4, 0x15);
    EXPECT_EQ(poll().pollMode.number(), 58);
    ReadConfirmation(p->poll, 3, 0x15);
    EXPECT_EQ(poll().pollMode.number(), 44);
}

TEST_F(ConfirmationTest, WriteEchoJumpsToTheStoreStage) {
    poll().pollMode = PollPhase::fromNumber(42);
    WriteConfirmation(p->poll, 3, 0x15, 0x13);
    EXPECT_EQ(poll().pollMode.number(), 34);
    EXPECT_EQ(poll().ackAddress, 0x0D95);
    EXPECT_EQ(poll().ackValue, 0x13);
    poll().pollMode = PollPhase::fromNumber(37);
    WriteConfirmation(p->poll, 3, 0x15, 0x13);
    EXPECT_EQ(poll().pollMode.number(), 35);
    poll().pollMode = PollPhase::fromNumber(30);  // already storing: acknowledged, no jump
    WriteConfirmation(p->poll, 3, 0x15, 0x13);
    EXPECT_EQ(poll().pollMode.number(), 30);
}

TEST_F(ConfirmationTest, WriteEchoWithAnotherValueAddressOrRadioIsIgnored) {
    poll().pollMode = PollPhase::fromNumber(42);
    WriteConfirmation(p->poll, 3, 0x15, 0x12);
    WriteConfirmation(p->poll, 3, 0x16, 0x13);
    WriteConfirmation(p->poll, 2, 0x15, 0x13);
    EXPECT_EQ(poll().pollMode.number(), 42);
    EXPECT_EQ(poll().ackValue, -1);
    poll().pollMode = PollPhase::polling(PollOrder::sequential);
    WriteConfirmation(p->poll, 3, 0x15, 0x13);
    EXPECT_EQ(poll().ackValue, -1);
}

TEST_F(ConfirmationTest, RadioEchoesDriveAWholeSequence) {
    addRadios(3, 5000000);  // radio 3 is 5000002
    poll().pollMode = PollPhase::fromNumber(60);
    deliver(Diagnostics(0xF8, 0x0D95, 5000002, 0x10));
    EXPECT_EQ(poll().pollMode.number(), 44);
    deliver(Diagnostics(0xF9, 0x0D95, 5000002, 0x13));
    EXPECT_EQ(poll().pollMode.number(), 34);
    poll().pollMode = PollPhase::fromNumber(22);
    deliver(Diagnostics(0xF8, 0x0D95, 5000002, 0x13));
    EXPECT_EQ(poll().pollMode.number(), 0);
    EXPECT_EQ(radio(3).eepromValue[3], 0x13);
}

TEST_F(ConfirmationTest, StoreSetupValueStoresOrRecords) {
    EXPECT_EQ(StoreSetupValue(p->setup, p->network, p->errors, 5, 0x0D95, 0x13, 8), 3);
    EXPECT_EQ(radio(5).eepromValid[3], 1);
    EXPECT_EQ(radio(5).eepromValue[3], 0x13);
    EXPECT_EQ(StoreSetupValue(p->setup, p->network, p->errors, 5, 0x0D8A, 1, 3), -1);
    EXPECT_EQ(errorCode(), 3);
    EXPECT_EQ(errorValue(), 10);
    EXPECT_EQ(StoreSetupValue(p->setup, p->network, p->errors, 2048, 0x0D95, 1, 8), -1);
    EXPECT_EQ(StoreSetupValue(p->setup, p->network, p->errors, -1, 0x0D95, 1, 8), -1);
}

}  // namespace
