#pragma once
#include <cstdint>
#include <memory>

#include "platform/ids.h"

struct Program;
class Host;
class Clock;

// Makes the program state with its start-up values (tables filled, banner, "Com1")
// and the engine that drives it for the window (DrivingEngine). The keep-alive
// thread is started by StartProgram, not here, so tests stay quiet.
std::unique_ptr<Program> CreateProgram(Clock& clock);
void StartProgram(Program& program);
void StopProgram(Program& program, Host& host);

// The window procedure: every message the window gets goes through here.
intptr_t WindowProc(Program& program, Host& host, unsigned message, uintptr_t wParam, intptr_t lParam);
