// corvane-monitor: the program's engine without a window, for unattended sites.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include <prometheus/exposer.h>

#include "monitor/metrics.h"
#include "monitor/modbus_door.h"
#include "monitor/monitor_options.h"
#include "monitor/site_monitor.h"

namespace {

std::atomic<bool> stopRequested{false};
SiteMonitor* reloading = nullptr;

void OnStopSignal(int) { stopRequested = true; }
void OnReloadSignal(int) {
    if (reloading != nullptr) reloading->requestReload();
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

    auto collectable = std::make_shared<SnapshotCollectable>();
    SiteMonitor::Settings settings;
    settings.options = options;
    settings.journal = [](const std::string& text) { Event(text); };
    settings.terminal = isatty(STDOUT_FILENO) == 1;
    settings.collectable = collectable;
    SiteMonitor site(settings);
    if (!site.prepare(error)) return Fail(error);

    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0)
        return Fail("cannot use the work folder " + options.workDir + ": " + std::strerror(errno));

    std::unique_ptr<prometheus::Exposer> exposer;
    if (!options.metricsAddress.empty()) {
        try {
            exposer = std::make_unique<prometheus::Exposer>(options.metricsAddress, 2);
        } catch (const std::exception& e) {
            return Fail("cannot serve metrics on " + options.metricsAddress + ": " + e.what() +
                        " (is the port in use?)");
        }
        exposer->RegisterCollectable(collectable);
        const auto ports = exposer->GetListeningPorts();
        const std::string address = options.metricsAddress.substr(0, options.metricsAddress.rfind(':'));
        Event("metrics at http://" + address + ":" + (ports.empty() ? std::string("?") : std::to_string(ports[0])) +
              "/metrics");
    }

    ModbusDoor modbus;
    if (!options.modbusAddress.empty()) {
        modbus.notice = [](const std::string& text) { Event(text); };
        std::vector<UnitSnapshot> units = {[collectable] { return collectable->current(); }};
        if (!modbus.start(options.modbusAddress, options.modbusAllowed, std::move(units), error)) return Fail(error);
        std::string host, port;
        SplitHostPort(options.modbusAddress, host, port);
        Event("modbus at " + host + ":" + std::to_string(modbus.port()) + ", unit 1");
    }

    reloading = &site;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = OnReloadSignal;
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const int exitCode = site.run(stopRequested);
    std::fflush(stdout);
    // The exporter's web server notices a stop only after its socket time-out (up
    // to 2 s). Its threads hold nothing that needs closing: the link is closed and
    // the log written, so the process ends without waiting for them.
    std::_Exit(exitCode);
}
