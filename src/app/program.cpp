#include <memory>

#include "app/window_proc.h"
#include "display/screens.h"
#include "engine/poll_cycle.h"
#include "files/file_safety.h"
#include "link/link_byte_source.h"
#include "link/links.h"
#include "model/program.h"
#include "model/setup_table.h"

std::unique_ptr<Program> CreateProgram(Clock& clock) {
    auto program = std::make_unique<Program>();
    program->clock = &clock;
    // Live updates draw whenever a tick lends the window's canvas.
    program->ownedLive = MakeCanvasLiveView(*program);
    program->live = program->ownedLive.get();
    program->ownedReplySource = std::make_unique<LinkByteSource>(*program);
    program->replySource = program->ownedReplySource.get();
    program->onMasterStatus = OnMasterStatusFrame;

    program->link.linkUp = 1;
    program->log.bannerText = "Diagnostics KTX Version 2.16";
    program->log.logRequested = false;
    program->log.csvRequested = false;
    program->link.commPortName = "Com1";
    FillSetupParameterTable(program->setup);
    program->setup.setupParamCount = 39;
    program->poll.inTimerTick = false;
    return program;
}

void StartProgram(Program& program) {
    // The files of this run go into the folder it starts in, and what a writer
    // killed in the middle of a write left there is cleared away.
    std::string gone;
    if (CaptureWorkFolder(program.log.workFolder, gone)) RemoveOrphanTemporaries(program.log.workFolder);
    // The last run's "Current.log" stands until this run has heard a radio.
    program.log.keepEarlierSnapshot = true;
    StartKeepAlive({program.link, program.ring, program.errors});
}

void StopProgram(Program& program, Host& host) {
    CloseAllLinks(program, host);
    StopKeepAlive(program.link);
}
