// The program on the simulator's pseudo-terminal, as a technician uses it on a COM port.
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_fixture.h"

namespace {

constexpr int kChangeCommPort = 119;
constexpr int kOpenComm = 121;
constexpr int kWriteLogFile = 122;
constexpr int kScreen0Key = 48;
constexpr int kScreen1Key = 49;

class SerialE2E : public E2ETest {};

}  // namespace

TEST_F(SerialE2E, NetworkShowsUpPacedAndGoesIntoEveryFile) {
    ASSERT_TRUE(startSim({"--pty"}).ready());
    const auto radios = simRadios();
    ASSERT_EQ(radios.size(), 13u);  // the master and the default 12

    // The radio hangs on the second port: "Chg Comm port", then "Open Comm".
    setenv("CORVANE_COM2", sim->endpoint("pty").c_str(), 1);
    run.host.answer(true, "Com2");
    run.command(kChangeCommPort);
    EXPECT_EQ(run.host.listItems.size(), 8u);
    run.command(kOpenComm);
    EXPECT_EQ(run.p().link.serialPortOpen, 1);
    EXPECT_EQ(run.linkStatusLine(), "Com2  Opened");

    // Random polling by number finds the whole network, and every radio answers.
    ASSERT_TRUE(run.runUntil([&] { return TableHolds(run.p(), radios) && AllAnswered(run.p()); }, 40))
        << "radios in the table: " << run.p().network.radioCount;
    EXPECT_TRUE(OnlyTheseRadios(run.p(), radios));
    EXPECT_EQ(run.radioCountDrops, 0);

    run.key(kScreen0Key);
    ExpectScreen0ListsTheNetwork(run, radios);
    // Between paints the master's line is kept current by its status frames.
    const std::string master = std::to_string(radios.front().serial);
    EXPECT_TRUE(run.runUntil([&] { return run.canvas.row(5).rfind(master + "  M", 0) == 0; }, 5)) << run.canvas.row(5);
    run.key(kScreen1Key);
    ExpectScreen1ShowsPlausibleValues(run);

    // The default interval of 0.2 s on a serial link: a request every second tick.
    ASSERT_TRUE(run.runUntil([&] { return Requests(simLog(), "pty").size() >= 25; }, 30));
    const auto requests = Requests(simLog(), "pty");
    EXPECT_GE(MedianGapMs(requests), 150);
    EXPECT_LE(MedianGapMs(requests), 300);

    ExpectLogAndCsvListEveryRadio(run, dir);
    // "Write Log File": a dated snapshot, unless the minute turned on that very tick
    // and "Current.log" took the request.
    const int minute = run.p().log.lastLogMinute;
    run.command(kWriteLogFile);
    run.tick();
    EXPECT_FALSE(run.p().log.logRequested);
    if (run.p().log.lastLogMinute == minute) {
        ASSERT_EQ(dir.withExtension(".LOG").size(), 1u);
        EXPECT_NE(dir.read(dir.withExtension(".LOG").front()).find(std::to_string(run.p().network.radios[1].serialNumber)),
                  std::string::npos);
    }
    ExpectGraphsDrawHistory(run, 1);
    ExpectNetworkFileRoundTrip(run, dir, "PTYNET.RAD");

    // Reopened, the network is polled in sequential mode and keeps answering.
    EXPECT_EQ(run.p().poll.pollMode.number(), 0);
    ASSERT_TRUE(run.runUntil([&] { return AllAnswered(run.p()); }, 30));
    EXPECT_TRUE(run.host.messages().empty()) << run.host.messages().front();
}
