#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "link/links.h"
#include "model/link_state.h"
#include "poll_cycle_fixture.h"
#include "protocol/protocol.h"
#include "support/recording_canvas.h"

namespace {

const Frame kRandom1{0xF8, 0xFF, 0xFF, 0x01, 0x00, 0x0D, 0x80, 0x74};


TEST_F(PollCycleTest, DefaultIntervalSendsEverySecondTick) {
    auto ticks = SendingTicks(12);
    EXPECT_EQ(ticks, (std::vector<int>{2, 4, 6, 8, 10, 12}));
    EXPECT_EQ(sent.front(), kRandom1);
    for (const Frame& f : sent) EXPECT_EQ(f.size(), 8u);
}

TEST_F(PollCycleTest, ZeroIntervalSendsOnEveryTickOnceARequestIsBuilt) {
    program->poll.pollInterval = 0;
    auto ticks = SendingTicks(6);
    EXPECT_EQ(ticks, (std::vector<int>{2, 3, 4, 5, 6}));
}

TEST_F(PollCycleTest, OneSecondIntervalSendsEveryTenthTick) {
    program->poll.pollInterval = 1.0f;
    auto ticks = SendingTicks(31);
    EXPECT_EQ(ticks, (std::vector<int>{10, 20, 30}));
}

TEST_F(PollCycleTest, NothingIsQueuedWhileTheRingStillHoldsTheLastRequest) {
    // No link drains the ring: the first request stays, no second one follows.
    for (int i = 0; i < 10; ++i) PollTick(*program, host);
    EXPECT_EQ(program->link.transmit.ringCount.load(), 8);
    EXPECT_EQ(program->poll.requestState, 0);
    EXPECT_GT(program->poll.tickAccumulator, 0.75f);
}

TEST_F(PollCycleTest, BusyMasterHoldsTheRequestUntilItClears) {
    Tick();  // builds the first request
    program->poll.masterBusy = 0x80;
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(Tick().empty());
    EXPECT_GT(program->poll.tickAccumulator, 0.55f);
    program->poll.masterBusy = 0;
    EXPECT_EQ(Tick(), kRandom1);
    EXPECT_FLOAT_EQ(program->poll.tickAccumulator, 0.01f);
}

TEST_F(PollCycleTest, RandomModeCountsAndWrapsTheRadioNumber) {
    program->poll.randomNumber = 254;
    std::vector<uint8_t> numbers;
    for (int i = 0; i < 3; ++i) {
        Frame f = NextRequest();
        ASSERT_EQ(f.size(), 8u);
        EXPECT_EQ(f, Request(0xF8, 0xFFFF00u | f[3], 0x0D, 0x80));
        numbers.push_back(f[3]);
    }
    EXPECT_EQ(numbers, (std::vector<uint8_t>{255, 0, 1}));
    EXPECT_EQ(live.statuses[0], "Random 255");
    EXPECT_EQ(live.statuses[1], "Random   0");
}

TEST_F(PollCycleTest, SequentialSweepPollsEverySlotThenProbes) {
    AddRadios({0x2A0001, 0x2A0002, 0x2A0003});
    auto& n = program->network;
    n.firstVisibleRow = 1;
    n.lastVisibleRow = 3;
    n.radios[1].pollScore = 10000;
    n.radios[2].pollScore = 5000;
    program->poll.pollMode = PollPhase::polling(PollOrder::sequential);
    program->poll.randomNumber = 7;

    const uint16_t row0 = AddressOfRow(program->setup, 0);
    const uint16_t row1 = AddressOfRow(program->setup, 1);
    std::vector<Frame> frames;
    for (int i = 0; i < 6; ++i) frames.push_back(NextRequest());
    const std::vector<Frame> expected{
        Request(0xF8, 0x123456, row0 >> 8, row0 & 0xFF), Request(0xF8, 0x2A0001, row0 >> 8, row0 & 0xFF),
        Request(0xF8, 0x2A0002, row0 >> 8, row0 & 0xFF), Request(0xF8, 0x2A0003, row0 >> 8, row0 & 0xFF),
        Request(0xF8, 0xFFFF08, 0x0D, 0x80),             Request(0xF8, 0x123456, row1 >> 8, row1 & 0xFF)};
    EXPECT_EQ(frames, expected);
    EXPECT_EQ(program->poll.sweepCount, 1);
    EXPECT_EQ(program->poll.setupSweepIndex, 1);
    // Building runs one request ahead of sending: radio 1 is polled a second time.
    EXPECT_EQ(n.radios[1].pollScore, 9604);
    EXPECT_EQ(n.radios[2].pollScore, 4900);
    // Visible rows are redrawn as they are polled; the master's slot is not a list row.
    EXPECT_EQ(live.rows, (std::vector<int>{1, 2, 3, 1}));
    EXPECT_EQ(live.statuses[0], "Sequen  0");
    EXPECT_EQ(live.statuses[3], "Sequen  3");
    EXPECT_EQ(live.statuses[4], "Random   8   ");
}

TEST_F(PollCycleTest, SweepIndexWrapsAtTheParameterCount) {
    program->poll.pollMode = PollPhase::polling(PollOrder::sequential);
    program->poll.setupSweepIndex = 38;
    program->poll.currentRadio = 1;  // past radioCount 0: the next build is the probe
    NextRequest();
    EXPECT_EQ(program->poll.setupSweepIndex, 0);
    program->setup.setupParamCount = 34;
    program->poll.setupSweepIndex = 33;
    program->poll.currentRadio = 1;
    NextRequest();
    NextRequest();
    EXPECT_EQ(program->poll.setupSweepIndex, 0);
}

TEST_F(PollCycleTest, StaleCurrentRadioNeverReadsOutsideTheTable) {
    program->poll.pollMode = PollPhase::polling(PollOrder::sequential);
    program->poll.currentRadio = -5;
    EXPECT_EQ(NextRequest(), Request(0xF8, 0x123456, 0x0D, 0x80));
    program->poll.pollMode = PollPhase::fromNumber(-20);
    program->poll.currentRadio = 5000;
    for (int i = 0; i < 4; ++i) Tick();
    EXPECT_EQ(program->poll.pollMode.number(), 0);
}

TEST_F(PollCycleTest, ANestedTickIsCountedAndSkipped) {
    program->poll.inTimerTick = true;
    PollTick(*program, host);
    EXPECT_EQ(program->poll.overrunCount, 1);
    EXPECT_TRUE(live.clocks.empty());
    EXPECT_EQ(program->poll.requestState, 8);
    EXPECT_TRUE(program->poll.inTimerTick);
}

TEST_F(PollCycleTest, TickDrawsTheClockAndReleasesTheCanvas) {
    RecordingCanvas canvas;
    host.canvas = &canvas;
    clock.setTimeOfDay(9, 5, 7);
    PollTick(*program, host);
    EXPECT_EQ(live.clocks, (std::vector<std::string>{"09:05:07"}));
    EXPECT_EQ(program->display.canvas, nullptr);
    EXPECT_FALSE(program->poll.inTimerTick);
    EXPECT_EQ(host.invalidations, 0);
}

TEST_F(PollCycleTest, RepaintRequestedDuringATickInvalidatesWithoutErasing) {
    AddRadios({0x2B0001});
    program->display.screenNumber = 3;
    program->network.selectedRadio = 1;
    // A flag left from before the tick is not this tick's: no repaint.
    program->poll.repaintRequested = true;
    PollTick(*program, host);
    EXPECT_TRUE(host.events.empty());
    // A reply from the radio on the graph screen asks for one.
    replies.feed(DiagnosticsReply(0xF8, 0x2B0001, 0x0D80, 3));
    PollTick(*program, host);
    EXPECT_EQ(host.events, (std::vector<std::string>{"invalidate"}));
    EXPECT_EQ(host.updates, 1);
    EXPECT_FALSE(program->poll.repaintRequested);
}

// On TCP the master's status frames pace the requests, one per clock second.
class TcpPacingTest : public PollCycleTest {
protected:
    void SetUp() override {
        PollCycleTest::SetUp();
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
        program->link.ipAddressText = "127.0.0.1";
        program->link.portText = std::to_string(ntohs(address.sin_port));
        ASSERT_TRUE(OpenTcpLink(*program));
        fds[1] = accept(listener, nullptr, nullptr);
        ASSERT_GE(fds[1], 0);
    }
    void TearDown() override {
        CloseTcpLink(*program);
        close(fds[1]);
        close(listener);
    }
    Frame Received() {
        Frame out(64);
        ssize_t n = recv(fds[1], out.data(), out.size(), MSG_DONTWAIT);
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return out;
    }
    Frame MasterStatus() {
        return AppendXor({0xF0, 0x12, 0x34, 0x56, 3, 0, 0, 0x20, 0, 0, 0x80, 0x90, 0x21});
    }
    int listener = -1;
    int fds[2] = {-1, -1};  // [1]: the master's end
};

TEST_F(TcpPacingTest, WithoutMasterStatusNoRequestLeaves) {
    for (int i = 0; i < 20; ++i) PollTick(*program, host);
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(program->poll.requestState, 0);
    EXPECT_EQ(program->ring.ringCount.load(), 0);
}

TEST_F(TcpPacingTest, MasterStatusSendsTheWaitingRequestOncePerSecond) {
    PollTick(*program, host);  // builds
    replies.feed(MasterStatus());
    PollTick(*program, host);  // sends on the status frame, builds the next
    EXPECT_EQ(Received(), kRandom1);
    EXPECT_EQ(program->poll.lastTcpSendTime, "10:00:00");
    replies.feed(MasterStatus());
    PollTick(*program, host);  // same clock second: held
    EXPECT_TRUE(Received().empty());
    clock.advanceMs(1000);
    replies.feed(MasterStatus());
    PollTick(*program, host);
    EXPECT_EQ(Received(), Request(0xF8, 0xFFFF02, 0x0D, 0x80));
}

// On UDP the request goes out as one datagram; the ring and the busy flag do not hold it.
TEST_F(PollCycleTest, UdpSendsTheDatagramWhateverTheRingAndBusyFlag) {
    int receiver = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(receiver, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length), 0);
    timeval wait{5, 0};  // generous: the datagram is local
    setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

    program->link.ipAddressText = "127.0.0.1";
    program->link.portText = std::to_string(ntohs(address.sin_port));
    LinkQuestions none;
    OpenUdpLink(*program, none, std::string());
    program->poll.masterBusy = 0x80;
    program->ring.ringCount = 5;  // received bytes waiting do not hold a UDP send

    PollTick(*program, host);
    PollTick(*program, host);
    uint8_t datagram[64];
    ssize_t n = recv(receiver, datagram, sizeof datagram, 0);
    EXPECT_EQ(Frame(datagram, datagram + (n > 0 ? n : 0)),
              (Frame{0xF8, 0xFF, 0xFF, 0x01, 0x00, 0x0D, 0x80, 0x74, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FLOAT_EQ(program->poll.tickAccumulator, 0.01f);
    CloseUdpLink(*program, none);
    close(receiver);
}

}  // namespace

TEST_F(PollCycleTest, ARadioHeardOnTheAirIsKeptOnceItAnswersItsOwnPoll) {
    program->poll.pollMode = PollPhase::polling(PollOrder::sequential);
    const uint16_t row0 = AddressOfRow(program->setup, 0);
    // Heard in answer to a by-number probe: provisional.
    replies.feed(DiagnosticsReply(0xF8, 0x2A0001, 0x0D80, 3));
    Tick();
    ASSERT_EQ(program->network.radioCount, 1);
    ASSERT_NE(program->network.radios[1].provisionalOrder, 0u);
    // The sweep polls it by its serial, and it answers.
    radio = [&](const Frame& f) {
        if (f == Request(0xF8, 0x2A0001, row0 >> 8, row0 & 0xFF))
            replies.feed(DiagnosticsReply(0xF8, 0x2A0001, row0, 3));
    };
    for (int i = 0; i < 10 && program->network.radios[1].provisionalOrder != 0; ++i) Tick();
    EXPECT_EQ(program->network.radios[1].provisionalOrder, 0u) << "answered when polled: kept for good";
}
