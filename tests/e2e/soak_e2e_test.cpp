// A minute flat out against the largest network: nothing breaks, nothing overflows.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_fixture.h"

namespace {

constexpr int kSetPollInterval = 152;
constexpr int kRandomKey = 82;  // 'R'
constexpr int kScreen0Key = 48;
constexpr int kPageDown = 34;
constexpr int kPollKey = 80;  // 'P'
constexpr int kOpenNetworkFile = 3073;
constexpr int kAddRadio = 3079;
constexpr int kLocateRadio = 151;
constexpr double kSoakSeconds = 60;

class SoakE2E : public E2ETest {};

}  // namespace

TEST_F(SoakE2E, MinuteAtIntervalZeroWithTwoThousandRadios) {
    ASSERT_TRUE(startSim({"--pty", "--radios", "2047"}).ready());
    const auto radios = simRadios();
    ASSERT_EQ(radios.size(), 2048u);
    run.openSerial(sim->endpoint("pty"));
    run.host.answer(true, "0");
    run.command(kSetPollInterval);
    EXPECT_EQ(run.p().poll.pollInterval, 0.0f);
    run.key(kRandomKey);
    run.key(kScreen0Key);

    const auto start = std::chrono::steady_clock::now();
    int countAtHalf = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(kSoakSeconds)) {
        run.runFor(kSoakSeconds / 6);
        if (!countAtHalf && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(kSoakSeconds / 2))
            countAtHalf = run.p().network.radioCount;
        run.paint();  // a full repaint now and then, as the window gets them
    }

    const Program& p = run.p();
    const auto requests = Requests(simLog(), "pty");
    // At interval 0 a request may leave on every tick the line is free.
    EXPECT_GE(run.ticks, static_cast<int>(kSoakSeconds * 10 / 2));
    EXPECT_GE(requests.size(), static_cast<size_t>(run.ticks / 3));
    EXPECT_GT(p.network.radioCount, 100);
    EXPECT_GE(p.network.radioCount, countAtHalf);
    EXPECT_LE(p.network.radioCount, 2047);
    EXPECT_EQ(run.radioCountDrops, 0);
    EXPECT_EQ(p.network.refusedAdditions, 0);
    EXPECT_TRUE(OnlyTheseRadios(p, radios));
    // A clean line: what the error recorder holds stays a small share of the traffic.
    EXPECT_LE(run.errorCount(), static_cast<int>(requests.size() / 50) + 5) << "codes: " << [&] {
        std::string s;
        for (auto [code, n] : run.errorCodes()) s += std::to_string(code) + "x" + std::to_string(n) + " ";
        return s;
    }();
    EXPECT_TRUE(run.host.messages().empty());

    // Paging down the long list shows the table's radios page after page.
    for (int page = 0; page < 3; ++page) {
        run.key(kPageDown);
        run.tick();
        const RecordingCanvas& c = run.paint();
        EXPECT_EQ(c.row(3), " Radio   Fn  Sig Nse  %  Freq   DATA  Dist Num Rep1 Rep2 Rep3 Rep4 Poll  Time");
        const auto listed = run.listedSerials();
        ASSERT_FALSE(listed.empty());
        for (size_t k = 0; k < listed.size(); ++k)
            EXPECT_EQ(listed[k], p.network.radios[p.network.firstVisibleRow + static_cast<int>(k)].serialNumber);
    }
    EXPECT_GT(p.network.firstVisibleRow, 1);
}

TEST_F(SoakE2E, FullNetworkFileLoadsAndItsLastRadiosAnswer) {
    // The simulator writes its network as a file; the technician opens it: 2047 radios,
    // the table full. Radios far down the list answer, show and refuse nothing they should not.
    ASSERT_TRUE(startSim({"--pty", "--radios", "2047", "--repeaters", "200", "--network-file", dir.path() + "/SITE.RAD"})
                    .ready());
    const auto radios = simRadios();
    run.openSerial(sim->endpoint("pty"));
    run.host.answer(true, "SITE.RAD");
    run.command(kOpenNetworkFile);
    Program& p = run.p();
    ASSERT_EQ(p.network.radioCount, 2047);
    EXPECT_EQ(p.poll.pollMode.number(), 0);
    for (int i = 1; i <= 2047; ++i) ASSERT_EQ(p.network.radios[i].serialNumber, radios[static_cast<size_t>(i)].serial);

    // Poll one of the last radios by its serial: it answers although it keeps no history.
    const int far = 2000;
    const uint32_t serial = p.network.radios[far].serialNumber;
    run.host.answer(true, std::to_string(serial));
    run.key(kPollKey);
    EXPECT_EQ(p.network.selectedRadio, far);
    ASSERT_TRUE(run.runUntil([&] { return p.network.radios[far].replyCount > 0; }, 20));
    EXPECT_EQ(p.network.radioCount, 2047);

    run.host.answer(true, std::to_string(serial));
    run.command(kLocateRadio);
    EXPECT_EQ(p.network.firstVisibleRow, far);
    const RecordingCanvas& c = run.paint();
    EXPECT_EQ(std::strtoul(c.text(run.rowOf(far), 1, 8).c_str(), nullptr, 10), serial) << c.row(run.rowOf(far));
    EXPECT_NE(c.text(run.rowOf(far), 67, 6).find_first_not_of(' '), std::string::npos) << c.row(run.rowOf(far));
    for (int key : {50, 51, 52}) {  // Screen2 and both graphs for a radio beyond the history rows
        run.key(key);
        run.tick();
        EXPECT_NE(run.paint().row(1).find("SITE.RAD"), std::string::npos);
    }

    // A 2048th radio is refused with a message; nothing is lost.
    run.host.answer(true, "2419998");
    run.host.answer(true, "Extra");
    run.command(kAddRadio);
    EXPECT_EQ(p.network.radioCount, 2047);
    EXPECT_EQ(run.host.messages(), std::vector<std::string>{"Error: Radio table is full"});
    run.runFor(1);
    EXPECT_EQ(run.radioCountDrops, 0);
}
