#include "link_fixture.h"

namespace linktest {
namespace {

using KeepAlive = LinkTest;

TEST_F(KeepAlive, SilentSerialLinkGetsOneCarriageReturnPerPeriod) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(openSerialLink(*program, host));
    keepAliveStep(*program);
    EXPECT_EQ(ReadBytes(pty.master, 1), "\r");

    // A link that answered during the period is left alone, once.
    program->link.rxActivity = 1;
    keepAliveStep(*program);
    EXPECT_EQ(program->link.rxActivity, 0);
    keepAliveStep(*program);
    queueSerialText(*program, "X");  // marks the end of what was sent
    EXPECT_EQ(ReadBytes(pty.master, 2), "\rX");
}

TEST_F(KeepAlive, NothingWhileDiallingOrWithoutALink) {
    Pty pty;
    usePty(pty);
    keepAliveStep(*program);  // no link at all
    EXPECT_EQ(program->link.transmit.ringCount, 0);
    ASSERT_TRUE(openSerialLink(*program, host));
    for (int16_t state : {3, 0}) {
        program->link.linkUp = state;
        keepAliveStep(*program);
    }
    queueSerialText(*program, "X");
    EXPECT_EQ(ReadBytes(pty.master, 1), "X");
}

TEST_F(KeepAlive, SilentTcpLinkGetsACarriageReturn) {
    int listener = BoundSocket(SOCK_STREAM);
    listen(listener, 1);
    program->link.ipAddressText = "localhost";
    program->link.portText = std::to_string(LocalPort(listener));
    ASSERT_TRUE(openTcpLink(*program));
    int peer = accept(listener, nullptr, nullptr);
    keepAliveStep(*program);
    program->link.rxActivity = 1;
    keepAliveStep(*program);
    closeTcpLink(*program);
    EXPECT_EQ(ReadBytes(peer, 10), "\r");
    close(peer);
    close(listener);
}

TEST_F(KeepAlive, ACarriageReturnQueuedAsTheLinkSwitchesToTcpNeverLandsInItsReceiveQueue) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(openSerialLink(*program, host));
    int listener = BoundSocket(SOCK_STREAM);
    listen(listener, 1);
    program->link.ipAddressText = "127.0.0.1";
    program->link.portText = std::to_string(LocalPort(listener));
    ASSERT_TRUE(openTcpLink(*program));  // closes the serial port
    // The keep-alive saw the serial port open a moment ago and queues its byte now.
    queueSerialText(*program, "\r");
    EXPECT_EQ(linkBytesAvailable(*program), 0);
    EXPECT_EQ(program->ring.ringCount, 0);
    closeTcpLink(*program);
    close(listener);
}

TEST_F(KeepAlive, ThreadRepeatsTheCarriageReturnAndStopsWhenAsked) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(openSerialLink(*program, host));
    program->link.keepAlivePeriodMs = 20;
    startKeepAlive(*program);
    std::string got = ReadBytes(pty.master, 3);
    stopKeepAlive(*program);
    EXPECT_EQ(got, "\r\r\r");
    EXPECT_FALSE(program->link.keepAlive.joinable());

    // A long period still stops at once: the thread waits on a condition, not a sleep.
    program->link.keepAlivePeriodMs = 5000;
    startKeepAlive(*program);
    stopKeepAlive(*program);
    EXPECT_FALSE(program->link.keepAlive.joinable());
}

}  // namespace
}  // namespace linktest
