#include "monitor/monitor_snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "display/screen_parts.h"
#include "model/derived_values.h"
#include "model/program.h"
#include "text/hex.h"

namespace {

// Seconds since midnight of an "hh:mm:ss" text, or -1.
double TimeTextSeconds(const std::string& text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return -1;
    auto two = [&](size_t at) {
        const char a = text[at], b = text[at + 1];
        return (a >= '0' && a <= '9' && b >= '0' && b <= '9') ? (a - '0') * 10 + (b - '0') : -1;
    };
    const int h = two(0), m = two(3), s = two(6);
    if (h < 0 || m < 0 || s < 0) return -1;
    return h * 3600.0 + m * 60.0 + s;
}

// Length of the well-formed UTF-8 sequence at `at` (shortest form, no surrogates,
// at most U+10FFFF), or 0.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

const std::array<FaultKind, FaultCounters::kKinds>& FaultKinds() {
    static const std::array<FaultKind, FaultCounters::kKinds> kinds = {{
        {ProtocolFault::UnknownFrameType, "unknown_frame_type"},
        {ProtocolFault::MasterEchoUnknownAddress, "master_echo_unknown_address"},
        {ProtocolFault::HopSerialOutOfRange, "hop_serial_out_of_range"},
        {ProtocolFault::ReplyUnknownAddress, "reply_unknown_address"},
        {ProtocolFault::MasterStatusBadCheck, "master_status_bad_check"},
        {ProtocolFault::TrafficReportBadCheck, "traffic_report_bad_check"},
        {ProtocolFault::DiagnosticsBadCheck, "diagnostics_bad_check"},
        {ProtocolFault::DiagnosticsTooManyHops, "diagnostics_too_many_hops"},
        {ProtocolFault::ReceiveBeyondRing, "receive_beyond_ring"},
        {ProtocolFault::TrafficSerialTooLow, "traffic_serial_too_low"},
        {ProtocolFault::TraceBadCheck, "trace_bad_check"},
        {ProtocolFault::TraceTooManyHops, "trace_too_many_hops"},
        {ProtocolFault::RadioTableFull, "radio_table_full"},
    }};
    return kinds;
}

void PollWatch::observe(const Program& program, double steadySeconds) {
    const PollState& poll = program.poll;
    if (!started) {
        started = true;
        nextRecent = poll.nextRecentPoll;
        sweepCount = poll.sweepCount;
        randomNumber = poll.randomNumber;
        sweepStart = steadySeconds;
        return;
    }
    // Requests built for one radio since the last tick (at most one or two a tick,
    // well inside the ring of four).
    const size_t ring = poll.recentPolls.size();
    while (nextRecent != poll.nextRecentPoll) {
        const uint32_t serial = poll.recentPolls[nextRecent % ring];
        if (serial != 0) ++bySerial[serial];
        nextRecent = static_cast<uint8_t>((nextRecent + 1) % ring);
    }
    // Sequential polling counts its sweeps; random polling has come round when its
    // number wraps. A table read again starts the count afresh.
    const bool restarted = poll.sweepCount < sweepCount;
    const bool cameRound = poll.sweepCount > sweepCount ||
                           (poll.sweepCount == sweepCount && poll.pollMode == PollPhase::polling(PollOrder::random) &&
                            poll.randomNumber < randomNumber);
    sweepCount = poll.sweepCount;
    randomNumber = poll.randomNumber;
    if (cameRound) {
        lastSweep = steadySeconds - sweepStart;
        ++sweepsDone;
    }
    if (cameRound || restarted) sweepStart = steadySeconds;
}

int64_t PollWatch::requests(uint32_t serial) const {
    const auto it = bySerial.find(serial);
    return it == bySerial.end() ? 0 : it->second;
}

std::string FnText(uint8_t repeaterNumber) {
    return repeaterNumber == 0 ? std::string("S") : "R" + HexText(repeaterNumber);
}

std::string TrimmedName(const std::array<char, 8>& name) {
    std::string text(name.data(), name.size());
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return Utf8Text(text);
}

std::string Utf8Text(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            out += '?';
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const size_t n = Utf8SequenceLength(bytes, i); n > 0) {
            // C1 controls written as UTF-8 are controls all the same.
            const bool c1 = c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0;
            out += c1 ? std::string_view("?") : bytes.substr(i, n);
            i += n;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return out;
}

size_t Utf8Length(std::string_view text) {
    size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

SweepEstimate EstimateSweep(const Program& program) {
    SweepEstimate e;
    e.radios = std::max(program.network.radioCount, 0);
    e.sequential = program.poll.pollMode.order() == PollOrder::sequential;
    // A request leaves on the first tick whose accumulator (0.01 after a send, 0.1 a
    // tick) passes the interval; on TCP the master's status frames pace it, at most
    // one a second.
    const double interval = std::max(0.0, static_cast<double>(program.poll.pollInterval));
    const double ticks = std::floor((interval - 0.01) / 0.1 + 1e-6) + 1;
    e.requestSeconds = std::max(1.0, ticks) * 0.1;
    if (program.link.linkKind == kLinkTcp) e.requestSeconds = std::max(e.requestSeconds, 1.0);
    // Sequential: the master, every radio and one probe by number; random: 256 numbers.
    e.seconds = e.requestSeconds * (e.sequential ? e.radios + 2 : 256);
    e.alarmTimeSeconds = program.display.alarmTimeSeconds;
    e.unreachable = !e.sequential && e.radios > 256;
    e.exceedsAlarmTime = e.unreachable || e.seconds > e.alarmTimeSeconds;
    return e;
}

std::string SweepWarningText(const SweepEstimate& e) {
    char text[320];
    if (e.unreachable) {
        std::snprintf(text, sizeof text,
                      "random polling asks by an 8-bit number and reaches at most 256 of the %d radios: the others "
                      "never reply and stay in alarm (use --mode sequential)",
                      e.radios);
    } else {
        std::snprintf(text, sizeof text,
                      "a sweep of %d radios takes about %.0f s (one request every %.1f s), longer than the alarm "
                      "time of %g s: radios show an alarm between their replies (raise --alarm-time above %.0f s or "
                      "lower --interval)",
                      e.radios, e.seconds, e.requestSeconds, e.alarmTimeSeconds, std::ceil(e.seconds));
    }
    return text;
}

void TakeSnapshot(const Program& program, double nowEpochSeconds, MonitorSnapshot& out, const PollWatch* watch) {
    const RadioNetwork& network = program.network;
    const double now = NowSecondsOfDay(program.clock);
    out.nowEpochSeconds = nowEpochSeconds;
    out.requestsSent = program.link.requestsSent;
    out.radiosForgotten = network.forgottenRadios;
    out.lastForgottenSerial = network.lastForgottenSerial;

    const MasterStatus& m = network.master;
    const double masterTime = TimeTextSeconds(m.timeReceived);
    out.masterSeen = masterTime >= 0;
    out.masterSerial = network.radios[0].serialNumber != 0 ? network.radios[0].serialNumber
                                                          : static_cast<uint32_t>(m.serialNumber);
    out.masterNoise = m.noiseLevel;
    out.masterTemperatureC = TemperatureFromRaw(m.temperatureRaw);
    out.masterVolts = MasterVolts(m.voltageRaw);
    out.masterDataBytes = m.dataBytesTotal;
    if (out.masterSeen) {
        double age = now - masterTime;
        if (age < -0.5) age += 86400.0;
        out.masterAgeSeconds = age;
    }

    const int count = std::min(network.radioCount, kMaxRadios);
    std::array<uint32_t, 256> repeaterSerials{};
    for (int i = 1; i <= count; ++i) {
        const RadioRecord& r = network.radios[static_cast<size_t>(i)];
        if (r.repeaterNumber != 0 && repeaterSerials[r.repeaterNumber] == 0)
            repeaterSerials[r.repeaterNumber] = r.serialNumber;
    }

    out.sweep = EstimateSweep(program);
    out.alarmTimeSeconds = program.display.alarmTimeSeconds;
    out.sweepsCompleted = watch ? watch->sweeps() : 0;
    out.lastSweepSeconds = watch ? watch->lastSweepSeconds() : 0;
    for (size_t k = 0; k < out.faults.size(); ++k) out.faults[k] = program.errors.faults.count(FaultKinds()[k].fault);

    // Serials held by more than one slot: their series carry the slot to stay apart.
    std::vector<uint32_t> serials;
    serials.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 1; i <= count; ++i) serials.push_back(network.radios[static_cast<size_t>(i)].serialNumber);
    std::sort(serials.begin(), serials.end());
    std::vector<uint32_t> shared;
    for (size_t k = 1; k < serials.size(); ++k)
        if (serials[k] == serials[k - 1] && (shared.empty() || shared.back() != serials[k]))
            shared.push_back(serials[k]);

    out.radios.resize(static_cast<size_t>(std::max(count, 0)));
    for (int i = 1; i <= count; ++i) {
        const RadioRecord& r = network.radios[static_cast<size_t>(i)];
        RadioSnapshot& s = out.radios[static_cast<size_t>(i - 1)];
        s = RadioSnapshot{};
        s.serial = r.serialNumber;
        s.slot = i;
        s.sharedSerial = !shared.empty() && std::binary_search(shared.begin(), shared.end(), r.serialNumber);
        s.name = r.name;
        s.repeaterNumber = r.repeaterNumber;
        s.replyCount = r.replyCount;
        s.replied = r.replyCount != 0;
        s.requests = watch ? watch->requests(r.serialNumber) : 0;
        if (!s.replied) continue;
        s.signal = r.signalLevel;
        s.noise = r.noiseLevel;
        s.goodRatio = GoodPercentScreen(r.goodPacketsRaw) / 100.0;
        s.ppm = FreqPpm(r.freqOffsetCode);
        // Screen0 shows km with the painted screens' offset.
        s.km = DistanceKm(r.serialNumber, r.distanceRaw, 3.0);
        s.disconnects = r.disconnectCount;
        s.temperatureC = TemperatureFromRaw(r.temperatureRaw);
        s.volts = RadioVolts(r.serialNumber, r.voltageRaw);
        s.dataBytes = r.dataBytes;
        s.pollRatio = PollPercent(r) / 100.0;
        s.ageSeconds = ReplyAgeSeconds(now, r);
        s.alarmRules = static_cast<uint8_t>((GoodPacketsAlarm(r.goodPacketsRaw) ? kAlarmGoodPackets : 0) |
                                            (FrequencyAlarm(r.freqOffsetCode) ? kAlarmFrequency : 0) |
                                            (s.ageSeconds > program.display.alarmTimeSeconds ? kAlarmReplyAge : 0));
        s.alarm = s.alarmRules != 0;
        for (int h = 0; h < 4; ++h) {
            const int n = r.hopRepeater[static_cast<size_t>(h)];
            s.pathRepeater[static_cast<size_t>(h)] = static_cast<uint8_t>(n);
            // The first hop of a radio heard by the master itself is the master.
            if (n == 0 && h > 0) continue;
            const size_t k = static_cast<size_t>(s.hopCount++);
            s.hopNumber[k] = h + 1;
            s.hopRepeaterSerial[k] = n == 0 ? out.masterSerial : repeaterSerials[static_cast<size_t>(n)];
            s.hopSignal[k] = HopSignal(r.hopSignalAvg[static_cast<size_t>(h)]);
        }
    }
}
