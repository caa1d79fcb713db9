#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "monitor/monitor_options.h"
#include "platform/clock.h"

class Engine;
class SnapshotCollectable;
struct MonitorSnapshot;

// One network watched without a window: its engine, the link's supervision (open,
// reconnect with back-off, give up), the snapshot the scrapes and the Modbus door
// read, and the journal lines. Several run in one process, each on its own thread.
class SiteMonitor {
public:
    struct Settings {
        MonitorOptions options;
        // Where this network's files go; empty: the current directory at start.
        std::string workFolder;
        // Every line for the journal, without the time stamp.
        std::function<void(const std::string&)> journal = [](const std::string&) {};
        // Draw the live table on the terminal once a second instead of journalling changes.
        bool terminal = false;
        // Where snapshots are published (may be null).
        std::shared_ptr<SnapshotCollectable> collectable;
    };

    explicit SiteMonitor(Settings settings);
    ~SiteMonitor();
    SiteMonitor(const SiteMonitor&) = delete;
    SiteMonitor& operator=(const SiteMonitor&) = delete;

    // Reads the network file and applies the options; false with the reason.
    bool prepare(std::string& error);
    // Polls until `stop` is set or the duration is over; then closes the link and
    // writes the last Current.log. Returns 0, or 3 when the link gave up.
    int run(const std::atomic<bool>& stop);
    // Reads the network file again before the next step (SIGHUP); any thread.
    void requestReload() { reloadRequested = true; }

    // The engine (state for tests and the shell).
    const Engine& engine() const { return *engineOwned; }
    // The last snapshot published.
    std::shared_ptr<const MonitorSnapshot> snapshot() const;

private:
    class Parts;
    Settings settings;
    SystemClock clock;
    std::unique_ptr<Engine> engineOwned;
    std::unique_ptr<Parts> parts;
    std::atomic<bool> reloadRequested{false};
};
