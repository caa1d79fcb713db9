// The program on the simulator's TCP and UDP links.
#include <gtest/gtest.h>

#include <map>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_fixture.h"

namespace {

constexpr int kScreen0Key = 48;
constexpr int kScreen1Key = 49;
constexpr int kConnectTcp = 130;
constexpr int kCloseTcpUdp = 131;

class NetworkLinkE2E : public E2ETest {
protected:
    // The whole network in the table, every radio answered; the screens show it.
    void expectNetworkShown(double seconds) {
        const auto radios = simRadios();
        ASSERT_EQ(radios.size(), 13u);
        ASSERT_TRUE(run.runUntil([&] { return TableHolds(run.p(), radios) && AllAnswered(run.p()); }, seconds))
            << "radios in the table: " << run.p().network.radioCount;
        EXPECT_TRUE(OnlyTheseRadios(run.p(), radios));
        EXPECT_EQ(run.radioCountDrops, 0);
        run.key(kScreen0Key);
        ExpectScreen0ListsTheNetwork(run, radios);
        run.key(kScreen1Key);
        ExpectScreen1ShowsPlausibleValues(run);
    }

    void expectUdpSession(const std::string& password) {
        run.connectUdp(sim->port("udp"), password);
        EXPECT_EQ(run.p().link.linkKind, kLinkUdp);
        EXPECT_EQ(run.host.shown.back().title, "UDP PassWord Leave Blank For None");
        EXPECT_EQ(run.linkStatusLine(), "127.0.0.1 OpenedUDP");

        expectNetworkShown(40);
        ASSERT_TRUE(run.runUntil([&] { return Requests(simLog(), "udp").size() >= 25; }, 30));
        const auto log = simLog();
        EXPECT_TRUE(WithText(log, "refused datagram").empty()) << WithText(log, "refused datagram").front().text;
        const auto requests = Requests(log, "udp");
        EXPECT_GE(MedianGapMs(requests), 150);
        EXPECT_LE(MedianGapMs(requests), 300);
        EXPECT_TRUE(run.host.messages().empty());
    }
};

}  // namespace

TEST_F(NetworkLinkE2E, TcpSendsAtMostOneRequestPerClockSecondAndShowsTheNetwork) {
    ASSERT_TRUE(startSim({"--tcp", "127.0.0.1:0"}).ready());
    run.connectTcp(sim->port("tcp"));
    ASSERT_EQ(run.p().link.linkKind, kLinkTcp);
    EXPECT_EQ(run.linkStatusLine(), "127.0.0.1 OpenedTCP");

    // One request a second: the twelve radios need a while to be found by number.
    expectNetworkShown(90);

    const auto requests = Requests(simLog(), "tcp");
    ASSERT_GE(requests.size(), 10u);
    EXPECT_EQ(SameSecondPairs(requests, sim->startedEpochMs(), sim->readyEpochMs(), 50), 0);
    // Requests go out only on the master's status frames, so they keep flowing about once a second.
    const double seconds = static_cast<double>(requests.back().ms - requests.front().ms) / 1000.0;
    EXPECT_GE(static_cast<double>(requests.size() - 1), seconds * 0.5);

    ExpectLogAndCsvListEveryRadio(run, dir);
    // On a network link the file keeps the master's address and port too.
    ExpectNetworkFileRoundTrip(run, dir, "TCPNET.RAD");
    EXPECT_NE(dir.read("TCPNET.RAD").find("IP ADDRESS 127.0.0.1\r\nPORT NUMBER "), std::string::npos);

    // The address read back from the file reconnects.
    run.command(kCloseTcpUdp);
    EXPECT_EQ(run.linkStatusLine(), "No Connection");
    run.command(kConnectTcp);
    ASSERT_EQ(run.p().link.linkKind, kLinkTcp);
    const size_t sent = Requests(simLog(), "tcp").size();
    EXPECT_TRUE(run.runUntil([&] { return Requests(simLog(), "tcp").size() >= sent + 2; }, 15));
}

TEST_F(NetworkLinkE2E, UdpWithoutPasswordSendsFourFfBytes) {
    ASSERT_TRUE(startSim({"--udp", "127.0.0.1:0"}).ready());
    expectUdpSession("");
    EXPECT_EQ(run.p().link.udpPassword, std::string(4, '\xFF'));
}

TEST_F(NetworkLinkE2E, UdpWithPasswordSendsItsFirstFourCharacters) {
    ASSERT_TRUE(startSim({"--udp", "127.0.0.1:0", "--password", "Sesame"}).ready());
    expectUdpSession("Sesame");
}

TEST_F(NetworkLinkE2E, UdpWithWrongPasswordGetsNothingButKeepsPolling) {
    ASSERT_TRUE(startSim({"--udp", "127.0.0.1:0", "--password", "Sesame"}).ready());
    run.connectUdp(sim->port("udp"), "Open");
    run.runFor(3);
    EXPECT_EQ(run.p().network.radioCount, 0);
    const auto log = simLog();
    EXPECT_GE(WithText(log, "wrong password").size(), 5u);
    EXPECT_TRUE(Requests(log, "udp").empty());
    EXPECT_EQ(run.linkStatusLine(), "127.0.0.1 OpenedUDP");
}

TEST_F(NetworkLinkE2E, TcpWithoutMasterStatusSendsNoRequestOnlyKeepAlives) {
    // Requests on TCP go out on the master's status frames; with none the link stays
    // quiet, and the keep-alive's carriage return holds it open every 5 s.
    ASSERT_TRUE(startSim({"--tcp", "127.0.0.1:0", "--status-interval", "0", "--reports", "0"}).ready());
    run.connectTcp(sim->port("tcp"));
    ASSERT_EQ(run.p().link.linkKind, kLinkTcp);
    ASSERT_TRUE(run.runUntil([&] { return WithText(simLog(), "keep-alive").size() >= 2; }, 20));
    const auto log = simLog();
    EXPECT_TRUE(Requests(log, "tcp").empty());
    const auto keepAlives = WithText(log, "keep-alive");
    EXPECT_GE(keepAlives[1].ms - keepAlives[0].ms, 4000);
    EXPECT_EQ(run.p().network.radioCount, 0);
}

TEST_F(NetworkLinkE2E, SwitchingLinksMovesThePollingFromOneToTheNext) {
    ASSERT_TRUE(startSim({"--pty", "--tcp", "127.0.0.1:0", "--udp", "127.0.0.1:0"}).ready());
    auto sentOn = [&](const std::string& link) { return Requests(simLog(), link).size(); };
    // Requests arrive on `link` and no longer on the others.
    auto expectPollingOn = [&](const std::string& link, const std::string& status) {
        EXPECT_EQ(run.linkStatusLine(), status);
        const size_t before = sentOn(link);
        ASSERT_TRUE(run.runUntil([&] { return sentOn(link) >= before + 3; }, 15)) << "nothing on " << link;
        run.runFor(0.5);
        std::map<std::string, size_t> others;
        for (const char* l : {"pty", "tcp", "udp"})
            if (l != link) others[l] = sentOn(l);
        run.runFor(2.5);
        for (const auto& [l, n] : others) EXPECT_EQ(sentOn(l), n) << l << " still polled after switching to " << link;
    };

    run.openSerial(sim->endpoint("pty"));
    expectPollingOn("pty", "Com1  Opened");
    run.connectTcp(sim->port("tcp"));
    EXPECT_EQ(run.p().link.serialPortOpen, 0);
    expectPollingOn("tcp", "127.0.0.1 OpenedTCP");
    run.connectUdp(sim->port("udp"), "");
    EXPECT_EQ(run.p().link.linkKind, kLinkUdp);
    expectPollingOn("udp", "127.0.0.1 OpenedUDP");
    run.command(121);
    EXPECT_EQ(run.p().link.linkKind, kLinkSerial);
    expectPollingOn("pty", "Com1  Opened");
    EXPECT_EQ(run.radioCountDrops, 0);
    EXPECT_TRUE(OnlyTheseRadios(run.p(), simRadios()));
}
