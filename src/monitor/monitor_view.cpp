#include "monitor/monitor_view.h"

#include <algorithm>
#include <cstdio>

#include "text/format_number.h"

namespace {

// The serial, and the name when the network file gave one.
std::string Identity(const RadioSnapshot& r) {
    std::string name = TrimmedName(r.name);
    if (name == "NewRadio") name.clear();
    char text[48];
    std::snprintf(text, sizeof text, "%8u %s", r.serial, name.c_str());
    // Padded by characters, not bytes, so the columns stay with any name.
    return text + std::string(8 - std::min<size_t>(8, Utf8Length(name)), ' ');
}

std::string AgeText(double seconds) {
    char text[16];
    if (seconds < 0) seconds = 0;
    if (seconds < 100)
        std::snprintf(text, sizeof text, "%ds", static_cast<int>(seconds));
    else if (seconds < 6000)
        std::snprintf(text, sizeof text, "%dm", static_cast<int>(seconds / 60));
    else
        std::snprintf(text, sizeof text, "%dh", static_cast<int>(seconds / 3600));
    return text;
}

}  // namespace

std::string AlarmRuleText(uint8_t rules) {
    std::string out;
    auto add = [&](const char* text) { out += (out.empty() ? "" : ", ") + std::string(text); };
    if (rules & kAlarmGoodPackets) add("good packets below 75 %");
    if (rules & kAlarmFrequency) add("frequency beyond 5.0 ppm");
    if (rules & kAlarmReplyAge) add("no reply within the alarm time");
    return out;
}

std::string LiveTableText(const MonitorSnapshot& s, int maxRows, bool colour) {
    std::string out;
    char line[256];
    const int64_t errors = [&] {
        int64_t n = 0;
        for (const auto& [code, count] : s.counters.errorsByCode) n += count;
        return n;
    }();
    std::snprintf(line, sizeof line, "link %s %s   radios %zu   requests %lld   reconnects %lld   errors %lld\n",
                  s.linkName.c_str(), s.linkState.c_str(), s.radios.size(), static_cast<long long>(s.requestsSent),
                  static_cast<long long>(s.counters.reconnects), static_cast<long long>(errors));
    out += line;
    out += EventTracker::ErrorSummary(s) + "\n";
    out += "     Radio          Fn   Sig Nse    %   ppm     km  Dis Poll%   Age\n";
    int rows = 0;
    for (const RadioSnapshot& r : s.radios) {
        if (rows++ >= maxRows) {
            out += "  ... " + std::to_string(s.radios.size() - static_cast<size_t>(maxRows)) + " more\n";
            break;
        }
        const std::string id = Identity(r);
        const std::string fn = FnText(r.repeaterNumber);
        if (!r.replied) {
            std::snprintf(line, sizeof line, "  %s %-4s\n", id.c_str(), fn.c_str());
            out += line;
            continue;
        }
        // The same masks as the window's columns.
        const std::string values = FormatNumber(r.signal, "* ###") + FormatNumber(r.noise, "* ###") +
                                   FormatNumber(r.goodRatio * 100, "* ####") + FormatNumber(r.ppm, "* ##.0") +
                                   FormatNumber(r.km, "* ###.0") + FormatNumber(r.disconnects, "* ###") +
                                   FormatNumber(r.pollRatio * 100, "* #####");
        std::snprintf(line, sizeof line, "%s%c %s %-4s%s %5s%s\n", r.alarm && colour ? "\x1b[31m" : "",
                      r.alarm ? '!' : ' ', id.c_str(), fn.c_str(), values.c_str(), AgeText(r.ageSeconds).c_str(),
                      r.alarm && colour ? "\x1b[0m" : "");
        out += line;
    }
    return out;
}

std::string EventTracker::ErrorSummary(const MonitorSnapshot& s) {
    if (s.counters.errorsByCode.empty()) return "errors: none";
    std::string out = "errors:";
    for (const auto& [code, count] : s.counters.errorsByCode)
        out += " " + std::to_string(code) + "=" + std::to_string(count);
    return out;
}

std::vector<std::string> EventTracker::changes(const MonitorSnapshot& s) {
    std::vector<std::string> out;
    // Words only for the radios that changed: this runs after every tick.
    auto who = [](const RadioSnapshot& r) {
        return "radio " + std::to_string(r.serial) + (r.sharedSerial ? " in slot " + std::to_string(r.slot) : "") +
               " (" + FnText(r.repeaterNumber) + " " + TrimmedName(r.name) + ")";
    };
    const double now = s.nowEpochSeconds;
    std::vector<std::string> added;
    std::map<uint32_t, int> copies;  // only serials in several slots
    size_t inAlarm = 0;
    for (const RadioSnapshot& r : s.radios) {
        inAlarm += r.alarmRules != 0 ? 1 : 0;
        const int copy = r.sharedSerial ? copies[r.serial]++ : 0;
        auto [it, isNew] = radios.try_emplace({r.serial, copy});
        Tracked& t = it->second;
        if (isNew) {
            added.push_back(who(r) + " added");
            t.since = now;
        }
        const uint8_t state = r.alarmRules;
        if (state == t.reported) {
            t.candidate = state;
            continue;
        }
        if (isNew || state != t.candidate) {
            t.candidate = state;
            t.since = now;
        }
        // A clock set back restarts the hold rather than ending it.
        if (now < t.since) t.since = now;
        if (now - t.since < policy.holdSeconds) continue;
        if (pending.empty()) pendingSince = now;
        if (const uint8_t raised = static_cast<uint8_t>(state & ~t.reported))
            pending.push_back({who(r) + " alarm raised: " + AlarmRuleText(raised), true, false});
        if (const uint8_t cleared = static_cast<uint8_t>(t.reported & ~state))
            pending.push_back({who(r) + " alarm cleared: " + AlarmRuleText(cleared), false, true});
        t.reported = state;
    }
    if (added.size() > policy.summaryAbove)
        out.push_back(std::to_string(added.size()) + " radios added");
    else
        out.insert(out.end(), added.begin(), added.end());

    if (pending.empty() || (now >= pendingSince && now - pendingSince < policy.gatherSeconds)) return out;
    if (pending.size() > policy.summaryAbove) {
        size_t raised = 0, cleared = 0;
        for (const Change& c : pending) {
            raised += c.raised ? 1 : 0;
            cleared += c.cleared ? 1 : 0;
        }
        out.push_back("alarms: " + std::to_string(raised) + " raised, " + std::to_string(cleared) + " cleared; " +
                      std::to_string(inAlarm) + " of " + std::to_string(s.radios.size()) + " radios in alarm");
    } else {
        for (Change& c : pending) out.push_back(std::move(c.line));
    }
    pending.clear();
    return out;
}
