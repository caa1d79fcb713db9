// corvane-monitor against the simulator: what it exposes is what the simulator sent.
#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <thread>

#include "e2e/e2e_fixture.h"
#include "e2e/monitor_process.h"
#include "model/derived_values.h"
#include "support/log_fixture.h"

namespace {

std::string HexUpper(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%X", n);
    return text;
}

// The diagnostics replies the simulator sent, by the replying radio's serial, oldest first.
std::map<uint32_t, std::vector<std::vector<uint8_t>>> RepliesSent(const std::vector<SimLine>& log) {
    std::map<uint32_t, std::vector<std::vector<uint8_t>>> out;
    for (const auto& l : log) {
        if (l.kind != "tx" || l.bytes.size() < 20 || (l.bytes[0] != 0xF8 && l.bytes[0] != 0xF9)) continue;
        const uint32_t serial = (uint32_t(l.bytes[4]) << 16) | (uint32_t(l.bytes[5]) << 8) | l.bytes[6];
        out[serial].push_back(l.bytes);
    }
    return out;
}

// The value one of the last two replies gives (the link may have dropped the very last).
bool MatchesARecentReply(const std::vector<std::vector<uint8_t>>& replies, double value,
                         const std::function<double(const std::vector<uint8_t>&)>& of, double tolerance) {
    for (size_t k = replies.size() > 2 ? replies.size() - 2 : 0; k < replies.size(); ++k)
        if (std::abs(of(replies[k]) - value) <= tolerance) return true;
    return false;
}

// One sample; a missing one fails the test and reads as NaN.
double Get(const Samples& samples, const std::string& series) {
    auto it = samples.find(series);
    if (it != samples.end()) return it->second;
    ADD_FAILURE() << series << " missing from the scrape (" << samples.size() << " samples)";
    return std::nan("");
}

class MonitorE2E : public E2ETest {
protected:
    void SetUp() override {
        if (!kMonitorBuilt) GTEST_SKIP() << "corvane-monitor is not built (prometheus-cpp missing)";
    }

    MonitorProcess& startMonitor(std::vector<std::string> args, const std::string& reconnect = "1") {
        args.insert(args.end(), {"--metrics", "127.0.0.1:0", "--reconnect", reconnect});
        monitor = std::make_unique<MonitorProcess>(args);
        EXPECT_TRUE(monitor->waitForLine("metrics at", 10)) << Output();
        return *monitor;
    }

    std::string Output() { return monitor ? monitor->output() : std::string(); }

    // Every simulated radio in the table and heard from.
    bool networkSeen(const std::vector<SimRadio>& radios) {
        const Samples s = Scrape(monitor->metricsPort());
        const auto heard = ByLabel(s, "corvane_radio_signal_level", "serial");
        for (const auto& r : radios)
            if (r.index > 0 && !heard.count(std::to_string(r.serial))) return false;
        return heard.size() == radios.size() - 1;
    }

    // Serials, roles and paths as the simulator lists them; values as it last sent them.
    void expectMetricsMatchTheSimulator(const std::vector<SimRadio>& radios) {
        sim->stop();  // its log is complete; the monitor keeps what it saw
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const Samples s = Scrape(monitor->metricsPort());
        const auto sent = RepliesSent(simLog());
        const uint32_t master = radios.at(0).serial;
        EXPECT_EQ(Get(s, "corvane_radios{network=\"default\"}"), double(radios.size() - 1));
        for (const auto& r : radios) {
            if (r.index == 0) continue;
            const std::string serial = std::to_string(r.serial);
            const std::string who = "serial=\"" + serial + "\"";
            std::string roleFn, signalSeries;
            std::set<std::string> hops;
            for (const auto& [series, value] : s) {
                if (series.find(who) == std::string::npos) continue;
                if (series.rfind("corvane_radio_info{", 0) == 0) roleFn = series.substr(series.find("fn=\"") + 4, 4);
                if (series.rfind("corvane_radio_hop_signal_level{", 0) == 0) {
                    const size_t at = series.find("repeater=\"") + 10;
                    hops.insert(series.substr(at, series.find('"', at) - at));
                }
            }
            const std::string expectedFn = r.role == "repeater" ? "R" + HexUpper(r.repeaterNumber) : "S";
            EXPECT_EQ(roleFn.substr(0, roleFn.find('"')), expectedFn) << serial;
            std::set<std::string> path;
            for (uint32_t p : r.path) path.insert(std::to_string(p));
            if (path.empty()) path.insert(std::to_string(master));
            EXPECT_EQ(hops, path) << serial;

            auto value = [&](const std::string& metric) {
                for (const auto& [series, v] : s)
                    if (series.rfind(metric + "{", 0) == 0 && series.find(who) != std::string::npos) return v;
                ADD_FAILURE() << metric << " missing for " << serial;
                return -1.0;
            };
            ASSERT_TRUE(sent.count(r.serial)) << "no reply from " << serial << " in the simulator's log";
            const auto& replies = sent.at(r.serial);
            EXPECT_TRUE(MatchesARecentReply(replies, value("corvane_radio_signal_level"),
                                            [](const auto& f) { return f[9] - 16.0; }, 0))
                << serial;
            EXPECT_TRUE(MatchesARecentReply(replies, value("corvane_radio_noise_level"),
                                            [](const auto& f) { return f[10] - 16.0; }, 0))
                << serial;
            // Screen0 shows whole percent; the ratio keeps the unrounded share.
            EXPECT_TRUE(MatchesARecentReply(replies, value("corvane_radio_good_packets_ratio"),
                                            [](const auto& f) { return f[8] / 256.0; }, 0.005))
                << serial;
            // One decimal on Screen1.
            EXPECT_TRUE(MatchesARecentReply(replies, value("corvane_radio_supply_volts"),
                                            [&](const auto& f) { return RadioVolts(r.serial, f[14]); }, 0.05))
                << serial;
            EXPECT_TRUE(MatchesARecentReply(replies, value("corvane_radio_temperature_celsius"),
                                            [](const auto& f) { return double(TemperatureFromRaw(f[13])); }, 0))
                << serial;
        }
    }

    std::unique_ptr<MonitorProcess> monitor;
};

struct LinkCase {
    const char* name;  // as the link_up metric labels it
    std::vector<std::string> simArgs;
    std::vector<std::string> monitorArgs;  // "PTY" becomes the simulator's pty
    double seconds;
};

TEST_F(MonitorE2E, MetricsMatchWhatTheSimulatorSentOnEveryLink) {
    const LinkCase cases[] = {
        // The serial link finds the radios by number, as the window does in random mode.
        {"serial", {"--pty"}, {"--serial", "PTY"}, 60},
        // The network links take their address from the simulator's network file.
        {"tcp", {"--tcp", "127.0.0.1:0", "--network-file", "SIM.RAD"},
         {"--tcp", "--network", "SIM.RAD", "--mode", "sequential"}, 60},
        {"udp", {"--udp", "127.0.0.1:0", "--password", "pw12", "--network-file", "SIM.RAD"},
         {"--udp", "--network", "SIM.RAD", "--password", "pw12", "--mode", "sequential"}, 60},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(startSim(c.simArgs).ready());
        std::vector<std::string> args = c.monitorArgs;
        for (auto& a : args)
            if (a == "PTY") a = sim->endpoint("pty");
        startMonitor(args);
        const auto radios = simRadios();
        ASSERT_EQ(radios.size(), 13u);
        ASSERT_TRUE(Eventually([&] { return networkSeen(radios); }, c.seconds)) << Output();
        EXPECT_EQ(Get(Scrape(monitor->metricsPort()),
                      std::string("corvane_link_up{network=\"default\",link=\"") + c.name + "\"}"),
                  1);
        expectMetricsMatchTheSimulator(radios);

        // Stopping closes the link and leaves the minute's log, in time for a service manager.
        double took = 0;
        EXPECT_EQ(monitor->stop(took), 0) << Output();
        EXPECT_LT(took, 2.0);
        EXPECT_NE(dir.read("Current.log").find(std::to_string(radios[1].serial)), std::string::npos);
        unlink("Current.log");
    }
}

TEST_F(MonitorE2E, APrometheusServerScrapesEveryRadio) {
    if (access("/usr/bin/prometheus", X_OK) != 0)
        GTEST_SKIP() << "prometheus is not installed (scripts/setup installs it)";
    ASSERT_TRUE(startSim({"--pty"}).ready());
    startMonitor({"--serial", sim->endpoint("pty")});
    const auto radios = simRadios();
    ASSERT_TRUE(Eventually([&] { return networkSeen(radios); }, 60)) << Output();

    const int port = FreeLoopbackPort();
    {
        std::ofstream config(dir.path() + "/prometheus.yml");
        config << "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: corvane\n    static_configs:\n"
               << "      - targets: ['127.0.0.1:" << monitor->metricsPort() << "']\n";
    }
    const pid_t server = StartPrometheus(dir.path(), port);
    auto count = [&](const std::string& query, const std::string& part) {
        const std::string body = HttpGet(port, "/api/v1/query?query=" + query);
        size_t n = 0;
        for (size_t at = body.find(part); at != std::string::npos; at = body.find(part, at + 1)) ++n;
        return n;
    };
    std::set<std::string> serials;
    const bool found = Eventually(
        [&] {
            const std::string body = HttpGet(port, "/api/v1/query?query=corvane_radio_info");
            serials.clear();
            for (const auto& r : radios)
                if (r.index > 0 && body.find("\"serial\":\"" + std::to_string(r.serial) + "\"") != std::string::npos)
                    serials.insert(std::to_string(r.serial));
            return serials.size() == radios.size() - 1;
        },
        60);
    EXPECT_EQ(count("corvane_link_up", "\"link\":\"serial\""), 1u);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    EXPECT_TRUE(found) << serials.size() << " of " << radios.size() - 1 << " radios in Prometheus";
}

TEST_F(MonitorE2E, ALostLinkComesBackAndNoRadioIsLost) {
    struct Loss {
        const char* name;
        std::vector<std::string> simArgs;
    };
    // The TCP side hangs up by itself; the pseudo-terminal vanishes with its simulator.
    const Loss losses[] = {{"tcp", {"--tcp", "127.0.0.1:0", "--close-after", "6"}}, {"serial", {"--pty"}}};
    for (const Loss& loss : losses) {
        SCOPED_TRACE(loss.name);
        ASSERT_TRUE(startSim(loss.simArgs).ready());
        const std::string link = dir.path() + "/ttyRADIO";
        std::vector<std::string> args;
        if (std::string(loss.name) == "tcp") {
            args = {"--tcp", "127.0.0.1:" + std::to_string(sim->port("tcp")), "--mode", "sequential"};
        } else {
            unlink(link.c_str());
            ASSERT_EQ(symlink(sim->endpoint("pty").c_str(), link.c_str()), 0);
            args = {"--serial", link};
        }
        // Slow enough retries for a scrape to see the link down.
        startMonitor(args, "3");
        const std::string linkUp = std::string("corvane_link_up{network=\"default\",link=\"") + loss.name + "\"}";
        ASSERT_TRUE(
            Eventually([&] { return Scrape(monitor->metricsPort())["corvane_radios{network=\"default\"}"] >= 4; }, 60))
            << Output();
        const double before = Scrape(monitor->metricsPort())["corvane_radios{network=\"default\"}"];
        const size_t mark = monitor->lines().size();

        if (std::string(loss.name) == "serial") {
            sim->kill();
            ASSERT_TRUE(monitor->waitForLine("link serial down", 10, mark)) << Output();
            EXPECT_EQ(Scrape(monitor->metricsPort())[linkUp], 0);
            ASSERT_TRUE(startSim({"--pty"}).ready());
            unlink(link.c_str());
            ASSERT_EQ(symlink(sim->endpoint("pty").c_str(), link.c_str()), 0);
        } else {
            ASSERT_TRUE(monitor->waitForLine("link tcp down", 20, mark)) << Output();
            EXPECT_TRUE(Eventually([&] { return Scrape(monitor->metricsPort())[linkUp] == 0; }, 3));
        }
        ASSERT_TRUE(monitor->waitForLine("link " + std::string(loss.name) + " up", 20, mark)) << Output();
        ASSERT_TRUE(Eventually([&] { return Scrape(monitor->metricsPort())[linkUp] == 1; }, 10));
        const Samples after = Scrape(monitor->metricsPort());
        EXPECT_GE(Get(after, "corvane_radios{network=\"default\"}"), before);
        EXPECT_GE(Get(after, "corvane_link_reconnects_total{network=\"default\"}"), 1);
        double took = 0;
        EXPECT_EQ(monitor->stop(took), 0);
    }
}

// As the window: a network file means polling every listed radio in turn; --mode decides when given.
TEST_F(MonitorE2E, PollsInTurnAfterANetworkFileUnlessTheModeSaysOtherwise) {
    struct Case {
        std::vector<std::string> args;
        bool sequential;
        bool sweepWarning;  // a sweep of 12 radios (2.8 s) against the alarm time
    };
    const Case cases[] = {
        {{"--network", "SIM.RAD"}, true, false},
        {{"--network", "SIM.RAD", "--alarm-time", "2"}, true, true},
        {{"--network", "SIM.RAD", "--mode", "random"}, false, false},
        {{}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        ASSERT_TRUE(startSim({"--pty", "--network-file", "SIM.RAD"}).ready());
        std::vector<std::string> args = {"--serial", sim->endpoint("pty")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        startMonitor(args);
        ASSERT_TRUE(Eventually([&] { return Requests(simLog(), "pty").size() >= 30; }, 30)) << Output();
        size_t byNumber = 0;
        const auto requests = Requests(simLog(), "pty");
        for (const SimLine& r : requests) byNumber += FrameSerial(r) >= 0xFFFF00 ? 1 : 0;
        // In turn: the master, twelve radios, then one probe by number.
        if (c.sequential)
            EXPECT_LT(byNumber * 5, requests.size()) << byNumber << " of " << requests.size();
        else
            EXPECT_EQ(byNumber, requests.size());
        monitor->lines();
        EXPECT_EQ(monitor->waitForLine("warning: a sweep of 12 radios takes about 3 s", 0), c.sweepWarning) << Output();
        EXPECT_EQ(Get(Scrape(monitor->metricsPort()), "corvane_sweep_exceeds_alarm_time{network=\"default\"}"),
                  c.sweepWarning ? 1 : 0);
        double took = 0;
        EXPECT_EQ(monitor->stop(took), 0);
        sim->stop();
    }
}

// SIGHUP (systemctl reload) reads the network file again and keeps the link.
TEST_F(MonitorE2E, SighupReadsTheNetworkFileAgainAndKeepsTheLink) {
    ASSERT_TRUE(startSim({"--tcp", "127.0.0.1:0", "--network-file", "SIM.RAD"}).ready());
    startMonitor({"--tcp", "--network", "SIM.RAD"});
    ASSERT_TRUE(monitor->waitForLine("link tcp up", 10)) << Output();
    // A radio has replied: the closing Current.log is this run's, not the one kept from before.
    ASSERT_TRUE(Eventually(
        [&] { return !ByLabel(Scrape(monitor->metricsPort()), "corvane_radio_signal_level", "serial").empty(); }, 20));
    std::string file = dir.read("SIM.RAD");
    const size_t at = file.find("Rep01   ");
    ASSERT_NE(at, std::string::npos) << file;
    file.replace(at, 8, "Renamed ");
    std::ofstream(dir.path() + "/SIM.RAD", std::ios::binary) << file;
    const size_t mark = monitor->lines().size();

    monitor->signal(SIGHUP);
    ASSERT_TRUE(monitor->waitForLine("SIGHUP: read SIM.RAD again: 12 radios", 5, mark)) << Output();
    auto named = [&](const std::string& name) {
        return ByLabel(Scrape(monitor->metricsPort()), "corvane_radio_info", "name").count(name) == 1;
    };
    EXPECT_TRUE(Eventually([&] { return named("Renamed") && !named("Rep01"); }, 5));

    // A file that is gone leaves the table as it was.
    unlink((dir.path() + "/SIM.RAD").c_str());
    monitor->signal(SIGHUP);
    EXPECT_TRUE(monitor->waitForLine("the radios stay as they were", 5, mark)) << Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Samples after = Scrape(monitor->metricsPort());
    EXPECT_EQ(Get(after, "corvane_radios{network=\"default\"}"), 12);
    EXPECT_EQ(Get(after, "corvane_link_reconnects_total{network=\"default\"}"), 0);
    EXPECT_EQ(Get(after, "corvane_link_up{network=\"default\",link=\"tcp\"}"), 1);
    monitor->lines();
    EXPECT_FALSE(monitor->waitForLine("link tcp down", 0, mark)) << Output();
    double took = 0;
    EXPECT_EQ(monitor->stop(took), 0) << Output();
    EXPECT_NE(dir.read("Current.log").find("Renamed"), std::string::npos);
}

// A second monitor on the same serial device is refused and says who has it.
TEST_F(MonitorE2E, ASecondMonitorOnOneSerialDeviceIsRefused) {
    if (access("/run/lock", W_OK) != 0 && access("/var/lock", W_OK) != 0)
        GTEST_SKIP() << "no lock folder for serial devices";
    unsetenv("CORVANE_LOCK_DIR");
    ASSERT_TRUE(startSim({"--pty"}).ready());
    const std::string pty = sim->endpoint("pty");
    startMonitor({"--serial", pty});
    ASSERT_TRUE(monitor->waitForLine("link serial up", 10)) << Output();

    MonitorProcess second({"--serial", pty, "--reconnect", "0"});
    EXPECT_EQ(second.waitExit(10), 3);
    std::string all;
    for (const auto& l : second.lines()) all += l + "\n";
    EXPECT_NE(all.find("cannot open " + pty + ": in use by process " + std::to_string(monitor->processId()) +
                       " (corvane-monitor)"),
              std::string::npos)
        << all;
    // The first keeps its replies.
    const double frames =
        Get(Scrape(monitor->metricsPort()), "corvane_frames_received_total{network=\"default\",type=\"f8\"}");
    EXPECT_TRUE(Eventually(
        [&] {
            return Scrape(monitor->metricsPort())["corvane_frames_received_total{network=\"default\",type=\"f8\"}"] >
                   frames;
        },
        10));

    // Once the first has stopped, the device is free again.
    double took = 0;
    EXPECT_EQ(monitor->stop(took), 0);
    MonitorProcess third({"--serial", pty, "--reconnect", "0", "--duration", "1"});
    EXPECT_EQ(third.waitExit(10), 0);
}

// The work folder is deleted under the running monitor: the last Current.log
// fails, and the journal says which file and why instead of nothing.
TEST_F(MonitorE2E, AFailedCurrentLogIsLoggedWithItsReason) {
    ASSERT_TRUE(startSim({"--tcp", "127.0.0.1:0"}).ready());
    const std::string site = dir.path() + "/site";
    ASSERT_EQ(mkdir(site.c_str(), 0755), 0);
    startMonitor({"--tcp", "127.0.0.1:" + std::to_string(sim->port("tcp")), "--work", site});
    ASSERT_TRUE(
        Eventually([&] { return Scrape(monitor->metricsPort())["corvane_radios{network=\"default\"}"] >= 1; }, 30))
        << Output();
    EXPECT_EQ(Scrape(monitor->metricsPort())[R"(corvane_file_write_failures_total{file="Current.log"})"], 0);
    std::filesystem::remove_all(site);
    double took = 0;
    EXPECT_EQ(monitor->stop(took), 0);
    EXPECT_NE(Output().find("cannot write " + site + "/Current.log: No such file or directory"), std::string::npos)
        << Output();
}

TEST_F(MonitorE2E, WhatCannotRunEndsWithOneLineAndItsStatus) {
    // A port that is taken.
    int busy = -1;
    const std::string taken = TakenLoopbackAddress(busy);
    ASSERT_FALSE(taken.empty());

    struct ExitCase {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const ExitCase cases[] = {
        {{"--serial"}, 2, "--serial needs a value"},
        {{"--serial", "/dev/null", "--network", "missing.RAD"}, 2, "cannot read missing.RAD"},
        {{"--serial", "/dev/null", "--metrics", taken}, 2, "cannot serve metrics on " + taken},
        {{"--config", "/dev/null"}, 2, "/dev/null:1: no networks"},
        {{"--serial", "/dev/corvane-no-such-port", "--reconnect", "0"}, 3, "giving up"},
    };
    for (const ExitCase& c : cases) {
        MonitorProcess run(c.args);
        EXPECT_EQ(run.waitExit(10), c.status) << c.says;
        std::string all;
        for (const auto& l : run.lines()) all += l + "\n";
        EXPECT_NE(all.find(c.says), std::string::npos) << all;
        if (c.status == 2) {
            EXPECT_EQ(run.lines().size(), 1u) << all;
        }
    }
    close(busy);
}

// What the window says about a network file the monitor says too, in the same words.
TEST_F(MonitorE2E, TheNetworkFileIsJudgedAsTheWindowJudgesIt) {
    TempWorkDir dir;
    WriteFileBytes("warn.RAD", "  100001  7 A\r\n  100002300 B\r\n");
    WriteFileBytes("big.RAD", "");
    ASSERT_EQ(::truncate("big.RAD", (64 << 20) + 1), 0);
    struct Case {
        const char* file;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {"warn.RAD", 3, "warn.RAD line 2: repeater number 300 is above 255; that radio was not loaded"},
        {"big.RAD", 2, "big.RAD: the file is too large for a radio list"},
    };
    for (const Case& c : cases) {
        MonitorProcess run({"--serial", "/dev/corvane-no-such-port", "--reconnect", "0", "--network", c.file});
        EXPECT_EQ(run.waitExit(10), c.status) << c.file;
        std::string all;
        for (const auto& l : run.lines()) all += l + "\n";
        EXPECT_NE(all.find(c.says), std::string::npos) << all;
    }
}

}  // namespace
