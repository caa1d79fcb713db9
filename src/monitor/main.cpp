// corvane-monitor: the program's engine without a window, for unattended sites.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>

#include <prometheus/exposer.h>

#include "app/window_proc.h"
#include "files/file_safety.h"
#include "files/log_files.h"
#include "files/log_text.h"
#include "files/network_file.h"
#include "link/links.h"
#include "model/program.h"
#include "monitor/headless_host.h"
#include "monitor/link_supervisor.h"
#include "monitor/metrics.h"
#include "monitor/monitor_options.h"
#include "monitor/monitor_view.h"
#include "protocol/frame_assembler.h"

namespace {

std::atomic<bool> stopRequested{false};

void OnStopSignal(int) { stopRequested = true; }

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

    static void Record(void* self, ProtocolError::Kind kind, int code, int value) {
        auto* errors = static_cast<ErrorCounts*>(self);
        {
            std::lock_guard<std::mutex> hold(errors->lock);
            CountErrorRecord(errors->counts, kind, code, value);
        }
        // Files are written on the main thread; say which and why.
        if (kind != ProtocolError::Kind::Failure) return;
        if (value == logtext::kSnapshotFileError)
            errors->fileFailed("cannot write " + WorkPath("Current.log") + ": " + std::strerror(code));
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

    SystemClock clock;
    std::unique_ptr<Program> owned = CreateProgram(clock);
    Program& program = *owned;
    HeadlessHost host;
    host.notice = [](const std::string& text) { Event(text); };
    host.phoneNumber = options.dialNumber;
    host.udpPassword = options.password;
    WindowProc(program, host, msg::create, 0, 0);

    if (!options.networkFile.empty() && !ReadNetworkFile(program, options.networkFile, error))
        return Fail("cannot read " + options.networkFile + ": " + error);
    if (options.link == MonitorLink::tcp || options.link == MonitorLink::udp) {
        if (!options.host.empty()) program.link.ipAddressText = options.host;
        if (!options.port.empty()) program.link.portText = options.port;
        if (program.link.ipAddressText.empty() || program.link.portText.empty())
            return Fail(options.networkFile + " holds no IP ADDRESS and PORT NUMBER for --" + MonitorLinkName(options.link));
    }
    program.poll.pollMode = options.sequential ? 0 : 1;
    if (options.hasInterval) program.poll.pollInterval = static_cast<float>(options.intervalSeconds);
    program.display.alarmTimeSeconds = static_cast<float>(options.alarmTimeSeconds);

    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0)
        return Fail("cannot use the work folder " + options.workDir + ": " + std::strerror(errno));

    auto collectable = std::make_shared<SnapshotCollectable>();
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

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    FrameCounter frames;
    ErrorCounts errors;
    errors.fileFailed = [](const std::string& text) { Event(text); };
    program.frameObserver = &frames;
    program.errors.observer = &ErrorCounts::Record;
    program.errors.observerContext = &errors;
    StartProgram(program);

    const bool terminal = isatty(STDOUT_FILENO) == 1;
    LinkSupervisor supervisor(program, host, options);
    EventTracker tracker;
    MonitorCounters counters;
    const std::string linkName = MonitorLinkName(options.link);

    auto published = std::make_shared<MonitorSnapshot>();
    std::shared_ptr<MonitorSnapshot> spare;
    auto publish = [&](bool up, const std::string& state) {
        // Reuse the older snapshot unless a scrape still reads it.
        std::shared_ptr<MonitorSnapshot> next =
            spare && spare.use_count() == 1 ? std::move(spare) : std::make_shared<MonitorSnapshot>();
        counters.framesByType = frames.framesByType;
        errors.copyInto(counters);
        TakeSnapshot(program, EpochSeconds(), *next);
        next->linkName = linkName;
        next->linkUp = up;
        next->linkState = state;
        next->counters = counters;
        collectable->publish(next);
        spare = std::move(published);
        published = std::move(next);
    };

    bool up = false;
    bool everUp = false;
    int attempt = 0;
    double retryAt = 0;
    std::string state = "connecting";
    const double start = SteadySeconds();
    double nextTick = start;
    double nextDraw = start;
    double nextErrorLine = start + 60;
    int exitCode = 0;
    // Closing as the window closes: the link first, then the last Current.log.
    auto shutDown = [&](int code) {
        WindowProc(program, host, msg::destroy, 0, 0);
        StopProgram(program, host);
        program.log.lastLogMinute = -1;
        LoggingStep(program, &host);
        program.errors.observer = nullptr;
        program.frameObserver = nullptr;
        publish(false, "stopped");
        if (!terminal || code == 0) Event("stopped");
        std::fflush(stdout);
        // The exporter's web server notices a stop only after its socket time-out (up
        // to 2 s). Its threads hold nothing that needs closing: the link is closed and
        // the log written, so the process ends without waiting for them.
        std::_Exit(code);
    };
    host.whileWaiting = [&] {
        // A stop during the modem's answer (up to a minute) does not wait for it.
        if (stopRequested) shutDown(0);
        publish(false, "dialling");
    };

    while (!stopRequested) {
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
                Event("link " + linkName + " up");
            } else {
                ++attempt;
                if (options.reconnectSeconds <= 0) {
                    Event("link " + linkName + " down: " + reason + "; giving up");
                    exitCode = 3;
                    break;
                }
                const double delay = LinkSupervisor::RetryDelay(options.reconnectSeconds, attempt);
                retryAt = SteadySeconds() + delay;
                state = "down: " + reason;
                Event("link " + linkName + " down: " + reason + "; next try in " + std::to_string(int(delay + 0.5)) + " s");
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
                    Event("link " + linkName + " down: " + reason + "; giving up");
                    exitCode = 3;
                    break;
                }
                attempt = 1;
                retryAt = SteadySeconds() + LinkSupervisor::RetryDelay(options.reconnectSeconds, attempt);
                Event("link " + linkName + " down: " + reason + "; next try in " +
                      std::to_string(int(options.reconnectSeconds + 0.5)) + " s");
            }
        } else {
            // Current.log keeps its minute while the link is away.
            LoggingStep(program, &host);
        }

        publish(up, state);
        if (terminal) {
            if (now >= nextDraw) {
                nextDraw = now + 1;
                std::string text = "\x1b[H\x1b[2J" + LiveTableText(*published, TerminalRows() - 4, true);
                std::fputs(text.c_str(), stdout);
                std::fflush(stdout);
            }
        } else {
            for (const std::string& line : tracker.changes(*published)) Event(line);
            if (now >= nextErrorLine) {
                nextErrorLine = now + 60;
                Event(EventTracker::ErrorSummary(*published));
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

    shutDown(exitCode);
}
