#include "monitor/monitor_view.h"

#include <cstdio>

#include "text/format_number.h"

namespace {

// The serial, and the name when the network file gave one.
std::string Identity(const RadioSnapshot& r) {
    std::string name = TrimmedName(r.name);
    if (name == "NewRadio") name.clear();
    char text[32];
    std::snprintf(text, sizeof text, "%8u %-8s", r.serial, name.c_str());
    return text;
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
        return "radio " + std::to_string(r.serial) + " (" + FnText(r.repeaterNumber) + " " + TrimmedName(r.name) + ")";
    };
    for (const RadioSnapshot& r : s.radios) {
        auto [it, added] = alarms.try_emplace(r.serial, 0);
        if (added) out.push_back(who(r) + " added");
        const uint8_t before = it->second;
        const uint8_t now = r.alarmRules;
        if (before == now) continue;
        if (const uint8_t raised = static_cast<uint8_t>(now & ~before))
            out.push_back(who(r) + " alarm raised: " + AlarmRuleText(raised));
        if (const uint8_t cleared = static_cast<uint8_t>(before & ~now))
            out.push_back(who(r) + " alarm cleared: " + AlarmRuleText(cleared));
        it->second = now;
    }
    return out;
}
