#include "link_fixture.h"

namespace linktest {
namespace {

class LinkCommands : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        listener = BoundSocket(SOCK_STREAM);
        listen(listener, 4);
        udpPeer = BoundSocket(SOCK_DGRAM);
        program->link.ipAddressText = "127.0.0.1";
    }
    void TearDown() override {
        LinkTest::TearDown();
        close(listener);
        close(udpPeer);
    }
    void openUdp() {
        program->link.portText = std::to_string(LocalPort(udpPeer));
        host.answer(true, "pw");
        CommandConnectUdp(*program, host);
        ASSERT_EQ(program->link.linkKind, kLinkUdp);
    }
    void openTcp() {
        program->link.portText = std::to_string(LocalPort(listener));
        CommandConnectTcp(*program, host);
        ASSERT_EQ(program->link.linkKind, kLinkTcp);
    }
    bool repaintedOnce() const { return host.erasingInvalidations == 1 && host.updates == 1; }

    Pty pty;
    int listener = -1;
    int udpPeer = -1;
};

TEST_F(LinkCommands, ChangeCommPortListsEightPortsAndClosesAnOpenPort) {
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    host.answer(true, "Com3");
    CommandChangeCommPort(*program, host);
    EXPECT_EQ(host.shown.back().title, "Select Comm Port");
    std::vector<std::string> names;  // each line: the name, then the device it maps to
    for (const auto& line : host.listItems) names.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(names, (std::vector<std::string>{"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8"}));
    EXPECT_EQ(host.listPreselected, 0);
    EXPECT_EQ(program->link.commPortName, "Com3");
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(host.invalidations, 0);

    CommandChangeCommPort(*program, host);  // Cancel
    EXPECT_EQ(host.listPreselected, 2);
    EXPECT_EQ(program->link.commPortName, "Com3");
}

TEST_F(LinkCommands, ChangeCommPortTakesATypedDevicePath) {
    host.answer(true, "/dev/rfcomm0");
    CommandChangeCommPort(*program, host);
    EXPECT_EQ(program->link.commPortName, "/dev/rfcomm0");
    host.answer(true, "ttyUSB0");  // neither a port name nor a path: nothing changes
    CommandChangeCommPort(*program, host);
    EXPECT_EQ(program->link.commPortName, "/dev/rfcomm0");
    CommandChangeCommPort(*program, host);  // Cancel: a path is no row of the list
    EXPECT_EQ(host.listPreselected, -1);
}

TEST_F(LinkCommands, ChangeCommPortPreselectsTheCurrentPort) {
    const std::pair<const char*, int> cases[] = {{"Com1", 0}, {"Com2", 1}, {"Com8", 7}};
    for (const auto& [name, row] : cases) {
        program->link.commPortName = name;
        CommandChangeCommPort(*program, host);  // Cancel
        EXPECT_EQ(host.listPreselected, row) << name;
    }
}

TEST_F(LinkCommands, OpenCommClosesANetworkLinkFirst) {
    openUdp();
    usePty(pty);
    CommandOpenComm(*program, host);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(host.watchedUdpSocket, -1);
    EXPECT_EQ(LinkUdpSocket(program->link), -1);
    EXPECT_EQ(program->link.serialPortOpen, 1);
    EXPECT_EQ(host.erasingInvalidations, 2);

    int handle = LinkDescriptor(program->link);
    CommandOpenComm(*program, host);  // already open: only a repaint
    EXPECT_EQ(LinkDescriptor(program->link), handle);
    EXPECT_EQ(host.erasingInvalidations, 3);

    CommandCloseComm(*program, host);
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(host.erasingInvalidations, 4);
    EXPECT_EQ(host.updates, 4);
}

TEST_F(LinkCommands, ChangeIpAddressAsksAddressThenPort) {
    program->link.portText = "4000";
    host.answer(true, "10.0.0.9");
    host.answer(true, "5001");
    CommandChangeIpAddress(*program, host);
    ASSERT_EQ(host.shown.size(), 2u);
    EXPECT_EQ(host.shown[0].title, "New IP Address");
    EXPECT_EQ(host.shown[0].text, "127.0.0.1");
    EXPECT_EQ(host.shown[1].title, "Port Address");
    EXPECT_EQ(host.shown[1].text, "4000");
    EXPECT_EQ(program->link.ipAddressText, "10.0.0.9");
    EXPECT_EQ(program->link.portText, "5001");

    CommandChangeIpAddress(*program, host);  // Cancel at the first prompt skips the second
    EXPECT_EQ(host.shown.size(), 3u);
    EXPECT_EQ(program->link.ipAddressText, "10.0.0.9");
    EXPECT_EQ(host.invalidations, 0);
}

TEST_F(LinkCommands, ConnectTcpClosesUdpAndConnectingTwiceOnlyRepaints) {
    openUdp();
    openTcp();
    EXPECT_EQ(LinkUdpSocket(program->link), -1);
    EXPECT_EQ(host.watchedUdpSocket, -1);
    int tcpSocket = LinkDescriptor(program->link);
    CommandConnectTcp(*program, host);
    EXPECT_EQ(LinkDescriptor(program->link), tcpSocket);
    EXPECT_EQ(host.erasingInvalidations, 3);

    CommandCloseTcpUdp(*program, host);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
}

TEST_F(LinkCommands, ConnectUdpClosesSerialAndTcp) {
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    openTcp();
    EXPECT_EQ(program->link.serialPortOpen, 0);
    openUdp();
    // The UDP socket took the TCP connection's place; its thread went with it.
    EXPECT_GE(LinkUdpSocket(program->link), 0);
    EXPECT_EQ(program->link.udpPassword, "pw");
    EXPECT_EQ(LinkUdpPeer(program->link), UdpPeerAddressFromText("127.0.0.1"));
    CommandConnectUdp(*program, host);  // already open: no password prompt again
    EXPECT_EQ(host.shown.size(), 1u);
}

TEST_F(LinkCommands, ClosingAllLinksClosesWhicheverIsOpen) {
    openTcp();
    CloseAllLinks(*program, host);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(program->link.transport, nullptr);  // no link thread left
    openUdp();
    CloseAllLinks(*program, host);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
    EXPECT_EQ(host.watchedUdpSocket, -1);
}

}  // namespace
}  // namespace linktest
