#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "model/program.h"
#include "protocol/ring.h"
#include "support/frames.h"

namespace {

TEST(RingTest, AppendAtTheEndWrapsWithAnd1023) {
    ReceiveRing ring;
    ring.ringMainIndex = 1022;
    ring.ringLinkIndex = 1022;
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(RingAppendMain(ring, bytes, 5));
    EXPECT_EQ(ring.buffer[1022], 1);
    EXPECT_EQ(ring.buffer[1023], 2);
    EXPECT_EQ(ring.buffer[0], 3);
    EXPECT_EQ(ring.buffer[1], 4);
    EXPECT_EQ(ring.buffer[2], 5);
    EXPECT_EQ(ring.ringMainIndex, 3);
    EXPECT_EQ(ring.ringCount.load(), 5);
}

TEST(RingTest, DrainNeverWrapsInOneWrite) {
    ReceiveRing ring;
    ring.ringMainIndex = 1020;
    ring.ringLinkIndex = 1020;
    const uint8_t bytes[] = {10, 11, 12, 13, 14, 15, 16, 17};
    ASSERT_TRUE(RingAppendMain(ring, bytes, 8));
    std::vector<std::vector<uint8_t>> writes;
    auto write = [&](const uint8_t* data, int n) {
        writes.emplace_back(data, data + n);
        return n;
    };
    EXPECT_EQ(RingDrainLink(ring, write), 4);
    EXPECT_EQ(ring.ringLinkIndex, 0);
    EXPECT_EQ(ring.ringCount.load(), 4);
    EXPECT_EQ(RingDrainLink(ring, write), 4);
    EXPECT_EQ(RingDrainLink(ring, write), 0);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], (std::vector<uint8_t>{10, 11, 12, 13}));
    EXPECT_EQ(writes[1], (std::vector<uint8_t>{14, 15, 16, 17}));
    EXPECT_EQ(ring.ringLinkIndex, 4);
    EXPECT_EQ(ring.ringCount.load(), 0);
}

TEST(RingTest, PartialWriteMovesOnlyWhatWentOut) {
    ReceiveRing ring;
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    RingAppendMain(ring, bytes, 8);
    EXPECT_EQ(RingDrainLink(ring, [](const uint8_t*, int) { return 3; }), 3);
    EXPECT_EQ(ring.ringLinkIndex, 3);
    EXPECT_EQ(ring.ringCount.load(), 5);
    EXPECT_EQ(RingDrainLink(ring, [](const uint8_t*, int) { return -1; }), 0);
    EXPECT_EQ(ring.ringCount.load(), 5);
}

TEST(RingTest, MainAppendIsRefusedWholeWithoutRoomOrWhenStopped) {
    ReceiveRing ring;
    std::vector<uint8_t> big(1020, 0xAA);
    ASSERT_TRUE(RingAppendMain(ring, big.data(), 1020));
    const uint8_t request[8] = {};
    EXPECT_FALSE(RingAppendMain(ring, request, 8));
    EXPECT_EQ(ring.ringCount.load(), 1020);
    EXPECT_EQ(ring.refusedBytes.load(), 8);
    EXPECT_TRUE(RingAppendMain(ring, request, 4));  // exactly fills the ring
    EXPECT_EQ(ring.ringCount.load(), 1024);

    ring.ringCount = ReceiveRing::kSerialStop;
    EXPECT_FALSE(RingAppendMain(ring, request, 1));
    EXPECT_EQ(ring.ringCount.load(), ReceiveRing::kSerialStop);
    EXPECT_EQ(ring.refusedBytes.load(), 9);
}

TEST(RingTest, TakeAtMainSideTakesNothingWhenFewerAreHeld) {
    ReceiveRing ring;
    const uint8_t bytes[] = {7, 8, 9};
    EXPECT_EQ(RingAppendLink(ring, bytes, 3), 3);
    uint8_t out[4] = {};
    EXPECT_FALSE(RingTakeMain(ring, out, 4));
    EXPECT_EQ(ring.ringCount.load(), 3);
    EXPECT_EQ(ring.ringMainIndex, 0);
    ASSERT_TRUE(RingTakeMain(ring, out, 2));
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 8);
    EXPECT_EQ(ring.ringCount.load(), 1);

    ring.ringCount = ReceiveRing::kTcpStop;
    EXPECT_FALSE(RingTakeMain(ring, out, 1));
}

TEST(RingTest, LinkAppendKeepsWhatFitsAndCountsTheRest) {
    ReceiveRing ring;
    std::vector<uint8_t> bytes(1030, 0x55);
    EXPECT_EQ(RingAppendLink(ring, bytes.data(), 1030), 1024);
    EXPECT_EQ(ring.ringCount.load(), 1024);
    EXPECT_EQ(ring.refusedBytes.load(), 6);
    EXPECT_EQ(ring.ringLinkIndex, 0);

    RingReset(ring);
    EXPECT_EQ(ring.ringCount.load(), 0);
    ring.ringCount = ReceiveRing::kTcpStop;
    EXPECT_EQ(RingAppendLink(ring, bytes.data(), 5), 0);
    EXPECT_EQ(ring.ringCount.load(), ReceiveRing::kTcpStop);
}

TEST(RingTest, ResetEmptiesCountAndBothIndices) {
    ReceiveRing ring;
    ring.ringMainIndex = 17;
    ring.ringLinkIndex = 400;
    ring.ringCount = -2;
    RingReset(ring);
    EXPECT_EQ(ring.ringMainIndex, 0);
    EXPECT_EQ(ring.ringLinkIndex, 0);
    EXPECT_EQ(ring.ringCount.load(), 0);
}

class UdpIntakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        p = std::make_unique<Program>();
        p->live = &live;
    }
    void intake(const std::vector<uint8_t>& d) {
        UdpDatagramIntake(p->ring, p->poll, *p->live, d.data(), int(d.size()));
    }
    std::unique_ptr<Program> p;
    RecordingLiveListener live;
};

TEST_F(UdpIntakeTest, ValidMasterStatusLeavesOverrunsAlone) {
    auto status = FillXor(HexFrame("F0 5A 12 34 03 00 10 30 00 00 80 C0 15 00"));
    intake(status);
    EXPECT_EQ(p->poll.overrunCount, 0);
    EXPECT_EQ(p->ring.ringCount.load(), 14);
    EXPECT_EQ(live.calls, (std::vector<std::string>{"datagramInfo 14 0 240"}));
}

TEST_F(UdpIntakeTest, EachSuspicionAddsOneAndTheBytesStay) {
    auto status = FillXor(HexFrame("F0 5A 12 34 03 00 10 30 00 00 80 C0 15 00"));
    status[5] ^= 1;  // bad XOR
    intake(status);
    EXPECT_EQ(p->poll.overrunCount, 1);
    EXPECT_EQ(p->ring.ringCount.load(), 14);

    // A 27-byte diagnostics reply (one hop) is suspect for its length alone.
    std::vector<uint8_t> oneHop(27, 0);
    oneHop[0] = 0xF8;
    oneHop = FillXor(oneHop);
    intake(oneHop);
    EXPECT_EQ(p->poll.overrunCount, 2);

    // A short master status with a bad XOR counts twice.
    intake(HexFrame("F0 01 02"));
    EXPECT_EQ(p->poll.overrunCount, 4);

    // Arriving during a tick counts once more, and the bytes still go in.
    p->poll.inTimerTick = true;
    intake(FillXor(HexFrame("F0 5A 12 34 03 00 10 30 00 00 80 C0 15 00")));
    EXPECT_EQ(p->poll.overrunCount, 5);
    EXPECT_EQ(p->ring.ringCount.load(), 14 + 27 + 3 + 14);
    EXPECT_EQ(live.calls.back(), "datagramInfo 14 5 240");
}

TEST_F(UdpIntakeTest, DatagramLargerThanTheFreeRoomKeepsWhatFits) {
    std::vector<uint8_t> filler(1000, 0);
    intake(filler);
    std::vector<uint8_t> big(40, 0);
    intake(big);
    EXPECT_EQ(p->ring.ringCount.load(), 1024);
    EXPECT_EQ(p->ring.refusedBytes.load(), 16);
}

}  // namespace
