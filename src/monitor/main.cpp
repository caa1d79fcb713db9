// corvane-monitor: the program's engine without a window, for unattended sites.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>

#include "monitor/fleet_config.h"
#include "monitor/log_line.h"
#include "monitor/metrics.h"
#include "monitor/modbus_door.h"
#include "monitor/monitor_options.h"
#include "monitor/site_monitor.h"
#include "monitor/web_server.h"

namespace {

std::atomic<bool> stopRequested{false};
std::vector<SiteMonitor*> reloading;  // filled before the handler is set, never changed after

void OnStopSignal(int) { stopRequested = true; }
void OnReloadSignal(int) {
    for (SiteMonitor* site : reloading) site->requestReload();
}

// One line per event with its level, flushed at once; the journal gets the level
// as the line's priority and stamps the time itself.
void Event(LogLevel level, const std::string& text) {
    static const bool journal = IsJournalStream(STDOUT_FILENO, std::getenv("JOURNAL_STREAM"));
    std::fputs(LogLine(level, text, journal, std::time(nullptr)).c_str(), stdout);
    std::fflush(stdout);
}

int Fail(const std::string& text) {
    const bool journal = IsJournalStream(STDERR_FILENO, std::getenv("JOURNAL_STREAM"));
    std::fprintf(stderr, "%scorvane-monitor: %s\n", journal ? "<3>" : "", text.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    MonitorOptions options;
    std::string error;
    bool help = false;
    if (!ParseMonitorOptions(std::vector<std::string>(argv + 1, argv + argc), options, error, help))
        return Fail(error + " (see --help)");
    if (help) {
        std::fputs(MonitorUsage(), stdout);
        return 0;
    }

    // One network from the command line, or those of a config file.
    FleetConfig fleet;
    const bool fromFile = !options.configFile.empty();
    if (fromFile) {
        if (!ReadFleetConfig(options.configFile, fleet, error)) return Fail(error);
        for (MonitorOptions& network : fleet.networks) network.durationSeconds = options.durationSeconds;
    } else {
        fleet.metricsAddress = options.metricsAddress;
        fleet.modbusAddress = options.modbusAddress;
        fleet.modbusAllowed = options.modbusAllowed;
        fleet.networks = {options};
    }

    std::vector<std::unique_ptr<SiteMonitor>> sites;
    auto board = std::make_shared<MetricsBoard>(fleet.networks.size());
    for (const MonitorOptions& network : fleet.networks) {
        SiteMonitor::Settings settings;
        settings.options = network;
        settings.board = board;
        settings.boardIndex = sites.size();
        const std::string prefix = fromFile ? network.networkName + ": " : "";
        if (fromFile) {
            // Each network of a file writes in its own folder, made when missing; its
            // lines start with its name.
            std::error_code problem;
            std::filesystem::create_directories(network.workDir, problem);
            if (problem)
                return Fail(prefix + "cannot use the work folder " + network.workDir + ": " + problem.message());
            settings.workFolder = network.workDir;
            settings.journal = [prefix](LogLevel level, const std::string& text) {
                // Every line of a box's text says whose it is.
                std::string named = prefix;
                for (const char c : text) named += c == '\n' ? "\n" + prefix : std::string(1, c);
                Event(level, named);
            };
        } else {
            settings.journal = [](LogLevel level, const std::string& text) { Event(level, text); };
            settings.terminal = isatty(STDOUT_FILENO) == 1;
        }
        sites.push_back(std::make_unique<SiteMonitor>(std::move(settings)));
        if (!sites.back()->prepare(error)) return Fail(prefix + error);
    }
    if (!fromFile && !options.workDir.empty() && chdir(options.workDir.c_str()) != 0)
        return Fail("cannot use the work folder " + options.workDir + ": " + std::strerror(errno));

    // --- metrics serving ---
    // Ready, and something to show, once any network has published.
    auto anyPublished = [board, count = fleet.networks.size()] {
        for (size_t k = 0; k < count; ++k)
            if (board->current(k)) return true;
        return false;
    };
    WebServer web;
    if (!fleet.metricsAddress.empty()) {
        WebServerSetup setup;
        setup.address = fleet.metricsAddress;
        if (!options.webConfigFile.empty() && !LoadWebConfig(options.webConfigFile, setup.config, error))
            return Fail("--web.config.file " + error);
        setup.metrics = [board, anyPublished]() -> std::shared_ptr<const std::string> {
            return anyPublished() ? board->exposition() : nullptr;
        };
        setup.metricsGzip = [board, anyPublished]() -> std::shared_ptr<const std::string> {
            return anyPublished() ? board->expositionGzip() : nullptr;
        };
        setup.ready = anyPublished;
        if (!web.start(std::move(setup), error)) return Fail(error);
        Event(LogLevel::info, "metrics at " + web.url() + "/metrics");
    } else if (!options.webConfigFile.empty()) {
        return Fail("--web.config.file needs metrics: in " + options.configFile);
    }
    // --- end of metrics serving ---

    ModbusDoor modbus;
    if (!fleet.modbusAddress.empty()) {
        modbus.notice = [](const std::string& text) { Event(LogLevel::warning, text); };
        // Unit k is the k-th network.
        std::vector<UnitSnapshot> units;
        std::string unitsText = "unit 1";
        for (size_t k = 0; k < fleet.networks.size(); ++k) {
            units.push_back([board, k] { return board->current(k); });
            if (fromFile)
                unitsText = (k == 0 ? "" : unitsText + ", ") + "unit " + std::to_string(k + 1) + " " +
                            fleet.networks[k].networkName;
        }
        if (!modbus.start(fleet.modbusAddress, fleet.modbusAllowed, std::move(units), error)) return Fail(error);
        std::string host, port;
        SplitHostPort(fleet.modbusAddress, host, port);
        Event(LogLevel::info, "modbus at " + host + ":" + std::to_string(modbus.port()) + ", " + unitsText);
    }

    for (const auto& site : sites) reloading.push_back(site.get());
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = OnReloadSignal;
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int exitCode = 0;
    if (!fromFile) {
        exitCode = sites[0]->run(stopRequested);
    } else {
        // Each network on its own thread: one that is down, dialling or flooded holds up no other.
        std::vector<int> codes(sites.size(), 0);
        {
            std::vector<std::jthread> threads;
            for (size_t k = 0; k < sites.size(); ++k)
                threads.emplace_back([&, k] { codes[k] = sites[k]->run(stopRequested); });
        }
        // A network whose link gave up stops alone; exit 3 once every one has.
        exitCode = std::all_of(codes.begin(), codes.end(), [](int c) { return c == 3; }) ? 3 : 0;
    }
    std::fflush(stdout);
    // The link is closed and the log written; the web server and the Modbus door
    // hold nothing that needs closing, so the process ends without waiting for them.
    std::_Exit(exitCode);
}
