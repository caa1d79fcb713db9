#pragma once
#include "model/program.h"
#include "platform/host.h"

// The poll tick's hold on the program. While it lives the tick counts as running
// (a tick that arrives meanwhile is an overrun) and the window's canvas is lent
// for the live updates. Drawing can end before the tick does; Release gives both
// back early, before a modal box lets other messages in. Every way out of the
// tick ends the guard, so none can leave either set.
class TickGuard {
public:
    TickGuard(Program& program, TickWindow& host) : program(&program) {
        program.poll.inTimerTick = true;
        program.display.canvas = host.windowCanvas();
    }
    ~TickGuard() { Release(); }
    TickGuard(const TickGuard&) = delete;
    TickGuard& operator=(const TickGuard&) = delete;

    void EndDrawing() {
        if (program != nullptr) program->display.canvas = nullptr;
    }
    void Release() {
        if (program == nullptr) return;
        program->display.canvas = nullptr;
        program->poll.inTimerTick = false;
        program = nullptr;
    }

private:
    Program* program;
};
