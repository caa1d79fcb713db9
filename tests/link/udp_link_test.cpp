#include "link/link_internal.h"
#include "link_fixture.h"

#include "display/screens.h"
#include "protocol/protocol.h"
#include "support/recording_canvas.h"

namespace linktest {
namespace {

// A loopback socket standing in for the master radio's UDP port.
class UdpLink : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        peer = BoundSocket(SOCK_DGRAM);
        program->link.ipAddressText = "127.0.0.1";
        program->link.portText = std::to_string(LocalPort(peer));
    }
    void TearDown() override {
        LinkTest::TearDown();
        close(peer);
    }
    void connect(bool ok, const std::string& password) {
        host.answer(ok, password);
        OpenUdpLink(*program, host);
        ASSERT_EQ(program->link.linkKind, kLinkUdp);
    }
    std::string sentDatagram() {
        char buf[64];
        pollfd p{peer, POLLIN, 0};
        if (poll(&p, 1, kWaitMs) <= 0) return "<none>";
        ssize_t n = recv(peer, buf, sizeof buf, 0);
        return std::string(buf, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    // Sends `bytes` from `from` to the link's socket and lets the link take it in.
    void datagramFrom(int from, const std::string& bytes) {
        sockaddr_in to = Loopback(LocalPort(LinkDescriptor(program->link)));
        sendto(from, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd p{LinkDescriptor(program->link), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, kWaitMs), 1);
        OnUdpReadable(*program);
    }

    // A socket on another loopback address: another host as far as the link knows.
    static int StrangerSocket() {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = Loopback(0);
        a.sin_addr.s_addr = htonl(0x7F000002);  // 127.0.0.2
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        return fd;
    }

    int peer = -1;
};

TEST(UdpPeerAddress, DottedPartsGoIntoMemoryOrder) {
    auto bytesOf = [](const std::string& text) {
        uint32_t a = UdpPeerAddressFromText(text);
        uint8_t b[4];
        std::memcpy(b, &a, 4);
        return std::vector<int>{b[0], b[1], b[2], b[3]};
    };
    EXPECT_EQ(bytesOf("192.168.1.20"), (std::vector<int>{192, 168, 1, 20}));
    EXPECT_EQ(bytesOf("10.1"), (std::vector<int>{10, 1, 0, 0}));
    EXPECT_EQ(bytesOf("1..3.4.5"), (std::vector<int>{1, 0, 3, 4}));
    EXPECT_EQ(bytesOf(""), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(UdpLink, EmptyPasswordBecomesFourFFBytesInEveryDatagram) {
    connect(true, "");
    EXPECT_EQ(host.shown.back().title, "UDP PassWord Leave Blank For None");
    EXPECT_EQ(host.shown.back().text, "");
    EXPECT_EQ(host.watchedUdpSocket, LinkDescriptor(program->link));
    LinkSendRequest(*program);
    EXPECT_EQ(sentDatagram(), requestBytes() + "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(program->link.udpPassword, "\xFF\xFF\xFF\xFF");

    CloseUdpLink(*program, host);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(host.watchedUdpSocket, -1);
    connect(false, "");  // Cancel keeps the stored bytes, shown pre-filled
    EXPECT_EQ(host.shown.back().text, "\xFF\xFF\xFF\xFF");
    LinkSendRequest(*program);
    EXPECT_EQ(sentDatagram().size(), 12u);
}

TEST_F(UdpLink, OnlyTheFirstFourPasswordBytesAreSent) {
    connect(true, "AB");
    LinkSendRequest(*program);
    EXPECT_EQ(sentDatagram(), requestBytes() + "AB");
    CloseUdpLink(*program, host);
    connect(true, "SECRET");
    LinkSendRequest(*program);
    EXPECT_EQ(sentDatagram(), requestBytes() + "SECR");
    EXPECT_EQ(program->link.udpPassword, "SECRET");
}

TEST_F(UdpLink, PeerDatagramsReachTheRingAndForeignOnesAreDropped) {
    connect(true, "");
    datagramFrom(peer, "\xF0\x01\x02");
    EXPECT_EQ(LinkBytesAvailable(*program), 3);

    int stranger = StrangerSocket();
    datagramFrom(stranger, "\xF8\x09");
    close(stranger);
    EXPECT_EQ(program->link.foreignDatagrams, 1);
    EXPECT_EQ(LinkBytesAvailable(*program), 3);

    uint8_t got[3] = {};
    LinkReceive(*program, got, 3);
    EXPECT_EQ(got[0], 0xF0);
    EXPECT_EQ(got[2], 0x02);
    OnUdpReadable(*program);  // nothing waiting: returns at once
    EXPECT_EQ(program->errors.count, 1);  // the stranger's datagram, nothing more
}

TEST_F(UdpLink, RepliesFromThePeerHostOnAnyPortAreTakenOthersDroppedVisibly) {
    connect(true, "");
    struct Case {
        const char* sender;
        int (*open)();
        int heldAfter;
        int dropsAfter;
    };
    const Case cases[] = {
        {"peer host, another port (gateway, NAT)", [] { return BoundSocket(SOCK_DGRAM); }, 2, 0},
        {"another host", StrangerSocket, 2, 1},
    };
    for (const auto& c : cases) {
        int from = c.open();
        datagramFrom(from, "\xF0\x01");
        close(from);
        EXPECT_EQ(LinkBytesAvailable(*program), c.heldAfter) << c.sender;
        EXPECT_EQ(program->link.foreignDatagrams, c.dropsAfter) << c.sender;
    }
    EXPECT_EQ(program->errors.lastCode, linkerr::udpForeign);
    EXPECT_EQ(program->errors.lastValue, 0x7F000002);  // the sender, 127.0.0.2
    RecordingCanvas canvas;
    PaintWindow(*program, canvas);
    EXPECT_EQ(canvas.lineAtBottom(576), "127.0.0.1 OpenedUDP  Dropped 1");
}

TEST_F(UdpLink, NotificationBetweenTicksDrawsTheReadoutOnTheWindow) {
    auto view = MakeCanvasLiveView(*program);
    program->live = view.get();
    RecordingCanvas canvas;
    host.canvas = &canvas;
    connect(true, "");
    // A master status datagram whose XOR is not 0 (all 14 bytes XOR to 0xF1).
    const std::string status("\xF0\x12\x34\x56\x07\x00\x10\x30\x00\x00\x80\x90\x21\x00", 14);
    sockaddr_in to = Loopback(LocalPort(LinkDescriptor(program->link)));
    sendto(peer, status.data(), status.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd p{LinkDescriptor(program->link), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, kWaitMs), 1);
    OnUdpReadable(*program, host);
    EXPECT_EQ(program->poll.overrunCount, 1);
    EXPECT_EQ(canvas.row(1), "14  1 240");
    EXPECT_EQ(program->display.canvas, nullptr);  // lent for the readout only
    program->live = &SilentLiveListener();
}

TEST_F(UdpLink, AskingForMoreThanHeldTakesNothingAndRecordsError30) {
    connect(true, "");
    datagramFrom(peer, "xy");
    uint8_t got[5] = {};
    LinkReceive(*program, got, 5);
    EXPECT_EQ(program->errors.lastCode, 30);
    EXPECT_EQ(program->errors.lastValue, 5);
    EXPECT_EQ(LinkBytesAvailable(*program), 2);
}

}  // namespace
// A frame cut off by the end of one link is not finished with the next link's bytes.
TEST_F(UdpLink, ANewLinkStartsWithoutTheLastLinksHalfFrame) {
    connect(true, "");
    datagramFrom(peer, "\xF5\x01\x02");  // a traffic report's first bytes
    ReadReplies(*program);
    CloseUdpLink(*program, host);
    connect(true, "");
    // A whole master status frame from the master 0x5A1234.
    const std::string status("\xF0\x5A\x12\x34\x03\x00\x00\x25\x00\x00\x80\xC0\x15", 13);
    uint8_t check = 0;
    for (char c : status) check ^= static_cast<uint8_t>(c);
    datagramFrom(peer, status + static_cast<char>(check));
    ReadReplies(*program);
    EXPECT_EQ(program->network.master.serialNumber, 0x5A1234);
    EXPECT_EQ(program->errors.count, 0);
}

}  // namespace linktest
