#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "monitor/monitor_snapshot.h"

// The compact live table for a terminal: link state and error counts on top, one
// row per radio (serial and name); alarm rows marked with '!' (and red when `colour`).
std::string LiveTableText(const MonitorSnapshot& snapshot, int maxRows, bool colour);

// How eagerly alarm changes reach the journal. The default reports every change at once.
struct EventPolicy {
    double holdSeconds = 0;          // a radio's new alarm state must last this long to be logged
    double gatherSeconds = 0;        // changes are collected this long before they are written
    size_t summaryAbove = SIZE_MAX;  // more changes than this in one go: one summary line
};

// Turns successive snapshots into one line per event, for a log or the journal:
// radios added, alarms raised and cleared with the rule that fired.
class EventTracker {
public:
    EventTracker() = default;
    explicit EventTracker(const EventPolicy& policy) : policy(policy) {}
    // The snapshot's nowEpochSeconds is the time the hold and the gathering count in.
    std::vector<std::string> changes(const MonitorSnapshot& snapshot);
    // Protocol error counts, "errors: 22=3 104=1" (or "errors: none"), for the once-a-minute line.
    static std::string ErrorSummary(const MonitorSnapshot& snapshot);

private:
    struct Tracked {
        uint8_t reported = 0;   // the alarm rules the journal last said
        uint8_t candidate = 0;  // a different state, waiting out the hold
        double since = 0;
    };
    struct Change {
        std::string line;
        bool raised = false;
        bool cleared = false;
    };
    EventPolicy policy;
    // By serial and, for a serial in several slots, which of them (first, second, ...).
    std::map<std::pair<uint32_t, int>, Tracked> radios;
    std::vector<Change> pending;
    double pendingSince = 0;
};

// The names of the rules in `rules`, e.g. "good packets below 75 %".
std::string AlarmRuleText(uint8_t rules);
