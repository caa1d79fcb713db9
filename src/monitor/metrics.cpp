#include "monitor/metrics.h"

#include <cstdio>
#include <string>

#include "files/log_text.h"
#include "monitor/monitor_snapshot.h"

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

namespace {

std::string Hex2(int n) {
    char text[3];
    std::snprintf(text, sizeof text, "%02x", n & 0xFF);
    return text;
}

MetricFamily Family(const char* name, const char* help, MetricType type) {
    MetricFamily f;
    f.name = name;
    f.help = help;
    f.type = type;
    return f;
}

void Add(MetricFamily& family, std::vector<ClientMetric::Label> labels, double value) {
    ClientMetric m;
    m.label = std::move(labels);
    if (family.type == MetricType::Counter)
        m.counter.value = value;
    else
        m.gauge.value = value;
    family.metric.push_back(std::move(m));
}

void AddOne(std::vector<MetricFamily>& out, const char* name, const char* help, MetricType type, double value) {
    out.push_back(Family(name, help, type));
    Add(out.back(), {}, value);
}

const char* LinkWhere(int code, int where) {
    if (code == 325) return "udp foreign sender";  // recorded with the sender as its value
    switch (where) {
        case 301: return "serial read";
        case 302: return "serial write";
        case 303: return "serial configure";
        case 311: return "tcp connect";
        case 312: return "tcp receive";
        case 313: return "tcp send";
        case 314: return "tcp close";
        case 321: return "udp open";
        case 322: return "udp send";
        case 323: return "udp receive";
        case 324: return "udp close";
        default: return "other";
    }
}

}  // namespace

void CountErrorRecord(MonitorCounters& counters, ProtocolError::Kind kind, int code, int value) {
    if (kind == ProtocolError::Kind::Fault) {
        ++counters.errorsByCode[code];
    } else if (const char* file = code == 325 ? nullptr : logtext::FileWriteKind(value)) {
        ++counters.fileWriteFailures[file];
    } else if (value != logtext::kNetworkFileReadError) {
        ++counters.linkFailures[LinkWhere(code, value)];
    }
}

std::vector<MetricFamily> RenderMetrics(const MonitorSnapshot& s) {
    std::vector<MetricFamily> out;
    out.reserve(32);
    out.push_back(Family("corvane_link_up", "1 while the link to the master radio is up", MetricType::Gauge));
    Add(out.back(), {{"link", s.linkName}}, s.linkUp ? 1 : 0);
    AddOne(out, "corvane_link_reconnects_total", "Links re-established after a loss", MetricType::Counter,
           static_cast<double>(s.counters.reconnects));
    AddOne(out, "corvane_radios", "Radios in the table", MetricType::Gauge, static_cast<double>(s.radios.size()));
    AddOne(out, "corvane_radios_forgotten_total",
           "Radios heard on the air that never answered their own poll, forgotten to make room in a full table",
           MetricType::Counter, static_cast<double>(s.radiosForgotten));
    AddOne(out, "corvane_requests_sent_total", "Request frames sent to the master", MetricType::Counter,
           static_cast<double>(s.requestsSent));
    AddOne(out, "corvane_sweep_estimated_seconds", "Time polling takes to come round to every radio again",
           MetricType::Gauge, s.sweep.seconds);
    AddOne(out, "corvane_sweep_exceeds_alarm_time",
           "1 while a sweep cannot reach every radio within the alarm time (radios alarm between replies)",
           MetricType::Gauge, s.sweep.exceedsAlarmTime ? 1 : 0);

    out.push_back(Family("corvane_frames_received_total", "Reply frames read, by frame type", MetricType::Counter));
    for (int t = 0; t < 12; ++t)
        Add(out.back(), {{"type", Hex2(0xF0 + t)}}, static_cast<double>(s.counters.framesByType[static_cast<size_t>(t)]));
    out.push_back(Family("corvane_protocol_errors_total", "Faults in the bytes from the radios, by fault number",
                         MetricType::Counter));
    for (const auto& [code, n] : s.counters.errorsByCode) Add(out.back(), {{"code", std::to_string(code)}}, static_cast<double>(n));
    out.push_back(Family("corvane_link_failures_total", "Link operations that failed, by where", MetricType::Counter));
    for (const auto& [where, n] : s.counters.linkFailures) Add(out.back(), {{"where", where}}, static_cast<double>(n));
    out.push_back(
        Family("corvane_file_write_failures_total", "Files that could not be written, by kind", MetricType::Counter));
    // Every kind from the start, so a rate over the first failure is not lost.
    for (const char* kind : {"Current.log", "log", "csv", "report", "network"}) {
        const auto it = s.counters.fileWriteFailures.find(kind);
        Add(out.back(), {{"file", kind}},
            it == s.counters.fileWriteFailures.end() ? 0.0 : static_cast<double>(it->second));
    }

    if (s.masterSeen) {
        AddOne(out, "corvane_master_noise_level", "Noise level the master reports", MetricType::Gauge, s.masterNoise);
        AddOne(out, "corvane_master_temperature_celsius", "Master radio temperature", MetricType::Gauge,
               s.masterTemperatureC);
        AddOne(out, "corvane_master_supply_volts", "Master radio supply voltage", MetricType::Gauge, s.masterVolts);
        AddOne(out, "corvane_master_data_bytes", "Data bytes the master reports", MetricType::Gauge,
               static_cast<double>(s.masterDataBytes));
        AddOne(out, "corvane_master_last_status_timestamp_seconds", "When the master's last status arrived",
               MetricType::Gauge, s.nowEpochSeconds - s.masterAgeSeconds);
    }

    struct PerRadio {
        const char* name;
        const char* help;
        double (*value)(const RadioSnapshot&);
    };
    static const PerRadio perRadio[] = {
        {"corvane_radio_signal_level", "Signal level (Sig)", [](const RadioSnapshot& r) { return double(r.signal); }},
        {"corvane_radio_noise_level", "Noise level (Nse)", [](const RadioSnapshot& r) { return double(r.noise); }},
        {"corvane_radio_good_packets_ratio", "Share of good packets, 0..1", [](const RadioSnapshot& r) { return r.goodRatio; }},
        {"corvane_radio_frequency_offset_ppm", "Frequency offset", [](const RadioSnapshot& r) { return r.ppm; }},
        {"corvane_radio_distance_km", "Distance", [](const RadioSnapshot& r) { return r.km; }},
        {"corvane_radio_disconnects", "Disconnect counter", [](const RadioSnapshot& r) { return double(r.disconnects); }},
        {"corvane_radio_temperature_celsius", "Radio temperature", [](const RadioSnapshot& r) { return double(r.temperatureC); }},
        {"corvane_radio_supply_volts", "Radio supply voltage", [](const RadioSnapshot& r) { return r.volts; }},
        {"corvane_radio_data_bytes", "Data bytes", [](const RadioSnapshot& r) { return double(r.dataBytes); }},
        {"corvane_radio_poll_success_ratio", "Poll score, 0..1", [](const RadioSnapshot& r) { return r.pollRatio; }},
        {"corvane_radio_alarm", "1 while the radio's row shows an alarm", [](const RadioSnapshot& r) { return r.alarm ? 1.0 : 0.0; }},
    };
    constexpr size_t kPerRadio = sizeof perRadio / sizeof perRadio[0];

    const size_t first = out.size();
    out.push_back(Family("corvane_radio_info", "Every radio in the table", MetricType::Gauge));
    for (const PerRadio& p : perRadio) out.push_back(Family(p.name, p.help, MetricType::Gauge));
    out.push_back(Family("corvane_radio_last_reply_timestamp_seconds", "When the radio last replied", MetricType::Gauge));
    out.push_back(Family("corvane_radio_hop_signal_level", "Signal level of each hop on the radio's path",
                         MetricType::Gauge));
    size_t replied = 0;
    for (const RadioSnapshot& r : s.radios) replied += r.replied ? 1 : 0;
    out[first].metric.reserve(s.radios.size());
    for (size_t k = 1; k <= kPerRadio + 1; ++k) out[first + k].metric.reserve(replied);
    out[first + kPerRadio + 2].metric.reserve(replied * 2);

    for (const RadioSnapshot& r : s.radios) {
        std::vector<ClientMetric::Label> labels = {
            {"serial", std::to_string(r.serial)}, {"name", TrimmedName(r.name)}, {"fn", FnText(r.repeaterNumber)}};
        // A serial in several slots (duplicates in the network file, serial 0 from
        // junk lines) is one row per slot on the screens, so one series per slot here.
        if (r.sharedSerial) labels.push_back({"slot", std::to_string(r.slot)});
        Add(out[first], labels, 1);
        if (!r.replied) continue;
        for (size_t k = 0; k < kPerRadio; ++k) Add(out[first + 1 + k], labels, perRadio[k].value(r));
        Add(out[first + kPerRadio + 1], labels, s.nowEpochSeconds - r.ageSeconds);
        for (int h = 0; h < r.hopCount; ++h) {
            auto hopLabels = labels;
            hopLabels.push_back({"hop", std::to_string(r.hopNumber[static_cast<size_t>(h)])});
            hopLabels.push_back({"repeater", std::to_string(r.hopRepeaterSerial[static_cast<size_t>(h)])});
            Add(out[first + kPerRadio + 2], std::move(hopLabels), r.hopSignal[static_cast<size_t>(h)]);
        }
    }
    return out;
}

void SnapshotCollectable::publish(std::shared_ptr<const MonitorSnapshot> snapshot) {
    std::lock_guard<std::mutex> hold(lock);
    last = std::move(snapshot);
}

std::shared_ptr<const MonitorSnapshot> SnapshotCollectable::current() const {
    std::lock_guard<std::mutex> hold(lock);
    return last;
}

std::vector<MetricFamily> SnapshotCollectable::Collect() const {
    const auto snapshot = current();
    if (!snapshot) return {};
    return RenderMetrics(*snapshot);
}
