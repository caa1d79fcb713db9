// Faults of the air and the line, as the simulator makes them: the program keeps
// polling, records what was bad, loses no radio and shows the truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_fixture.h"
#include "model/radio_table.h"

namespace {

constexpr int kScreen0Key = 48;
constexpr int kSequentialKey = 83;  // 'S'
constexpr int kCloseComm = 120;
constexpr int kConnectTcp = 130;
constexpr uint32_t kAlarmColor = 0x000080;
constexpr uint32_t kGreen = 0x008000;

class FaultE2E : public E2ETest {
protected:
    // Requests keep leaving while the program runs on.
    void expectStillPolling(const std::string& link, double seconds) {
        const size_t sent = Requests(simLog(), link).size();
        const int ticks = run.ticks;
        run.runFor(seconds);
        EXPECT_GE(run.ticks, ticks + static_cast<int>(seconds * 5));
        EXPECT_GT(Requests(simLog(), link).size(), sent) << "no request left in " << seconds << " s";
    }
};

struct AirFault {
    const char* name;
    std::vector<std::string> options;
    bool badFrames;  // the fault puts bytes on the line that the program must reject
    const char* link = "pty";
};

// Test names show the fault, not the bytes of the parameter.
void PrintTo(const AirFault& fault, std::ostream* out) { *out << fault.name; }

class AirFaultE2E : public FaultE2E, public ::testing::WithParamInterface<AirFault> {};

}  // namespace

TEST_P(AirFaultE2E, NetworkIsStillFoundAndFaultsAreRecorded) {
    const AirFault& fault = GetParam();
    const std::string link = fault.link;
    std::vector<std::string> args{link == "pty" ? "--pty" : "--" + link};
    if (link != "pty") args.push_back("127.0.0.1:0");
    args.insert(args.end(), fault.options.begin(), fault.options.end());
    ASSERT_TRUE(startSim(args).ready());
    const auto radios = simRadios();
    if (link == "pty") run.openSerial(sim->endpoint("pty"));
    if (link == "tcp") run.connectTcp(sim->port("tcp"));
    if (link == "udp") run.connectUdp(sim->port("udp"), "");

    EXPECT_TRUE(run.runUntil([&] { return TableHolds(run.p(), radios) && AllAnswered(run.p()); }, 90))
        << "radios in the table: " << run.p().network.radioCount;
    expectStillPolling(link, 3);
    EXPECT_TRUE(OnlyTheseRadios(run.p(), radios));
    EXPECT_EQ(run.radioCountDrops, 0);
    EXPECT_LE(run.p().network.radioCount, 12);
    if (fault.badFrames) {
        EXPECT_GT(run.errorCount(), 0);
    }
    run.key(kScreen0Key);
    ExpectScreen0ListsTheNetwork(run, radios);
    EXPECT_TRUE(run.host.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AirFaultE2E,
    ::testing::Values(AirFault{"drop", {"--drop", "30"}, false}, AirFault{"corrupt", {"--corrupt", "25"}, true},
                      AirFault{"split", {"--split", "50", "--split-delay", "60"}, false},
                      AirFault{"lateHops", {"--late-hops", "40"}, true}, AirFault{"stray", {"--stray", "30"}, true},
                      AirFault{"splitOverTcp", {"--split", "50"}, false, "tcp"},
                      AirFault{"corruptOverUdp", {"--corrupt", "25"}, true, "udp"},
                      AirFault{"strayOverUdp", {"--stray", "30"}, true, "udp"}),
    [](const ::testing::TestParamInfo<AirFault>& info) { return std::string(info.param.name); });

TEST_F(FaultE2E, SilencedRadioLosesItsScoreAndItsTimeTurnsToAlarm) {
    // The network answers fully first; then the same network comes back on another
    // line with one radio silent, as when a radio dies in the field.
    ASSERT_TRUE(startSim({"--pty"}).ready());
    const auto radios = simRadios();
    run.openSerial(sim->endpoint("pty"));
    ASSERT_TRUE(run.runUntil([&] { return TableHolds(run.p(), radios) && AllAnswered(run.p()); }, 30));
    run.key(kSequentialKey);
    run.runFor(4);  // a sweep or two: every radio's score rises

    Program& p = run.p();
    const uint32_t silent = radios[4].serial;
    const int index = FindRadio(p.network, silent, 1);
    ASSERT_GT(index, 0);
    run.command(kCloseComm);
    auto first = std::move(sim);
    ASSERT_TRUE(startSim({"--pty", "--silence", std::to_string(silent)}).ready());
    first.reset();
    run.openSerial(sim->endpoint("pty"));
    EXPECT_EQ(p.poll.pollMode.number(), 0);

    const uint16_t scoreAtSilence = p.network.radios[index].pollScore;
    const int repliesAtSilence = p.network.radios[index].replyCount;
    const int sweeps = p.poll.sweepCount;
    p.display.alarmTimeSeconds = 5;
    ASSERT_TRUE(run.runUntil([&] { return p.poll.sweepCount >= sweeps + 3; }, 30));
    run.runFor(0.3);  // the radios polled last have answered

    EXPECT_EQ(p.network.radios[index].replyCount, repliesAtSilence);
    EXPECT_LT(p.network.radios[index].pollScore, scoreAtSilence);
    EXPECT_LT(p.network.radios[index].pollScore, 10000);
    for (int i = 1; i <= p.network.radioCount; ++i) {
        if (i == index) continue;
        EXPECT_GT(p.network.radios[i].pollScore, p.network.radios[index].pollScore) << "radio " << i;
    }

    ASSERT_TRUE(run.runUntil([&] { return !WithText(simLog(), "[fault silence] radio " + std::to_string(silent)).empty(); }, 5));
    // Older than the alarm time: the silent radio's time received turns dark red; the others stay green.
    ASSERT_TRUE(run.runUntil(
        [&] {
            run.key(kScreen0Key);
            return run.paint().colorAt(run.rowOf(index), 73) == kAlarmColor;
        },
        15));
    const int other = index == 1 ? 2 : 1;
    EXPECT_EQ(run.canvas.colorAt(run.rowOf(other), 73), kGreen) << run.canvas.row(run.rowOf(other));
    EXPECT_EQ(run.radioCountDrops, 0);
}

TEST_F(FaultE2E, BusyMasterStopsTheRequestsUntilItIsFree) {
    ASSERT_TRUE(startSim({"--pty", "--busy-at", "4", "--busy-for", "3"}).ready());
    run.openSerial(sim->endpoint("pty"));
    ASSERT_TRUE(run.runUntil([&] { return !WithText(simLog(), "master no longer busy").empty(); }, 30));
    expectStillPolling("pty", 3);

    const auto log = simLog();
    const int64_t busyFrom = WithText(log, "[fault busy: master busy from now]").front().ms;
    const int64_t busyUntil = WithText(log, "master no longer busy").front().ms;
    // Once the busy status has arrived (a status frame every 500 ms) the program holds
    // its request; the master ignores at most what was already under way.
    int heldBack = 0;
    for (const auto& r : Requests(log, "pty"))
        if (r.ms > busyFrom + 1000 && r.ms < busyUntil) ++heldBack;
    EXPECT_EQ(heldBack, 0);
    EXPECT_LE(WithText(log, "request not relayed").size(), 3u);
    EXPECT_EQ(run.p().poll.masterBusy, 0);
    EXPECT_EQ(run.radioCountDrops, 0);
}

TEST_F(FaultE2E, TcpClosedByTheFarEndShowsNoConnectionAndCanReconnect) {
    ASSERT_TRUE(startSim({"--tcp", "127.0.0.1:0", "--close-after", "4"}).ready());
    run.connectTcp(sim->port("tcp"));
    ASSERT_EQ(run.p().link.linkKind, kLinkTcp);
    ASSERT_TRUE(run.runUntil([&] { return run.p().network.radioCount > 0; }, 20));
    ASSERT_TRUE(run.runUntil([&] { return !WithText(simLog(), "[fault close-after").empty(); }, 20));
    const int found = run.p().network.radioCount;

    // The far end has gone: the next paint tells the technician so.
    EXPECT_TRUE(run.runUntil([&] { return run.linkStatusLine() == "No Connection"; }, 10))
        << run.linkStatusLine();
    const int ticks = run.ticks;
    run.runFor(1);
    EXPECT_GE(run.ticks, ticks + 5);
    EXPECT_GE(run.p().network.radioCount, found);

    // Connecting again gets a new connection and the requests flow again.
    run.command(kConnectTcp);
    EXPECT_EQ(run.p().link.linkKind, kLinkTcp);
    EXPECT_EQ(run.linkStatusLine(), "127.0.0.1 OpenedTCP");
    const size_t sent = Requests(simLog(), "tcp").size();
    EXPECT_TRUE(run.runUntil([&] { return Requests(simLog(), "tcp").size() > sent; }, 10));
    EXPECT_EQ(run.radioCountDrops, 0);
}

TEST_F(FaultE2E, PtyGoneWithTheSimulatorLeavesTheProgramRunning) {
    ASSERT_TRUE(startSim({"--pty"}).ready());
    run.openSerial(sim->endpoint("pty"));
    ASSERT_TRUE(run.runUntil([&] { return run.p().network.radioCount >= 6; }, 20));
    const int found = run.p().network.radioCount;
    sim->kill();

    const int ticks = run.ticks;
    run.runFor(3);
    EXPECT_GE(run.ticks, ticks + 15);
    EXPECT_GT(run.errorCount(), 0) << "the dead line went unnoticed";
    EXPECT_EQ(run.p().network.radioCount, found);
    EXPECT_EQ(run.radioCountDrops, 0);
    run.key(kScreen0Key);
    EXPECT_EQ(run.paint().row(3), " Radio   Fn  Sig Nse  %  Freq   DATA  Dist Num Rep1 Rep2 Rep3 Rep4 Poll  Time");
    // Closing the dead port is quiet and leaves the program ready for another link.
    run.command(kCloseComm);
    EXPECT_EQ(run.p().link.serialPortOpen, 0);
    EXPECT_EQ(run.linkStatusLine(), "No Connection");
    run.runFor(0.5);
}
