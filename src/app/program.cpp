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
    return program;
}

// The files of this run go into the folder it starts in.
void StartProgram(Program& program) { StartRun(program); }

void StopProgram(Program& program, Host& host) {
    CloseAllLinks(program, host);
    StopKeepAlive(program.link);
}
