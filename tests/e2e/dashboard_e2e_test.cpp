// Every panel of the shipped dashboard, asked of a real Prometheus that scrapes a
// monitor polling the simulated network with the shipped recording rules.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "e2e/e2e_fixture.h"
#include "e2e/monitor_process.h"

namespace {

#ifdef CORVANE_SOURCE_DIR
const std::string kSource = CORVANE_SOURCE_DIR;
#else
const std::string kSource;
#endif

std::string UrlEncoded(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// "title<TAB>query" lines from the dashboard's query lister.
std::vector<std::pair<std::string, std::string>> PanelQueries() {
    std::vector<std::pair<std::string, std::string>> out;
    const std::string command = "python3 " + kSource + "/scripts/dashboard-queries --network north";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return out;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) text.append(buffer, n);
    size_t begin = 0;
    for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        const std::string line = text.substr(begin, end - begin);
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) out.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return out;
}

class DashboardE2E : public E2ETest {};

TEST_F(DashboardE2E, EveryPanelQueryReturnsData) {
    if (!kMonitorBuilt) GTEST_SKIP() << "corvane-monitor is not built (prometheus-cpp missing)";
    if (access("/usr/bin/prometheus", X_OK) != 0) GTEST_SKIP() << "prometheus is not installed";
    const auto panels = PanelQueries();
    ASSERT_GE(panels.size(), 10u) << "the dashboard's queries could not be listed";

    // Two networks, as a box that watches several sites: the fleet panels must see both.
    RadioSimProcess north({"--pty", "--radios", "5"});
    RadioSimProcess south({"--tcp", "127.0.0.1:0", "--radios", "3"});
    ASSERT_TRUE(north.ready() && south.ready());
    const std::string fleet = dir.path() + "/fleet.yml";
    std::ofstream(fleet) << "metrics: 127.0.0.1:0\nwork: " << dir.path() << "/work\nnetworks:\n"
                         << "  - name: north\n    serial: " << north.endpoint("pty") << "\n    reconnect: 1\n"
                         << "  - name: south\n    tcp: 127.0.0.1:" << south.port("tcp") << "\n    reconnect: 1\n";
    MonitorProcess monitor({"--config", fleet});
    ASSERT_TRUE(monitor.waitForLine("metrics at", 10));
    const size_t radios =
        SimNetwork(ParseSimLog(north.logLines())).size() - 1 + SimNetwork(ParseSimLog(south.logLines())).size() - 1;
    auto answering = [&] {
        const std::string text = HttpGet(monitor.metricsPort(), "/metrics");
        size_t n = 0;
        for (size_t at = 0; (at = text.find("\ncorvane_radio_signal_level{", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    ASSERT_TRUE(Eventually([&] { return answering() == radios; }, 60));

    const int port = FreeLoopbackPort();
    {
        std::ofstream config(dir.path() + "/prometheus.yml");
        config << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
               << "rule_files:\n  - " << kSource << "/packaging/corvane-recording.yml\n"
               << "scrape_configs:\n  - job_name: corvane\n    static_configs:\n"
               << "      - targets: ['127.0.0.1:" << monitor.metricsPort() << "']\n";
    }
    const pid_t server = StartPrometheus(dir.path(), port);
    // A panel has data when its instant query gives at least one series.
    std::vector<std::string> empty;
    for (const auto& [title, query] : panels) {
        const std::string path = "/api/v1/query?query=" + UrlEncoded(query);
        std::string body;
        if (!Eventually(
                [&] {
                    body = HttpGet(port, path);
                    return body.find("\"result\":[{") != std::string::npos;
                },
                60))
            empty.push_back(title + ": " + query + " -> " + body.substr(0, 300));
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    EXPECT_TRUE(empty.empty()) << ::testing::PrintToString(empty);
}

}  // namespace
