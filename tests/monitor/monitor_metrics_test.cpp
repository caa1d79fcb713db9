#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/window_proc.h"
#include "files/network_file.h"
#include "monitor/link_supervisor.h"
#include "monitor/metrics.h"
#include "monitor/monitor_view.h"
#include "support/exposition.h"
#include "support/protocol_fixture.h"

namespace {

std::string Expose(const MonitorSnapshot& s) { return RenderExposition({std::make_shared<MonitorSnapshot>(s)}); }

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
        return ParseExposition(Expose(s));
    }
};

TEST_F(MonitorMetricsTest, ValuesAreTheNumbersTheListsShow) {
    const auto m = scrape();
    const std::string radio = R"({network="default",serial="5000001"})";
    const std::string repeater = R"({network="default",serial="3000000"})";
    const std::string site = R"({network="default"})";
    const std::pair<std::string, double> expected[] = {
        {R"(corvane_link_up{network="default",link="tcp"})", 1},
        {"corvane_radios" + site, 2},
        {"corvane_alarm_time_seconds" + site, 60},
        {R"(corvane_master_info{network="default",serial="5902900"})", 1},
        {"corvane_master_noise_level" + site, 21},
        {"corvane_master_data_bytes_total" + site, 258},
        {"corvane_master_supply_volts" + site, 0xC0 / 256.0 * 32.5},
        {"corvane_master_last_status_timestamp_seconds" + site, 1000000},
        {R"(corvane_radio_info{network="default",serial="5000001",name="NewRadio",fn="S"})", 1},
        {R"(corvane_radio_info{network="default",serial="3000000",name="NewRadio",fn="R1"})", 1},
        {"corvane_radio_replies_total" + radio, 1},
        {"corvane_radio_signal_level" + radio, 42},
        {"corvane_radio_noise_level" + radio, 15},
        {"corvane_radio_good_packets_ratio" + radio, 200 / 2.56 / 100},
        {"corvane_radio_frequency_offset_ppm" + radio, 0},
        {"corvane_radio_distance_meters" + radio, (10.417 - 3) * 1000},
        {"corvane_radio_disconnects_total" + radio, 3},
        {"corvane_radio_supply_volts" + radio, 0x9A / 256.0 * 15},
        {"corvane_radio_poll_success_ratio" + radio, 1},
        {"corvane_radio_alarm" + radio, 0},
        {"corvane_radio_alarm" + repeater, 1},
        {"corvane_radio_last_reply_timestamp_seconds" + radio, 1000000},
        {R"(corvane_radio_hop_signal_level{network="default",serial="5000001",hop="1",repeater="3000000"})", 64},
        {R"(corvane_radio_hop_signal_level{network="default",serial="3000000",hop="1",repeater="5902900"})", 54},
    };
    for (const auto& [series, value] : expected) {
        auto it = m.find(series);
        ASSERT_NE(it, m.end()) << series;
        EXPECT_NEAR(it->second, value, 1e-6) << series;
    }
    // Temperatures go through the thermistor curve the screens use.
    EXPECT_EQ(m.at("corvane_radio_temperature_celsius" + radio), TemperatureFromRaw(0x80));
}

// Its info and its counts at 0 (so an alert can see it never replied), no values.
TEST_F(MonitorMetricsTest, ARadioThatNeverRepliedHasItsInfoAndCountsOnly) {
    // A third radio from the network file, not heard yet.
    p->network.radios[3].serialNumber = 7000000;
    p->network.radioCount = 3;
    const auto m = scrape();
    const std::set<std::string> expected = {
        R"(corvane_radio_info{network="default",serial="7000000",name="NewRadio",fn="S"})",
        R"(corvane_radio_requests_total{network="default",serial="7000000"})",
        R"(corvane_radio_replies_total{network="default",serial="7000000"})"};
    std::set<std::string> found;
    for (const auto& [series, value] : m) {
        if (series.find("7000000") == std::string::npos) continue;
        found.insert(series);
        if (series.find("_total") != std::string::npos) {
            EXPECT_EQ(value, 0) << series;
        }
    }
    EXPECT_EQ(found, expected);
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

// Whatever bytes a network file holds (older files keep names in Latin-1; junk
// lines give serial 0; duplicate serials are legal), Prometheus takes the scrape.
TEST_F(MonitorMetricsTest, AnyNetworkFileGivesAScrapePrometheusTakes) {
    const std::string dir = std::filesystem::temp_directory_path() / ("corvane-rad-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string rad = dir + "/SITE.RAD";
    std::ofstream(rad, std::ios::binary) << " 5000001  0 M\xFCller \r\n"     // Latin-1 ü
                                         << " 5000001  0 M\xFCller \r\n"     // the same radio twice
                                         << " 6000000  0 M\xC3\xBCller\r\n"  // UTF-8 ü
                                         << "junk line one\r\njunk line one\r\n"
                                         << " 6000001  0 a\x01\x7F\xC2\x85\xE2\x82\r\n"  // controls, a cut sequence
                                         << " 6000002  0 q\"\\x\r\n";                    // a quote and a backslash
    std::string error;
    ASSERT_TRUE(ReadNetworkFile(*p, rad, error)) << error;
    deliver(Diagnostics(0xF8, 0x0D80, 5000001, 2, {}, 0x1500));
    deliver(Diagnostics(0xF8, 0x0D80, 6000001, 2, {}, 0x1500));
    MonitorSnapshot s;
    TakeSnapshot(*p, 1000000.0, s);
    s.linkName = "serial";
    const std::string text = Expose(s);
    const std::string scrape = dir + "/scrape.txt";
    std::ofstream(scrape, std::ios::binary) << text;

    // Valid UTF-8 by an independent reader, and by Prometheus' own linter.
    EXPECT_EQ(std::system(("iconv -f UTF-8 -t UTF-8 " + scrape + " > /dev/null 2>&1").c_str()), 0);
    if (access("/usr/bin/promtool", X_OK) == 0) {
        EXPECT_EQ(std::system(("promtool check metrics < " + scrape + " > /dev/null 2>&1").c_str()), 0) << text;
    }
    std::filesystem::remove_all(dir);

    // Every series once; a serial in several slots says which slot.
    std::set<std::string> series;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        EXPECT_TRUE(series.insert(line.substr(0, line.rfind(' '))).second) << line;
    }
    const auto m = ParseExposition(text);
    for (const char* expected : {
             "corvane_radio_info{network=\"default\",serial=\"5000001\",slot=\"1\",name=\"M\xC3\xBCller\",fn=\"S\"}",
             "corvane_radio_info{network=\"default\",serial=\"5000001\",slot=\"2\",name=\"M\xC3\xBCller\",fn=\"S\"}",
             "corvane_radio_info{network=\"default\",serial=\"6000000\",name=\"M\xC3\xBCller\",fn=\"S\"}",
             "corvane_radio_info{network=\"default\",serial=\"0\",slot=\"4\",name=\"e\",fn=\"S\"}",
             "corvane_radio_info{network=\"default\",serial=\"0\",slot=\"5\",name=\"e\",fn=\"S\"}",
             "corvane_radio_info{network=\"default\",serial=\"6000001\",name=\"a???\xC3\xA2?\",fn=\"S\"}",
             "corvane_radio_info{network=\"default\",serial=\"6000002\",name=\"q\\\"\\\\x\",fn=\"S\"}",
             "corvane_radio_signal_level{network=\"default\",serial=\"5000001\",slot=\"1\"}",
         })
        EXPECT_EQ(m.count(expected), 1u) << expected << "\n" << text;
}

TEST(MonitorText, BytesBecomeValidUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"Pump 7", "Pump 7"},
        {"M\xC3\xBCller", "M\xC3\xBCller"},         // UTF-8 stays
        {"M\xFCller", "M\xC3\xBCller"},             // Latin-1 is read as such
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},           // three bytes
        {"\xF0\x9F\x93\xA1", "\xF0\x9F\x93\xA1"},   // four bytes
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},           // an overlong form is no UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0?"},      // nor a surrogate; 0x80 is a C1 control
        {"\xE2\x82", "\xC3\xA2?"},                  // cut short
        {std::string("a\0b\x1B\x7F", 5), "a?b??"},  // controls
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(Utf8Text(bytes), text) << bytes;
}

TEST(MonitorSweep, ASweepLongerThanTheAlarmTimeIsFlagged) {
    struct Case {
        int radios;
        int mode;
        float interval;
        int linkKind;
        double seconds;
        bool exceeds;
    };
    const Case cases[] = {
        {12, 0, 0.2f, kLinkSerial, 14 * 0.2, false},
        {2047, 0, 0.2f, kLinkSerial, 2049 * 0.2, true},
        {2047, 0, 0.1f, kLinkUdp, 2049 * 0.1, true},
        {250, 0, 0.25f, kLinkSerial, 252 * 0.3, true},  // a request every third tick
        {100, 0, 0.2f, kLinkTcp, 102 * 1.0, true},      // the master's status frames pace TCP
        {12, 1, 0.2f, kLinkSerial, 256 * 0.2, false},   // random: 256 numbers
        {300, 1, 0.1f, kLinkSerial, 256 * 0.1, true},   // numbers above 255 do not exist
    };
    ManualClock clock;
    for (const Case& c : cases) {
        auto program = CreateProgram(clock);
        program->network.radioCount = c.radios;
        program->poll.pollMode = PollPhase::fromNumber(c.mode);
        program->poll.pollInterval = c.interval;
        program->link.linkKind = static_cast<LinkKind>(c.linkKind);
        program->display.alarmTimeSeconds = 60;
        MonitorSnapshot s;
        TakeSnapshot(*program, 0, s);
        const auto m = ParseExposition(Expose(s));
        EXPECT_NEAR(m.at(R"(corvane_sweep_estimated_seconds{network="default"})"), c.seconds, 1e-6)
            << c.radios << " " << c.interval;
        EXPECT_EQ(m.at(R"(corvane_sweep_exceeds_alarm_time{network="default"})"), c.exceeds ? 1 : 0)
            << c.radios << " " << c.interval;
        EXPECT_EQ(SweepWarningText(s.sweep).find(c.radios > 256 && c.mode == 1 ? "random polling" : "a sweep of"), 0u)
            << SweepWarningText(s.sweep);
    }
}

// The journal: a change must last out the hold; many at once make one line.
TEST(MonitorJournal, AlarmChangesWaitOutTheHoldAndManyMakeOneLine) {
    EventTracker tracker(EventPolicy{30, 10, 3});
    MonitorSnapshot s;
    for (uint32_t serial : {5000001u, 5000002u, 5000003u, 5000004u}) {
        RadioSnapshot r;
        r.serial = serial;
        r.name = {'P', 'u', 'm', 'p', ' ', ' ', ' ', ' '};
        s.radios.push_back(r);
    }
    auto at = [&](double t, std::vector<uint8_t> rules) {
        s.nowEpochSeconds = t;
        for (size_t k = 0; k < rules.size(); ++k) s.radios[k].alarmRules = rules[k];
        return tracker.changes(s);
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(at(0, {0, 0, 0, 0}), Lines{"4 radios added"});
    EXPECT_EQ(at(1, {4, 0, 0, 0}), Lines{});
    EXPECT_EQ(at(25, {0, 0, 0, 0}), Lines{});  // back before the hold ran out: never logged
    EXPECT_EQ(at(26, {4, 0, 0, 0}), Lines{});
    EXPECT_EQ(at(55, {4, 0, 0, 0}), Lines{});
    EXPECT_EQ(at(56, {4, 0, 0, 0}), Lines{});  // held: waits for the rest of the gathering
    EXPECT_EQ(at(66, {4, 0, 0, 0}), Lines{"radio 5000001 (S Pump) alarm raised: no reply within the alarm time"});
    EXPECT_EQ(at(100, {0, 4, 4, 1}), Lines{});
    EXPECT_EQ(at(130, {0, 4, 4, 1}), Lines{});
    EXPECT_EQ(at(140, {0, 4, 4, 1}), Lines{"alarms: 3 raised, 1 cleared; 3 of 4 radios in alarm"});
    EXPECT_EQ(at(500, {0, 4, 4, 1}), Lines{});
}

// Two slots with one serial are two radios to the journal, not one that flips.
TEST(MonitorJournal, ASerialInTwoSlotsIsTrackedPerSlot) {
    EventTracker tracker;
    MonitorSnapshot s;
    for (int slot : {1, 2}) {
        RadioSnapshot r;
        r.slot = slot;
        r.sharedSerial = true;
        r.name = {'N', 'e', 'w', 'R', 'a', 'd', 'i', 'o'};
        r.alarmRules = slot == 1 ? kAlarmReplyAge : 0;
        s.radios.push_back(r);
    }
    EXPECT_EQ(tracker.changes(s), (std::vector<std::string>{
                                      "radio 0 in slot 1 (S NewRadio) added", "radio 0 in slot 2 (S NewRadio) added",
                                      "radio 0 in slot 1 (S NewRadio) alarm raised: no reply within the alarm time"}));
    EXPECT_TRUE(tracker.changes(s).empty());
}

// Number 30 is both a ring overrun (a protocol fault) and EROFS (a failed file
// write): each goes to its own metric, and link failures to a third. Faults go by
// name (the two behind number 32 apart), and every series is there at 0.
TEST_F(MonitorMetricsTest, FaultsLinkFailuresAndFileFailuresAreKeptApartByName) {
    RecordFault(p->errors, ProtocolFault::ReceiveBeyondRing, 512);
    RecordFault(p->errors, ProtocolFault::TraceBadCheck, 0x41);
    MonitorSnapshot s;
    TakeSnapshot(*p, 1000000.0, s);
    using Kind = ProtocolError::Kind;
    CountErrorRecord(s.counters, Kind::Failure, EROFS, 9001);  // Current.log, read-only folder
    CountErrorRecord(s.counters, Kind::Failure, EROFS, 9001);
    CountErrorRecord(s.counters, Kind::Failure, ENOSPC, 9002);  // the CSV
    CountErrorRecord(s.counters, Kind::Failure, ECONNREFUSED, 311);
    CountErrorRecord(s.counters, Kind::Failure, 325, 9001);  // a foreign sender at 0.0.35.41
    const auto m = ParseExposition(Expose(s));
    const std::pair<std::string, double> expected[] = {
        {R"(corvane_protocol_faults_total{network="default",fault="receive_beyond_ring",code="30"})", 1},
        {R"(corvane_protocol_faults_total{network="default",fault="trace_bad_check",code="32"})", 1},
        {R"(corvane_protocol_faults_total{network="default",fault="traffic_serial_too_low",code="32"})", 0},
        {R"(corvane_file_write_failures_total{network="default",file="Current.log"})", 2},
        {R"(corvane_file_write_failures_total{network="default",file="csv"})", 1},
        {R"(corvane_file_write_failures_total{network="default",file="log"})", 0},
        {R"(corvane_file_write_failures_total{network="default",file="report"})", 0},
        {R"(corvane_file_write_failures_total{network="default",file="network"})", 0},
        {R"(corvane_link_failures_total{network="default",where="tcp connect"})", 1},
        {R"(corvane_link_failures_total{network="default",where="udp foreign sender"})", 1},
        {R"(corvane_link_failures_total{network="default",where="serial read"})", 0},
    };
    for (const auto& [series, value] : expected) {
        auto it = m.find(series);
        ASSERT_NE(it, m.end()) << series;
        EXPECT_EQ(it->second, value) << series;
    }
    std::map<std::string, size_t> seriesOf;
    for (const auto& [series, value] : m) ++seriesOf[series.substr(0, series.find('{'))];
    EXPECT_EQ(seriesOf["corvane_protocol_faults_total"], size_t(FaultCounters::kKinds));
    EXPECT_EQ(seriesOf["corvane_link_failures_total"], 13u);
}

TEST(MonitorReconnect, BackOffDoublesUpToItsCap) {
    const std::pair<int, double> delays[] = {{1, 10}, {2, 20}, {3, 40}, {4, 80}, {5, 100}, {9, 100}};
    for (const auto& [attempt, delay] : delays) EXPECT_EQ(LinkSupervisor::RetryDelay(10, attempt), delay) << attempt;
    EXPECT_EQ(LinkSupervisor::RetryDelay(60, 8), 300);
}

TEST_F(MonitorMetricsTest, RadiosForgottenForANewcomerAreCounted) {
    EXPECT_EQ(scrape().at(R"(corvane_radios_forgotten_total{network="default"})"), 0);
    for (uint32_t k = 0; k < kMaxRadios - 2; ++k) deliver(Diagnostics(0xF8, 0x0D80, 7000000 + k, 2));
    deliver(Diagnostics(0xF8, 0x0D80, 8000000, 2));  // the table is full: the oldest heard gives way
    const auto m = scrape();
    EXPECT_EQ(m.at(R"(corvane_radios_forgotten_total{network="default"})"), 1);
    EXPECT_EQ(m.at(R"(corvane_radios{network="default"})"), kMaxRadios);
}

}  // namespace
