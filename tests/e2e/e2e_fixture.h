#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/radiosim_process.h"
#include "engine/engine.h"
#include "model/program.h"
#include "platform/clock.h"
#include "support/recording_canvas.h"
#include "support/scripted_host.h"

// One line of the simulator's log: "MS LINK KIND HEX TEXT".
struct SimLine {
    int64_t ms = 0;
    std::string link;  // tcp, udp, pty, modem, sim
    std::string kind;  // rx, tx, ev
    std::vector<uint8_t> bytes;
    std::string text;
};

std::vector<SimLine> ParseSimLog(const std::vector<std::string>& lines);
// Request frames the simulator took in on a link (reads, writes, stores; not keep-alives).
std::vector<SimLine> Requests(const std::vector<SimLine>& log, const std::string& link);
uint32_t FrameSerial(const SimLine& line);  // bytes 1..3 of a frame
double MedianGapMs(const std::vector<SimLine>& lines);
// Lines whose text contains `part`.
// Consecutive requests that went out within one wall-clock second for sure. The log
// counts from the simulator's start, somewhere between `startedEpochMs` and
// `readyEpochMs`; a request may have left up to `transitMs` before it was logged.
int SameSecondPairs(const std::vector<SimLine>& requests, int64_t startedEpochMs, int64_t readyEpochMs,
                    int transitMs);
std::vector<SimLine> WithText(const std::vector<SimLine>& log, const std::string& part);

// The simulated network as the simulator's start-up log lists it.
struct SimRadio {
    int index = 0;  // 0 is the master
    uint32_t serial = 0;
    std::string role;  // master, slave, repeater
    int repeaterNumber = 0;           // repeaters only
    std::vector<uint32_t> path;       // serials of the repeaters between it and the master, nearest first
};
std::vector<SimRadio> SimNetwork(const std::vector<SimLine>& log);

// A temporary working directory for the files the program writes; the old one
// comes back (and the directory goes) when this ends.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    const std::string& path() const { return dir; }
    std::vector<std::string> files() const;                 // names in it
    std::string read(const std::string& name) const;        // whole file
    std::vector<std::string> withExtension(const std::string& ext) const;

private:
    std::string dir;
    std::string previous;
};

// The scripted host, whose event pump can also run whatever falls due meanwhile,
// as the real window's pump delivers timer ticks during a modal wait.
class E2EHost : public ScriptedHost {
public:
    void pumpEvents() override {
        ScriptedHost::pumpEvents();
        if (onPump) onPump();
    }
    std::function<void()> onPump;
};

// The real program, driven through WindowProc as the window drives it: a tick every
// 100 ms of real time, datagrams delivered as message 961 while the socket is readable.
class ProgramRun : private EngineListener {
public:
    explicit ProgramRun(Rect client = Rect{0, 0, 792, 541});
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    Program& p() { return *program; }
    void command(int id);
    void key(int virtualKey);
    // One timer tick, then wait for the next 100 ms step (serving the UDP socket meanwhile).
    void tick();
    void runFor(double seconds);
    // Ticks until `done` holds or the time is up; true when it held.
    bool runUntil(const std::function<bool()>& done, double seconds);
    // From now on a host event pump (a modal wait in the program) also delivers
    // the timer ticks that fall due, as the real window does.
    void tickDuringPumps();

    // A full repaint on a cleared canvas, as after an erasing invalidate.
    const RecordingCanvas& paint();
    int clientBottom() const { return canvas.client.bottom; }
    std::string linkStatusLine() { return paint().lineAtBottom(clientBottom() - 24); }

    // Serials of the radios listed on the current screen's rows (after paint()).
    std::vector<uint32_t> listedSerials() const;
    // The screen row of table index i (after paint()).
    int rowOf(int index) const;

    // Error codes recorded so far, with how often.
    std::map<int, int> errorCodes();
    int errorCount() const { return program->errors.count.load(); }

    // Links to the simulator.
    void openSerial(const std::string& devicePath);  // CORVANE_COM1 + "Open Comm"
    void connectTcp(int port);                        // prompts of 129, then 130
    void connectUdp(int port, const std::string& password);

    SystemClock clock;
    E2EHost host;
    RecordingCanvas canvas;
    std::unique_ptr<Program> program;
    int ticks = 0;

    // Ticks whose radio count was below the highest count seen before (a table
    // emptied on purpose, by New Network, sets highestRadioCount back).
    int radioCountDrops = 0;
    int highestRadioCount = 0;

private:
    // Faults and failures as the window's engine tells them.
    void faultRecorded(ProtocolError::Kind kind, int code, int value) override;
    void waitForNextStep();
    void serveUdp(int timeoutMs);

    std::mutex errorLock;
    std::map<int, int> codes;
    int64_t nextStepNs = 0;
};

// Handy checks on what the program holds.
std::set<uint32_t> TableSerials(const Program& program);  // radios 1..radioCount
bool TableHolds(const Program& program, const std::vector<SimRadio>& radios);  // every non-master radio

// A test with its own working directory, simulator and program (destroyed in the
// reverse order: the program closes its link before the simulator goes).
class E2ETest : public ::testing::Test {
protected:
    // On a failure the end of the simulator's log goes into the test output.
    void TearDown() override;
    // Starts the simulator; tests ASSERT on its ready().
    RadioSimProcess& startSim(std::vector<std::string> args);
    std::vector<SimLine> simLog() const { return ParseSimLog(sim->logLines()); }
    std::vector<SimRadio> simRadios() const { return SimNetwork(simLog()); }

    TempWorkDir dir;
    std::unique_ptr<RadioSimProcess> sim;
    ProgramRun run;
};
