#include "engine/engine.h"

#include <climits>
#include <cstdlib>

#include "engine/poll_cycle.h"
#include "files/file_safety.h"
#include "files/log_files.h"
#include "link/link_byte_source.h"
#include "model/radio_table.h"
#include "model/setup_table.h"
#include "platform/host.h"

void SetUpProgram(Program& program, Clock& clock) {
    program.clock = &clock;
    program.ownedReplySource = std::make_unique<LinkByteSource>(program);
    program.replySource = program.ownedReplySource.get();
    ConnectPollCycle(program);

    program.link.linkUp = 1;
    program.log.bannerText = "Diagnostics KTX Version 2.16";
    program.log.logRequested = false;
    program.log.csvRequested = false;
    program.link.commPortName = "Com1";
    FillSetupParameterTable(program.setup);
    program.setup.setupParamCount = 39;
    program.poll.inTimerTick = false;
}

void ApplyStartDefaults(Program& program) {
    // As the window starts: no port open, metric units, 0.2 s between polls.
    program.link.serialPortOpen = 0;
    program.display.metricUnits = true;
    program.poll.pollInterval = 0.2f;
    program.poll.tickAccumulator = 0.01f;
    program.display.alarmTimeSeconds = 60.0f;
    NewNetworkReset(program.network, program.poll, program.request, program.log, program.clock);
}

void StartRun(Program& program, const std::string& folder) {
    // The files of this run go into its folder, and what a writer killed in the
    // middle of a write left there is cleared away.
    std::string gone;
    if (folder.empty()) {
        if (CaptureWorkFolder(program.log.workFolder, gone)) RemoveOrphanTemporaries(program.log.workFolder);
    } else {
        program.log.workFolder = folder;
        RemoveOrphanTemporaries(folder);
    }
    // The last run's "Current.log" stands until this run has heard a radio.
    program.log.keepEarlierSnapshot = true;
    StartKeepAlive({program.link, program.ring, program.errors});
}

namespace {

// The tick's window: none. Nothing is drawn; the box of a failed remote write
// goes to the engine's questions.
class NoWindow : public TickWindow {
public:
    explicit NoWindow(EngineQuestions*& questions) : questions(questions) {}
    void invalidate(bool) override {}
    void update() override {}
    Canvas* windowCanvas() override { return nullptr; }
    void setStatusText(const std::string&) override {}
    void postMessageBox(const std::string& text, const std::string& title) override {
        questions->remoteWriteFailed(text, title);
    }

private:
    EngineQuestions*& questions;
};

}  // namespace

// Rows the poll cycle and the decoders change, told to the listeners.
class Engine::Live : public LiveListener {
public:
    explicit Live(Engine& engine) : engine(engine) {}
    void radioRow(int radio) override {
        for (EngineListener* l : engine.listeners) l->radioUpdated(radio);
    }
    // Told as the reply that added it is read, in order with the faults.
    void numberRadios(int count) override { engine.tellAdded(count); }

private:
    Engine& engine;
};

// The program's observers (faults from any thread, files from the tick), told to
// the listeners and then to whatever watched the program before the engine came.
class Engine::Fanout {
public:
    static void Fault(void* context, ProtocolError::Kind kind, int code, int value) {
        const Engine& engine = *static_cast<const Engine*>(context);
        for (EngineListener* l : engine.listeners) l->faultRecorded(kind, code, value);
        if (engine.priorFault != nullptr) engine.priorFault(engine.priorFaultContext, kind, code, value);
    }
    static void File(void* context, const std::string& name, int code) {
        const Engine& engine = *static_cast<const Engine*>(context);
        for (EngineListener* l : engine.listeners) {
            if (code == 0)
                l->fileWritten(name);
            else
                l->fileFailed(name, code);
        }
        if (engine.priorFile != nullptr) engine.priorFile(engine.priorFileContext, name, code);
    }
};

Engine::Engine(Clock& clock)
    : owned(std::make_unique<Program>()), driven(owned.get()), live(std::make_unique<Live>(*this)) {
    Program& program = *owned;
    SetUpProgram(program, clock);
    program.live = live.get();
    ApplyStartDefaults(program);
    observe();
}

Engine::Engine(Program& program) : driven(&program) {
    radioCount = program.network.radioCount;
    forgotten = program.network.forgottenRadios;
    observe();
}

void Engine::observe() {
    Program& program = *driven;
    priorFault = program.errors.observer;
    priorFaultContext = program.errors.observerContext;
    priorFile = program.log.fileObserver;
    priorFileContext = program.log.fileObserverContext;
    program.errors.observer = &Fanout::Fault;
    program.errors.observerContext = this;
    program.log.fileObserver = &Fanout::File;
    program.log.fileObserverContext = this;
}

Engine::~Engine() {
    // A window's program (not owned here) writes no last Current.log.
    if (started) stop(owned ? LastLog::write : LastLog::skip);
    CloseAllLinks(*driven, silence);
    driven->errors.observer = priorFault;
    driven->errors.observerContext = priorFaultContext;
    driven->log.fileObserver = priorFile;
    driven->log.fileObserverContext = priorFileContext;
}

void Engine::subscribe(EngineListener& listener) { listeners.push_back(&listener); }

void Engine::setQuestions(EngineQuestions* asked) { questions = asked != nullptr ? asked : &silence; }

void Engine::start(const std::string& workFolder) {
    StartRun(*driven, workFolder);
    started = true;
}

bool Engine::stop(LastLog last) {
    const bool closed = close("stopped");
    StopKeepAlive(driven->link);
    if (last == LastLog::write) {
        // The last minute's Current.log, as the window writes it on closing.
        driven->log.lastLogMinute = -1;
        LoggingStep(*driven);
    }
    started = false;
    return closed;
}

LinkResult Engine::open(const LinkDescription& description, WhenDown whenDown) {
    // Down while the open runs: a window's timer ticks in the dial-up wait.
    const bool was = isOpen;
    isOpen = false;
    opened = description;
    radioCount = driven->network.radioCount;
    forgotten = driven->network.forgottenRadios;
    LinkResult result = OpenLink(*driven, description, *questions);
    isOpen = result.ok && linkOpen();
    tellDown(was && !isOpen, "another link was asked for");
    if (isOpen)
        for (EngineListener* l : listeners) l->linkUp(description);
    if (whenDown == WhenDown::leaveAsIs) return result;
    if (result.ok && !isOpen) result.ok = false;  // e.g. a UDP link without a socket
    if (!isOpen) CloseAllLinks(*driven, *questions);
    return result;
}

bool Engine::close(const std::string& why) {
    const bool was = isOpen;
    const bool closed = CloseAllLinks(*driven, *questions);
    isOpen = false;
    tellDown(was, why);
    return closed;
}

void Engine::closeNetwork(const std::string& why) {
    const bool was = isOpen;
    CloseNetworkLink(*driven, *questions);
    isOpen = isOpen && linkOpen();
    tellDown(was && !isOpen, why);
}

void Engine::tellDown(bool wasOpen, const std::string& why) {
    if (wasOpen)
        for (EngineListener* l : listeners) l->linkDown(why);
}

bool Engine::linkOpen() const {
    const LinkState& link = driven->link;
    switch (opened.kind) {
        case LinkDescription::Kind::tcp: return link.linkKind == kLinkTcp;
        case LinkDescription::Kind::udp: return LinkUdpSocket(link) >= 0;
        case LinkDescription::Kind::dialup: return link.serialPortOpen == 1 && link.linkUp == 1;
        default: return link.serialPortOpen == 1;
    }
}

std::string Engine::downReason() const {
    switch (opened.kind) {
        case LinkDescription::Kind::tcp: return "the master closed the TCP connection";
        case LinkDescription::Kind::udp: return "the UDP socket was closed";
        case LinkDescription::Kind::dialup: return "the modem line hung up";
        default: return "the serial line hung up (adapter unplugged or port closed)";
    }
}

int Engine::udpSocket() const { return LinkUdpSocket(driven->link); }

void Engine::takeDatagram() { OnUdpReadable(*driven); }

void Engine::tick() {
    if (!isOpen) {
        // Current.log keeps its minute while the link is away.
        LoggingStep(*driven);
        return;
    }
    NoWindow window(questions);
    PollTick(*driven, window);
    afterTick(true);
}

void Engine::tick(TickWindow& window) {
    const bool wasOpen = isOpen;
    PollTick(*driven, window);
    afterTick(wasOpen);
}

void Engine::tellAdded(int count) {
    for (int slot = radioCount + 1; slot <= count; ++slot)
        for (EngineListener* l : listeners) l->radioAdded(slot);
    radioCount = count;
}

void Engine::afterTick(bool wasOpen) {
    const RadioNetwork& network = driven->network;
    // Several forgotten in one tick are told as the last of them.
    if (network.forgottenRadios > forgotten)
        for (EngineListener* l : listeners) l->radioForgotten(network.lastForgottenSerial);
    forgotten = network.forgottenRadios;
    tellAdded(network.radioCount);
    if (wasOpen && !linkOpen()) {
        isOpen = false;
        tellDown(true, downReason());
    }
}

Engine& DrivingEngine(Program& program) {
    if (!program.driver) program.driver = std::make_unique<Engine>(program);
    return static_cast<Engine&>(*program.driver);
}
