#include <gtest/gtest.h>

#include <map>
#include <prometheus/text_serializer.h>

#include "monitor/link_supervisor.h"
#include "monitor/metrics.h"
#include "monitor/monitor_view.h"
#include "support/exposition.h"
#include "support/protocol_fixture.h"

namespace {

// A table filled the way the link fills it: a master status frame and diagnostics
// replies decoded by the engine.
class MonitorMetricsTest : public ProtocolTest {
protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        p->display.alarmTimeSeconds = 60;
        deliver(FillXor(HexFrame("F0 5A 12 34 03 01 02 25 00 00 80 C0 15 00")));
        // 5000001 behind repeater 3000000; the repeater itself answers directly with
        // poor good packets (0xB0 = 176, below 75 %).
        deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2, {{3000000, 0x50, 0x1500}}, 0x0000));
        auto poor = Diagnostics(0xF8, 0x0D80, 3000000, 2, {}, 0x1500);
        poor[8] = 0xB0;
        deliver(FillXor(poor));
    }

    // "name{labels}" -> value, from the exposition text.
    Samples scrape() {
        MonitorSnapshot s;
        TakeSnapshot(*p, 1000000.0, s);
        s.linkName = "tcp";
        s.linkUp = true;
        return ParseExposition(prometheus::TextSerializer().Serialize(RenderMetrics(s)));
    }
};

TEST_F(MonitorMetricsTest, ValuesAreTheNumbersTheListsShow) {
    const auto m = scrape();
    const std::string radio = R"({serial="5000001",name="NewRadio",fn="S"})";
    const std::string repeater = R"({serial="3000000",name="NewRadio",fn="R1"})";
    const std::pair<std::string, double> expected[] = {
        {R"(corvane_link_up{link="tcp"})", 1},
        {"corvane_radios", 2},
        {"corvane_master_noise_level", 21},
        {"corvane_master_data_bytes", 258},
        {"corvane_master_supply_volts", 0xC0 / 256.0 * 32.5},
        {"corvane_master_last_status_timestamp_seconds", 1000000},
        {"corvane_radio_info" + radio, 1},
        {"corvane_radio_signal_level" + radio, 42},
        {"corvane_radio_noise_level" + radio, 15},
        {"corvane_radio_good_packets_ratio" + radio, 200 / 2.56 / 100},
        {"corvane_radio_frequency_offset_ppm" + radio, 0},
        {"corvane_radio_distance_km" + radio, 10.417 - 3},
        {"corvane_radio_disconnects" + radio, 3},
        {"corvane_radio_supply_volts" + radio, 0x9A / 256.0 * 15},
        {"corvane_radio_poll_success_ratio" + radio, 1},
        {"corvane_radio_alarm" + radio, 0},
        {"corvane_radio_alarm" + repeater, 1},
        {"corvane_radio_last_reply_timestamp_seconds" + radio, 1000000},
        {R"(corvane_radio_hop_signal_level{serial="5000001",name="NewRadio",fn="S",hop="1",repeater="3000000"})", 64},
        {R"(corvane_radio_hop_signal_level{serial="3000000",name="NewRadio",fn="R1",hop="1",repeater="5902900"})", 54},
    };
    for (const auto& [series, value] : expected) {
        auto it = m.find(series);
        ASSERT_NE(it, m.end()) << series;
        EXPECT_NEAR(it->second, value, 1e-9) << series;
    }
    // Temperatures go through the thermistor curve the screens use.
    EXPECT_EQ(m.at("corvane_radio_temperature_celsius" + radio), TemperatureFromRaw(0x80));
}

TEST_F(MonitorMetricsTest, ARadioThatNeverRepliedHasOnlyItsInfo) {
    // A third radio from the network file, not heard yet.
    p->network.radios[3].serialNumber = 7000000;
    p->network.radioCount = 3;
    const auto m = scrape();
    EXPECT_EQ(m.count(R"(corvane_radio_info{serial="7000000",name="NewRadio",fn="S"})"), 1u);
    for (const auto& [series, value] : m) {
        if (series.find("7000000") != std::string::npos) {
            EXPECT_EQ(series.rfind("corvane_radio_info", 0), 0u) << series;
        }
    }
}

TEST_F(MonitorMetricsTest, AlarmsAreRaisedAndClearedOncePerRule) {
    EventTracker tracker;
    MonitorSnapshot s;
    TakeSnapshot(*p, 0, s);
    auto first = tracker.changes(s);
    EXPECT_EQ(first.size(), 3u);  // two radios added, one alarm
    EXPECT_EQ(first.back(), "radio 3000000 (R1 NewRadio) alarm raised: good packets below 75 %");
    EXPECT_TRUE(tracker.changes(s).empty());

    clock.setTimeOfDay(12, 1, 1);  // 61 s without a reply: every radio ages into the alarm
    TakeSnapshot(*p, 0, s);
    const std::vector<std::string> aged = {"radio 5000001 (S NewRadio) alarm raised: no reply within the alarm time",
                                           "radio 3000000 (R1 NewRadio) alarm raised: no reply within the alarm time"};
    EXPECT_EQ(tracker.changes(s), aged);
    clock.setTimeOfDay(12, 0, 0);
    TakeSnapshot(*p, 0, s);
    EXPECT_EQ(tracker.changes(s)[0], "radio 5000001 (S NewRadio) alarm cleared: no reply within the alarm time");
}

// Number 30 is both a ring overrun (a protocol fault) and EROFS (a failed file
// write): each goes to its own metric, and link failures to a third.
TEST_F(MonitorMetricsTest, FaultsLinkFailuresAndFileFailuresAreKeptApart) {
    MonitorSnapshot s;
    TakeSnapshot(*p, 1000000.0, s);
    using Kind = ProtocolError::Kind;
    CountErrorRecord(s.counters, Kind::Fault, 30, 512);        // receive beyond the ring
    CountErrorRecord(s.counters, Kind::Failure, EROFS, 9001);  // Current.log, read-only folder
    CountErrorRecord(s.counters, Kind::Failure, EROFS, 9001);
    CountErrorRecord(s.counters, Kind::Failure, ENOSPC, 9002);  // the CSV
    CountErrorRecord(s.counters, Kind::Failure, ECONNREFUSED, 311);
    CountErrorRecord(s.counters, Kind::Failure, 325, 9001);  // a foreign sender at 0.0.35.41
    const auto m = ParseExposition(prometheus::TextSerializer().Serialize(RenderMetrics(s)));
    const std::pair<std::string, double> expected[] = {
        {R"(corvane_protocol_errors_total{code="30"})", 1},
        {R"(corvane_file_write_failures_total{file="Current.log"})", 2},
        {R"(corvane_file_write_failures_total{file="csv"})", 1},
        {R"(corvane_file_write_failures_total{file="log"})", 0},
        {R"(corvane_file_write_failures_total{file="report"})", 0},
        {R"(corvane_file_write_failures_total{file="network"})", 0},
        {R"(corvane_link_failures_total{where="tcp connect"})", 1},
        {R"(corvane_link_failures_total{where="udp foreign sender"})", 1},
    };
    for (const auto& [series, value] : expected) {
        auto it = m.find(series);
        ASSERT_NE(it, m.end()) << series;
        EXPECT_EQ(it->second, value) << series;
    }
    size_t protocolSeries = 0;
    for (const auto& [series, value] : m) protocolSeries += series.rfind("corvane_protocol_errors_total", 0) == 0;
    EXPECT_EQ(protocolSeries, 1u);
}

TEST(MonitorReconnect, BackOffDoublesUpToItsCap) {
    const std::pair<int, double> delays[] = {{1, 10}, {2, 20}, {3, 40}, {4, 80}, {5, 100}, {9, 100}};
    for (const auto& [attempt, delay] : delays) EXPECT_EQ(LinkSupervisor::RetryDelay(10, attempt), delay) << attempt;
    EXPECT_EQ(LinkSupervisor::RetryDelay(60, 8), 300);
}

}  // namespace
