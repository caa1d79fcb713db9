#include "model/derived_values.h"

#include <cmath>

int TemperatureFromRaw(int raw) {
    // 0 means no reading; a raw value beyond a byte has no thermistor meaning
    // (and would divide by zero below), so it reads as "no reading" too.
    if (raw <= 0 || raw > 255) return 499;
    double x = raw / 256.0;
    double r = (22.0 * x / (1.0 - x)) / 25.0 + 0.01;
    double v = 0.0196 * 0.0196 + 4.0 * 0.000057 * std::log10(r);
    // Raw 1..3 make v negative; the thermistor curve then uses v itself.
    double s = v < 0 ? v : std::sqrt(v);
    double t = 25.0 - ((-0.0196 + s) / 2.0) / 0.000057;
    return static_cast<int>(std::lround(t));
}

double FullScaleVolts(uint32_t serial) {
    bool highVoltage = serial > 9110000 || (serial > 2410000 && serial < 2419999);
    return highVoltage ? 32.5 : 15.0;
}

double RadioVolts(uint32_t serial, int voltageRaw) { return voltageRaw / 256.0 * FullScaleVolts(serial); }

double MasterVolts(int voltageRaw) { return voltageRaw / 256.0 * 32.5; }

double DistanceKm(uint32_t serial, int32_t distanceRaw, double defaultOffset) {
    double offset = (serial & 0xFF0000u) == 0x570000u ? 6.2 : defaultOffset;
    return distanceRaw / 1000.0 - offset;
}

int32_t DistanceFromWord(int high, int low) {
    int word = (high & 0xFF) * 256 + (low & 0xFF);
    return static_cast<int32_t>(std::lround(69.444444 * (5632 - word) / 512.0 * 300.0));
}

bool RadioIdValid(const RadioRecord& radio) {
    return radio.eepromValid[29] == 1 && radio.eepromValid[30] == 1 && radio.eepromValid[33] == 1;
}

int64_t RadioIdValue(const RadioRecord& radio) {
    int64_t hi = radio.eepromValue[29];
    int64_t lo = radio.eepromValue[30];
    int64_t super = (radio.eepromValue[33] + 1) & 255;
    return hi * 256 + lo + super * 65536;
}

int64_t RadioId(const RadioRecord& radio) {
    int64_t id = RadioIdValue(radio);
    return id > 9999 ? 9999 : id;
}

double PollPercent(const RadioRecord& radio) { return radio.pollScore / 100.0; }

double GoodPercentLog(int goodPacketsRaw) { return goodPacketsRaw / 2.55; }

double GoodPercentScreen(int goodPacketsRaw) { return goodPacketsRaw / 2.56; }

double FreqPpm(int freqOffsetCode) { return (freqOffsetCode - 128) / 10.0; }

double HopSignal(uint16_t hopSignalAvg) { return hopSignalAvg / 256.0; }

bool GoodPacketsAlarm(int goodPacketsRaw) { return goodPacketsRaw < 192; }

bool FrequencyAlarm(int freqOffsetCode) { return freqOffsetCode > 178 || freqOffsetCode < 78; }

double ReplyAgeSeconds(double nowSecondsOfDay, const RadioRecord& radio) {
    double age = nowSecondsOfDay - radio.lastReplySeconds;
    if (age < -0.5) age += 86400.0;
    return age;
}

int64_t SecondsClock(const LocalTime& t) {
    // Leap days are not counted; only differences of this clock are used.
    static constexpr int daysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int month = t.month < 1 ? 1 : (t.month > 12 ? 12 : t.month);
    return (static_cast<int64_t>(t.year) - 1990) * 31536000 +
           static_cast<int64_t>(daysBefore[month - 1]) * 86400 + static_cast<int64_t>(t.day) * 86400 +
           t.hour * 3600LL + t.minute * 60LL + t.second;
}
