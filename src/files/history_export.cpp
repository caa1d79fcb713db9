#include "files/history_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "model/derived_values.h"
#include "model/radio_network.h"
#include "platform/ids.h"

namespace {

constexpr const char* kLineEnd = "\r\n";

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::string IsoTime(int64_t secondsSinceEpoch) {
    int64_t days = secondsSinceEpoch / 86400;
    int64_t rest = secondsSinceEpoch % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days (inverse of DaysFromCivil).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", static_cast<long long>(y),
                  static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

// The run's start ("mm-dd-yyyy", "hh:mm:ss") as seconds since 1970 in local time.
bool RunStart(const RadioNetwork& network, int64_t& seconds) {
    int month, day, year, hour, minute, second;
    char tail;
    if (std::sscanf(network.runStartDate.c_str(), "%2d-%2d-%4d%c", &month, &day, &year, &tail) != 3 ||
        std::sscanf(network.runStartTime.c_str(), "%2d:%2d:%2d%c", &hour, &minute, &second, &tail) != 3)
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

// Shortest text that reads back as the same double.
std::string Number(double v) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

double IntervalSeconds(const HistoryRow& row, int s) {
    const double dt = row.samples[static_cast<size_t>(s) + 1].time - row.samples[static_cast<size_t>(s)].time;
    return dt == 0 ? 1 : dt;
}

// Rates in kB/s as Graphics3 draws them (its staircases are in tens of bytes per second).
std::string DataRate(const HistoryRow& row, int s, int count) {
    if (s >= count) return "";
    return Number(std::round(row.samples[static_cast<size_t>(s)].dataBytes / IntervalSeconds(row, s) / 10.0) / 100.0);
}

std::string BadPacketRate(const HistoryRow& row, int s, int count) {
    if (s < 2 || s >= count) return "";
    const HistorySample& sample = row.samples[static_cast<size_t>(s)];
    const double dt = std::min(IntervalSeconds(row, s), 400.0);
    const double rate = std::round(sample.dataBytes / dt / 10.0);
    const double packets = static_cast<double>(sample.goodCount) + sample.badCount + 1.0;
    return Number(rate * sample.badCount / packets / 100.0);
}

}  // namespace

bool HistoryCsvText(const RadioNetwork& network, int radio, int graph, std::string& csv, std::string& error) {
    int64_t start = 0;
    if (!RunStart(network, start)) {
        error = "the run's start time \"" + network.runStartDate + " " + network.runStartTime + "\" is unreadable";
        return false;
    }
    csv = graph == screen::graphics3 ? std::string("time,signal level,noise level,") + (radio == 0 ? "error %" : "receive %") +
                           ",data rate kB/s,bad packets kB/s"
                     : "time,voltage V,temperature C,frequency offset ppm";
    csv += kLineEnd;
    if (radio < 0 || radio >= kHistoryRows || radio >= kRadioSlots) return true;  // no history kept

    const HistoryRow& row = network.history[static_cast<size_t>(radio)];
    const int count = std::clamp(row.historyCount, 0, kHistorySamples);
    const double fullScale = FullScaleVolts(network.radios[static_cast<size_t>(radio)].serialNumber);
    for (int s = 1; s <= count; ++s) {
        const HistorySample& v = row.samples[static_cast<size_t>(s)];
        csv += IsoTime(start + v.time);
        if (graph == screen::graphics3) {
            csv += "," + Number(v.signal) + "," + Number(v.noise) + "," + Number(v.goodPackets / 2.56) + "," +
                   DataRate(row, s, count) + "," + BadPacketRate(row, s, count);
        } else {
            csv += "," + Number(fullScale * v.voltageRaw / 255.0) + "," + Number(TemperatureFromRaw(v.temperatureRaw)) +
                   "," + (s > 4 ? Number(FreqPpm(v.freqCode)) : "");
        }
        csv += kLineEnd;
    }
    return true;
}
