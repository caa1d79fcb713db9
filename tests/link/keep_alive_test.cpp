#include "link_fixture.h"
#include "protocol/ring.h"

namespace linktest {
namespace {

using KeepAlive = LinkTest;

TEST_F(KeepAlive, SilentSerialLinkGetsOneCarriageReturnPerPeriod) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    KeepAliveStep(channels());
    EXPECT_EQ(ReadBytes(pty.master, 1), "\r");

    // A link that answered during the period is left alone, once.
    program->link.rxActivity = 1;
    KeepAliveStep(channels());
    EXPECT_EQ(program->link.rxActivity, 0);
    KeepAliveStep(channels());
    QueueSerialText(program->link, "X");  // marks the end of what was sent
    EXPECT_EQ(ReadBytes(pty.master, 2), "\rX");
}

TEST_F(KeepAlive, NothingWhileDiallingOrWithoutALink) {
    Pty pty;
    usePty(pty);
    KeepAliveStep(channels());  // no link at all
    EXPECT_EQ(program->link.transmit.ringCount, 0);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    for (int16_t state : {3, 0}) {
        program->link.linkUp = state;
        KeepAliveStep(channels());
    }
    QueueSerialText(program->link, "X");
    EXPECT_EQ(ReadBytes(pty.master, 1), "X");
}

TEST_F(KeepAlive, SilentTcpLinkGetsACarriageReturn) {
    int listener = BoundSocket(SOCK_STREAM);
    listen(listener, 1);
    program->link.ipAddressText = "localhost";
    program->link.portText = std::to_string(LocalPort(listener));
    ASSERT_TRUE(OpenTcpLink(*program));
    int peer = accept(listener, nullptr, nullptr);
    KeepAliveStep(channels());
    program->link.rxActivity = 1;
    KeepAliveStep(channels());
    CloseTcpLink(*program);
    EXPECT_EQ(ReadBytes(peer, 10), "\r");
    close(peer);
    close(listener);
}

TEST_F(KeepAlive, ACarriageReturnQueuedAsTheLinkSwitchesToTcpNeverLandsInItsReceiveQueue) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    int listener = BoundSocket(SOCK_STREAM);
    listen(listener, 1);
    program->link.ipAddressText = "127.0.0.1";
    program->link.portText = std::to_string(LocalPort(listener));
    ASSERT_TRUE(OpenTcpLink(*program));  // closes the serial port
    // The keep-alive saw the serial port open a moment ago and queues its byte now.
    QueueSerialText(program->link, "\r");
    EXPECT_EQ(LinkBytesAvailable(*program), 0);
    EXPECT_EQ(program->ring.ringCount, 0);
    CloseTcpLink(*program);
    close(listener);
}

TEST_F(KeepAlive, ThreadRepeatsTheCarriageReturnAndStopsWhenAsked) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    program->link.keepAlivePeriodMs = 20;
    StartKeepAlive(channels());
    std::string got = ReadBytes(pty.master, 3);
    StopKeepAlive(program->link);
    EXPECT_EQ(got, "\r\r\r");
    EXPECT_FALSE(program->link.keepAlive.joinable());

    // A long period still stops at once: the thread waits on a condition, not a sleep.
    program->link.keepAlivePeriodMs = 5000;
    StartKeepAlive(channels());
    StopKeepAlive(program->link);
    EXPECT_FALSE(program->link.keepAlive.joinable());
}

// The keep-alive borrows whichever transport is open while the window's thread
// opens and closes links under it; the sanitizer build catches a transport
// freed under its feet.
TEST_F(KeepAlive, LinksOpenAndCloseUnderARunningKeepAlive) {
    int listener = BoundSocket(SOCK_STREAM);
    listen(listener, 8);
    program->link.ipAddressText = "127.0.0.1";
    program->link.portText = std::to_string(LocalPort(listener));
    program->link.keepAlivePeriodMs = 1;
    StartKeepAlive(channels());
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(OpenTcpLink(*program));
        const int peer = accept(listener, nullptr, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        CloseTcpLink(*program);
        close(peer);
    }
    StopKeepAlive(program->link);
    EXPECT_EQ(program->link.transport, nullptr);
    close(listener);
}

// The thread is given channels, not a program: with a link state, ring and fault
// counters of their own, its carriage returns land in that link's transmit queue.
TEST(KeepAliveChannels, ThreadQueuesIntoTheLinkItWasGiven) {
    LinkState link;
    ReceiveRing ring;
    ProtocolError errors;
    RingReset(link.transmit);
    link.serialPortOpen = 1;
    link.linkUp = 1;
    link.keepAlivePeriodMs = 5;
    StartKeepAlive({link, ring, errors});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (link.transmit.ringCount.load() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    StopKeepAlive(link);
    ASSERT_GE(link.transmit.ringCount.load(), 2);
    std::string queued;
    RingDrainLink(link.transmit, [&](const uint8_t* bytes, int n) {
        queued.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
        return n;
    });
    EXPECT_EQ(queued, std::string(queued.size(), '\r'));
    EXPECT_EQ(ring.ringCount.load(), 0);
}

}  // namespace
}  // namespace linktest
