#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/links.h"
#include "model/program.h"

class Clock;
class TickWindow;

// What an engine tells whoever watches it. Called on the thread that drives the
// engine, except faultRecorded, which the link threads call too.
class EngineListener {
public:
    virtual ~EngineListener() = default;
    virtual void linkUp(const LinkDescription& /*link*/) {}
    // The link closed itself (line gone, peer hung up) or was closed; why, in words.
    virtual void linkDown(const std::string& /*why*/) {}
    virtual void radioAdded(int /*slot*/) {}
    // A provisional radio gave its slot to a newcomer.
    virtual void radioForgotten(uint32_t /*serial*/) {}
    // A radio's row changed (a reply stored, about to be polled).
    virtual void radioUpdated(int /*slot*/) {}
    virtual void faultRecorded(ProtocolError::Kind /*kind*/, int /*code*/, int /*value*/) {}
    // A file of the run ("Current.log", a dated log or CSV) written, or not (errno).
    virtual void fileWritten(const std::string& /*name*/) {}
    virtual void fileFailed(const std::string& /*name*/, int /*code*/) {}
};

// What a sequence asks or shows in its middle: the dial-up questions, the
// "Dialing" box, and the box of a remote write that failed (it opens after the tick).
class EngineQuestions : public LinkQuestions {
public:
    virtual void remoteWriteFailed(const std::string& /*text*/, const std::string& /*title*/) {}
};

// The start-up values of a program, without a window (tables, banner, "Com1",
// poll interval, alarm time, the master-status hook and the link's reply bytes).
void SetUpProgram(Program& program, Clock& clock);
// What a new window starts with: no port open, metric units, 0.2 s between polls,
// alarm time 60 s and a new, empty network.
void ApplyStartDefaults(Program& program);
// The start of a run: the work folder (`folder`, or the current directory when
// empty) cleared of what a killed writer left, the earlier Current.log kept until
// a radio replies, and the keep-alive thread.
void StartRun(Program& program, const std::string& folder = {});

// One network: its program, its link and its poll cycle. A shell makes one per
// network and drives it from one thread; engines share nothing, so several run
// side by side in one process.
class Engine : public ProgramDriver {
public:
    explicit Engine(Clock& clock);
    // Drives a program made and owned elsewhere (a window's, set up already); its
    // live view stays the window's, so radioUpdated is not told, radioAdded after ticks.
    explicit Engine(Program& program);
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Listeners are added before the run starts and outlive the engine's run.
    void subscribe(EngineListener& listener);
    // Answers the questions of the sequences; without one, every question is cancelled.
    void setQuestions(EngineQuestions* questions);
    // The questions set now; null when none is.
    EngineQuestions* askedQuestions() const { return questions == &silence ? nullptr : questions; }

    // Starts the run in `workFolder` (the current directory when empty).
    void start(const std::string& workFolder = {});
    // Whether stopping writes the last minute's Current.log (the window does not).
    enum class LastLog { write, skip };
    // Closes the link and, unless skipped, writes the last Current.log; the keep-alive
    // stops. False when a serial port would not close.
    bool stop(LastLog last = LastLog::write);

    // What an open that did not come up leaves: every link closed and a UDP link
    // without a socket called a failure, or (as the window wants) the link as the
    // open left it, with the link layer's own result.
    enum class WhenDown { closeAll, leaveAsIs };
    LinkResult open(const LinkDescription& description, WhenDown whenDown = WhenDown::closeAll);
    // Closes the link (an open one says linkDown with `why`); false when a serial
    // port would not close.
    bool close(const std::string& why);
    // Closes a TCP or UDP link; an open serial port stays open.
    void closeNetwork(const std::string& why);
    // Whether the link opened last is up now.
    bool linkOpen() const;
    // The UDP socket when a UDP link is open, else -1: a datagram waiting there is
    // taken in by takeDatagram().
    int udpSocket() const;
    void takeDatagram();

    // One 100 ms tick: send, receive, build, log. While no link is up, only the
    // minute's Current.log.
    void tick();
    // The window's tick: the poll tick on `window` whether a link is up or not, then
    // the same events as the tick above.
    void tick(TickWindow& window);

    // Why the link opened last is down, in words.
    std::string downReason() const;

    const Program& state() const { return *driven; }
    // For settings between ticks (network file, poll mode, interval, observers).
    Program& program() { return *driven; }

private:
    class Live;
    class Fanout;
    void observe();
    void afterTick(bool wasOpen);
    void tellDown(bool wasOpen, const std::string& why);
    void tellAdded(int count);

    std::unique_ptr<Program> owned;
    Program* driven = nullptr;
    std::unique_ptr<Live> live;
    std::vector<EngineListener*> listeners;
    EngineQuestions silence;
    EngineQuestions* questions = &silence;
    LinkDescription opened;
    bool isOpen = false;
    bool started = false;
    int radioCount = 0;
    int64_t forgotten = 0;
    // What watched the program's faults and files before the engine came.
    void (*priorFault)(void*, ProtocolError::Kind, int, int) = nullptr;
    void* priorFaultContext = nullptr;
    void (*priorFile)(void*, const std::string&, int) = nullptr;
    void* priorFileContext = nullptr;
};

// The engine that drives a window's program, made on first use and owned by the program.
Engine& DrivingEngine(Program& program);
