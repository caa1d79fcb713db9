#include <gtest/gtest.h>

#include <memory>

#include "model/derived_values.h"

namespace {

HistorySample Values(uint8_t signal) {
    HistorySample s;
    s.signal = signal;
    s.noise = 20;
    s.goodPackets = 250;
    s.temperatureRaw = 120;
    s.voltageRaw = 100;
    s.freqCode = 130;
    s.dataBytes = 555;  // counters never come from the caller
    s.goodCount = 6;
    s.badCount = 7;
    return s;
}

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        net = std::make_unique<RadioNetwork>();
        net->runStartSeconds = 1000;
    }
    HistoryRow& row(int r) { return net->history[static_cast<size_t>(r)]; }
    std::unique_ptr<RadioNetwork> net;
};

TEST_F(HistoryTest, FirstSampleIsTakenAtOnceWithCountersFromZero) {
    EXPECT_TRUE(HistoryAppend(*net, 5, Values(60), 1000, 2));
    ASSERT_EQ(row(5).historyCount, 1);
    const HistorySample& s = row(5).samples[1];
    EXPECT_EQ(s.time, 0);
    EXPECT_EQ(s.signal, 60);
    EXPECT_EQ(s.freqCode, 130);
    EXPECT_EQ(s.dataBytes, 0);
    EXPECT_EQ(s.goodCount, 0);
    EXPECT_EQ(s.badCount, 0);
}

TEST_F(HistoryTest, SpacingIsMoreThanTwoSecondsForRadiosAndFiveForTheMaster) {
    HistoryAppend(*net, 5, Values(1), 1010, 2);
    EXPECT_FALSE(HistoryAppend(*net, 5, Values(2), 1012, 2));
    EXPECT_TRUE(HistoryAppend(*net, 5, Values(3), 1013, 2));
    EXPECT_EQ(row(5).historyCount, 2);
    EXPECT_EQ(row(5).samples[2].time, 13);

    HistoryAppend(*net, 0, Values(1), 1010, 5);
    EXPECT_FALSE(HistoryAppend(*net, 0, Values(2), 1015, 5));
    EXPECT_TRUE(HistoryAppend(*net, 0, Values(3), 1016, 5));
    EXPECT_EQ(row(0).historyCount, 2);
}

TEST_F(HistoryTest, RowsBeyondTheTableKeepNoHistory) {
    EXPECT_FALSE(HistoryAppend(*net, 1024, Values(1), 1000, 2));
    EXPECT_FALSE(HistoryAppend(*net, 2047, Values(1), 1000, 2));
    EXPECT_FALSE(HistoryAppend(*net, -1, Values(1), 1000, 2));
    EXPECT_TRUE(HistoryAppend(*net, 1023, Values(1), 1000, 2));
}

TEST_F(HistoryTest, FullRowThinsTheFirstTooCloseSample) {
    // 511 samples 3 s apart: t = 0, 3, ..., 1530.
    for (int i = 0; i < 511; ++i) ASSERT_TRUE(HistoryAppend(*net, 7, Values(static_cast<uint8_t>(i)), 1000 + 3 * i, 2));
    ASSERT_EQ(row(7).historyCount, 511);
    row(7).samples[2].dataBytes = 10;
    row(7).samples[3].dataBytes = 5;
    row(7).samples[2].goodCount = 1;
    row(7).samples[3].badCount = 2;

    // elapsed 1534: step = round(1534 / 384 + 1) = 5; sample 2 (t = 3) is below 0 + 5.
    EXPECT_TRUE(HistoryAppend(*net, 7, Values(200), 1000 + 1534, 2));
    EXPECT_EQ(row(7).historyCount, 511);
    EXPECT_EQ(row(7).samples[1].time, 0);
    EXPECT_EQ(row(7).samples[2].time, 6);  // old sample 3, with sample 2's counts
    EXPECT_EQ(row(7).samples[2].dataBytes, 15);
    EXPECT_EQ(row(7).samples[2].goodCount, 1);
    EXPECT_EQ(row(7).samples[2].badCount, 2);
    EXPECT_EQ(row(7).samples[510].time, 1530);
    EXPECT_EQ(row(7).samples[511].time, 1534);
    EXPECT_EQ(row(7).samples[511].signal, 200);
    EXPECT_EQ(row(7).samples[511].dataBytes, 0);
}

TEST_F(HistoryTest, ThinningKeepsTheWholeRunInOrder) {
    int64_t t = 1000;
    for (int i = 0; i < 4000; ++i) {
        t += 3 + (i % 7);
        HistoryAppend(*net, 9, Values(1), t, 2);
    }
    const HistoryRow& r = row(9);
    ASSERT_EQ(r.historyCount, 511);
    EXPECT_EQ(r.samples[1].time, 3);  // the start of the run is kept
    EXPECT_EQ(r.samples[511].time, t - 1000);
    for (int k = 2; k <= 511; ++k) ASSERT_LT(r.samples[k - 1].time, r.samples[k].time) << k;
}

}  // namespace
