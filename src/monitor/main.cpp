// corvane-monitor: the program's engine without a window, for unattended sites.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "monitor/log_line.h"
#include "monitor/metrics.h"
#include "monitor/modbus_door.h"
#include "monitor/monitor_options.h"
#include "monitor/site_monitor.h"
#include "monitor/web_server.h"

namespace {

std::atomic<bool> stopRequested{false};
SiteMonitor* reloading = nullptr;

void OnStopSignal(int) { stopRequested = true; }
void OnReloadSignal(int) {
    if (reloading != nullptr) reloading->requestReload();
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

    auto board = std::make_shared<MetricsBoard>(1);
    SiteMonitor::Settings settings;
    settings.options = options;
    settings.journal = [](LogLevel level, const std::string& text) { Event(level, text); };
    settings.terminal = isatty(STDOUT_FILENO) == 1;
    settings.board = board;
    SiteMonitor site(settings);
    if (!site.prepare(error)) return Fail(error);

    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0)
        return Fail("cannot use the work folder " + options.workDir + ": " + std::strerror(errno));

    // --- metrics serving ---
    WebServer web;
    if (!options.metricsAddress.empty()) {
        WebServerSetup setup;
        setup.address = options.metricsAddress;
        if (!options.webConfigFile.empty() && !LoadWebConfig(options.webConfigFile, setup.config, error))
            return Fail("--web.config.file " + error);
        setup.metrics = [board]() -> std::shared_ptr<const std::string> {
            return board->current(0) ? board->exposition() : nullptr;
        };
        setup.metricsGzip = [board]() -> std::shared_ptr<const std::string> {
            return board->current(0) ? board->expositionGzip() : nullptr;
        };
        setup.ready = [board] { return board->current(0) != nullptr; };
        if (!web.start(std::move(setup), error)) return Fail(error);
        Event(LogLevel::info, "metrics at " + web.url() + "/metrics");
    }
    // --- end of metrics serving ---

    ModbusDoor modbus;
    if (!options.modbusAddress.empty()) {
        modbus.notice = [](const std::string& text) { Event(LogLevel::warning, text); };
        std::vector<UnitSnapshot> units = {[board] { return board->current(0); }};
        if (!modbus.start(options.modbusAddress, options.modbusAllowed, std::move(units), error)) return Fail(error);
        std::string host, port;
        SplitHostPort(options.modbusAddress, host, port);
        Event(LogLevel::info, "modbus at " + host + ":" + std::to_string(modbus.port()) + ", unit 1");
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
    // The link is closed and the log written; the web server and the Modbus door
    // hold nothing that needs closing, so the process ends without waiting for them.
    std::_Exit(exitCode);
}
