#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "monitor/monitor_snapshot.h"

// The compact live table for a terminal: link state and error counts on top, one
// row per radio (serial and name); alarm rows marked with '!' (and red when `colour`).
std::string LiveTableText(const MonitorSnapshot& snapshot, int maxRows, bool colour);

// Turns successive snapshots into one line per event, for a log or the journal:
// radios added, alarms raised and cleared with the rule that fired.
class EventTracker {
public:
    std::vector<std::string> changes(const MonitorSnapshot& snapshot);
    // Protocol error counts, "errors: 22=3 104=1" (or "errors: none"), for the once-a-minute line.
    static std::string ErrorSummary(const MonitorSnapshot& snapshot);

private:
    std::map<uint32_t, uint8_t> alarms;  // by serial; radios seen so far
};

// The names of the rules in `rules`, e.g. "good packets below 75 %".
std::string AlarmRuleText(uint8_t rules);
