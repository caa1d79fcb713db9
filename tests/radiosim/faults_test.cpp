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
    uint32_t Serial(int index) { return sim.Sim().Net().At(index).serial; }
    int Relayed() {  // a radio reached through a repeater
        for (int i = 1; i < sim.Sim().Net().Size(); ++i)
            if (!sim.Sim().Net().At(i).path.empty()) return i;
        return -1;
    }
    uint64_t Fault(const char* name) {
        auto& f = sim.Sim().Counts().faults;
        return f.count(name) ? f.at(name) : 0;
    }
    RunningSim sim;
};

Bytes ReadOf(uint32_t serial, uint16_t address = 0x0D80) {
    return EncodeRequest(kReadRequest, serial, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address));
}

TEST(Faults, DropLeavesRequestsUnanswered) {
    Fixture f({"--drop", "100"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    c.Send(ReadOf(f.Serial(1)));
    ASSERT_TRUE(f.sim.WaitForLine({"[fault drop: reply not sent]"}));
    EXPECT_FALSE(c.NextOfType(0xF8, milliseconds(300)));
    f.sim.StopAndJoin();
    EXPECT_EQ(f.Fault("drop"), 1u);
    EXPECT_EQ(f.sim.Sim().Counts().replies.count(0xF8), 0u);
}

TEST(Faults, CorruptSendsFramesWhoseXorFails) {
    Fixture f({"--corrupt", "100"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    const uint32_t serial = f.Serial(2);
    c.Send(ReadOf(serial));
    auto reply = c.NextOfType(0xF8);
    ASSERT_TRUE(reply);
    EXPECT_NE(XorOf(*reply), 0);
    EXPECT_EQ(ReadDiagnostics(*reply).serial, serial) << "only the check byte is wrong";
    f.sim.StopAndJoin();
    EXPECT_EQ(f.Fault("corrupt"), 1u);
}

TEST(Faults, SplitFramesArriveLateButWhole) {
    Fixture f({"--split", "100", "--split-delay", "1000"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    const auto sent = Clock::now();
    c.Send(ReadOf(f.Serial(1)));
    auto reply = c.NextOfType(0xF8, milliseconds(10000));
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
    ASSERT_TRUE(reply);
    EXPECT_EQ(XorOf(*reply), 0);
    EXPECT_GE(took.count(), 950) << "the last piece waits at least one delay";
    EXPECT_TRUE(f.sim.WaitForLine({"[fault split:"}));
}

TEST(Faults, LateHopRecordsComeMoreThanASecondAfterTheFixedBytes) {
    Fixture f({"--late-hops", "100", "--late-hops-delay", "1500"});
    const int relayed = f.Relayed();
    ASSERT_GT(relayed, 0);
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    const auto sent = Clock::now();
    c.Send(ReadOf(f.Serial(relayed)));
    auto reply = c.NextOfType(0xF8, milliseconds(10000));
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent);
    ASSERT_TRUE(reply);
    EXPECT_EQ(XorOf(*reply), 0);
    EXPECT_GT(ReadDiagnostics(*reply).hops, 0);
    EXPECT_GE(took.count(), 1450);
    // Direct radios have no hop records to hold back.
    for (int i = 1; i < f.sim.Sim().Net().Size(); ++i) {
        if (!f.sim.Sim().Net().At(i).path.empty()) continue;
        const auto t0 = Clock::now();
        c.Send(ReadOf(f.Serial(i)));
        ASSERT_TRUE(c.NextOfType(0xF8));
        EXPECT_LT(std::chrono::duration_cast<milliseconds>(Clock::now() - t0).count(), 1400);
        break;
    }
    f.sim.StopAndJoin();
    EXPECT_EQ(f.Fault("late-hops"), 1u);
}

TEST(Faults, StrayBytesBetweenFramesAreNoReplyTypes) {
    Fixture f({"--stray", "100"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    c.Send(ReadOf(f.Serial(3)));
    auto reply = c.NextOfType(0xF8);
    ASSERT_TRUE(reply);
    EXPECT_EQ(XorOf(*reply), 0);
    ASSERT_FALSE(c.Skipped().empty());
    EXPECT_LE(c.Skipped().size(), 3u);
    for (uint8_t b : c.Skipped()) EXPECT_EQ(std::count(std::begin(kReplyTypes), std::end(kReplyTypes), b), 0);
}

TEST(Faults, SilencedRadiosNeverAnswerWhileOthersDo) {
    RunningSim probe({"--tcp", "0"});
    const uint32_t quiet = probe.Sim().Net().At(4).serial;
    probe.StopAndJoin();
    Fixture f({"--silence", std::to_string(quiet)});
    ASSERT_EQ(f.Serial(4), quiet) << "the same seed gives the same network";
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    c.Send(ReadOf(quiet));
    c.Send(ReadOf(f.Serial(5)));
    auto reply = c.NextOfType(0xF8);
    ASSERT_TRUE(reply);
    EXPECT_EQ(ReadDiagnostics(*reply).serial, f.Serial(5));
    EXPECT_TRUE(f.sim.WaitForLine({"[fault silence] radio " + std::to_string(quiet)}));
    f.sim.StopAndJoin();
    EXPECT_EQ(f.sim.Sim().Counts().replies.at(0xF8), 1u);
}

TEST(Faults, BusyMasterSetsTheBusyBitAndRelaysNothingUntilItClears) {
    Fixture f({"--status-interval", "200", "--busy-at", "0", "--busy-for", "4"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    auto status = c.NextOfType(0xF0);
    ASSERT_TRUE(status);
    ASSERT_EQ((*status)[7] & 0x80, 0x80);
    c.Send(ReadOf(f.Serial(1)));
    ASSERT_TRUE(f.sim.WaitForLine({"[fault busy: master busy, request not relayed]"}));
    // Wait out the busy period, then the master relays again.
    for (;;) {
        status = c.NextOfType(0xF0, milliseconds(10000));
        ASSERT_TRUE(status);
        if (((*status)[7] & 0x80) == 0) break;
    }
    c.Send(ReadOf(f.Serial(1)));
    EXPECT_TRUE(c.NextOfType(0xF8));
    f.sim.StopAndJoin();
    EXPECT_EQ(f.Fault("busy"), 1u);
}

TEST(Faults, NoStoreAnswersWritesButKeepsTheOldValue) {
    Fixture f({"--no-store"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    const uint32_t serial = f.Serial(2);
    c.Send(ReadOf(serial, 0x0D87));
    auto before = c.NextOfType(0xF8);
    ASSERT_TRUE(before);
    c.Send(EncodeRequest(kWriteRequest, serial, 3, 3));
    auto ack = c.NextOfType(0xF9);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ReadDiagnostics(*ack).value, 3);
    c.Send(EncodeRequest(kStoreRequest, serial, 0x0D, 0x87));
    c.Send(ReadOf(serial, 0x0D87));
    auto after = c.NextOfType(0xF8);
    ASSERT_TRUE(after);
    EXPECT_EQ(ReadDiagnostics(*after).value, ReadDiagnostics(*before).value);
    EXPECT_NE(ReadDiagnostics(*after).value, 3);
    f.sim.StopAndJoin();
    EXPECT_EQ(f.Fault("no-store"), 1u);
}

TEST(Faults, CloseAfterEndsTheConnectionAndTheNextOneIsServed) {
    Fixture f({"--close-after", "0.5"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    bool open = true;
    const auto deadline = Clock::now() + milliseconds(10000);
    while (open && Clock::now() < deadline) open = c.ReadSome(milliseconds(200));
    EXPECT_FALSE(open) << "the simulator closed the connection";
    ASSERT_TRUE(f.sim.WaitForLine({"[fault close-after: connection closed]"}));
    StreamClient next(ConnectTcp(f.sim.Sim().TcpPort()));
    next.Send(ReadOf(f.Serial(1)));
    EXPECT_TRUE(next.NextOfType(0xF8));
}

// Everything a client reads until the simulator logs `over`, and a little after.
Bytes ReadUntilOver(Fixture& f, StreamClient& c, const char* over) {
    const auto deadline = Clock::now() + milliseconds(15000);
    while (!f.sim.WaitForLine({over}, milliseconds(0)) && Clock::now() < deadline) c.ReadSome(milliseconds(50));
    for (int i = 0; i < 6; ++i) c.ReadSome(milliseconds(50));
    return c.Pending();
}

TEST(Faults, NoiseIsRandomBytesSomeOfThemFramesWithAGoodCheckByte) {
    Fixture f({"--noise", "20000", "--noise-for", "1.5"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    const Bytes noise = ReadUntilOver(f, c, "[fault noise: over]");
    f.sim.StopAndJoin();
    EXPECT_EQ(noise.size(), f.Fault("noise")) << "every noise byte reached the one client, nothing else did";
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
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    ReadUntilOver(f, c, "[fault flood: over]");
    std::set<uint32_t> serials;
    size_t replies = 0;
    while (auto reply = c.NextFrame(milliseconds(0))) {
        ASSERT_EQ((*reply)[0], 0xF8);
        EXPECT_EQ(XorOf(*reply), 0);
        const Diagnostics d = ReadDiagnostics(*reply);
        EXPECT_EQ(d.hops, 0);
        EXPECT_EQ(f.sim.Sim().Net().FindBySerial(d.serial), nullptr) << d.serial;
        EXPECT_GE(d.serial, 2000000u);
        EXPECT_LE(d.serial, 9150000u);
        serials.insert(d.serial);
        ++replies;
    }
    f.sim.StopAndJoin();
    EXPECT_TRUE(c.Skipped().empty());
    EXPECT_EQ(replies, f.Fault("flood"));
    EXPECT_GT(replies, 300u);
    EXPECT_GE(serials.size(), replies - 2) << "nearly every reply names another radio";
}

TEST(Faults, WithheldHopsSendsAHeaderAnnouncingRecordsThatNeverCome) {
    Fixture f({"--withhold-hops", "100", "--withhold-hops-count", "7"});
    StreamClient c(ConnectTcp(f.sim.Sim().TcpPort()));
    const uint32_t serial = f.Serial(1);
    c.Send(ReadOf(serial));
    ASSERT_TRUE(f.sim.WaitForLine({"[fault withheld-hops: header announces 7 hop records, none follow]"}));
    for (int i = 0; i < 8; ++i) c.ReadSome(milliseconds(50));
    const Bytes header = c.Pending();
    ASSERT_EQ(header.size(), 21u) << "the fixed bytes and nothing after them";
    EXPECT_EQ(header[0], 0xF8);
    EXPECT_EQ(header[7], 7);
    EXPECT_EQ(Serial3(header, 4), serial);
    f.sim.StopAndJoin();
    EXPECT_EQ(f.Fault("withheld-hops"), 1u);
}

}  // namespace
}  // namespace radiosim
