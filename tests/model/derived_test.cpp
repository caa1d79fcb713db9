#include <gtest/gtest.h>

#include <cmath>

#include "model/derived_values.h"

namespace {

TEST(Temperature, ThermistorCurve) {
    EXPECT_EQ(TemperatureFromRaw(1), 197);
    EXPECT_EQ(TemperatureFromRaw(4), 163);
    EXPECT_EQ(TemperatureFromRaw(128), 28);
    EXPECT_EQ(TemperatureFromRaw(200), 1);
    EXPECT_EQ(TemperatureFromRaw(255), -69);
    // Falls steadily from raw 4 up; raw 1..3 take the negative branch.
    for (int raw = 5; raw <= 255; ++raw) EXPECT_LE(TemperatureFromRaw(raw), TemperatureFromRaw(raw - 1)) << raw;
    EXPECT_GT(TemperatureFromRaw(3), TemperatureFromRaw(4));
}

TEST(Temperature, NoReading) {
    EXPECT_EQ(TemperatureFromRaw(0), 499);
    EXPECT_EQ(TemperatureFromRaw(-3), 499);
    EXPECT_EQ(TemperatureFromRaw(256), 499);
}

TEST(Voltage, FullScaleBoundaries) {
    EXPECT_EQ(FullScaleVolts(2410000), 15.0);
    EXPECT_EQ(FullScaleVolts(2410001), 32.5);
    EXPECT_EQ(FullScaleVolts(2419998), 32.5);
    EXPECT_EQ(FullScaleVolts(2419999), 15.0);
    EXPECT_EQ(FullScaleVolts(9110000), 15.0);
    EXPECT_EQ(FullScaleVolts(9110001), 32.5);
    EXPECT_EQ(FullScaleVolts(5000000), 15.0);
    EXPECT_DOUBLE_EQ(RadioVolts(5000000, 128), 7.5);
    EXPECT_DOUBLE_EQ(RadioVolts(9200000, 128), 16.25);
    EXPECT_DOUBLE_EQ(MasterVolts(128), 16.25);
}

TEST(Distance, FromWordAndOffsets) {
    EXPECT_EQ(DistanceFromWord(0x16, 0x00), 0);
    EXPECT_EQ(DistanceFromWord(0, 0), 229167);
    EXPECT_EQ(DistanceFromWord(0xFF, 0xFF), static_cast<int32_t>(std::lround(69.444444 * (5632 - 65535) / 512.0 * 300)));
    EXPECT_LT(DistanceFromWord(0x17, 0x00), 0);
    EXPECT_DOUBLE_EQ(DistanceKm(0x570001, 10000, 4), 10 - 6.2);
    EXPECT_DOUBLE_EQ(DistanceKm(5000000, 10000, 4), 6);
    EXPECT_DOUBLE_EQ(DistanceKm(5000000, 10000, 3), 7);
}

TEST(RadioIdentity, NeedsAllThreeParameters) {
    RadioRecord r;
    r.eepromValue[29] = 1;
    r.eepromValue[30] = 2;
    r.eepromValue[33] = 255;
    r.eepromValid[29] = r.eepromValid[30] = 1;
    EXPECT_FALSE(RadioIdValid(r));
    r.eepromValid[33] = 1;
    EXPECT_TRUE(RadioIdValid(r));
    EXPECT_EQ(RadioId(r), 258);  // the super term wraps to 0
    r.eepromValue[33] = 0;
    EXPECT_EQ(RadioIdValue(r), 65536 + 258);
    EXPECT_EQ(RadioId(r), 9999);
    r.eepromValue[33] = 255;
    r.eepromValue[29] = 39;
    r.eepromValue[30] = 16;
    EXPECT_EQ(RadioId(r), 9999);  // 10000 is capped
    r.eepromValue[30] = 15;
    EXPECT_EQ(RadioId(r), 9999);
    r.eepromValue[30] = 14;
    EXPECT_EQ(RadioId(r), 9998);
}

TEST(Percentages, ScalesOfEachOutput) {
    RadioRecord r;
    r.pollScore = 9850;
    EXPECT_DOUBLE_EQ(PollPercent(r), 98.5);
    EXPECT_DOUBLE_EQ(GoodPercentLog(255), 100.0);
    EXPECT_DOUBLE_EQ(GoodPercentScreen(128), 50.0);
    EXPECT_DOUBLE_EQ(FreqPpm(128), 0.0);
    EXPECT_DOUBLE_EQ(FreqPpm(103), -2.5);
    EXPECT_DOUBLE_EQ(HopSignal(256 * 40 + 128), 40.5);
}

TEST(SecondsClockTest, WholeSecondsWithoutLeapDays) {
    EXPECT_EQ(SecondsClock(LocalTime{1990, 1, 0, 0, 0, 0, 0}), 0);
    EXPECT_EQ(SecondsClock(LocalTime{1991, 3, 2, 1, 2, 3, 999}), 31536000 + 59 * 86400 + 2 * 86400 + 3723);
    // Across midnight and the year end the clock keeps counting up.
    EXPECT_EQ(SecondsClock(LocalTime{2024, 1, 1, 0, 0, 1}) - SecondsClock(LocalTime{2023, 12, 31, 23, 59, 59}), 2);
    EXPECT_EQ(SecondsClock(LocalTime{2024, 3, 1, 0, 0, 0}) - SecondsClock(LocalTime{2024, 2, 28, 0, 0, 0}), 86400);
}

}  // namespace
