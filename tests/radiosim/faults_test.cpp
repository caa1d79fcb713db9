// Each fault option, switched on, shows its fault on the wire.
#include <gtest/gtest.h>

#include <set>

#include "radiosim_test_support.h"

namespace radiosim {
namespace {

using namespace test;
using std::chrono::milliseconds;

constexpr uint8_t kReplyTypes[] = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF8, 0xF9, 0xFB};

struct Fixture {
    explicit Fixture(std::vector<std::string> extra) : sim([&] {
        std::vector<std::string> args = {"--tcp", "0", "--reports", "0", "--status-interval", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }()) {}
    uint32_t serial(int index) { return sim.sim().net().at(index).serial; }
    int relayed() {  // a radio reached through a repeater
        for (int i = 1; i < sim.sim().net().size(); ++i)
            if (!sim.sim().net().at(i).path.empty()) return i;
        return -1;
    }
    uint64_t fault(const char* name) {
        auto& f = sim.sim().counts().faults;
        return f.count(name) ? f.at(name) : 0;
    }
    RunningSim sim;
};

Bytes ReadOf(uint32_t serial, uint16_t address = 0x0D80) {
    return EncodeRequest(kReadRequest, serial, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address));
}

TEST(Faults, DropLeavesRequestsUnanswered) {
    Fixture f({"--drop", "100"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    c.send(ReadOf(f.serial(1)));
    ASSERT_TRUE(f.sim.waitForLine({"[fault drop: reply not sent]"}));
    EXPECT_FALSE(c.nextOfType(0xF8, milliseconds(300)));
    f.sim.stopAndJoin();
    EXPECT_EQ(f.fault("drop"), 1u);
    EXPECT_EQ(f.sim.sim().counts().replies.count(0xF8), 0u);
}

TEST(Faults, CorruptSendsFramesWhoseXorFails) {
    Fixture f({"--corrupt", "100"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    const uint32_t serial = f.serial(2);
    c.send(ReadOf(serial));
    auto reply = c.nextOfType(0xF8);
    ASSERT_TRUE(reply);
    EXPECT_NE(XorOf(*reply), 0);
    EXPECT_EQ(ReadDiagnostics(*reply).serial, serial) << "only the check byte is wrong";
    f.sim.stopAndJoin();
    EXPECT_EQ(f.fault("corrupt"), 1u);
}

TEST(Faults, SplitFramesArriveLateButWhole) {
    Fixture f({"--split", "100", "--split-delay", "1000"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    const auto sent = Clock::now();
    c.send(ReadOf(f.serial(1)));
    auto reply = c.nextOfType(0xF8, milliseconds(10000));
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
    ASSERT_TRUE(reply);
    EXPECT_EQ(XorOf(*reply), 0);
    EXPECT_GE(took.count(), 950) << "the last piece waits at least one delay";
    EXPECT_TRUE(f.sim.waitForLine({"[fault split:"}));
}

TEST(Faults, LateHopRecordsComeMoreThanASecondAfterTheFixedBytes) {
    Fixture f({"--late-hops", "100", "--late-hops-delay", "1500"});
    const int relayed = f.relayed();
    ASSERT_GT(relayed, 0);
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    const auto sent = Clock::now();
    c.send(ReadOf(f.serial(relayed)));
    auto reply = c.nextOfType(0xF8, milliseconds(10000));
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
    ASSERT_TRUE(reply);
    EXPECT_EQ(XorOf(*reply), 0);
    EXPECT_GT(ReadDiagnostics(*reply).hops, 0);
    EXPECT_GE(took.count(), 1450);
    // Direct radios have no hop records to hold back.
    for (int i = 1; i < f.sim.sim().net().size(); ++i) {
        if (!f.sim.sim().net().at(i).path.empty()) continue;
        const auto t0 = Clock::now();
        c.send(ReadOf(f.serial(i)));
        ASSERT_TRUE(c.nextOfType(0xF8));
        EXPECT_LT(std::chrono::duration_cast<milliseconds>(Clock::now() - t0).count(), 1400);
        break;
    }
    f.sim.stopAndJoin();
    EXPECT_EQ(f.fault("late-hops"), 1u);
}

TEST(Faults, StrayBytesBetweenFramesAreNoReplyTypes) {
    Fixture f({"--stray", "100"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    c.send(ReadOf(f.serial(3)));
    auto reply = c.nextOfType(0xF8);
    ASSERT_TRUE(reply);
    EXPECT_EQ(XorOf(*reply), 0);
    ASSERT_FALSE(c.skipped().empty());
    EXPECT_LE(c.skipped().size(), 3u);
    for (uint8_t b : c.skipped()) EXPECT_EQ(std::count(std::begin(kReplyTypes), std::end(kReplyTypes), b), 0);
}

TEST(Faults, SilencedRadiosNeverAnswerWhileOthersDo) {
    RunningSim probe({"--tcp", "0"});
    const uint32_t quiet = probe.sim().net().at(4).serial;
    probe.stopAndJoin();
    Fixture f({"--silence", std::to_string(quiet)});
    ASSERT_EQ(f.serial(4), quiet) << "the same seed gives the same network";
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    c.send(ReadOf(quiet));
    c.send(ReadOf(f.serial(5)));
    auto reply = c.nextOfType(0xF8);
    ASSERT_TRUE(reply);
    EXPECT_EQ(ReadDiagnostics(*reply).serial, f.serial(5));
    EXPECT_TRUE(f.sim.waitForLine({"[fault silence] radio " + std::to_string(quiet)}));
    f.sim.stopAndJoin();
    EXPECT_EQ(f.sim.sim().counts().replies.at(0xF8), 1u);
}

TEST(Faults, BusyMasterSetsTheBusyBitAndRelaysNothingUntilItClears) {
    Fixture f({"--status-interval", "200", "--busy-at", "0", "--busy-for", "4"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    auto status = c.nextOfType(0xF0);
    ASSERT_TRUE(status);
    ASSERT_EQ((*status)[7] & 0x80, 0x80);
    c.send(ReadOf(f.serial(1)));
    ASSERT_TRUE(f.sim.waitForLine({"[fault busy: master busy, request not relayed]"}));
    // Wait out the busy period, then the master relays again.
    for (;;) {
        status = c.nextOfType(0xF0, milliseconds(10000));
        ASSERT_TRUE(status);
        if (((*status)[7] & 0x80) == 0) break;
    }
    c.send(ReadOf(f.serial(1)));
    EXPECT_TRUE(c.nextOfType(0xF8));
    f.sim.stopAndJoin();
    EXPECT_EQ(f.fault("busy"), 1u);
}

TEST(Faults, NoStoreAnswersWritesButKeepsTheOldValue) {
    Fixture f({"--no-store"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    const uint32_t serial = f.serial(2);
    c.send(ReadOf(serial, 0x0D87));
    auto before = c.nextOfType(0xF8);
    ASSERT_TRUE(before);
    c.send(EncodeRequest(kWriteRequest, serial, 3, 3));
    auto ack = c.nextOfType(0xF9);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ReadDiagnostics(*ack).value, 3);
    c.send(EncodeRequest(kStoreRequest, serial, 0x0D, 0x87));
    c.send(ReadOf(serial, 0x0D87));
    auto after = c.nextOfType(0xF8);
    ASSERT_TRUE(after);
    EXPECT_EQ(ReadDiagnostics(*after).value, ReadDiagnostics(*before).value);
    EXPECT_NE(ReadDiagnostics(*after).value, 3);
    f.sim.stopAndJoin();
    EXPECT_EQ(f.fault("no-store"), 1u);
}

TEST(Faults, CloseAfterEndsTheConnectionAndTheNextOneIsServed) {
    Fixture f({"--close-after", "0.5"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    bool open = true;
    const auto deadline = Clock::now() + milliseconds(10000);
    while (open && Clock::now() < deadline) open = c.readSome(milliseconds(200));
    EXPECT_FALSE(open) << "the simulator closed the connection";
    ASSERT_TRUE(f.sim.waitForLine({"[fault close-after: connection closed]"}));
    StreamClient next(ConnectTcp(f.sim.sim().tcpPort()));
    next.send(ReadOf(f.serial(1)));
    EXPECT_TRUE(next.nextOfType(0xF8));
}

// Everything a client reads until the simulator logs `over`, and a little after.
Bytes ReadUntilOver(Fixture& f, StreamClient& c, const char* over) {
    const auto deadline = Clock::now() + milliseconds(15000);
    while (!f.sim.waitForLine({over}, milliseconds(0)) && Clock::now() < deadline) c.readSome(milliseconds(50));
    for (int i = 0; i < 6; ++i) c.readSome(milliseconds(50));
    return c.pending();
}

TEST(Faults, NoiseIsRandomBytesSomeOfThemFramesWithAGoodCheckByte) {
    Fixture f({"--noise", "20000", "--noise-for", "1.5"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    const Bytes noise = ReadUntilOver(f, c, "[fault noise: over]");
    f.sim.stopAndJoin();
    EXPECT_EQ(noise.size(), f.fault("noise")) << "every noise byte reached the one client, nothing else did";
    EXPECT_GT(noise.size(), 10000u);
    std::set<uint8_t> values(noise.begin(), noise.end());
    EXPECT_GT(values.size(), 250u);
    // A receiver hunting for frames in the noise now and then finds a whole one that checks.
    int goodFrames = 0;
    Bytes head;
    for (size_t i = 0; i + 8 <= noise.size(); ++i) {
        head.assign(8, 0);
        std::copy_n(noise.begin() + static_cast<ptrdiff_t>(i), 8, head.begin());
        const int length = ReplyLength(head);
        if (length <= 0 || i + static_cast<size_t>(length) > noise.size()) continue;
        if (XorOf(std::span(noise).subspan(i, static_cast<size_t>(length))) == 0) ++goodFrames;
    }
    EXPECT_GT(goodFrames, 0);
}

TEST(Faults, FloodSendsGoodRepliesFromSerialsNotInTheNetworkThenStops) {
    Fixture f({"--flood", "400", "--flood-for", "1.5"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    ReadUntilOver(f, c, "[fault flood: over]");
    std::set<uint32_t> serials;
    size_t replies = 0;
    while (auto reply = c.nextFrame(milliseconds(0))) {
        ASSERT_EQ((*reply)[0], 0xF8);
        EXPECT_EQ(XorOf(*reply), 0);
        const Diagnostics d = ReadDiagnostics(*reply);
        EXPECT_EQ(d.hops, 0);
        EXPECT_EQ(f.sim.sim().net().findBySerial(d.serial), nullptr) << d.serial;
        EXPECT_GE(d.serial, 2000000u);
        EXPECT_LE(d.serial, 9150000u);
        serials.insert(d.serial);
        ++replies;
    }
    f.sim.stopAndJoin();
    EXPECT_TRUE(c.skipped().empty());
    EXPECT_EQ(replies, f.fault("flood"));
    EXPECT_GT(replies, 300u);
    EXPECT_GE(serials.size(), replies - 2) << "nearly every reply names another radio";
}

TEST(Faults, WithheldHopsSendsAHeaderAnnouncingRecordsThatNeverCome) {
    Fixture f({"--withhold-hops", "100", "--withhold-hops-count", "7"});
    StreamClient c(ConnectTcp(f.sim.sim().tcpPort()));
    const uint32_t serial = f.serial(1);
    c.send(ReadOf(serial));
    ASSERT_TRUE(f.sim.waitForLine({"[fault withheld-hops: header announces 7 hop records, none follow]"}));
    for (int i = 0; i < 8; ++i) c.readSome(milliseconds(50));
    const Bytes header = c.pending();
    ASSERT_EQ(header.size(), 21u) << "the fixed bytes and nothing after them";
    EXPECT_EQ(header[0], 0xF8);
    EXPECT_EQ(header[7], 7);
    EXPECT_EQ(Serial3(header, 4), serial);
    f.sim.stopAndJoin();
    EXPECT_EQ(f.fault("withheld-hops"), 1u);
}

}  // namespace
}  // namespace radiosim
