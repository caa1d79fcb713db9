#include "monitor/site_monitor.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <span>

#include "engine/engine.h"
#include "files/file_safety.h"
#include "files/log_text.h"
#include "files/network_file.h"
#include "monitor/link_supervisor.h"
#include "monitor/metrics.h"
#include "monitor/monitor_snapshot.h"
#include "monitor/monitor_view.h"
#include "protocol/frame_assembler.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

double SteadySeconds() { return std::chrono::duration<double>(SteadyClock::now().time_since_epoch()).count(); }

double EpochSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Rows of the terminal, 24 when it does not say.
int TerminalRows() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 6) return size.ws_row;
    return 24;
}

// The journal hears of an alarm change once it has lasted 30 s; changes are written
// every 10 s, as one summary line when there are more than 20 (a sweep longer than
// the alarm time flips most radios in and out of alarm).
constexpr EventPolicy kJournalPolicy{30, 10, 20};

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

}  // namespace

// The engine's listener and questions, the counters and the journal state of one site.
class SiteMonitor::Parts : public EngineListener, public EngineQuestions {
public:
    Parts(SiteMonitor& site, Engine& engine)
        : site(site), engine(engine), program(engine.program()), supervisor(site.settings.options) {}

    void journal(LogLevel level, const std::string& text) { site.settings.journal(level, text); }

    // Faults and link failures come from link threads too.
    void faultRecorded(ProtocolError::Kind kind, int code, int value) override {
        {
            std::lock_guard<std::mutex> hold(errorsLock);
            CountErrorRecord(errorCounts, kind, code, value);
        }
        // Files are written on the site's thread; say which and why.
        if (kind != ProtocolError::Kind::Failure) return;
        if (value == logtext::kSnapshotFileError)
            journal(LogLevel::error, "cannot write " + WorkPath(program.log.workFolder, "Current.log") + ": " + std::strerror(code));
        else if (const char* file = logtext::FileWriteKind(value))
            journal(LogLevel::error, std::string("cannot write a ") + file + " file: " + std::strerror(code));
    }

    // The questions a dial-up asks: answered from the options, the boxes journalled.
    bool redial(const std::string& title) override {
        journal(LogLevel::warning, "modem: " + title);  // a busy line is retried by the reconnect below
        return false;
    }
    void waiting() override {
        // A stop during the modem's answer (up to a minute) does not wait for it.
        if (stopFlag != nullptr && stopFlag->load()) program.link.windowClosing = true;
        publish(false, "dialling");
    }
    void notice(const std::string& text, const std::string& title) override {
        journal(LogLevel::warning, title + " " + text);
    }
    void remoteWriteFailed(const std::string& text, const std::string& title) override {
        journal(LogLevel::warning, title + " " + text);
    }

    void publish(bool up, const std::string& state);
    void checkSweep();
    void reload();
    void down(const std::string& reason, bool& gaveUp);
    void connect(bool& gaveUp);
    bool step(bool& gaveUp);
    void journalChanges(double now);
    void finish(int code);

    SiteMonitor& site;
    Engine& engine;
    Program& program;
    LinkSupervisor supervisor;
    FrameCounter frames;
    std::mutex errorsLock;
    MonitorCounters errorCounts;
    MonitorCounters counters;
    EventTracker tracker{kJournalPolicy};
    PollWatch pollWatch;
    // The fault summary only when it changed, at most once a minute.
    ChangedSummary errorLines{EventTracker::ErrorSummary(MonitorSnapshot{}), 60};
    std::string networkPath;
    std::shared_ptr<MonitorSnapshot> published = std::make_shared<MonitorSnapshot>();
    std::shared_ptr<MonitorSnapshot> spare;
    const std::atomic<bool>* stopFlag = nullptr;
    bool sweepTooLong = false;
    bool up = false;
    bool everUp = false;
    int attempt = 0;
    double retryAt = 0;
    std::string state = "connecting";
    double start = 0, nextTick = 0, nextDraw = 0, nextForgottenLine = 0;
    int64_t forgottenLogged = 0;  // radios forgotten, as far as the log has told
};

void SiteMonitor::Parts::publish(bool linkUp, const std::string& linkState) {
    // Reuse the older snapshot unless a scrape still reads it.
    std::shared_ptr<MonitorSnapshot> next =
        spare && spare.use_count() == 1 ? std::move(spare) : std::make_shared<MonitorSnapshot>();
    counters.framesByType = frames.framesByType;
    {
        std::lock_guard<std::mutex> hold(errorsLock);
        counters.errorsByCode = errorCounts.errorsByCode;
        counters.fileWriteFailures = errorCounts.fileWriteFailures;
        counters.linkFailures = errorCounts.linkFailures;
    }
    pollWatch.observe(program, SteadySeconds());
    TakeSnapshot(program, EpochSeconds(), *next, &pollWatch);
    next->networkName = site.settings.options.networkName;
    next->linkName = MonitorLinkName(site.settings.options.link);
    next->linkUp = linkUp;
    next->linkState = linkState;
    next->counters = counters;
    if (site.settings.board) site.settings.board->publish(site.settings.boardIndex, next);
    spare = std::move(published);
    published = std::move(next);
}

// A sweep longer than the alarm time puts radios in alarm between their replies.
void SiteMonitor::Parts::checkSweep() {
    const SweepEstimate sweep = EstimateSweep(program);
    if (sweep.exceedsAlarmTime && !sweepTooLong) journal(LogLevel::warning, SweepWarningText(sweep));
    sweepTooLong = sweep.exceedsAlarmTime;
}

// The file as at start; the link stays as it is (a new address counts from the next connect).
void SiteMonitor::Parts::reload() {
    const MonitorOptions& options = site.settings.options;
    if (networkPath.empty()) {
        journal(LogLevel::warning, "SIGHUP: no network file to read again");
        return;
    }
    std::string problem;
    if (!ReadNetworkFile(program, networkPath, problem)) {
        journal(LogLevel::warning, "SIGHUP: " + problem + "; the radios stay as they were");
        return;
    }
    if (!options.host.empty()) program.link.ipAddressText = options.host;
    if (!options.port.empty()) program.link.portText = options.port;
    if (options.hasMode)
        program.poll.pollMode = PollPhase::polling(options.sequential ? PollOrder::sequential : PollOrder::random);
    journal(LogLevel::info, "SIGHUP: read " + options.networkFile + " again: " + std::to_string(program.network.radioCount) +
            " radios");
    if (!problem.empty()) journal(LogLevel::warning, problem);
    checkSweep();
}

// The link would not come up or went down: the next try after the back-off, or giving up.
void SiteMonitor::Parts::down(const std::string& reason, bool& gaveUp) {
    const MonitorOptions& options = site.settings.options;
    const std::string linkName = MonitorLinkName(options.link);
    state = "down: " + reason;
    ++attempt;
    if (options.reconnectSeconds <= 0) {
        journal(LogLevel::error, "link " + linkName + " down: " + reason + "; giving up");
        gaveUp = true;
        return;
    }
    const double delay = LinkSupervisor::RetryDelay(options.reconnectSeconds, attempt);
    retryAt = SteadySeconds() + delay;
    journal(LogLevel::warning, "link " + linkName + " down: " + reason + "; next try in " + std::to_string(int(delay + 0.5)) + " s");
}

void SiteMonitor::Parts::connect(bool& gaveUp) {
    std::string reason;
    LinkResult result;
    if (!supervisor.open(engine, reason, result)) {
        if (stopFlag->load()) return;  // a stop ended a dial-up wait: no retry to announce
        // The window's box, as a line.
        const MonitorLink kind = site.settings.options.link;
        if ((kind == MonitorLink::serial || kind == MonitorLink::dialup) && !result.cancelled &&
            !result.sentence.empty())
            journal(LogLevel::warning, "Error! " + result.sentence);
        down(reason, gaveUp);
        return;
    }
    up = true;
    attempt = 0;
    if (everUp) ++counters.reconnects;
    everUp = true;
    state = "up";
    journal(LogLevel::info, "link " + std::string(MonitorLinkName(site.settings.options.link)) + " up");
}

bool SiteMonitor::Parts::step(bool& gaveUp) {
    if (!up && SteadySeconds() >= retryAt) connect(gaveUp);
    if (gaveUp || stopFlag->load()) return false;

    engine.tick();
    std::string reason;
    if (up && supervisor.wentDown(engine, frames.bytesSeen, SteadySeconds(), reason)) {
        engine.close(reason);
        up = false;
        down(reason, gaveUp);
        if (gaveUp) return false;
    }
    checkSweep();
    publish(up, state);
    journalChanges(SteadySeconds());
    return true;
}

void SiteMonitor::Parts::journalChanges(double now) {
    if (site.settings.terminal) {
        if (now >= nextDraw) {
            nextDraw = now + 1;
            std::string text = "\x1b[H\x1b[2J" + LiveTableText(*published, TerminalRows() - 4, true);
            std::fputs(text.c_str(), stdout);
            std::fflush(stdout);
        }
        return;
    }
    for (const std::string& line : tracker.changes(*published)) journal(LevelOfChange(line), line);
    // A flood forgets radios by the thousand: one line at most every 10 s.
    if (published->radiosForgotten > forgottenLogged && now >= nextForgottenLine) {
        nextForgottenLine = now + 10;
        journal(LogLevel::warning, std::to_string(published->radiosForgotten - forgottenLogged) +
                " radios heard on the air but never answering their own poll forgotten to make room in a "
                "full table (last " +
                std::to_string(published->lastForgottenSerial) + ", " + std::to_string(published->radiosForgotten) +
                " in all)");
        forgottenLogged = published->radiosForgotten;
    }
    if (const std::string summary = EventTracker::ErrorSummary(*published); errorLines.take(summary, now))
        journal(LogLevel::warning, summary);
}

// Closing as the window closes: the link first, then the last Current.log.
void SiteMonitor::Parts::finish(int code) {
    engine.stop();
    program.frameObserver = nullptr;
    publish(false, "stopped");
    if (!site.settings.terminal || code == 0) journal(code == 0 ? LogLevel::info : LogLevel::error, "stopped");
}

SiteMonitor::SiteMonitor(Settings given)
    : settings(std::move(given)),
      engineOwned(std::make_unique<Engine>(clock)),
      parts(std::make_unique<Parts>(*this, *engineOwned)) {
    engineOwned->subscribe(*parts);
    engineOwned->setQuestions(parts.get());
}

SiteMonitor::~SiteMonitor() = default;

std::shared_ptr<const MonitorSnapshot> SiteMonitor::snapshot() const { return parts->published; }

bool SiteMonitor::prepare(std::string& error) {
    const MonitorOptions& options = settings.options;
    Program& program = engineOwned->program();
    if (!options.networkFile.empty()) {
        std::vector<std::string> warnings;
        if (!ReadNetworkFile(program, options.networkFile, error, warnings)) {
            error = "cannot read " + options.networkFile + ": " + error;
            return false;
        }
        // What the window shows in its warning box, one line each.
        for (const std::string& warning : warnings) settings.journal(LogLevel::warning, warning);
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
    if (options.hasMode)
        program.poll.pollMode = PollPhase::polling(options.sequential ? PollOrder::sequential : PollOrder::random);
    if (options.hasInterval) program.poll.pollInterval = static_cast<float>(options.intervalSeconds);
    program.display.alarmTimeSeconds = static_cast<float>(options.alarmTimeSeconds);
    // SIGHUP reads the file again after the work folder has become the current one.
    parts->networkPath = options.networkFile;
    if (!parts->networkPath.empty()) {
        std::error_code ignored;
        const auto absolute = std::filesystem::absolute(parts->networkPath, ignored);
        if (!ignored) parts->networkPath = absolute.string();
    }
    return true;
}

int SiteMonitor::run(const std::atomic<bool>& stop) {
    Parts& p = *parts;
    Program& program = engineOwned->program();
    p.stopFlag = &stop;
    program.frameObserver = &p.frames;
    engineOwned->start(settings.workFolder);
    p.checkSweep();

    p.start = SteadySeconds();
    p.nextTick = p.nextDraw = p.start;
    p.nextForgottenLine = p.start;
    int exitCode = 0;
    while (!stop) {
        if (reloadRequested.exchange(false)) p.reload();
        const double now = SteadySeconds();
        if (settings.options.durationSeconds > 0 && now - p.start >= settings.options.durationSeconds) break;
        bool gaveUp = false;
        if (!p.step(gaveUp)) {
            if (gaveUp) exitCode = 3;
            if (gaveUp || stop) break;
        }

        // Wait for the next 100 ms step, taking datagrams in as they come.
        p.nextTick += 0.1;
        for (;;) {
            const double left = p.nextTick - SteadySeconds();
            if (left <= 0 || stop) break;
            const int fd = engineOwned->udpSocket();
            if (p.up && fd >= 0) {
                pollfd waiter{fd, POLLIN, 0};
                if (poll(&waiter, 1, static_cast<int>(left * 1000) + 1) > 0 && (waiter.revents & POLLIN))
                    engineOwned->takeDatagram();
            } else {
                usleep(static_cast<useconds_t>(left * 1e6));
            }
        }
        // A stalled machine does not make the ticks race to catch up.
        if (SteadySeconds() - p.nextTick > 1) p.nextTick = SteadySeconds();
    }
    p.finish(exitCode);
    return exitCode;
}
