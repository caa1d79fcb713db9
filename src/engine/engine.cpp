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

// The program's observers (faults from any thread, files from the tick).
class Engine::Fanout {
public:
    static void Fault(void* context, ProtocolError::Kind kind, int code, int value) {
        for (EngineListener* l : *static_cast<std::vector<EngineListener*>*>(context))
            l->faultRecorded(kind, code, value);
    }
    static void File(void* context, const std::string& name, int code) {
        for (EngineListener* l : *static_cast<std::vector<EngineListener*>*>(context)) {
            if (code == 0)
                l->fileWritten(name);
            else
                l->fileFailed(name, code);
        }
    }
};

Engine::Engine(Clock& clock) : owned(std::make_unique<Program>()), live(std::make_unique<Live>(*this)) {
    Program& program = *owned;
    SetUpProgram(program, clock);
    program.live = live.get();
    ApplyStartDefaults(program);
    program.errors.observer = &Fanout::Fault;
    program.errors.observerContext = &listeners;
    program.log.fileObserver = &Fanout::File;
    program.log.fileObserverContext = &listeners;
}

Engine::~Engine() {
    if (started) stop();
    CloseAllLinks(*owned, silence);
    owned->errors.observer = nullptr;
    owned->log.fileObserver = nullptr;
}

void Engine::subscribe(EngineListener& listener) { listeners.push_back(&listener); }

void Engine::setQuestions(EngineQuestions* asked) { questions = asked != nullptr ? asked : &silence; }

void Engine::start(const std::string& workFolder) {
    StartRun(*owned, workFolder);
    started = true;
}

void Engine::stop() {
    close("stopped");
    StopKeepAlive(owned->link);
    // The last minute's Current.log, as the window writes it on closing.
    owned->log.lastLogMinute = -1;
    LoggingStep(*owned);
    started = false;
}

LinkResult Engine::open(const LinkDescription& description) {
    opened = description;
    radioCount = owned->network.radioCount;
    forgotten = owned->network.forgottenRadios;
    LinkResult result = OpenLink(*owned, description, *questions);
    isOpen = result.ok && linkOpen();
    if (result.ok && !isOpen) result.ok = false;  // e.g. a UDP link without a socket
    if (isOpen)
        for (EngineListener* l : listeners) l->linkUp(description);
    if (!isOpen) CloseAllLinks(*owned, *questions);
    return result;
}

void Engine::close(const std::string& why) {
    const bool was = isOpen;
    CloseAllLinks(*owned, *questions);
    isOpen = false;
    if (was)
        for (EngineListener* l : listeners) l->linkDown(why);
}

bool Engine::linkOpen() const {
    const LinkState& link = owned->link;
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

int Engine::udpSocket() const { return LinkUdpSocket(owned->link); }

void Engine::takeDatagram() { OnUdpReadable(*owned); }

void Engine::tick() {
    if (!isOpen) {
        // Current.log keeps its minute while the link is away.
        LoggingStep(*owned);
        return;
    }
    NoWindow window(questions);
    PollTick(*owned, window);
    afterTick(true);
}

void Engine::tellAdded(int count) {
    for (int slot = radioCount + 1; slot <= count; ++slot)
        for (EngineListener* l : listeners) l->radioAdded(slot);
    radioCount = count;
}

void Engine::afterTick(bool wasOpen) {
    const RadioNetwork& network = owned->network;
    // Several forgotten in one tick are told as the last of them.
    if (network.forgottenRadios > forgotten)
        for (EngineListener* l : listeners) l->radioForgotten(network.lastForgottenSerial);
    forgotten = network.forgottenRadios;
    tellAdded(network.radioCount);
    if (wasOpen && !linkOpen()) {
        isOpen = false;
        const std::string why = downReason();
        for (EngineListener* l : listeners) l->linkDown(why);
    }
}
