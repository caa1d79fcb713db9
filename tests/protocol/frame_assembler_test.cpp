#include <utility>
#include <vector>

#include "protocol/frame_assembler.h"
#include "support/protocol_fixture.h"

namespace {

const char* const kMasterStatus = "F0 5A 12 34 03 01 02 25 00 00 80 C0 15 00";

// Every error record in order, not only the last.
struct ErrorLog {
    static void Hook(void* self, ProtocolError::Kind, int code, int value) {
        static_cast<ErrorLog*>(self)->records.emplace_back(code, value);
    }
    void attach(ProtocolError& errors) {
        errors.observer = &Hook;
        errors.observerContext = this;
    }
    std::vector<std::pair<int, int>> records;
};

using AssemblerTest = ProtocolTest;

TEST_F(AssemblerTest, MasterStatusSplitOverTwoTicks) {
    auto status = FillXor(HexFrame(kMasterStatus));
    source.feed(std::span(status).first(5));
    ReadReplies(*p);
    EXPECT_EQ(p->poll.pendingFrameType, 0xF0);
    EXPECT_EQ(source.consumed(), 1u);  // only the type byte is taken
    EXPECT_EQ(p->network.master.serialNumber, 0);

    source.feed(std::span(status).subspan(5));
    ReadReplies(*p);
    EXPECT_EQ(p->poll.pendingFrameType, 0);
    EXPECT_EQ(p->network.master.serialNumber, 0x5A1234);
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(AssemblerTest, NoBytesKeepsThePendingType) {
    p->poll.pendingFrameType = 0xF8;
    ReadReplies(*p);
    EXPECT_EQ(p->poll.pendingFrameType, 0xF8);
}

TEST_F(AssemblerTest, StrayBytesRecordErrorOneAndTheNextFrameDecodes) {
    ErrorLog log;
    log.attach(p->errors);
    auto bytes = HexFrame("00 41 F6 F7 FA");
    auto status = FillXor(HexFrame(kMasterStatus));
    bytes.insert(bytes.end(), status.begin(), status.end());
    deliver(bytes);
    EXPECT_EQ(log.records, (std::vector<std::pair<int, int>>{{1, 0x00}, {1, 0x41}, {1, 0xF6}, {1, 0xF7}, {1, 0xFA}}));
    EXPECT_EQ(p->network.master.serialNumber, 0x5A1234);
    EXPECT_EQ(p->poll.pendingFrameType, 0);
}

TEST_F(AssemblerTest, SeveralFramesInOneTickAreAllConsumed) {
    auto bytes = FillXor(HexFrame(kMasterStatus));
    auto echo = FillXor(HexFrame("F2 5A 12 34 0D 80 02 00"));
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 7);
    bytes.insert(bytes.end(), echo.begin(), echo.end());
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    deliver(bytes);
    EXPECT_EQ(source.bytesAvailable(), 0);
    EXPECT_EQ(radio(0).eepromValue[0], 2);
    EXPECT_EQ(p->network.radioCount, 1);
    EXPECT_EQ(radio(1).eepromValue[0], 7);
}

TEST_F(AssemblerTest, IncompleteDiagnosticsWaitsForItsTwentyBytes) {
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 7);
    source.feed(std::span(reply).first(20));  // type and 19 more: one short
    ReadReplies(*p);
    EXPECT_EQ(p->poll.pendingFrameType, 0xF8);
    EXPECT_EQ(p->network.radioCount, 0);
    source.feed(std::span(reply).subspan(20));
    ReadReplies(*p);
    EXPECT_EQ(p->network.radioCount, 1);
}

TEST_F(AssemblerTest, HopBytesThatNeverComeTimeOutAfterOneSecondWithoutHoldingTheTick) {
    ErrorLog log;
    log.attach(p->errors);
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 7, {{3000000, 0x50, 0x1500}, {3000001, 0x48, 0x1400}});
    ASSERT_EQ(reply.size(), 33u);
    const double start = SecondsOfDay(clock.now());
    deliver(std::vector<uint8_t>(reply.begin(), reply.begin() + 24));  // 3 hop bytes short of 12
    EXPECT_EQ(SecondsOfDay(clock.now()), start) << "the tick waited for the hop records";
    EXPECT_EQ(source.consumed(), 21u) << "the fixed bytes are held, the hop bytes left in the input";
    EXPECT_EQ(p->poll.pendingFrameType, 0xF8);

    clock.advanceMs(1000);  // a second is not more than a second
    ReadReplies(*p);
    EXPECT_TRUE(log.records.empty());
    clock.advanceMs(100);
    ReadReplies(*p);
    // The frame fails with 0xFF; the 3 bytes left are then read as type bytes.
    EXPECT_EQ(log.records, (std::vector<std::pair<int, int>>{{22, 0xFF}, {1, 0x50}, {1, 0x15}, {1, 0x00}}));
    EXPECT_EQ(p->network.radioCount, 0);
    EXPECT_EQ(p->poll.pendingFrameType, 0);
}

TEST_F(AssemblerTest, TheDeadlineRunsWhenNoByteComesAtAll) {
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 7, {{3000000, 0x50, 0x1500}});
    deliver(std::vector<uint8_t>(reply.begin(), reply.begin() + 21));
    clock.advanceMs(1100);
    ReadReplies(*p);
    EXPECT_EQ(errorCode(), 22);
    EXPECT_EQ(errorValue(), 0xFF);
    EXPECT_EQ(p->poll.pendingFrameType, 0);
}

TEST_F(AssemblerTest, HopRecordsComingInALaterTickCompleteTheHeldFrame) {
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 7, {{3000000, 0x50, 0x1500}});
    auto status = FillXor(HexFrame(kMasterStatus));
    deliver(std::vector<uint8_t>(reply.begin(), reply.begin() + 23));
    EXPECT_EQ(p->network.radioCount, 0);
    clock.advanceMs(900);
    std::vector<uint8_t> rest(reply.begin() + 23, reply.end());
    rest.insert(rest.end(), status.begin(), status.end());
    deliver(rest);
    EXPECT_EQ(errorCount(), 0);
    EXPECT_EQ(p->network.radioCount, 2);  // the radio and its repeater
    EXPECT_EQ(radio(1).hopRepeater[0], 1);
    EXPECT_EQ(p->network.master.serialNumber, 0x5A1234) << "the frame behind it is read in the same tick";
    EXPECT_EQ(p->poll.pendingFrameType, 0);
}

TEST_F(AssemblerTest, ALinkResetDropsTheHeldFrame) {
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 7, {{3000000, 0x50, 0x1500}});
    deliver(std::vector<uint8_t>(reply.begin(), reply.begin() + 21));
    p->poll.pendingFrameType = 0;  // what opening or closing a link does
    deliver(FillXor(HexFrame(kMasterStatus)));
    EXPECT_EQ(errorCount(), 0) << "the status frame is not taken for hop records";
    EXPECT_EQ(p->network.master.serialNumber, 0x5A1234);
    EXPECT_EQ(p->network.radioCount, 0);
}

// Hands out its bytes only after being asked a number of times, as a slow link would.
class SlowSource : public VectorByteSource {
public:
    int bytesAvailable() override {
        if (++asked == releaseAfter) feed(later);
        return VectorByteSource::bytesAvailable();
    }
    int asked = 0;
    int releaseAfter = 0;
    std::vector<uint8_t> later;
};

TEST_F(AssemblerTest, HopBytesArrivingDuringTheWaitAreRead) {
    SlowSource slow;
    p->replySource = &slow;
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 7, {{3000000, 0x50, 0x1500}});
    slow.feed(std::span(reply).first(21));
    slow.later.assign(reply.begin() + 21, reply.end());
    slow.releaseAfter = 50;
    // Ticks 10 ms apart until the records have come: well inside the second.
    for (int tick = 0; tick < 60 && p->network.radioCount == 0; ++tick) {
        ReadReplies(*p);
        clock.advanceMs(10);
    }
    EXPECT_EQ(errorCount(), 0);
    EXPECT_EQ(p->network.radioCount, 2);  // the radio and its repeater
    EXPECT_EQ(radio(1).hopRepeater[0], 1);
}

TEST_F(AssemblerTest, HopCountNineIsRecordedAndReadAsTwentyOneBytes) {
    ErrorLog log;
    log.attach(p->errors);
    auto reply = Diagnostics(0xF8, 0x0D80, 5000001, 7);
    reply[7] = 9;  // XOR now off by 9
    deliver(reply);
    EXPECT_EQ(log.records, (std::vector<std::pair<int, int>>{{27, 9}, {22, 9}}));
    EXPECT_EQ(source.bytesAvailable(), 0);
    EXPECT_EQ(p->network.radioCount, 0);
}

TEST_F(AssemblerTest, TraceHopCountAboveSevenIsError37) {
    ErrorLog log;
    log.attach(p->errors);
    auto trace = Diagnostics(0xFB, 0x0D80, 5000001, 0);
    trace[7] = 8;
    trace = FillXor(trace);
    deliver(trace);
    EXPECT_EQ(log.records, (std::vector<std::pair<int, int>>{{37, 8}}));
    EXPECT_EQ(live.calls.size(), 1u);  // the trace row, read as 21 bytes
}

TEST(ReplyWaitCountTest, TheTypeTable) {
    EXPECT_EQ(ReplyWaitCount(0xF0), 13);
    EXPECT_EQ(ReplyWaitCount(0xF1), 11);
    EXPECT_EQ(ReplyWaitCount(0xF4), 11);
    EXPECT_EQ(ReplyWaitCount(0xF5), 11);
    EXPECT_EQ(ReplyWaitCount(0xF2), 7);
    EXPECT_EQ(ReplyWaitCount(0xF3), 7);
    EXPECT_EQ(ReplyWaitCount(0xF8), 20);
    EXPECT_EQ(ReplyWaitCount(0xF9), 20);
    EXPECT_EQ(ReplyWaitCount(0xFB), 20);
    for (int t : {0x00, 0x41, 0xF6, 0xF7, 0xFA, 0xFC, 0xFF}) EXPECT_EQ(ReplyWaitCount(uint8_t(t)), -1) << t;
}

}  // namespace
