#include "app/poll_commands.h"
#include "poll_cycle_fixture.h"

#include "engine/poll_phases.h"
#include "support/log_fixture.h"
#include "text/format_number.h"

namespace {

constexpr uint32_t kTarget = 0x2B0002;  // radio 2
constexpr uint32_t kOther = 0x2B0001;   // radio 1

class RemoteSetupTest : public PollCycleTest {
protected:
    void SetUp() override {
        PollCycleTest::SetUp();
        AddRadios({kOther, kTarget, 0x2B0003});
        program->network.selectedRadio = 2;
    }

    // What "Change EPROM" does once the value is accepted.
    void ConfirmChange(int row, int value) {
        auto& poll = program->poll;
        poll.pollMode = RemoteWriteStart(poll.pollMode.order());
        poll.writeAddress = AddressOfRow(program->setup, row);
        poll.writeValue = value;
        poll.ackAddress = -1;
        poll.ackValue = -1;
        poll.currentRadio = program->network.selectedRadio;
        poll.pendingAddress = poll.writeAddress;
        poll.pendingValue = value;
    }

    // A radio that echoes reads and writes addressed to it.
    void AnswerAs(uint32_t serial, bool reads, bool writes, uint16_t echoAddress = 0) {
        radio = [=, this](const Frame& f) {
            if (f.size() != 8 || Serial(f) != kTarget) return;
            const uint16_t address = echoAddress ? echoAddress : uint16_t(f[5] << 8 | f[6]);
            if (f[0] == 0xF8 && reads) replies.feed(DiagnosticsReply(0xF8, serial, address, 0x12));
            if (f[0] == 0xF9 && writes)
                replies.feed(DiagnosticsReply(0xF9, serial, program->poll.writeAddress, f[5]));
        };
    }

    static uint32_t Serial(const Frame& f) { return uint32_t(f[1]) << 16 | f[2] << 8 | f[3]; }
    static bool IsRandom(const Frame& f) { return f[1] == 0xFF && f[2] == 0xFF; }

    // The frame types sent to the target, in order, until polling has resumed
    // (the first frame not addressed to the target) or the sequence failed.
    std::string SequenceTypes(int limit = 60) {
        std::string out;
        for (int i = 0; i < limit; ++i) {
            Frame f = NextRequest();
            if (f.empty() || Serial(f) != kTarget) break;
            static const char* hex = "0123456789ABCDEF";
            out += std::string(out.empty() ? "" : " ") + hex[f[0] >> 4] + hex[f[0] & 15];
            if (!host.messages().empty()) break;
        }
        return out;
    }

    std::vector<Frame> SentOfType(uint8_t type) const {
        std::vector<Frame> out;
        for (const Frame& f : sent)
            if (f[0] == type && !IsRandom(f)) out.push_back(f);
        return out;
    }
};

TEST_F(RemoteSetupTest, SuccessfulWriteContactsWritesStoresAndReadsBack) {
    AnswerAs(kTarget, true, true);
    ConfirmChange(3, 0x12);
    // The write and the contact read are each sent once more while their echo is on its way.
    EXPECT_EQ(SequenceTypes(), "F8 F8 F9 F9 FA FA FA FA FA FA F8 F8");
    for (const Frame& f : SentOfType(0xF9)) EXPECT_EQ(f, Request(0xF9, kTarget, 0x12, 0x12));
    for (const Frame& f : SentOfType(0xFA)) EXPECT_EQ(f, Request(0xFA, kTarget, 0x0D, 0x95));
    for (const Frame& f : SentOfType(0xF8)) EXPECT_EQ(f, Request(0xF8, kTarget, 0x0D, 0x95));
    EXPECT_TRUE(IsRandom(sent.back()));
    EXPECT_TRUE(host.messages().empty());
    auto& poll = program->poll;
    EXPECT_EQ(poll.pollMode.number(), 1);
    EXPECT_EQ(poll.pendingAddress, -1);
    EXPECT_EQ(poll.pendingValue, -1);
    EXPECT_EQ(poll.ackValue, -1);
    EXPECT_EQ(program->network.radios[2].eepromValue[3], 0x12);
}

TEST_F(RemoteSetupTest, SelectingAnotherRadioMidSequenceDoesNotRedirectIt) {
    AnswerAs(kTarget, true, true);
    ConfirmChange(3, 0x12);
    NextRequest();
    program->network.selectedRadio = 1;
    const std::string rest = SequenceTypes();
    EXPECT_EQ(rest, "F8 F9 F9 FA FA FA FA FA FA F8 F8");
    for (const Frame& f : sent) {
        if (!IsRandom(f)) {
            EXPECT_EQ(Serial(f), kTarget);
        }
    }
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(RemoteSetupTest, SilentRadioGetsEightReadsThenNoCommAndNothingWritten) {
    program->poll.pollMode = PollPhase::polling(PollOrder::sequential);  // sequential polling before the change
    ConfirmChange(3, 0x12);
    EXPECT_EQ(SequenceTypes(), "F8 F8 F8 F8 F8 F8 F8 F8");
    EXPECT_EQ(host.messages(), (std::vector<std::string>{"Error: Remote program Failed,No Comm"}));
    EXPECT_TRUE(SentOfType(0xF9).empty());
    EXPECT_EQ(program->poll.pollMode.number(), 0);
    EXPECT_EQ(program->poll.pendingAddress, -1);
    EXPECT_EQ(program->poll.pendingValue, -1);
    // The failed tick released its guard; sequential polling goes on.
    EXPECT_FALSE(program->poll.inTimerTick);
    EXPECT_EQ(program->display.canvas, nullptr);
    Frame next = NextRequest();
    ASSERT_EQ(next.size(), 8u);
    EXPECT_EQ(next[0], 0xF8);
}

TEST_F(RemoteSetupTest, NoWriteEchoGivesFiveWritesAndNeverStores) {
    AnswerAs(kTarget, true, false);
    ConfirmChange(3, 0x12);
    EXPECT_EQ(SequenceTypes(), "F8 F8 F9 F9 F9 F9 F9");
    EXPECT_EQ(host.messages(), (std::vector<std::string>{"Error: Remote Program Failed"}));
    EXPECT_TRUE(SentOfType(0xFA).empty());
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    EXPECT_TRUE(IsRandom(NextRequest()));
}

// The failure box is modal and the timer still runs: the failed tick has let go
// by then, so a tick inside the box polls instead of counting as an overrun.
TEST_F(RemoteSetupTest, FailureBoxOpensAfterTheTickIsReleased) {
    AnswerAs(kTarget, true, false);
    ConfirmChange(3, 0x12);
    bool heldInBox = true;
    int overrunsInBox = -1;
    host.duringMessageBox = [&] {
        heldInBox = program->poll.inTimerTick;
        const int before = program->poll.overrunCount;
        PollTick(*program, host);
        overrunsInBox = program->poll.overrunCount - before;
    };
    SequenceTypes();
    EXPECT_FALSE(heldInBox);
    EXPECT_EQ(overrunsInBox, 0);
    EXPECT_FALSE(program->poll.inTimerTick);
    EXPECT_EQ(program->display.canvas, nullptr);
}

// A window timer does not fire while its own handler waits in a modal box, so
// the failure box is posted to open after the tick; until it is shown, requests
// keep leaving and "Current.log" is rewritten each minute.
class PostingHost : public ScriptedHost {
public:
    void postMessageBox(const std::string& text, const std::string& title) override {
        posted.push_back(title + ": " + text);
    }
    std::vector<std::string> posted;
};

TEST_F(RemoteSetupTest, FailureBoxIsPostedAndPollingGoesOnWhileItStands) {
    TemporaryDirectory folder;
    PostingHost posting;
    for (const auto& [echoReads, message] :
         {std::pair{false, "Error: Remote program Failed,No Comm"}, std::pair{true, "Error: Remote Program Failed"}}) {
        posting.posted.clear();
        AnswerAs(kTarget, echoReads, false);
        ConfirmChange(3, 0x12);
        int ticks = 0;
        while (posting.posted.empty() && ticks++ < 200) {
            PollTick(*program, posting);
            clock.advanceMs(100);
            RingDrainLink(program->link.transmit, [&](const uint8_t* b, int n) {
                if (radio) radio(Frame(b, b + n));
                return n;
            });
        }
        EXPECT_EQ(posting.posted, std::vector<std::string>{message});
        EXPECT_TRUE(posting.messages().empty()) << "no modal box inside the tick";

        // The box stands: the next minute's ticks still send and log.
        ::unlink("Current.log");
        clock.setTimeOfDay(10, program->log.lastLogMinute + 1, 0);
        int requests = 0;
        for (int i = 0; i < 10; ++i) {
            PollTick(*program, posting);
            RingDrainLink(program->link.transmit, [&](const uint8_t*, int n) {
                ++requests;
                return n;
            });
        }
        EXPECT_GE(requests, 4);
        EXPECT_EQ(program->poll.overrunCount, 0);
        EXPECT_TRUE(FileExists("Current.log"));
    }
}

TEST_F(RemoteSetupTest, EchoesFromAnotherRadioNeverAdvanceTheSequence) {
    AnswerAs(kOther, true, true);
    ConfirmChange(3, 0x12);
    EXPECT_EQ(SequenceTypes(), "F8 F8 F8 F8 F8 F8 F8 F8");
    EXPECT_EQ(host.messages(), (std::vector<std::string>{"Error: Remote program Failed,No Comm"}));
}

TEST_F(RemoteSetupTest, EchoesForAnotherAddressNeverAdvanceTheSequence) {
    AnswerAs(kTarget, true, true, AddressOfRow(program->setup, 4));
    ConfirmChange(3, 0x12);
    EXPECT_EQ(SequenceTypes(), "F8 F8 F8 F8 F8 F8 F8 F8");
    EXPECT_EQ(host.messages(), (std::vector<std::string>{"Error: Remote program Failed,No Comm"}));
}

TEST_F(RemoteSetupTest, WriteSequenceStatusNamesTheStageNumber) {
    ConfirmChange(3, 0x12);
    Tick();
    ASSERT_FALSE(live.statuses.empty());
    EXPECT_EQ(live.statuses.back(), FormatNumber(2, "Poll * # ") + FormatNumber(61, "* # "));
    program->poll.pollMode = PollPhase::fromNumber(20);
    program->poll.requestState = 8;
    PollTick(*program, host);
    EXPECT_EQ(live.statuses.back(), FormatNumber(2, "Poll *0 # ") + FormatNumber(20, "* # "));
}

TEST_F(RemoteSetupTest, TargetLeavingTheTableEndsTheSequence) {
    ConfirmChange(3, 0x12);
    program->network.radioCount = 1;  // radio 2 deleted meanwhile
    Tick();
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    EXPECT_EQ(host.messages(), (std::vector<std::string>{"Error: Remote Program Failed"}));
}

TEST_F(RemoteSetupTest, ReadAllAsksEveryRowOnceThenResumes) {
    ReadAllSetupParameters(*program);
    EXPECT_EQ(program->poll.pollMode.number(), 1 - 78);
    for (int row = 0; row < 39; ++row) {
        const uint16_t a = AddressOfRow(program->setup, row);
        EXPECT_EQ(NextRequest(), Request(0xF8, kTarget, a >> 8, a & 0xFF)) << "row " << row;
        EXPECT_EQ(program->poll.pollMode.number(), 1 - 78 + 2 * (row + 2 <= 39 ? row + 2 : 39));
    }
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    EXPECT_EQ(program->poll.setupSweepIndex, 0);
    EXPECT_TRUE(IsRandom(NextRequest()));
}

TEST_F(RemoteSetupTest, ReadAllDuringAWriteAbandonsItAndCountsFromTheModeItHeld) {
    ConfirmChange(3, 0x12);  // random polling underneath: 61
    NextRequest();           // the first contact read left, the second is built: 57
    ReadAllSetupParameters(*program);
    EXPECT_EQ(program->poll.pollMode.number(), 57 - 78);
    EXPECT_EQ(NextRequest(), Request(0xF8, kTarget, 0x0D, 0x95));  // already built
    // Reads rows 0, 1, ... of the target until the mode is back at 1: eleven reads.
    for (int row = 0; row < 11; ++row) {
        const uint16_t address = AddressOfRow(program->setup, row);
        EXPECT_EQ(NextRequest(), Request(0xF8, kTarget, uint8_t(address >> 8), uint8_t(address))) << row;
    }
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    EXPECT_TRUE(IsRandom(NextRequest()));
    EXPECT_TRUE(SentOfType(0xF9).empty());
}

TEST_F(RemoteSetupTest, PollRadioValueReadsTheRowNineTimesThenSequential) {
    program->display.screenNumber = 2;
    host.answer(true, "3");
    PollRadioValue(*program, host);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0].title, "EEPROM Location To Poll");
    EXPECT_EQ(host.shown[0].text, "");
    EXPECT_EQ(program->poll.singleParamText, "3");
    for (int i = 0; i < 9; ++i) EXPECT_EQ(NextRequest(), Request(0xF8, kTarget, 0x0D, 0x95)) << i;
    EXPECT_EQ(program->poll.pollMode.number(), 0);
    // Sequential polling takes over from the selected radio.
    EXPECT_EQ(NextRequest(), Request(0xF8, kTarget, 0x0D, 0x80));
    EXPECT_EQ(NextRequest(), Request(0xF8, 0x2B0003, 0x0D, 0x80));
    EXPECT_EQ(program->poll.singleParamPolls, 0);
}

TEST_F(RemoteSetupTest, PollRadioValueOutsideTheTableStoresTheTextOnly) {
    PollRadioValue(*program, host);  // Screen0: not offered
    EXPECT_TRUE(host.shown.empty());
    program->display.screenNumber = 2;
    host.answer(true, "41");
    PollRadioValue(*program, host);
    EXPECT_EQ(program->poll.singleParamText, "41");
    EXPECT_EQ(program->poll.singleParamPolls, 0);
    EXPECT_EQ(program->poll.pollMode.number(), 1);
    // Cancel keeps the text and offers it again.
    PollRadioValue(*program, host);
    EXPECT_EQ(host.shown.back().text, "41");
    EXPECT_EQ(program->poll.pollMode.number(), 1);
}

}  // namespace
