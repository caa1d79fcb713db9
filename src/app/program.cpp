#include <memory>

#include "app/link_commands.h"
#include "app/window_proc.h"
#include "display/screens.h"
#include "engine/engine.h"
#include "link/links.h"
#include "model/program.h"

std::unique_ptr<Program> CreateProgram(Clock& clock) {
    auto program = std::make_unique<Program>();
    SetUpProgram(*program, clock);
    // Live updates draw whenever a tick lends the window's canvas.
    program->ownedLive = MakeCanvasLiveView(*program);
    program->live = program->ownedLive.get();
    // The window's commands and timer drive the program through its engine.
    DrivingEngine(*program);
    return program;
}

// The files of this run go into the folder it starts in.
void StartProgram(Program& program) { DrivingEngine(program).start(); }

void StopProgram(Program& program, Host& host) {
    WindowAsks asks(program, host);
    // The window writes no last Current.log on closing.
    if (!asks.engine.stop(Engine::LastLog::skip)) host.messageBox("Could not close comm port!", "Error!");
}
