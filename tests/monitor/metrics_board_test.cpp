#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/window_proc.h"
#include "model/program.h"
#include "monitor/metrics.h"
#include "support/exposition.h"

namespace {

std::shared_ptr<MonitorSnapshot> Site(const std::string& name, std::initializer_list<uint32_t> serials) {
    auto s = std::make_shared<MonitorSnapshot>();
    s->networkName = name;
    s->linkName = "tcp";
    s->masterSeen = true;
    s->masterSerial = 5902900;
    for (uint32_t serial : serials) {
        RadioSnapshot r;
        r.serial = serial;
        r.replied = true;
        r.replyCount = 4;
        r.signal = 40;
        r.hopCount = 1;
        r.hopNumber[0] = 1;
        r.hopRepeaterSerial[0] = 5902900;
        s->radios.push_back(r);
    }
    return s;
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

class MetricsBoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("corvane-board-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string dir;
};

// Two networks: each family once (Prometheus refuses a family split in two), each
// series with its network; promtool's linter finds nothing to say.
TEST_F(MetricsBoardTest, SeveralNetworksShareEachFamilyAndPassTheLinter) {
    MetricsBoard board(2);
    board.publish(0, Site("north", {5000001, 5000002}));
    board.publish(1, Site("south", {5000001}));
    const std::string text = *board.exposition();
    std::map<std::string, int> helps;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("# HELP ", 0) == 0) {
            ++helps[line.substr(7, line.find(' ', 7) - 7)];
        } else if (line[0] != '#') {
            EXPECT_NE(line.find("{network=\""), std::string::npos) << line;
        }
    }
    for (const auto& [family, n] : helps) EXPECT_EQ(n, 1) << family;
    const auto m = ParseExposition(text);
    for (const char* series : {R"(corvane_radio_signal_level{network="north",serial="5000002"})",
                               R"(corvane_radio_signal_level{network="south",serial="5000001"})",
                               R"(corvane_master_info{network="south",serial="5902900"})"})
        EXPECT_EQ(m.count(series), 1u) << series;
    if (access("/usr/bin/promtool", X_OK) == 0) {
        EXPECT_EQ(Output("promtool check metrics < " + write("scrape.txt", text) + " 2>&1"), "") << text;
    }
}

// A scrape between two ticks takes the same text; a publish makes a new one, and
// the gzip form is that text.
TEST_F(MetricsBoardTest, TheTextIsBuiltAgainOnlyAfterAPublish) {
    MetricsBoard board(1);
    EXPECT_EQ(board.current(0), nullptr);
    board.publish(0, Site("north", {5000001}));
    const auto first = board.exposition();
    EXPECT_EQ(board.exposition(), first);
    board.publish(0, Site("north", {5000001, 5000002}));
    const auto second = board.exposition();
    EXPECT_NE(second, first);
    EXPECT_NE(second->find("serial=\"5000002\""), std::string::npos);
    EXPECT_EQ(Output("gzip -dc " + write("scrape.gz", *board.expositionGzip())), *second);
    board.publish(7, Site("elsewhere", {1}));  // no such network: nothing changes
    EXPECT_EQ(board.exposition(), second);
}

// Requests by serial and the length of each full sweep, from the poll state a tick leaves.
TEST(MonitorPollWatch, RequestsAndSweepsAreCountedBetweenTicks) {
    struct Step {
        double at;
        int mode;
        std::vector<uint32_t> polled;
        int sweepCount;
        int randomNumber;
        int64_t sweeps;
        double lastSweep;
    };
    const Step steps[] = {
        {100, 0, {}, 0, 0, 0, 0},                    // the watch starts
        {100.1, 0, {5000001}, 0, 0, 0, 0},           // one request
        {100.2, 0, {5000002, 5000001}, 0, 0, 0, 0},  // two in one tick
        {130, 0, {}, 1, 1, 1, 30},                   // a sequential sweep came round
        {175, 0, {}, 2, 2, 2, 45},
        {180, 0, {}, 0, 2, 2, 45},    // the table was read again: no sweep
        {190, 1, {}, 0, 250, 2, 45},  // random polling
        {215, 1, {}, 0, 3, 3, 35},    // its number wrapped
    };
    ManualClock clock;
    auto program = CreateProgram(clock);
    PollWatch watch;
    for (const Step& s : steps) {
        program->poll.pollMode = PollPhase::fromNumber(s.mode);
        for (uint32_t serial : s.polled) RememberPoll(program->poll, serial);
        program->poll.sweepCount = s.sweepCount;
        program->poll.randomNumber = static_cast<uint8_t>(s.randomNumber);
        watch.observe(*program, s.at);
        EXPECT_EQ(watch.sweeps(), s.sweeps) << s.at;
        EXPECT_DOUBLE_EQ(watch.lastSweepSeconds(), s.lastSweep) << s.at;
    }
    EXPECT_EQ(watch.requests(5000001), 2);
    EXPECT_EQ(watch.requests(5000002), 1);
    EXPECT_EQ(watch.requests(7), 0);
}

}  // namespace
