#include "e2e/e2e_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>

namespace {

constexpr int kNewNetwork = 3072;
constexpr int kOpenNetworkFile = 3073;
constexpr int kSaveNetworkFile = 3075;
constexpr int kWriteCsv = 204;

bool IsTimeText(const std::string& s) { return std::regex_match(s, std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]")); }

// Serials standing first on the radio lines of a snapshot or CSV file (the master's left out).
std::multiset<uint32_t> RadioLineSerials(const std::string& file, uint32_t masterSerial) {
    std::multiset<uint32_t> out;
    std::istringstream in(file);
    std::string line;
    const std::regex radioLine("^ *([0-9]+)[ ,]");
    std::smatch m;
    while (std::getline(in, line))
        if (std::regex_search(line, m, radioLine)) out.insert(static_cast<uint32_t>(std::stoul(m[1].str())));
    if (auto it = out.find(masterSerial); it != out.end()) out.erase(it);
    return out;
}

std::string HexDigits(int n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[n % 16]);
        n /= 16;
    } while (n > 0);
    return out;
}

// The one character a route column gives a repeater number.
char RouteDigit(int n) { return static_cast<char>(48 + n + (n > 9 ? 7 : 0)); }

int RepeaterNumberOf(const std::vector<SimRadio>& radios, uint32_t serial) {
    for (const auto& r : radios)
        if (r.serial == serial) return r.repeaterNumber;
    return -1;
}

struct ListedRadio {
    uint32_t serial;
    int repeater;
    std::string name;
    bool operator==(const ListedRadio&) const = default;
};

std::vector<ListedRadio> TableList(const Program& p) {
    std::vector<ListedRadio> out;
    for (int i = 1; i <= p.network.radioCount; ++i) {
        const RadioRecord& r = p.network.radios[i];
        out.push_back({r.serialNumber, r.repeaterNumber, NameText(r.name)});
    }
    return out;
}

}  // namespace

bool AllAnswered(const Program& program) {
    const RadioNetwork& n = program.network;
    for (int i = 1; i <= n.radioCount; ++i)
        if (n.radios[i].replyCount == 0) return false;
    return n.radioCount > 0;
}

bool OnlyTheseRadios(const Program& program, const std::vector<SimRadio>& radios) {
    std::set<uint32_t> known;
    for (const auto& r : radios) known.insert(r.serial);
    for (uint32_t s : TableSerials(program))
        if (!known.count(s)) {
            ADD_FAILURE() << "radio " << s << " in the table is not in the simulated network";
            return false;
        }
    return true;
}

void ExpectScreen0ListsTheNetwork(ProgramRun& run, const std::vector<SimRadio>& radios) {
    const RecordingCanvas& c = run.paint();
    const Program& p = run.p();
    EXPECT_EQ(c.row(3), " Radio   Fn  Sig Nse  %  Freq   DATA  Dist Num Rep1 Rep2 Rep3 Rep4 Poll  Time");
    const auto listed = run.listedSerials();
    std::set<uint32_t> shown(listed.begin(), listed.end());
    if (p.network.radioCount <= p.network.lastVisibleRow) {
        for (const auto& r : radios) {
            if (r.index == 0) continue;
            EXPECT_TRUE(shown.count(r.serial)) << "radio " << r.serial << " not listed on Screen0";
        }
    }
    for (int i = p.network.firstVisibleRow; i <= p.network.lastVisibleRow; ++i) {
        const int row = run.rowOf(i);
        SCOPED_TRACE("Screen0 row " + std::to_string(row) + ": " + c.row(row));
        EXPECT_EQ(listed[static_cast<size_t>(i - p.network.firstVisibleRow)], p.network.radios[i].serialNumber);
        const std::string poll = c.text(row, 67, 6);
        EXPECT_NE(poll.find_first_not_of(' '), std::string::npos) << "poll % blank";
        const double pollPercent = std::atof(poll.c_str());
        EXPECT_GT(pollPercent, 0);
        EXPECT_LE(pollPercent, 100);
        EXPECT_TRUE(IsTimeText(c.text(row, 73, 8))) << "time received '" << c.text(row, 73, 8) << "'";

        // Its function and its route through the repeaters, as the network has them.
        const auto it = std::find_if(radios.begin(), radios.end(),
                                     [&](const SimRadio& r) { return r.serial == p.network.radios[i].serialNumber; });
        if (it == radios.end()) continue;
        const std::string fn = it->role == "repeater" ? "R" + HexDigits(it->repeaterNumber) : "S";
        EXPECT_EQ(c.text(row, 10, static_cast<int>(fn.size()) + 1), fn + " ");
        for (size_t hop = 0; hop < 4; ++hop) {
            char expected = ' ';
            if (hop < it->path.size())
                expected = RouteDigit(RepeaterNumberOf(radios, it->path[hop]));
            else if (hop == 0)
                expected = '0';
            EXPECT_EQ(c.text(row, 48 + 5 * static_cast<int>(hop), 1)[0], expected) << "Rep" << hop + 1;
        }
    }
}

void ExpectScreen1ShowsPlausibleValues(ProgramRun& run) {
    const RecordingCanvas& c = run.paint();
    const Program& p = run.p();
    EXPECT_EQ(c.row(3), " Radio   Fn     ID   Rev Freq   Data  Dist Temp VTG  RTS CTS DTR  Polls  Time");
    ASSERT_GE(p.network.lastVisibleRow, 1);
    for (int i = p.network.firstVisibleRow; i <= p.network.lastVisibleRow; ++i) {
        const int row = run.rowOf(i);
        SCOPED_TRACE("Screen1 row " + std::to_string(row) + ": " + c.row(row));
        std::istringstream values(c.text(row, 44, 8));
        double celsius = -999, volts = -1;
        values >> celsius >> volts;
        EXPECT_GE(celsius, -30);
        EXPECT_LE(celsius, 70);
        EXPECT_GE(volts, 11.0);
        EXPECT_LE(volts, 15.0);
        EXPECT_GE(std::atoi(c.text(row, 67, 6).c_str()), 1) << "polls";
    }
}

void ExpectLogAndCsvListEveryRadio(ProgramRun& run, TempWorkDir& dir) {
    Program& p = run.p();
    std::multiset<uint32_t> table;
    for (int i = 1; i <= p.network.radioCount; ++i) table.insert(p.network.radios[i].serialNumber);

    p.log.lastLogMinute = -1;  // as when the minute turns
    run.command(kWriteCsv);
    run.tick();
    EXPECT_FALSE(p.log.csvRequested);
    const uint32_t master = static_cast<uint32_t>(p.network.master.serialNumber);
    const std::string log = dir.read("Current.log");
    EXPECT_EQ(RadioLineSerials(log, master), table) << log;
    const std::string last = log.substr(log.rfind('\n') + 1);
    EXPECT_EQ(last.rfind("Number Radios=", 0), 0u) << last;
    EXPECT_EQ(std::atoi(last.c_str() + 14), p.network.radioCount) << last;

    const auto csvs = dir.withExtension(".CSV");
    ASSERT_EQ(csvs.size(), 1u);
    const std::string csv = dir.read(csvs.front());
    EXPECT_EQ(RadioLineSerials(csv, master), table) << csv;
    EXPECT_NE(csv.find("Radio,Name,Fn,ID,Rev,Temp in C,"), std::string::npos);
}

void ExpectNetworkFileRoundTrip(ProgramRun& run, TempWorkDir& dir, const std::string& name) {
    Program& p = run.p();
    const auto before = TableList(p);
    const std::string ip = p.link.ipAddressText, port = p.link.portText;
    run.host.answer(true, name);
    run.command(kSaveNetworkFile);
    EXPECT_FALSE(dir.read(name).empty()) << name << " not written";

    run.command(kNewNetwork);
    EXPECT_EQ(p.network.radioCount, 0);
    run.highestRadioCount = 0;
    run.tick();
    run.host.answer(true, name);
    run.command(kOpenNetworkFile);
    EXPECT_EQ(TableList(p), before);
    EXPECT_EQ(p.link.ipAddressText, ip);
    EXPECT_EQ(std::atoi(p.link.portText.c_str()), std::atoi(port.c_str()));
    EXPECT_NE(p.network.networkFileName.find(name), std::string::npos);
    EXPECT_NE(run.paint().row(1).find(name), std::string::npos) << run.canvas.row(1);
}

void ExpectGraphsDrawHistory(ProgramRun& run, int index) {
    Program& p = run.p();
    ASSERT_LT(index, kHistoryRows);
    ASSERT_GE(p.network.history[index].historyCount, 2) << "radio " << index << " has no history to plot";
    p.network.selectedRadio = index;
    const Rect client = run.canvas.client;
    for (int key : {51, 52}) {  // '3', '4'
        run.key(key);
        const RecordingCanvas& c = run.paint();
        SCOPED_TRACE("Graphics" + std::to_string(key - 48));
        int traces = 0;
        for (const auto& l : c.lines) {
            EXPECT_TRUE(l.x1 >= client.left && l.x1 <= client.right && l.x2 >= client.left && l.x2 <= client.right)
                << "line x " << l.x1 << ".." << l.x2;
            EXPECT_TRUE(l.y1 >= client.top - 1 && l.y1 <= client.bottom && l.y2 >= client.top - 1 && l.y2 <= client.bottom)
                << "line y " << l.y1 << ".." << l.y2;
            if (l.pen != Pen::grey && l.pen != Pen::black) ++traces;
        }
        EXPECT_GE(traces, 2);
    }
}

int Screen2Value(const RecordingCanvas& canvas, std::string_view name) {
    for (const auto& [row, cells] : canvas.grid) {
        const std::string text = canvas.row(row);
        size_t at = text.find(name);
        if (at == std::string::npos) continue;
        const std::string rest = text.substr(at + name.size(), 5);
        if (rest.find('X') != std::string::npos) return -1;
        return std::atoi(rest.c_str());
    }
    return -2;
}
