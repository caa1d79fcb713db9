// The Modbus door read by a real Modbus client (mbpoll) while the monitor polls the simulator.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <thread>

#include "e2e/e2e_fixture.h"
#include "e2e/modbus_client.h"
#include "e2e/monitor_process.h"

namespace {

int16_t Signed(int raw) { return static_cast<int16_t>(static_cast<uint16_t>(raw)); }

class ModbusE2E : public E2ETest {
protected:
    void SetUp() override {
        if (!kMonitorBuilt) GTEST_SKIP() << "corvane-monitor is not built";
        if (access("/usr/bin/mbpoll", X_OK) != 0) GTEST_SKIP() << "mbpoll is not installed (scripts/setup installs it)";
    }

    void startMonitor(std::vector<std::string> args) {
        args.insert(args.end(), {"--metrics", "127.0.0.1:0", "--modbus", "127.0.0.1:0"});
        monitor = std::make_unique<MonitorProcess>(args);
        modbusPort = StartedModbusPort(*monitor);
        ASSERT_GT(modbusPort, 0) << Output();
    }

    std::string Output() { return monitor ? monitor->output() : std::string(); }

    double requestsSent() { return Scrape(monitor->metricsPort())["corvane_requests_sent_total{network=\"default\"}"]; }

    std::unique_ptr<MonitorProcess> monitor;
    int modbusPort = 0;
};

TEST_F(ModbusE2E, RegistersHoldWhatTheMetricsShow) {
    ASSERT_TRUE(startSim({"--pty"}).ready());
    startMonitor({"--serial", sim->endpoint("pty")});
    const auto radios = simRadios();
    ASSERT_TRUE(Eventually(
        [&] {
            return ByLabel(Scrape(monitor->metricsPort()), "corvane_radio_signal_level", "serial").size() ==
                   radios.size() - 1;
        },
        60))
        << Output();
    const ModbusRead head = Mbpoll(modbusPort, 1, 0, 10);
    ASSERT_EQ(head.registers.size(), 10u) << head.failure;
    EXPECT_EQ(head.registers, (std::vector<int>{1, int(radios.size() - 1), 1, head.registers[3], 0, 0, 0, 0, 0, 0}));
    EXPECT_LT(head.registers[3], 5);  // the master's status comes twice a second

    // The network goes quiet (the link with it): every value but the ages holds still.
    sim->stop();
    ASSERT_TRUE(Eventually([&] { return Mbpoll(modbusPort, 1, 2, 1).registers == std::vector<int>{0}; }, 10));
    const Samples s = Scrape(monitor->metricsPort());
    const double scrapedAt = double(time(nullptr));

    std::set<uint32_t> seen;
    for (size_t k = 1; k < radios.size(); ++k) {
        const ModbusRead r = Mbpoll(modbusPort, 1, 100 + 20 * int(k - 1), 20);
        ASSERT_EQ(r.registers.size(), 20u) << r.failure;
        const uint32_t serial = uint32_t(r.registers[0]) << 16 | uint32_t(r.registers[1]);
        seen.insert(serial);
        const std::string who = "serial=\"" + std::to_string(serial) + "\"";
        auto metric = [&](const std::string& name) {
            for (const auto& [series, v] : s)
                if (series.rfind(name + "{", 0) == 0 && series.find(who) != std::string::npos) return v;
            ADD_FAILURE() << name << " missing for " << serial;
            return std::nan("");
        };
        SCOPED_TRACE(serial);
        EXPECT_NEAR(r.registers[2], scrapedAt - metric("corvane_radio_last_reply_timestamp_seconds"), 3);
        EXPECT_EQ(Signed(r.registers[3]), metric("corvane_radio_signal_level"));
        EXPECT_EQ(Signed(r.registers[4]), metric("corvane_radio_noise_level"));
        EXPECT_EQ(r.registers[5], std::lround(metric("corvane_radio_good_packets_ratio") * 1000));
        EXPECT_EQ(Signed(r.registers[6]), std::lround(metric("corvane_radio_frequency_offset_ppm") * 10));
        EXPECT_EQ(Signed(r.registers[7]), metric("corvane_radio_temperature_celsius"));
        EXPECT_EQ(r.registers[8], std::lround(metric("corvane_radio_supply_volts") * 10));
        EXPECT_NEAR(r.registers[9], metric("corvane_radio_distance_meters") / 10, 1);  // whole meters
        EXPECT_EQ(r.registers[10], metric("corvane_radio_disconnects_total"));
        EXPECT_EQ(r.registers[11], std::lround(metric("corvane_radio_poll_success_ratio") * 1000));
        EXPECT_EQ((r.registers[12] != 0), metric("corvane_radio_alarm") != 0);
    }
    EXPECT_EQ(seen.size(), radios.size() - 1);
    // The slot after the last radio is empty.
    EXPECT_EQ(Mbpoll(modbusPort, 1, 100 + 20 * int(radios.size() - 1), 2).registers, (std::vector<int>{0, 0}));
}

TEST_F(ModbusE2E, RefusesWritesUnknownAddressesUnitsAndClients) {
    ASSERT_TRUE(startSim({"--pty"}).ready());
    startMonitor({"--serial", sim->endpoint("pty")});
    struct Case {
        int unit, first, count;
        std::string write;
        const char* failure;  // as libmodbus words exceptions 1, 2 and 11
    } cases[] = {
        {1, 0, 1, "7", "Illegal function"},
        {1, 10, 1, "", "Illegal data address"},     // between the network and the radio registers
        {1, 5, 10, "", "Illegal data address"},     // runs past register 9
        {1, 41039, 2, "", "Illegal data address"},  // past slot 2047
        {2, 0, 1, "", "Target device failed to respond"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.unit) + "/" + std::to_string(c.first) + " " + c.write);
        const ModbusRead r = Mbpoll(modbusPort, c.unit, c.first, c.count, c.write);
        EXPECT_TRUE(r.registers.empty());
        EXPECT_NE(r.failure.find(c.failure), std::string::npos) << r.failure;
    }
    // A value written and refused leaves the register as it was.
    EXPECT_EQ(Mbpoll(modbusPort, 1, 0, 1).registers, (std::vector<int>{1}));

    monitor.reset();
    startMonitor({"--serial", sim->endpoint("pty"), "--modbus-allow", "127.0.0.2,::2"});
    EXPECT_TRUE(Mbpoll(modbusPort, 1, 0, 1).registers.empty());
    EXPECT_TRUE(monitor->waitForLine("refused a client from 127.0.0.1", 5)) << Output();
}

TEST_F(ModbusE2E, StalledClientsDoNotSlowThePoll) {
    ASSERT_TRUE(startSim({"--pty"}).ready());
    startMonitor({"--serial", sim->endpoint("pty"), "--interval", "0"});
    ASSERT_TRUE(Eventually([&] { return requestsSent() > 20; }, 20)) << Output();
    auto pace = [&] {
        const double before = requestsSent();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        return requestsSent() - before;
    };
    const double alone = pace();
    // One client sends half a request and waits; another asks again and again and never reads.
    std::vector<int> stalled;
    for (int k = 0; k < 2; ++k) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(modbusPort));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        stalled.push_back(fd);
    }
    const uint8_t half[] = {0, 1, 0, 0, 0, 6, 1, 3};
    ASSERT_EQ(send(stalled[0], half, sizeof half, 0), ssize_t(sizeof half));
    const uint8_t read125[] = {0, 2, 0, 0, 0, 6, 1, 3, 0, 100, 0, 125};
    std::jthread flood([&](std::stop_token stop) {
        while (!stop.stop_requested() && send(stalled[1], read125, sizeof read125, MSG_NOSIGNAL | MSG_DONTWAIT) > 0) {
        }
    });
    const double withStalled = pace();
    flood.request_stop();
    flood.join();
    std::printf("requests in 3 s: %.0f alone, %.0f beside stalled clients (ratio %.2f)\n", alone, withStalled,
                withStalled / alone);
    EXPECT_GT(withStalled, alone * 0.7);
    // The door still answers a well-behaved client.
    EXPECT_EQ(Mbpoll(modbusPort, 1, 0, 1).registers, (std::vector<int>{1}));
    for (int fd : stalled) close(fd);
}

}  // namespace
