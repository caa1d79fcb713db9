#include <sstream>
#include <string>
#include <vector>

#include "app/export_commands.h"
#include "files/history_export.h"
#include "model/derived_values.h"
#include "platform/ids.h"
#include "support/log_fixture.h"

namespace {

using Row = std::vector<std::string>;

std::vector<Row> ParseCsv(const std::string& csv) {
    std::vector<Row> rows;
    std::istringstream in(csv);
    std::string line;
    while (std::getline(in, line)) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Row row;
        std::string field;
        std::istringstream fields(line);
        while (std::getline(fields, field, ',')) row.push_back(field);
        if (!line.empty() && line.back() == ',') row.push_back("");
        rows.push_back(row);
    }
    return rows;
}

class HistoryExport : public FileFixture {
protected:
    HistoryExport() {
        RadioNetwork& n = program->network;
        n.runStartDate = "12-31-2026";
        n.runStartTime = "23:59:30";
        n.radios[1].serialNumber = 9200000;  // 32.5 V full scale
        n.radioCount = 1;
        n.selectedRadio = 1;
        HistoryRow& row = n.history[1];
        row.historyCount = 6;
        for (int s = 1; s <= 6; ++s) {
            HistorySample& v = row.samples[static_cast<size_t>(s)];
            v.time = 45 * (s - 1);  // the second sample is in the new year
            v.signal = static_cast<uint8_t>(40 + s);
            v.noise = static_cast<uint8_t>(10 + s);
            v.goodPackets = static_cast<uint8_t>(250 - s);
            v.voltageRaw = static_cast<uint8_t>(100 + s);
            v.temperatureRaw = 120;
            v.freqCode = static_cast<uint8_t>(126 + s);
            v.dataBytes = 4500 * s;
            v.goodCount = 90;
            v.badCount = 9;
        }
    }
    std::vector<Row> csvOf(int graph) {
        std::string csv, error;
        EXPECT_TRUE(HistoryCsvText(program->network, program->network.selectedRadio, graph, csv, error)) << error;
        return ParseCsv(csv);
    }
};

TEST_F(HistoryExport, Graphics3ReadsBackAsTheGraphsValues) {
    const auto rows = csvOf(3);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], (Row{"time", "signal level", "noise level", "receive %", "data rate kB/s", "bad packets kB/s"}));
    EXPECT_EQ(rows[1][0], "2026-12-31T23:59:30");
    EXPECT_EQ(rows[2][0], "2027-01-01T00:00:15");
    // Sample 2: 9000 bytes over 45 s = 200 B/s = 20 tens; bad share 9 of 100.
    EXPECT_EQ(std::stod(rows[2][1]), 42);
    EXPECT_EQ(std::stod(rows[2][2]), 12);
    EXPECT_EQ(std::stod(rows[2][3]), 248 / 2.56);
    EXPECT_EQ(std::stod(rows[2][4]), 0.2);
    EXPECT_EQ(std::stod(rows[2][5]), 20.0 * 9 / 100 / 100);
    // No rate for the last sample, no bad-packet rate for the first.
    EXPECT_EQ(rows[6][4], "");
    EXPECT_EQ(rows[1][5], "");
}

TEST_F(HistoryExport, Graphics4InVoltsDegreesAndPpmFromTheFifthSample) {
    const auto rows = csvOf(4);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], (Row{"time", "voltage V", "temperature C", "frequency offset ppm"}));
    EXPECT_EQ(std::stod(rows[1][1]), 32.5 * 101 / 255.0);
    EXPECT_EQ(std::stod(rows[1][2]), TemperatureFromRaw(120));
    EXPECT_EQ(rows[4][3], "");
    EXPECT_EQ(std::stod(rows[5][3]), (131 - 128) / 10.0);
}

TEST_F(HistoryExport, MasterIsLabelledWithItsErrorShare) {
    program->network.selectedRadio = 0;
    EXPECT_EQ(csvOf(3)[0][3], "error %");
}

TEST_F(HistoryExport, CommandsWriteTheChosenFileOrSayWhyNot) {
    struct Case {
        int screen;
        int command;
        std::string path;
        std::string message;  // empty: the file is written
    };
    const Case cases[] = {
        {1, menu::exportHistory, "h.csv", "Export History: Show Graphics3 or Graphics4 first"},
        {4, menu::exportHistory, "h.csv", ""},
        {3, menu::exportHistory, "missing/h.csv", "Export History: Could not write missing/h.csv: "},
        {3, menu::exportGraph, "g.png", "Export Graph: Could not write g.png: there is no window image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " on screen " + std::to_string(c.screen));
        host.shown.clear();
        program->display.screenNumber = c.screen;
        host.answer(true, c.path);
        EXPECT_TRUE(OnExportCommand(*program, host, c.command));
        const auto messages = host.messages();
        if (c.message.empty()) {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(host.fileRequests.back().initialName, "9200000-Graphics4.csv");
            EXPECT_EQ(ReadFileBytes(c.path).substr(0, 10), "time,volta");
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].substr(0, c.message.size()), c.message);
            EXPECT_FALSE(FileExists(c.path));
        }
        host.answers.clear();
    }
    EXPECT_FALSE(OnExportCommand(*program, host, 3072));
}

}  // namespace
