// Behaviour of real equipment that a lenient simulator would hide: a modem
// that hangs up on input while dialling, TCP peers that die mid-frame or stop
// reading, gateways answering UDP from another port, long repeater chains and
// traffic reports with shortened serials.
#include <gtest/gtest.h>

#include <set>

#include "radiosim_test_support.h"

namespace radiosim {
namespace {

using namespace test;
using std::chrono::milliseconds;

Bytes ReadOf(uint32_t serial) { return EncodeRequest(kReadRequest, serial, 0x0D, 0x80); }

struct DialCase {
    const char* name;
    std::vector<std::string> extra;
    const char* answer;  // what follows the echoed dial once a frame arrives mid-dial
    bool aborted;
};

TEST(Modem, AByteDuringTheDialAbortsItUnlessLenient) {
    const std::vector<DialCase> cases = {
        {"strict", {}, "NO CARRIER\r\n", true},
        {"lenient", {"--modem-lenient-dial"}, "CONNECT 115200\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--modem", "--modem-delay", "400", "--status-interval", "0", "--reports", "0"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        RunningSim s(args);
        ASSERT_TRUE(s.ok());
        StreamClient m(OpenPtySlave(s.sim().modemPath()));
        m.send(std::string("ATDT5551234\r"));
        ASSERT_TRUE(s.waitForLine({"modem ev - dialling 5551234"}));
        m.send(ReadOf(s.sim().net().at(1).serial));  // a poll frame sent too early
        const std::string text = m.readText(milliseconds(5000), c.answer);
        EXPECT_EQ(text.rfind("ATDT5551234\r\r\n" + std::string(c.answer), 0), 0u) << text;
        EXPECT_EQ(s.waitForLine({"modem ev F8 dial to 5551234 aborted by a byte"}, milliseconds(c.aborted ? 5000 : 600))
                      .has_value(),
                  c.aborted);
        if (c.aborted) {
            // Back in command mode: the call never came up.
            m.send(std::string("\rAT\r"));
            EXPECT_NE(m.readText(milliseconds(5000), "OK\r\n").find("\r\nOK\r\n"), std::string::npos);
            s.stopAndJoin();
            EXPECT_EQ(s.sim().counts().dialsAborted, 1u);
            EXPECT_TRUE(s.waitForLine({"connected to"}, milliseconds(0)) == std::nullopt);
        }
    }
}

TEST(TcpLink, CloseMidFrameLeavesTheClientHalfAFrame) {
    RunningSim s({"--tcp", "0", "--status-interval", "200", "--reports", "0", "--close-mid-frame", "0.5"});
    ASSERT_TRUE(s.ok());
    StreamClient c(ConnectTcp(s.sim().tcpPort()));
    int whole = 0;
    while (c.nextFrame(milliseconds(5000))) ++whole;  // until the end of the stream
    EXPECT_GE(whole, 1);
    ASSERT_FALSE(c.pending().empty()) << "the stream ended between frames";
    EXPECT_LT(c.pending().size(), 14u);
    EXPECT_EQ(c.pending()[0], 0xF0);
    ASSERT_TRUE(s.waitForLine({"tcp ev - [fault close-mid-frame: connection closed in the middle of a frame]"}));
    // The next client is served whole again until its own time is up.
    StreamClient next(ConnectTcp(s.sim().tcpPort()));
    auto status = next.nextOfType(0xF0);
    ASSERT_TRUE(status);
    EXPECT_EQ(XorOf(*status), 0);
}

TEST(TcpLink, StopReadingFillsTheClientsWindowWhileFramesKeepComing) {
    RunningSim s({"--tcp", "0", "--status-interval", "200", "--reports", "0", "--stop-reading", "0.3"});
    ASSERT_TRUE(s.ok());
    StreamClient c(ConnectTcp(s.sim().tcpPort()));
    ASSERT_TRUE(s.waitForLine({"[fault stop-reading: nothing more read from the client]"}));
    fcntl(c.fd(), F_SETFL, fcntl(c.fd(), F_GETFL) | O_NONBLOCK);
    const Bytes request = ReadOf(s.sim().net().at(1).serial);
    Bytes burst;
    for (int i = 0; i < 512; ++i) burst.insert(burst.end(), request.begin(), request.end());
    size_t written = 0;
    bool full = false;
    while (!full && written < (64u << 20)) {
        const ssize_t n = send(c.fd(), burst.data(), burst.size(), MSG_NOSIGNAL);
        if (n > 0) written += static_cast<size_t>(n);
        full = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        if (!full && n <= 0) break;
    }
    EXPECT_TRUE(full) << written << " bytes went in and the window never filled";
    EXPECT_TRUE(c.nextOfType(0xF0)) << "status frames still go out";
    s.stopAndJoin();
    EXPECT_EQ(s.sim().counts().requests.count("read"), 0u);
}

TEST(UdpLink, OtherPortAnswersFromASecondPort) {
    RunningSim s({"--udp", "0", "--udp-other-port", "--status-interval", "0", "--reports", "0"});
    ASSERT_TRUE(s.ok());
    ASSERT_NE(s.sim().udpAnswerPort(), s.sim().udpPort());
    EXPECT_EQ(s.sim().startupLines().at(1), "udp-answers 127.0.0.1:" + std::to_string(s.sim().udpAnswerPort()));
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(s.sim().udpPort());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Bytes datagram = ReadOf(s.sim().net().at(2).serial);
    datagram.insert(datagram.end(), 4, 0xFF);
    sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    uint8_t buf[256];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    close(fd);
    ASSERT_GT(n, 0);
    EXPECT_EQ(buf[0], 0xF8);
    EXPECT_EQ(ntohs(from.sin_port), s.sim().udpAnswerPort());
    EXPECT_TRUE(s.waitForLine({"[fault udp-other-port: answered from port"}));
}

TEST(Network, ChainGivesPathsUpToItsLengthInRepliesAndTraces) {
    for (int length : {3, 7}) {
        SCOPED_TRACE(length);
        RunningSim s({"--tcp", "0", "--chain", std::to_string(length), "--status-interval", "0", "--reports", "0",
                      "--trace", "40"});
        ASSERT_TRUE(s.ok());
        Network& net = s.sim().net();
        int deepest = -1;
        std::set<size_t> depths;
        for (int i = 1; i < net.size(); ++i) {
            depths.insert(net.at(i).path.size());
            if (net.at(i).path.size() == static_cast<size_t>(length)) deepest = i;
        }
        ASSERT_GT(deepest, 0);
        EXPECT_EQ(net.at(deepest).role, Role::Slave);
        for (int d = 0; d <= length; ++d) EXPECT_EQ(depths.count(static_cast<size_t>(d)), 1u) << "no path of " << d;
        StreamClient c(ConnectTcp(s.sim().tcpPort()));
        c.send(ReadOf(net.at(deepest).serial));
        auto reply = c.nextOfType(0xF8);
        ASSERT_TRUE(reply);
        EXPECT_EQ(XorOf(*reply), 0);
        const Diagnostics d = ReadDiagnostics(*reply);
        ASSERT_EQ(d.hops, length);
        for (int k = 0; k < length; ++k)
            EXPECT_EQ(d.hopSerials[static_cast<size_t>(k)],
                      net.at(net.at(deepest).path[static_cast<size_t>(k)]).serial);
        // Trace frames carry the same hop records.
        std::optional<Bytes> trace;
        const auto deadline = Clock::now() + milliseconds(20000);
        while (Clock::now() < deadline && !(trace && ReadDiagnostics(*trace).hops == length))
            trace = c.nextOfType(0xFB, milliseconds(2000));
        ASSERT_TRUE(trace);
        EXPECT_EQ(ReadDiagnostics(*trace).hops, length);
        EXPECT_EQ(XorOf(*trace), 0);
    }
}

TEST(Network, ShortTrafficSerialsComeIn20And16BitForms) {
    RunningSim s({"--tcp", "0", "--status-interval", "0", "--reports", "40", "--short-traffic-serials", "100"});
    ASSERT_TRUE(s.ok());
    Network& net = s.sim().net();
    const uint32_t top = net.master().serial & 0xF00000;
    StreamClient c(ConnectTcp(s.sim().tcpPort()));
    bool twenty = false, sixteen = false;
    const auto deadline = Clock::now() + milliseconds(20000);
    while (Clock::now() < deadline && !(twenty && sixteen)) {
        auto f = c.nextOfType(0xF5, milliseconds(2000));
        if (!f) continue;
        ASSERT_EQ(XorOf(*f), 0);
        const uint32_t serial = Serial3(*f, 1);
        ASSERT_LT(serial, 0x100000u);
        if (serial < 0x10000) {
            sixteen = true;
        } else {
            // With the master's top bits back it names a radio of the network.
            EXPECT_NE(net.findBySerial(serial | top), nullptr) << serial;
            twenty = true;
        }
    }
    EXPECT_TRUE(twenty);
    EXPECT_TRUE(sixteen);
    EXPECT_TRUE(s.waitForLine({"[fault short-serial: sent as", "low 16 bits, names no radio]"}));
}

}  // namespace
}  // namespace radiosim
