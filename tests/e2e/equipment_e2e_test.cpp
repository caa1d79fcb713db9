// The program against equipment as harsh as the real thing: a modem that hangs
// up on any byte while it dials, TCP peers that die mid-frame or stop reading,
// gateways answering UDP from another port, long repeater chains, trace frames
// and traffic reports with shortened serials.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_fixture.h"
#include "link/links.h"
#include "model/radio_table.h"

namespace {

constexpr int kDialup = 200;
constexpr int kConnectTcp = 130;

class EquipmentE2E : public E2ETest {
protected:
    // Every radio of the simulated network in the table and answered; nothing else.
    void expectNetworkFound(double seconds) {
        const auto radios = simRadios();
        EXPECT_TRUE(run.runUntil([&] { return TableHolds(run.p(), radios) && AllAnswered(run.p()); }, seconds))
            << "radios in the table: " << run.p().network.radioCount;
        EXPECT_TRUE(OnlyTheseRadios(run.p(), radios));
        EXPECT_EQ(run.radioCountDrops, 0);
    }
    // The window keeps its 100 ms rhythm over `seconds`.
    void expectResponsive(double seconds) {
        const int ticks = run.ticks;
        run.runFor(seconds);
        EXPECT_GE(run.ticks, ticks + static_cast<int>(seconds * 8));
    }
    // Log lines from the first containing `from` up to the first after it containing `to`.
    std::vector<SimLine> between(const std::string& from, const std::string& to) {
        std::vector<SimLine> out;
        bool inside = false;
        for (const auto& l : simLog()) {
            if (!inside && l.text.find(from) != std::string::npos) inside = true;
            else if (inside && l.text.find(to) != std::string::npos) break;
            else if (inside) out.push_back(l);
        }
        return out;
    }
};

}  // namespace

TEST_F(EquipmentE2E, NothingReachesTheModemWhileItDials) {
    // A slow answer, with the window's timer running through the wait, leaves
    // room for a poll frame or a keep-alive to slip in, which would make the
    // modem hang up with NO CARRIER.
    ASSERT_TRUE(startSim({"--modem", "--modem-delay", "6000"}).ready());
    setenv("CORVANE_COM1", sim->endpoint("modem").c_str(), 1);
    run.host.answer(true, "5551234");
    run.tickDuringPumps();
    const int ticks = run.ticks;
    run.command(kDialup);
    EXPECT_GE(run.ticks, ticks + 40) << "the timer stood still during the dial";
    EXPECT_TRUE(WithText(simLog(), "aborted by a byte received while dialling").empty());
    EXPECT_TRUE(WithText(simLog(), "NO CARRIER").empty());
    for (const auto& l : between("dialling 5551234", "connected to 5551234"))
        EXPECT_FALSE(l.link == "modem" && l.kind == "rx") << "sent during the dial: " << l.text;
    EXPECT_EQ(run.p().link.serialPortOpen, 1);
    EXPECT_EQ(run.linkStatusLine(), "Com1  Opened");
    expectNetworkFound(30);
    EXPECT_TRUE(run.host.messages().empty());
}

// A hang-up that cuts a frame short must show "No Connection", not the link as open.
TEST_F(EquipmentE2E, TcpHangUpMidFrameShowsNoConnectionAndCanReconnect) {
    ASSERT_TRUE(startSim({"--tcp", "127.0.0.1:0", "--close-mid-frame", "4"}).ready());
    run.connectTcp(sim->port("tcp"));
    ASSERT_EQ(run.p().link.linkKind, kLinkTcp);
    ASSERT_TRUE(run.runUntil([&] { return run.p().network.radioCount > 0; }, 20));
    ASSERT_TRUE(run.runUntil([&] { return !WithText(simLog(), "connection closed in the middle of a frame").empty(); }, 20));
    const int found = run.p().network.radioCount;

    EXPECT_TRUE(run.runUntil([&] { return run.linkStatusLine() == "No Connection"; }, 10)) << run.linkStatusLine();
    expectResponsive(1);
    EXPECT_GE(run.p().network.radioCount, found);
    EXPECT_TRUE(OnlyTheseRadios(run.p(), simRadios()));

    run.command(kConnectTcp);
    EXPECT_EQ(run.linkStatusLine(), "127.0.0.1 OpenedTCP");
    const size_t sent = Requests(simLog(), "tcp").size();
    EXPECT_TRUE(run.runUntil([&] { return Requests(simLog(), "tcp").size() > sent; }, 10));
}

TEST_F(EquipmentE2E, TcpPeerThatStopsReadingLeavesTheWindowResponsive) {
    ASSERT_TRUE(startSim({"--tcp", "127.0.0.1:0", "--stop-reading", "3"}).ready());
    run.connectTcp(sim->port("tcp"));
    ASSERT_EQ(run.p().link.linkKind, kLinkTcp);
    ASSERT_TRUE(run.runUntil([&] { return !WithText(simLog(), "[fault stop-reading").empty(); }, 20));
    const int found = run.p().network.radioCount;
    EXPECT_GT(found, 0);
    // Hours of requests into a peer that reads nothing, in a moment: carriage
    // returns (never a frame) until the program's own send buffer is full too.
    const std::vector<uint8_t> returns(4096, 0x0D);
    size_t queued = 0;
    while (queued < (64u << 20) &&
           send(LinkDescriptor(run.p().link), returns.data(), returns.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0)
        queued += returns.size();
    ASSERT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << queued << " bytes queued";
    // Status frames keep coming, so the program keeps trying to send.
    expectResponsive(8);
    EXPECT_EQ(run.linkStatusLine(), "127.0.0.1 OpenedTCP");
    EXPECT_GE(run.p().network.radioCount, found);
    EXPECT_EQ(run.radioCountDrops, 0);
    EXPECT_TRUE(run.host.messages().empty());
}

// A gateway answering from another port than the one requests go to still fills the table.
TEST_F(EquipmentE2E, UdpAnswersFromAnotherPortFillTheTable) {
    ASSERT_TRUE(startSim({"--udp", "127.0.0.1:0", "--udp-other-port"}).ready());
    ASSERT_NE(sim->endpoint("udp-answers"), sim->endpoint("udp"));
    run.connectUdp(sim->port("udp"), "");
    EXPECT_EQ(run.linkStatusLine(), "127.0.0.1 OpenedUDP");
    expectNetworkFound(40);
    EXPECT_FALSE(WithText(simLog(), "[fault udp-other-port").empty());
}

// Replies relayed over more than four repeaters keep their first four hops.
TEST_F(EquipmentE2E, SevenHopPathsKeepTheirFirstFourRepeaters) {
    ASSERT_TRUE(startSim({"--pty", "--chain", "7"}).ready());
    const auto radios = simRadios();
    const auto deep = std::find_if(radios.begin(), radios.end(), [](const SimRadio& r) { return r.path.size() == 7; });
    ASSERT_NE(deep, radios.end());
    run.openSerial(sim->endpoint("pty"));
    expectNetworkFound(60);
    const Program& p = run.p();
    EXPECT_EQ(run.errorCodes().count(27), 0u);
    const int index = FindRadio(p.network, deep->serial, 1);
    ASSERT_GT(index, 0);
    const RadioRecord& r = p.network.radios[index];
    for (size_t k = 0; k < 4; ++k) {
        const int hop = FindRadio(p.network, deep->path[k], 1);
        ASSERT_GT(hop, 0) << "hop " << k + 1 << " not in the table";
        EXPECT_NE(p.network.radios[hop].repeaterNumber, 0);
        EXPECT_EQ(r.hopRepeater[k], p.network.radios[hop].repeaterNumber) << "hop " << k + 1;
    }
    for (size_t k = 4; k < r.hopRepeater.size(); ++k) EXPECT_EQ(r.hopRepeater[k], 0) << "hop " << k + 1;
    expectResponsive(1);
}

TEST_F(EquipmentE2E, TraceFramesOverLongPathsAreDrawnAndChangeNoRadio) {
    ASSERT_TRUE(startSim({"--pty", "--chain", "5", "--trace", "300"}).ready());
    run.openSerial(sim->endpoint("pty"));
    expectNetworkFound(60);
    ASSERT_TRUE(run.runUntil([&] { return WithText(simLog(), "trace radio").size() >= 12; }, 20));
    run.runFor(0.5);
    EXPECT_NE(run.p().poll.traceRow, 0) << "no trace row drawn";
    const auto codes = run.errorCodes();
    EXPECT_EQ(codes.count(32), 0u);
    EXPECT_EQ(codes.count(37), 0u);
    EXPECT_TRUE(OnlyTheseRadios(run.p(), simRadios()));
}

TEST_F(EquipmentE2E, ShortTrafficSerialsAreRestoredOrRefusedNeverAdded) {
    ASSERT_TRUE(startSim({"--pty", "--reports", "200", "--short-traffic-serials", "60"}).ready());
    run.openSerial(sim->endpoint("pty"));
    expectNetworkFound(40);
    ASSERT_TRUE(run.runUntil([&] {
        const auto log = simLog();
        return !WithText(log, "low 16 bits, names no radio").empty() && !WithText(log, "low 20 bits]").empty();
    }, 30));
    run.runFor(0.5);
    EXPECT_GT(run.errorCodes().count(32), 0u) << "a 16-bit serial went unrecorded";
    EXPECT_TRUE(OnlyTheseRadios(run.p(), simRadios()));
    EXPECT_LE(run.p().network.radioCount, 12);
}
