#include "support/test_program.h"

#include "engine/poll_cycle.h"
#include "model/setup_table.h"

std::unique_ptr<Program> MakeTestProgram(Clock& clock, LiveListener& live, ByteSource* replies) {
    auto program = std::make_unique<Program>();
    program->clock = &clock;
    program->live = &live;
    program->replySource = replies;
    ConnectPollCycle(*program);
    FillSetupParameterTable(program->setup);
    program->setup.setupParamCount = 39;
    return program;
}
