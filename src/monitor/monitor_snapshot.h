#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model/protocol_error.h"

struct Program;

// One radio as the lists show it, in the window's units and scaling.
struct RadioSnapshot {
    uint32_t serial = 0;
    int slot = 0;               // table index, 1..radioCount
    bool sharedSerial = false;  // another slot holds the same serial (legal in a network file; 0 from junk lines)
    std::array<char, 8> name{};
    uint8_t repeaterNumber = 0;
    bool replied = false;
    bool alarm = false;
    uint8_t alarmRules = 0;  // AlarmRule bits
    int signal = 0;
    int noise = 0;
    double goodRatio = 0;   // Screen0 % / 100
    double ppm = 0;
    double km = 0;
    int disconnects = 0;
    int temperatureC = 0;
    double volts = 0;
    int64_t dataBytes = 0;
    double pollRatio = 0;   // Poll % / 100
    double ageSeconds = 0;  // since the last reply
    int replyCount = 0;
    int64_t requests = 0;  // requests addressed to its serial (random polling asks by number)
    // The path: up to four hops, the repeater's serial (the master's for a direct
    // link) and the signal it hears.
    int hopCount = 0;
    std::array<int, 4> hopNumber{};  // 1..4, the column on Screen0
    std::array<uint32_t, 4> hopRepeaterSerial{};
    std::array<double, 4> hopSignal{};
    // The repeater number of each hop 1..4 as the table holds it (0: the master or none).
    std::array<uint8_t, 4> pathRepeater{};
};

// The rules that colour a row as an alarm.
enum AlarmRule : uint8_t { kAlarmGoodPackets = 1, kAlarmFrequency = 2, kAlarmReplyAge = 4 };

// Counts the monitor keeps beside the program's own tables.
struct MonitorCounters {
    std::array<int64_t, 12> framesByType{};  // 0xF0..0xFB
    std::map<int, int64_t> errorsByCode;     // protocol faults only, by number
    std::map<std::string, int64_t> fileWriteFailures;  // by file kind ("Current.log", "log", ...)
    std::map<std::string, int64_t> linkFailures;       // by where ("serial read", "tcp connect", ...)
    int64_t reconnects = 0;
};

// How long polling takes to come round to every radio again, against the alarm time.
struct SweepEstimate {
    int radios = 0;
    bool sequential = true;
    double requestSeconds = 0;  // one request every so often
    double seconds = 0;         // one sweep
    double alarmTimeSeconds = 0;
    bool unreachable = false;  // random polling asks by an 8-bit number: radios beyond 256 are never asked
    bool exceedsAlarmTime = false;
};
SweepEstimate EstimateSweep(const Program& program);
// One line saying why radios will show alarms between replies, and what helps.
std::string SweepWarningText(const SweepEstimate& sweep);

// What the poll cycle did between ticks that its tables do not keep: requests
// addressed to each serial, and when sweeps came round.
class PollWatch {
public:
    // After each tick, with a steady clock in seconds.
    void observe(const Program& program, double steadySeconds);
    int64_t requests(uint32_t serial) const;
    int64_t sweeps() const { return sweepsDone; }
    double lastSweepSeconds() const { return lastSweep; }  // 0 until one has come round

private:
    std::map<uint32_t, int64_t> bySerial;
    bool started = false;
    uint8_t nextRecent = 0;
    int sweepCount = 0;
    uint8_t randomNumber = 0;
    double sweepStart = 0;
    int64_t sweepsDone = 0;
    double lastSweep = 0;
};

// What one tick left in the tables, for the exporter and the terminal.
struct MonitorSnapshot {
    std::string networkName = "default";  // the `network` label
    std::string linkName;  // serial, tcp, udp, dialup
    bool linkUp = false;
    std::string linkState;  // "up", "down: <reason>", "connecting"
    int64_t requestsSent = 0;
    MonitorCounters counters;
    double nowEpochSeconds = 0;
    bool masterSeen = false;
    uint32_t masterSerial = 0;
    int masterNoise = 0;
    int masterTemperatureC = 0;
    double masterVolts = 0;
    int64_t masterDataBytes = 0;
    double masterAgeSeconds = 0;
    SweepEstimate sweep;
    int64_t sweepsCompleted = 0;
    double lastSweepSeconds = 0;  // 0: none has come round yet
    double alarmTimeSeconds = 0;
    // Protocol faults by kind, in the order of FaultKinds().
    std::array<int64_t, FaultCounters::kKinds> faults{};
    // Radios heard on the air that never answered their own poll, forgotten to
    // make room in a full table; and the last of them.
    int64_t radiosForgotten = 0;
    uint32_t lastForgottenSerial = 0;
    std::vector<RadioSnapshot> radios;  // table order, slots 1..radioCount
};

// Reads the program's tables into `out` (whose radio vector keeps its capacity).
// `nowEpochSeconds` and the program's clock give the reply timestamps; `watch`,
// when given, the requests and sweeps.
void TakeSnapshot(const Program& program, double nowEpochSeconds, MonitorSnapshot& out,
                  const PollWatch* watch = nullptr);

// Every protocol fault with its metric name, in a fixed order.
struct FaultKind {
    ProtocolFault fault;
    const char* name;
};
const std::array<FaultKind, FaultCounters::kKinds>& FaultKinds();

// "S", "R1".."RF", ... as the Fn column shows it.
std::string FnText(uint8_t repeaterNumber);
// The name trimmed of its padding blanks, as valid UTF-8 (see Utf8Text).
std::string TrimmedName(const std::array<char, 8>& name);
// Bytes as valid UTF-8 for labels and the journal: UTF-8 stays; any other byte is
// read as Latin-1 (what older network files hold); control characters become '?'.
std::string Utf8Text(std::string_view bytes);
// Characters (code points) of valid UTF-8 text.
size_t Utf8Length(std::string_view text);
