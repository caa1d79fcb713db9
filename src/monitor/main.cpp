// corvane-monitor: the program's engine without a window, for unattended sites.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include <prometheus/exposer.h>

#include "app/window_proc.h"
#include "files/file_safety.h"
#include "files/log_files.h"
#include "files/log_text.h"
#include "files/network_file.h"
#include "link/links.h"
#include "model/program.h"
#include "monitor/fleet_config.h"
#include "monitor/fleet_metrics.h"
#include "monitor/headless_host.h"
#include "monitor/link_supervisor.h"
#include "monitor/metrics.h"
#include "monitor/modbus_door.h"
#include "monitor/monitor_options.h"
#include "monitor/monitor_view.h"
#include "protocol/frame_assembler.h"

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> reloadGeneration{0};  // each network reads its file again when this moves

void OnStopSignal(int) { stopRequested = true; }
void OnReloadSignal(int) { ++reloadGeneration; }

// Rows of the terminal, 24 when it does not say.
int TerminalRows() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 6) return size.ws_row;
    return 24;
}

using SteadyClock = std::chrono::steady_clock;

double SteadySeconds() {
    return std::chrono::duration<double>(SteadyClock::now().time_since_epoch()).count();
}

double EpochSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Counts reply frames by type and every byte read as a frame type (a sign of life).
class FrameCounter : public FrameObserver {
public:
    void typeByte(uint8_t) override { ++bytesSeen; }
    void frameRead(std::span<const uint8_t> frame, uint8_t) override {
        if (!frame.empty() && frame[0] >= 0xF0 && frame[0] <= 0xFB) ++framesByType[frame[0] - 0xF0];
    }
    int64_t bytesSeen = 0;
    std::array<int64_t, 12> framesByType{};
};

// Faults and link failures come from link threads too.
struct ErrorCounts {
    std::mutex lock;
    MonitorCounters counts;
    std::function<void(const std::string&)> fileFailed = [](const std::string&) {};
    const std::string* workFolder = nullptr;  // the program's, for the file's full name

    static void Record(void* self, ProtocolError::Kind kind, int code, int value) {
        auto* errors = static_cast<ErrorCounts*>(self);
        {
            std::lock_guard<std::mutex> hold(errors->lock);
            CountErrorRecord(errors->counts, kind, code, value);
        }
        // Files are written on the main thread; say which and why.
        if (kind != ProtocolError::Kind::Failure) return;
        if (value == logtext::kSnapshotFileError)
            errors->fileFailed("cannot write " +
                               WorkPath(errors->workFolder ? *errors->workFolder : std::string(), "Current.log") +
                               ": " + std::strerror(code));
        else if (const char* file = logtext::FileWriteKind(value))
            errors->fileFailed(std::string("cannot write a ") + file + " file: " + std::strerror(code));
    }
    void copyInto(MonitorCounters& counters) {
        std::lock_guard<std::mutex> hold(lock);
        counters.errorsByCode = counts.errorsByCode;
        counters.fileWriteFailures = counts.fileWriteFailures;
        counters.linkFailures = counts.linkFailures;
    }
};

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

// The journal hears of an alarm change once it has lasted 30 s; changes are written
// every 10 s, as one summary line when there are more than 20 (a sweep longer than
// the alarm time flips most radios in and out of alarm).
constexpr EventPolicy kJournalPolicy{30, 10, 20};

int Fail(const std::string& text) {
    std::fprintf(stderr, "corvane-monitor: %s\n", text.c_str());
    return 2;
}

// One network: its program, link supervision, snapshots and journal lines.
class NetworkSite {
public:
    NetworkSite(const MonitorOptions& options, std::string prefix) : options(options), prefix(std::move(prefix)) {}

    // Reads the network file and sets the link up; false with the reason (exit status 2).
    bool prepare(bool enterWorkDir, std::string& error);
    // Polls until a stop is asked for or the link is lost for good; the exit status
    // the monitor has with this network alone.
    int run(bool liveTable);
    // Where each snapshot goes (the exporter and the Modbus door read it from there).
    std::function<void(std::shared_ptr<const MonitorSnapshot>)> publishTo;

private:
    void event(const std::string& text) const { Event(prefix + text); }
    void publish(bool up, const std::string& state);
    void checkSweep();
    void reload();
    void shutDown();

    const MonitorOptions& options;
    const std::string prefix;
    SystemClock clock;
    std::unique_ptr<Program> owned;
    HeadlessHost host;
    std::string networkPath;
    FrameCounter frames;
    ErrorCounts errors;
    MonitorCounters counters;
    std::string linkName;
    std::shared_ptr<MonitorSnapshot> published = std::make_shared<MonitorSnapshot>();
    std::shared_ptr<MonitorSnapshot> spare;
    bool sweepTooLong = false;
    bool destroyed = false;
    bool enteredWorkDir = true;  // the one network of the command line works in the current folder
};

bool NetworkSite::prepare(bool enterWorkDir, std::string& error) {
    enteredWorkDir = enterWorkDir;
    owned = CreateProgram(clock);
    Program& program = *owned;
    host.notice = [this](const std::string& text) { event(text); };
    host.phoneNumber = options.dialNumber;
    host.udpPassword = options.password;
    WindowProc(program, host, msg::create, 0, 0);

    if (!options.networkFile.empty()) {
        std::vector<std::string> warnings;
        if (!ReadNetworkFile(program, options.networkFile, error, warnings)) {
            error = "cannot read " + options.networkFile + ": " + error;
            return false;
        }
        // What the window shows in its warning box, one line each.
        for (const std::string& warning : warnings) event(warning);
    }
    if (options.link == MonitorLink::tcp || options.link == MonitorLink::udp) {
        if (!options.host.empty()) program.link.ipAddressText = options.host;
        if (!options.port.empty()) program.link.portText = options.port;
        if (program.link.ipAddressText.empty() || program.link.portText.empty()) {
            error = options.networkFile + " holds no IP ADDRESS and PORT NUMBER for --" + MonitorLinkName(options.link);
            return false;
        }
    }
    // As the window: reading a network file switches to sequential polling; --mode decides when given.
    if (options.hasMode) program.poll.pollMode = options.sequential ? 0 : 1;
    if (options.hasInterval) program.poll.pollInterval = static_cast<float>(options.intervalSeconds);
    program.display.alarmTimeSeconds = static_cast<float>(options.alarmTimeSeconds);
    // SIGHUP reads the file again after the work folder has become the current one.
    networkPath = options.networkFile;
    if (!networkPath.empty()) {
        std::error_code ignored;
        const auto absolute = std::filesystem::absolute(networkPath, ignored);
        if (!ignored) networkPath = absolute.string();
    }
    if (!options.workDir.empty()) {
        std::error_code problem;
        if (!enterWorkDir) std::filesystem::create_directories(options.workDir, problem);
        if (enterWorkDir && chdir(options.workDir.c_str()) != 0) problem.assign(errno, std::generic_category());
        if (problem) {
            error = "cannot use the work folder " + options.workDir + ": " + problem.message();
            return false;
        }
    }
    linkName = MonitorLinkName(options.link);
    publish(false, "connecting");
    return true;
}

void NetworkSite::publish(bool up, const std::string& state) {
    // Reuse the older snapshot unless a scrape still reads it.
    std::shared_ptr<MonitorSnapshot> next =
        spare && spare.use_count() == 1 ? std::move(spare) : std::make_shared<MonitorSnapshot>();
    counters.framesByType = frames.framesByType;
    errors.copyInto(counters);
    TakeSnapshot(*owned, EpochSeconds(), *next);
    next->linkName = linkName;
    next->linkUp = up;
    next->linkState = state;
    next->counters = counters;
    if (publishTo) publishTo(next);
    spare = std::move(published);
    published = std::move(next);
}

// A sweep longer than the alarm time puts radios in alarm between their replies.
void NetworkSite::checkSweep() {
    const SweepEstimate sweep = EstimateSweep(*owned);
    if (sweep.exceedsAlarmTime && !sweepTooLong) event("warning: " + SweepWarningText(sweep));
    sweepTooLong = sweep.exceedsAlarmTime;
}

// The file as at start; the link stays as it is (a new address counts from the next connect).
void NetworkSite::reload() {
    Program& program = *owned;
    if (networkPath.empty()) {
        event("SIGHUP: no network file to read again");
        return;
    }
    std::string problem;
    if (!ReadNetworkFile(program, networkPath, problem)) {
        event("SIGHUP: " + problem + "; the radios stay as they were");
        return;
    }
    if (!options.host.empty()) program.link.ipAddressText = options.host;
    if (!options.port.empty()) program.link.portText = options.port;
    if (options.hasMode) program.poll.pollMode = options.sequential ? 0 : 1;
    event("SIGHUP: read " + options.networkFile + " again: " + std::to_string(program.network.radioCount) + " radios");
    if (!problem.empty()) event("warning: " + problem);
    checkSweep();
}

// Closing as the window closes: the link first, then the last Current.log.
void NetworkSite::shutDown() {
    Program& program = *owned;
    if (!destroyed) WindowProc(program, host, msg::destroy, 0, 0);
    destroyed = true;
    StopProgram(program, host);
    program.log.lastLogMinute = -1;
    LoggingStep(program, &host);
    program.errors.observer = nullptr;
    program.frameObserver = nullptr;
    publish(false, "stopped");
}

int NetworkSite::run(bool liveTable) {
    Program& program = *owned;
    errors.fileFailed = [this](const std::string& text) { event(text); };
    errors.workFolder = &program.log.workFolder;
    program.frameObserver = &frames;
    program.errors.observer = &ErrorCounts::Record;
    program.errors.observerContext = &errors;
    StartProgram(program);
    // A network of a config file keeps its files in its own folder, not the current one.
    if (!enteredWorkDir) {
        program.log.workFolder = options.workDir;
        RemoveOrphanTemporaries(options.workDir);
    }

    LinkSupervisor supervisor(program, host, options);
    EventTracker tracker(kJournalPolicy);
    checkSweep();

    bool up = false;
    bool everUp = false;
    int attempt = 0;
    double retryAt = 0;
    std::string state = "connecting";
    const double start = SteadySeconds();
    double nextTick = start;
    double nextDraw = start;
    double nextErrorLine = start + 60;
    int64_t forgottenLogged = 0;  // radios forgotten, as far as the log has told
    double nextForgottenLine = start;
    int reloadsSeen = reloadGeneration.load();
    int exitCode = 0;
    host.whileWaiting = [&] {
        // A stop during the modem's answer (up to a minute) does not wait for it:
        // closing as the window does ends the dialling.
        if (stopRequested && !destroyed) {
            WindowProc(program, host, msg::destroy, 0, 0);
            destroyed = true;
        }
        publish(false, "dialling");
    };

    while (!stopRequested) {
        if (const int seen = reloadGeneration.load(); seen != reloadsSeen) {
            reloadsSeen = seen;
            reload();
        }
        const double now = SteadySeconds();
        if (options.durationSeconds > 0 && now - start >= options.durationSeconds) break;

        if (!up && now >= retryAt) {
            std::string reason;
            if (supervisor.open(reason)) {
                up = true;
                attempt = 0;
                if (everUp) ++counters.reconnects;
                everUp = true;
                state = "up";
                event("link " + linkName + " up");
            } else if (stopRequested) {
                break;
            } else {
                ++attempt;
                if (options.reconnectSeconds <= 0) {
                    event("link " + linkName + " down: " + reason + "; giving up");
                    exitCode = 3;
                    break;
                }
                const double delay = LinkSupervisor::RetryDelay(options.reconnectSeconds, attempt);
                retryAt = SteadySeconds() + delay;
                state = "down: " + reason;
                event("link " + linkName + " down: " + reason + "; next try in " + std::to_string(int(delay + 0.5)) +
                      " s");
            }
        }

        if (up) {
            WindowProc(program, host, msg::timer, 1, 0);
            std::string reason;
            if (supervisor.wentDown(frames.bytesSeen, SteadySeconds(), reason)) {
                supervisor.close();
                up = false;
                state = "down: " + reason;
                if (options.reconnectSeconds <= 0) {
                    event("link " + linkName + " down: " + reason + "; giving up");
                    exitCode = 3;
                    break;
                }
                attempt = 1;
                retryAt = SteadySeconds() + LinkSupervisor::RetryDelay(options.reconnectSeconds, attempt);
                event("link " + linkName + " down: " + reason + "; next try in " +
                      std::to_string(int(options.reconnectSeconds + 0.5)) + " s");
            }
        } else {
            // Current.log keeps its minute while the link is away.
            LoggingStep(program, &host);
        }

        checkSweep();
        publish(up, state);
        if (liveTable) {
            if (now >= nextDraw) {
                nextDraw = now + 1;
                std::string text = "\x1b[H\x1b[2J" + LiveTableText(*published, TerminalRows() - 4, true);
                std::fputs(text.c_str(), stdout);
                std::fflush(stdout);
            }
        } else {
            for (const std::string& line : tracker.changes(*published)) event(line);
            // A flood forgets radios by the thousand: one line at most every 10 s.
            if (published->radiosForgotten > forgottenLogged && now >= nextForgottenLine) {
                nextForgottenLine = now + 10;
                event(std::to_string(published->radiosForgotten - forgottenLogged) +
                      " radios heard on the air but never answering their own poll forgotten to make room in a "
                      "full table (last " +
                      std::to_string(published->lastForgottenSerial) + ", " +
                      std::to_string(published->radiosForgotten) + " in all)");
                forgottenLogged = published->radiosForgotten;
            }
            if (now >= nextErrorLine) {
                nextErrorLine = now + 60;
                event(EventTracker::ErrorSummary(*published));
            }
        }

        // Wait for the next 100 ms step, taking datagrams in as they come.
        nextTick += 0.1;
        for (;;) {
            const double left = nextTick - SteadySeconds();
            if (left <= 0 || stopRequested) break;
            const int fd = host.udpSocket();
            if (up && fd >= 0 && program.link.linkKind == kLinkUdp) {
                pollfd waiter{fd, POLLIN, 0};
                if (poll(&waiter, 1, static_cast<int>(left * 1000) + 1) > 0 && (waiter.revents & POLLIN))
                    WindowProc(program, host, msg::udpSocket, 0, 0);
            } else {
                usleep(static_cast<useconds_t>(left * 1e6));
            }
        }
        // A stalled machine does not make the ticks race to catch up.
        if (SteadySeconds() - nextTick > 1) nextTick = SteadySeconds();
    }
    shutDown();
    return exitCode;
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
    std::vector<std::string> names;
    std::vector<std::unique_ptr<NetworkSite>> sites;
    for (const MonitorOptions& network : fleet.networks) {
        names.push_back(network.networkName);
        sites.push_back(std::make_unique<NetworkSite>(network, fromFile ? network.networkName + ": " : ""));
        if (!sites.back()->prepare(!fromFile, error)) return Fail((fromFile ? network.networkName + ": " : "") + error);
    }

    // Each network publishes into its own; the exporter and the Modbus door read them.
    std::vector<std::shared_ptr<SnapshotCollectable>> published;
    for (size_t k = 0; k < sites.size(); ++k) {
        auto source = published.emplace_back(std::make_shared<SnapshotCollectable>());
        sites[k]->publishTo = [source](std::shared_ptr<const MonitorSnapshot> s) { source->publish(std::move(s)); };
    }
    // The one network of the command line is labelled when it is named.
    std::vector<std::string> labels = names;
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
        for (size_t k = 0; k < names.size(); ++k) {
            units.push_back([source = published[k]] { return source->current(); });
            if (fromFile)
                unitsText = (k == 0 ? "" : unitsText + ", ") + "unit " + std::to_string(k + 1) + " " + names[k];
        }
        if (!modbus.start(fleet.modbusAddress, fleet.modbusAllowed, std::move(units), error)) return Fail(error);
        std::string host, port;
        SplitHostPort(fleet.modbusAddress, host, port);
        Event("modbus at " + host + ":" + std::to_string(modbus.port()) + ", " + unitsText);
    }

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = OnReloadSignal;
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const bool terminal = isatty(STDOUT_FILENO) == 1;
    int exitCode = 0;
    if (!fromFile) {
        exitCode = sites[0]->run(terminal);
        if (!terminal || exitCode == 0) Event("stopped");
    } else {
        // Each network on its own thread: one that is down, dialling or flooded holds up no other.
        std::vector<int> codes(sites.size(), 0);
        {
            std::vector<std::jthread> threads;
            for (size_t k = 0; k < sites.size(); ++k) threads.emplace_back([&, k] { codes[k] = sites[k]->run(false); });
        }
        // Exit 3 only when every network gave its link up.
        exitCode = std::all_of(codes.begin(), codes.end(), [](int c) { return c == 3; }) ? 3 : 0;
        Event("stopped");
    }
    std::fflush(stdout);
    // The exporter's web server notices a stop only after its socket time-out (up
    // to 2 s). Its threads hold nothing that needs closing: the links are closed and
    // the logs written, so the process ends without waiting for them.
    std::_Exit(exitCode);
}
