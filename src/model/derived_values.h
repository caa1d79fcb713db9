#pragma once
#include <cstdint>

#include "model/radio_network.h"
#include "platform/clock.h"

// Whole degrees C from the raw thermistor byte.
int TemperatureFromRaw(int raw);
// 32.5 V full scale for the high-voltage radios, else 15 V.
double FullScaleVolts(uint32_t serial);
double RadioVolts(uint32_t serial, int voltageRaw);
double MasterVolts(int voltageRaw);
// Distance in km; `defaultOffset` is 4 in files and live redraws, 3 on painted screens.
double DistanceKm(uint32_t serial, int32_t distanceRaw, double defaultOffset);
// distanceRaw from a distance word.
int32_t DistanceFromWord(int high, int low);
// True when parameters 29, 30 and 33 are all read.
bool RadioIdValid(const RadioRecord& radio);
// hi x 256 + lo + ((super + 1) AND 255) x 65536, uncapped.
int64_t RadioIdValue(const RadioRecord& radio);
// The same, capped at 9999.
int64_t RadioId(const RadioRecord& radio);
double PollPercent(const RadioRecord& radio);
double GoodPercentLog(int goodPacketsRaw);     // / 2.55
double GoodPercentScreen(int goodPacketsRaw);  // / 2.56
double FreqPpm(int freqOffsetCode);
double HopSignal(uint16_t hopSignalAvg);
// The alarm rules of the radio lists: good packets below 75 %, frequency beyond
// plus or minus 5.0 ppm, a last reply older than the alarm time.
bool GoodPacketsAlarm(int goodPacketsRaw);
bool FrequencyAlarm(int freqOffsetCode);
// Seconds since the radio's last reply; a reply from before midnight counts from then.
double ReplyAgeSeconds(double nowSecondsOfDay, const RadioRecord& radio);
// Whole seconds; only differences are used.
int64_t SecondsClock(const LocalTime& t);

// Takes a history sample for `row` when the last one is more than `minSpacing`
// seconds old (2 for radios, 5 for the master); thins a full row. Rows 1024 and up
// keep no history. Returns true when a sample was stored.
bool HistoryAppend(RadioNetwork& network, int row, const HistorySample& values,
                   int64_t secondsClock, int minSpacing);
