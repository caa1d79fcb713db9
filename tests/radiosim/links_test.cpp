// The simulator reached over each of its links, as the program reaches it.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <cstdio>
#include <sys/wait.h>

#include "radiosim_test_support.h"

namespace radiosim {
namespace {

using namespace test;
using std::chrono::milliseconds;

uint32_t SerialOf(RunningSim& s, int index) { return s.sim().net().at(index).serial; }

Bytes ReadOf(uint32_t serial, uint16_t address = 0x0D80) {
    return EncodeRequest(kReadRequest, serial, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address));
}

Bytes WithPassword(Bytes request, const std::string& password) {
    request.insert(request.end(), password.begin(), password.end());
    return request;
}

TEST(TcpLink, AnswersRequestsSendsStatusAndTakesANewClientAfterADisconnect) {
    RunningSim s({"--tcp", "127.0.0.1:0", "--reports", "0"});
    ASSERT_TRUE(s.ok());
    const uint16_t port = s.sim().tcpPort();
    ASSERT_NE(port, 0);
    const uint32_t serial = SerialOf(s, 2);
    {
        StreamClient c(ConnectTcp(port));
        ASSERT_GE(c.fd(), 0);
        auto status = c.nextOfType(0xF0);
        ASSERT_TRUE(status);
        EXPECT_EQ(Serial3(*status, 1), s.sim().net().master().serial);

        c.send(Bytes{0x0D});  // keep-alive: counted, never answered
        c.send(ReadOf(serial));
        auto reply = c.nextOfType(0xF8);
        ASSERT_TRUE(reply);
        EXPECT_EQ(XorOf(*reply), 0);
        EXPECT_EQ(ReadDiagnostics(*reply).serial, serial);
        EXPECT_TRUE(s.waitForLine({" tcp rx 0D keep-alive"}));
        EXPECT_TRUE(s.waitForLine({" tcp rx " + Hex(ReadOf(serial)) + " read radio " + std::to_string(serial)}));
    }
    ASSERT_TRUE(s.waitForLine({"tcp ev - client disconnected"}));
    StreamClient again(ConnectTcp(port));
    ASSERT_GE(again.fd(), 0);
    again.send(ReadOf(serial));
    EXPECT_TRUE(again.nextOfType(0xF8));
    s.stopAndJoin();
    EXPECT_EQ(s.sim().counts().connections, 2u);
    EXPECT_EQ(s.sim().counts().keepAlives, 1u);
}

TEST(UdpLink, OnlyDatagramsCarryingThePasswordAreAnswered) {
    for (const std::string password : {"", "AB"}) {
        std::vector<std::string> args = {"--udp", "127.0.0.1:0", "--reports", "0", "--status-interval", "0"};
        if (!password.empty()) args.insert(args.end(), {"--password", password});
        RunningSim s(args);
        ASSERT_TRUE(s.ok());
        UdpClient c(s.sim().udpPort());
        const uint32_t serial = SerialOf(s, 4);
        // No password means four FF bytes; "AB" makes 10-byte datagrams.
        const std::string right = password.empty() ? std::string(4, '\xFF') : password;
        c.send(ReadOf(serial));
        c.send(WithPassword(ReadOf(serial), password.empty() ? "AB" : "AC"));
        c.send(WithPassword(ReadOf(serial), right + "X"));
        c.send(WithPassword(ReadOf(serial), right));
        auto reply = c.receiveOfType(0xF8, milliseconds(5000));
        ASSERT_TRUE(reply) << "password '" << password << "'";
        EXPECT_EQ(ReadDiagnostics(*reply).serial, serial);
        s.stopAndJoin();
        EXPECT_EQ(s.sim().counts().refusedDatagrams, 3u);
        EXPECT_EQ(s.sim().counts().requests.at("read"), 1u);
    }
}

TEST(PtyLink, SpeaksTheProtocolAndSurvivesThePortBeingClosedAndReopened) {
    RunningSim s({"--pty", "--reports", "0"});
    ASSERT_TRUE(s.ok());
    const std::string path = s.sim().ptyPath();
    ASSERT_FALSE(path.empty());
    const uint32_t serial = SerialOf(s, 6);
    for (int round = 0; round < 2; ++round) {
        StreamClient c(OpenPtySlave(path));
        ASSERT_GE(c.fd(), 0);
        c.send(ReadOf(serial, 0x0D81));
        auto reply = c.nextOfType(0xF8);
        ASSERT_TRUE(reply) << "round " << round;
        EXPECT_EQ(ReadDiagnostics(*reply).address, 0x0D81);
        EXPECT_EQ(ReadDiagnostics(*reply).value, 4);
        EXPECT_TRUE(c.nextOfType(0xF0));
    }
    ASSERT_TRUE(s.waitForLine({"pty ev - port closed by the other side"}));
    // With the port closed the simulator waits rather than spins: a second of
    // idling costs next to no processor time.
    timespec before{}, after{};
    std::this_thread::sleep_for(milliseconds(200));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(milliseconds(1000));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    const double used = (after.tv_sec - before.tv_sec) + (after.tv_nsec - before.tv_nsec) / 1e9;
    EXPECT_LT(used, 0.5);
}

TEST(ModemLink, DialsConnectsAndThenSpeaksTheProtocol) {
    RunningSim s({"--modem", "--modem-up", "5551234", "--modem-busy", "5550000", "--modem-nodialtone", "5559999",
                  "--modem-delay", "50", "--reports", "0"});
    ASSERT_TRUE(s.ok());
    const std::string path = s.sim().modemPath();
    {
        StreamClient c(OpenPtySlave(path));
        ASSERT_GE(c.fd(), 0);
        c.send(std::string("ATDT5550000\r"));
        const std::string busy = c.readText(milliseconds(5000), "BUSY\r\n");
        EXPECT_EQ(busy, "ATDT5550000\r\r\nBUSY\r\n");
        c.send(std::string("ATDT5559999\r"));
        EXPECT_EQ(c.readText(milliseconds(5000), "TONE\r\n"), "ATDT5559999\r\r\nNO DIALTONE\r\n");
        c.send(std::string("ATDT5551234\r"));
        const std::string connect = c.readText(milliseconds(5000), "CONNECT 115200\r\n");
        EXPECT_EQ(connect.substr(0, 30), "ATDT5551234\r\r\nCONNECT 115200\r\n");
        const uint32_t serial = SerialOf(s, 7);
        c.send(ReadOf(serial));
        auto reply = c.nextOfType(0xF8);
        ASSERT_TRUE(reply);
        EXPECT_EQ(ReadDiagnostics(*reply).serial, serial);
    }
    // Closing the port drops the call: the next opener finds a modem in command mode.
    ASSERT_TRUE(s.waitForLine({"modem ev - carrier lost"}));
    StreamClient c(OpenPtySlave(path));
    c.send(std::string("AT\r"));
    EXPECT_EQ(c.readText(milliseconds(5000), "OK\r\n"), "AT\r\r\nOK\r\n");
}

TEST(AllLinks, OneNetworkServesEveryLinkAtOnce) {
    RunningSim s({"--tcp", "0", "--udp", "0", "--pty", "--status-interval", "0", "--reports", "0"});
    ASSERT_TRUE(s.ok());
    const uint32_t serial = SerialOf(s, 8);
    // A value written and stored over TCP reads back over the pty and UDP.
    StreamClient tcp(ConnectTcp(s.sim().tcpPort()));
    tcp.send(ReadOf(serial, 0x0D82));
    ASSERT_TRUE(tcp.nextOfType(0xF8));
    tcp.send(EncodeRequest(kWriteRequest, serial, 33, 33));
    auto ack = tcp.nextOfType(0xF9);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ReadDiagnostics(*ack).address, 0x0D82);
    tcp.send(EncodeRequest(kStoreRequest, serial, 0x0D, 0x82));
    ASSERT_TRUE(s.waitForLine({"committed"}));

    StreamClient pty(OpenPtySlave(s.sim().ptyPath()));
    ASSERT_TRUE(s.waitForLine({"pty ev - port opened"}));
    pty.send(ReadOf(serial, 0x0D82));
    auto viaPty = pty.nextOfType(0xF8);
    ASSERT_TRUE(viaPty);
    EXPECT_EQ(ReadDiagnostics(*viaPty).value, 33);

    UdpClient udp(s.sim().udpPort());
    udp.send(WithPassword(ReadOf(serial, 0x0D82), std::string(4, '\xFF')));
    auto viaUdp = udp.receiveOfType(0xF8, milliseconds(5000));
    ASSERT_TRUE(viaUdp);
    EXPECT_EQ(ReadDiagnostics(*viaUdp).value, 33);
}

TEST(AllLinks, RandomBytesOnEveryLinkAreSurvivedAndServiceGoesOn) {
    RunningSim s({"--tcp", "0", "--udp", "0", "--pty", "--modem", "--modem-delay", "0", "--reports", "0",
                  "--status-interval", "0"});
    ASSERT_TRUE(s.ok());
    std::mt19937 rng(99);
    auto noise = [&rng](size_t n) {
        Bytes b(n);
        for (auto& x : b) x = static_cast<uint8_t>(rng());
        return b;
    };
    StreamClient tcp(ConnectTcp(s.sim().tcpPort()));
    StreamClient pty(OpenPtySlave(s.sim().ptyPath()));
    StreamClient modem(OpenPtySlave(s.sim().modemPath()));
    UdpClient udp(s.sim().udpPort());
    for (int round = 0; round < 20; ++round) {
        tcp.send(noise(1000));
        pty.send(noise(1000));
        modem.send(noise(200));
        udp.send(noise(rng() % 40));
    }
    // Whatever state the garbage left the request parsers in, a few good
    // requests get through.
    const Bytes good = ReadOf(SerialOf(s, 1));
    for (int i = 0; i < 3; ++i) {
        tcp.send(good);
        pty.send(good);
    }
    EXPECT_TRUE(tcp.nextOfType(0xF8, milliseconds(10000)));
    EXPECT_TRUE(pty.nextOfType(0xF8, milliseconds(10000)));
    modem.send(std::string("\rAT\r"));
    EXPECT_NE(modem.readText(milliseconds(10000), "OK\r\n").find("\r\nOK\r\n"), std::string::npos);
    udp.send(WithPassword(good, std::string(4, '\xFF')));
    EXPECT_TRUE(udp.receiveOfType(0xF8, milliseconds(10000)));
    s.stopAndJoin();
    EXPECT_GT(s.sim().counts().skippedBytes, 10000u);
    EXPECT_GT(s.sim().counts().refusedDatagrams, 10u);
}

// The program itself: start-up lines, errors, signals.
struct ToolRun {
    int status;
    std::string out;
};

ToolRun RunTool(const std::vector<std::string>& args, bool stopWithSigterm) {
    int pipeOut[2];
    if (pipe(pipeOut) != 0) return {-1, ""};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeOut[1], 1);
        dup2(pipeOut[1], 2);
        close(pipeOut[0]);
        std::vector<char*> argv{const_cast<char*>(RADIOSIM_EXE)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(RADIOSIM_EXE, argv.data());
        _exit(127);
    }
    close(pipeOut[1]);
    StreamClient out(pipeOut[0]);
    std::string text;
    if (stopWithSigterm) {
        text = out.readText(milliseconds(10000), "ready\n");
        std::this_thread::sleep_for(milliseconds(300));
        kill(pid, SIGTERM);
    }
    text += out.readText(milliseconds(10000), "\x01never");
    int status = 0;
    waitpid(pid, &status, 0);
    return {status, text};
}

TEST(Program, PrintsItsLinksThenReadyAndStopsCleanlyOnSigterm) {
    const ToolRun r = RunTool({"--pty", "--tcp", "127.0.0.1:0", "--summary"}, true);
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    EXPECT_EQ(r.out.rfind("pty /dev/pts/", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\ntcp 127.0.0.1:"), std::string::npos);
    EXPECT_NE(r.out.find("\nready\n"), std::string::npos);
    EXPECT_NE(r.out.find("summary requests read=0"), std::string::npos);
}

TEST(Program, APortInUseOrABadOptionExitsWithTwo) {
    RunningSim s({"--tcp", "0", "--udp", "0"});
    ASSERT_TRUE(s.ok());
    ToolRun r = RunTool({"--tcp", "127.0.0.1:" + std::to_string(s.sim().tcpPort())}, false);
    EXPECT_EQ(WEXITSTATUS(r.status), 2);
    EXPECT_NE(r.out.find("cannot listen for TCP"), std::string::npos) << r.out;
    r = RunTool({"--udp", "127.0.0.1:" + std::to_string(s.sim().udpPort())}, false);
    EXPECT_EQ(WEXITSTATUS(r.status), 2);
    EXPECT_NE(r.out.find("cannot bind UDP"), std::string::npos) << r.out;
    r = RunTool({"--radios", "9999", "--pty"}, false);
    EXPECT_EQ(WEXITSTATUS(r.status), 2);
    EXPECT_NE(r.out.find("--radios"), std::string::npos) << r.out;
    r = RunTool({"--help"}, false);
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    EXPECT_NE(r.out.find("MS LINK KIND HEX TEXT"), std::string::npos);
}

TEST(Program, WritesTheNetworkFileWithTheBoundTcpPortBeforeReady) {
    char dir[] = "/tmp/radiosim-program-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/Simulated.RAD";
    const ToolRun r = RunTool({"--tcp", "127.0.0.1:0", "--udp", "127.0.0.1:0", "--radios", "3", "--network-file", path}, true);
    EXPECT_EQ(WEXITSTATUS(r.status), 0) << r.out;
    const size_t at = r.out.find("tcp 127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string port = r.out.substr(at + 14, r.out.find('\n', at) - at - 14);
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[512];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    const std::string text(buf, n);
    EXPECT_EQ(text.rfind("IP ADDRESS 127.0.0.1\r\nPORT NUMBER " + port + "\r\n", 0), 0u) << text;
    EXPECT_EQ(text.size(), 22 + 14 + port.size() + 3 * 22) << text;

    const ToolRun bad = RunTool({"--pty", "--network-file", std::string(dir) + "/no/such/dir/x.RAD"}, false);
    EXPECT_EQ(WEXITSTATUS(bad.status), 2);
    EXPECT_NE(bad.out.find("cannot write the network file"), std::string::npos) << bad.out;
    std::remove(path.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace radiosim
