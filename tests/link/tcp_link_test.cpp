#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

#include "link/link_internal.h"
#include "link_fixture.h"

namespace linktest {
namespace {

// A loopback server standing in for the master radio's TCP port.
class TcpLink : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        listener = BoundSocket(SOCK_STREAM);
        listen(listener, 4);
        program->link.ipAddressText = "127.0.0.1";
        program->link.portText = std::to_string(LocalPort(listener));
    }
    void TearDown() override {
        LinkTest::TearDown();
        if (peer >= 0) close(peer);
        close(listener);
    }
    void connect() {
        ASSERT_TRUE(OpenTcpLink(*program));
        peer = accept(listener, nullptr, nullptr);
        ASSERT_GE(peer, 0);
    }
    void peerSends(const std::string& bytes) {
        ASSERT_EQ(send(peer, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
    std::string takeAll(int n) {
        std::string out(static_cast<size_t>(n), '\0');
        LinkReceive(*program, reinterpret_cast<uint8_t*>(out.data()), n);
        return out;
    }

    int listener = -1;
    int peer = -1;
};

TEST_F(TcpLink, AtMostOneRequestPerClockSecond) {
    connect();
    EXPECT_EQ(program->link.linkKind, kLinkTcp);
    program->poll.requestState = 0;
    LinkSendRequest(*program);
    EXPECT_EQ(program->poll.requestState, 8);
    EXPECT_EQ(program->poll.lastTcpSendTime, "10:00:00");

    clock.advanceMs(900);  // 10:00:00.900, same clock second
    program->poll.requestState = 0;
    LinkSendRequest(*program);
    EXPECT_EQ(program->poll.requestState, 0);

    clock.advanceMs(100);  // 10:00:01
    LinkSendRequest(*program);
    EXPECT_EQ(program->poll.requestState, 8);
    EXPECT_EQ(program->poll.lastTcpSendTime, "10:00:01");

    clock.advanceMs(5000);  // a new second, but nothing waits
    LinkSendRequest(*program);

    CloseTcpLink(*program);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(ReadBytes(peer, 100), requestBytes() + requestBytes());
}

TEST_F(TcpLink, ReceivedBytesQueueInTheRing) {
    connect();
    peerSends("\xF0hello");
    ASSERT_TRUE(WaitFor([&] { return LinkBytesAvailable(*program) == 6; }));
    EXPECT_EQ(program->link.rxActivity, 1);
    EXPECT_EQ(takeAll(6), "\xF0hello");
    EXPECT_EQ(LinkBytesAvailable(*program), 0);

    // Asking for more than is held takes nothing; on TCP that is not an error.
    peerSends("ab");
    ASSERT_TRUE(WaitFor([&] { return LinkBytesAvailable(*program) == 2; }));
    EXPECT_EQ(takeAll(3), std::string(3, '\0'));
    EXPECT_EQ(LinkBytesAvailable(*program), 2);
    EXPECT_EQ(takeAll(2), "ab");
    EXPECT_EQ(program->errors.count, 0);
}

TEST_F(TcpLink, ReaderStopsAtOneThousandHeldBytes) {
    connect();
    std::string sent;
    for (int i = 0; i < 1100; ++i) sent += static_cast<char>(i * 7);
    peerSends(sent);
    ASSERT_TRUE(WaitFor([&] { return program->ring.ringCount == 1000; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(LinkBytesAvailable(*program), 1000);
    std::string got = takeAll(1000);
    ASSERT_TRUE(WaitFor([&] { return program->ring.ringCount == 100; }));
    got += takeAll(100);
    EXPECT_EQ(got, sent);
}

TEST_F(TcpLink, PeerHangingUpClosesTheLinkAfterItsLastBytes) {
    connect();
    peerSends("AB");
    close(peer);
    peer = -1;
    ASSERT_TRUE(WaitFor([&] { return LinkFarEndGone(program->link); }));
    EXPECT_EQ(program->errors.lastCode, ECONNRESET);
    EXPECT_EQ(program->errors.lastValue, linkerr::tcpReceive);
    EXPECT_EQ(LinkBytesAvailable(*program), 2);
    EXPECT_EQ(takeAll(2), "AB");
    EXPECT_EQ(LinkBytesAvailable(*program), 0);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
    EXPECT_EQ(program->link.transport, nullptr);  // no link thread left
    program->poll.requestState = 0;
    LinkSendRequest(*program);  // goes nowhere, harms nothing
    EXPECT_EQ(program->poll.requestState, 0);
}

TEST_F(TcpLink, PeerHangingUpMidFrameClosesTheLinkAtTheNextTick) {
    connect();
    peerSends("\xF0\x12\x34");  // the first 3 of a 14-byte master status frame
    close(peer);
    peer = -1;
    ASSERT_TRUE(WaitFor([&] { return LinkFarEndGone(program->link); }));
    WindowProc(*program, host, msg::timer, 1, 0);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
}

TEST_F(TcpLink, APeerThatStopsReadingNeverBlocksTheSenderAndTimesTheLinkOut) {
    // Small socket buffers, so that a peer that reads nothing backs up quickly.
    const int small = 1024;
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    connect();
    setsockopt(LinkDescriptor(program->link), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    static std::mutex recordedLock;
    static std::vector<std::pair<int, int>> recorded;
    recorded.clear();
    program->errors.observer = [](void*, ProtocolError::Kind, int code, int value) {
        std::lock_guard<std::mutex> hold(recordedLock);
        recorded.emplace_back(code, value);
    };

    std::atomic<bool> done{false};
    std::atomic<bool> stopSending{false};
    std::thread window([&] {  // the window's thread, sending a request every second
        while (!stopSending) {
            clock.advanceMs(1000);
            program->poll.requestState = 0;
            LinkSendRequest(*program);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        done = true;
    });
    // The link dies by its time-out (the window's next send closes it).
    EXPECT_TRUE(WaitFor([&] { return LinkFarEndGone(program->link) || program->link.linkKind == kLinkSerial; }));
    stopSending = true;
    const bool neverBlocked = WaitFor([&] { return done.load(); });
    if (!neverBlocked) shutdown(LinkDescriptor(program->link), SHUT_RDWR);  // free the stuck send
    window.join();
    EXPECT_TRUE(neverBlocked);
    LinkBytesAvailable(*program);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    std::lock_guard<std::mutex> hold(recordedLock);
    EXPECT_NE(std::find(recorded.begin(), recorded.end(), std::make_pair(ETIMEDOUT, linkerr::tcpSend)),
              recorded.end());
    program->errors.observer = nullptr;
}

TEST_F(TcpLink, RefusedConnectionIsRecordedQuietly) {
    int unused = BoundSocket(SOCK_STREAM);
    program->link.portText = std::to_string(LocalPort(unused));
    close(unused);
    EXPECT_FALSE(OpenTcpLink(*program));
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_EQ(program->errors.lastCode, ECONNREFUSED);
    EXPECT_EQ(program->errors.lastValue, linkerr::tcpConnect);
    EXPECT_TRUE(host.shown.empty());

    program->link.portText = "";
    EXPECT_FALSE(OpenTcpLink(*program));
    EXPECT_EQ(program->errors.lastCode, EINVAL);
    EXPECT_EQ(program->errors.count, 2);
}

TEST_F(TcpLink, ConnectingAgainWhileConnectedKeepsTheConnection) {
    connect();
    int socketBefore = LinkDescriptor(program->link);
    EXPECT_TRUE(OpenTcpLink(*program));
    EXPECT_EQ(LinkDescriptor(program->link), socketBefore);
}

}  // namespace
}  // namespace linktest
