// corvane-monitor: the program's engine without a window, for unattended sites.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>

#include <prometheus/exposer.h>

#include "monitor/fleet_config.h"
#include "monitor/fleet_metrics.h"
#include "monitor/metrics.h"
#include "monitor/modbus_door.h"
#include "monitor/monitor_options.h"
#include "monitor/site_monitor.h"

namespace {

std::atomic<bool> stopRequested{false};
std::vector<SiteMonitor*> reloading;  // filled before the handler is set, never changed after

void OnStopSignal(int) { stopRequested = true; }
void OnReloadSignal(int) {
    for (SiteMonitor* site : reloading) site->requestReload();
}

// One line per event with the local time in front, flushed at once for the journal.
void Event(const std::string& text) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::printf("%s %s\n", stamp, text.c_str());
    std::fflush(stdout);
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "corvane-monitor: %s\n", text.c_str());
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
    std::vector<std::shared_ptr<SnapshotCollectable>> published;
    for (const MonitorOptions& network : fleet.networks) {
        SiteMonitor::Settings settings;
        settings.options = network;
        settings.collectable = published.emplace_back(std::make_shared<SnapshotCollectable>());
        const std::string prefix = fromFile ? network.networkName + ": " : "";
        if (fromFile) {
            // Each network of a file writes in its own folder, made when missing; its
            // lines start with its name.
            std::error_code problem;
            std::filesystem::create_directories(network.workDir, problem);
            if (problem)
                return Fail(prefix + "cannot use the work folder " + network.workDir + ": " + problem.message());
            settings.workFolder = network.workDir;
            settings.journal = [prefix](const std::string& text) { Event(prefix + text); };
        } else {
            settings.journal = [](const std::string& text) { Event(text); };
            settings.terminal = isatty(STDOUT_FILENO) == 1;
        }
        sites.push_back(std::make_unique<SiteMonitor>(std::move(settings)));
        if (!sites.back()->prepare(error)) return Fail(prefix + error);
    }
    if (!fromFile && !options.workDir.empty() && chdir(options.workDir.c_str()) != 0)
        return Fail("cannot use the work folder " + options.workDir + ": " + std::strerror(errno));

    // The one network of the command line is labelled when it is named.
    std::vector<std::string> labels;
    for (const MonitorOptions& network : fleet.networks) labels.push_back(network.networkName);
    if (!fromFile && options.networkName == MonitorOptions{}.networkName) labels[0].clear();
    auto board = std::make_shared<FleetCollectable>(published, labels);
    std::unique_ptr<prometheus::Exposer> exposer;
    if (!fleet.metricsAddress.empty()) {
        try {
            exposer = std::make_unique<prometheus::Exposer>(fleet.metricsAddress, 2);
        } catch (const std::exception& e) {
            return Fail("cannot serve metrics on " + fleet.metricsAddress + ": " + e.what() + " (is the port in use?)");
        }
        exposer->RegisterCollectable(board);
        const auto ports = exposer->GetListeningPorts();
        const std::string address = fleet.metricsAddress.substr(0, fleet.metricsAddress.rfind(':'));
        Event("metrics at http://" + address + ":" + (ports.empty() ? std::string("?") : std::to_string(ports[0])) +
              "/metrics");
    }

    ModbusDoor modbus;
    if (!fleet.modbusAddress.empty()) {
        modbus.notice = [](const std::string& text) { Event(text); };
        // Unit k is the k-th network.
        std::vector<UnitSnapshot> units;
        std::string unitsText = "unit 1";
        for (size_t k = 0; k < published.size(); ++k) {
            units.push_back([source = published[k]] { return source->current(); });
            if (fromFile)
                unitsText = (k == 0 ? "" : unitsText + ", ") + "unit " + std::to_string(k + 1) + " " + labels[k];
        }
        if (!modbus.start(fleet.modbusAddress, fleet.modbusAllowed, std::move(units), error)) return Fail(error);
        std::string host, port;
        SplitHostPort(fleet.modbusAddress, host, port);
        Event("modbus at " + host + ":" + std::to_string(modbus.port()) + ", " + unitsText);
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
    // The exporter's web server notices a stop only after its socket time-out (up
    // to 2 s). Its threads hold nothing that needs closing: the links are closed and
    // the logs written, so the process ends without waiting for them.
    std::_Exit(exitCode);
}
