#include "monitor/monitor_snapshot.h"

#include <algorithm>

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


}  // namespace

std::string FnText(uint8_t repeaterNumber) {
    return repeaterNumber == 0 ? std::string("S") : "R" + HexText(repeaterNumber);
}

std::string TrimmedName(const std::array<char, 8>& name) {
    std::string text(name.data(), name.size());
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

void TakeSnapshot(const Program& program, double nowEpochSeconds, MonitorSnapshot& out) {
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

    out.radios.resize(static_cast<size_t>(std::max(count, 0)));
    for (int i = 1; i <= count; ++i) {
        const RadioRecord& r = network.radios[static_cast<size_t>(i)];
        RadioSnapshot& s = out.radios[static_cast<size_t>(i - 1)];
        s = RadioSnapshot{};
        s.serial = r.serialNumber;
        s.name = r.name;
        s.repeaterNumber = r.repeaterNumber;
        s.replyCount = r.replyCount;
        s.replied = r.replyCount != 0;
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
            // The first hop of a radio heard by the master itself is the master.
            if (n == 0 && h > 0) continue;
            const size_t k = static_cast<size_t>(s.hopCount++);
            s.hopNumber[k] = h + 1;
            s.hopRepeaterSerial[k] = n == 0 ? out.masterSerial : repeaterSerials[static_cast<size_t>(n)];
            s.hopSignal[k] = HopSignal(r.hopSignalAvg[static_cast<size_t>(h)]);
        }
    }
}
