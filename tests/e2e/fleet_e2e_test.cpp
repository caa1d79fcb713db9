// One monitor polling several simulated networks listed in its config file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "e2e/e2e_fixture.h"
#include "e2e/modbus_client.h"
#include "e2e/monitor_process.h"

namespace {

class FleetE2E : public E2ETest {
protected:
    void SetUp() override {
        if (!kMonitorBuilt) GTEST_SKIP() << "corvane-monitor is not built";
        if (access("/usr/bin/mbpoll", X_OK) != 0) GTEST_SKIP() << "mbpoll is not installed (scripts/setup installs it)";
    }

    // Starts a monitor on a config file of these networks (YAML list entries).
    void startMonitor(const std::string& networks) {
        monitor.reset();
        const std::string path = dir.path() + "/fleet.yml";
        std::ofstream(path) << "metrics: 127.0.0.1:0\nmodbus: 127.0.0.1:0\nwork: " << dir.path() << "/work\nnetworks:\n"
                            << networks;
        monitor = std::make_unique<MonitorProcess>(std::vector<std::string>{"--config", path});
        modbusPort = StartedModbusPort(*monitor);
        ASSERT_GT(modbusPort, 0) << Output();
    }

    std::string Output() { return monitor ? monitor->output() : std::string(); }

    std::unique_ptr<MonitorProcess> monitor;
    int modbusPort = 0;
};

size_t RequestsOn(const RadioSimProcess& sim, const std::string& link) {
    return Requests(ParseSimLog(sim.logLines()), link).size();
}

TEST_F(FleetE2E, ANetworkDiallingOrDownNeitherSlowsNorHidesAnother) {
    RadioSimProcess north({"--pty", "--radios", "4"});
    RadioSimProcess south({"--tcp", "127.0.0.1:0", "--radios", "7"});
    // Its modem never answers: the monitor waits a minute for it, as for a far-off site.
    RadioSimProcess east({"--modem", "--modem-silent", "5551234"});
    ASSERT_TRUE(north.ready() && south.ready() && east.ready());
    const std::string northEntry = "  - name: north\n    serial: " + north.endpoint("pty") + "\n    interval: 0\n";
    // North's requests in 3 s, once it is well under way.
    auto pace = [&] {
        const size_t start = RequestsOn(north, "pty");
        EXPECT_TRUE(Eventually([&] { return RequestsOn(north, "pty") > start + 20; }, 20)) << Output();
        const size_t before = RequestsOn(north, "pty");
        std::this_thread::sleep_for(std::chrono::seconds(3));
        return double(RequestsOn(north, "pty") - before);
    };

    startMonitor(northEntry);
    const double alone = pace();
    startMonitor(northEntry + "  - name: south\n    tcp: 127.0.0.1:" + std::to_string(south.port("tcp")) +
                 "\n  - name: east\n    dial: \"5551234\"\n    serial: " + east.endpoint("modem") +
                 "\n  - name: west\n    serial: /dev/corvane-no-such-port\n    reconnect: 1\n");
    ASSERT_TRUE(Eventually([&] { return RequestsOn(south, "tcp") > 5; }, 20)) << Output();
    const double beside = pace();
    std::printf("north's requests in 3 s: %.0f alone, %.0f beside a dialling network (ratio %.2f)\n", alone, beside,
                beside / alone);
    EXPECT_GT(beside, alone * 0.7);

    // Every network has its label, the one dialling too.
    const auto sent = ByLabel(Scrape(monitor->metricsPort()), "corvane_requests_sent_total", "network");
    EXPECT_EQ(sent.size(), 4u);
    EXPECT_GT(sent.count("north") ? sent.at("north") : 0, 20);
    EXPECT_GT(sent.count("south") ? sent.at("south") : 0, 5);
    EXPECT_EQ(sent.count("east"), 1u);
    // One family for all of them: a name typed twice makes the whole scrape invalid.
    const std::string text = HttpGet(monitor->metricsPort(), "/metrics");
    const size_t typed = text.find("# TYPE corvane_requests_sent_total");
    EXPECT_NE(typed, std::string::npos);
    EXPECT_EQ(typed, text.rfind("# TYPE corvane_requests_sent_total"));

    // Units in file order: radios in the table and link up, then an unknown unit.
    const size_t southRadios = SimNetwork(ParseSimLog(south.logLines())).size() - 1;
    ASSERT_TRUE(
        Eventually([&] { return Mbpoll(modbusPort, 2, 1, 1).registers == std::vector<int>{int(southRadios)}; }, 30))
        << Output();
    EXPECT_EQ(Mbpoll(modbusPort, 2, 2, 1).registers, std::vector<int>{1});
    EXPECT_TRUE(Eventually([&] { return Mbpoll(modbusPort, 1, 1, 2).registers == std::vector<int>{4, 1}; }, 30));
    EXPECT_EQ(Mbpoll(modbusPort, 3, 2, 1).registers, std::vector<int>{0});
    EXPECT_NE(Mbpoll(modbusPort, 5, 0, 1).failure.find("Target device failed to respond"), std::string::npos);
    // A box of several lines names its network on each.
    for (const auto& line : monitor->lines()) {
        if (line.find("corvane-no-such-port") != std::string::npos) {
            EXPECT_NE(line.find("west: "), std::string::npos) << line;
        }
    }
    // South's master goes away as when its cable is pulled: north keeps its pace.
    south.kill();
    ASSERT_TRUE(Eventually([&] { return Mbpoll(modbusPort, 2, 2, 1).registers == std::vector<int>{0}; }, 20))
        << Output();
    EXPECT_GT(pace(), alone * 0.7);

    // Each network writes its last Current.log in its own folder.
    double seconds = 0;
    EXPECT_EQ(monitor->stop(seconds), 0);
    for (const char* name : {"north", "south"})
        EXPECT_TRUE(std::filesystem::exists(dir.path() + "/work/" + name + "/Current.log")) << name;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/Current.log"));
}

}  // namespace
