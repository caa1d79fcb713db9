#pragma once
#include <cstdint>
#include <memory>

struct Program;
class Host;
class Clock;

namespace msg {
constexpr unsigned create = 1;
constexpr unsigned destroy = 2;
constexpr unsigned size = 5;
constexpr unsigned paint = 15;
constexpr unsigned notify = 78;
constexpr unsigned keyDown = 256;
constexpr unsigned command = 273;
constexpr unsigned timer = 275;
constexpr unsigned menuSelect = 287;
constexpr unsigned mouseMove = 512;
constexpr unsigned leftButtonDown = 513;
constexpr unsigned rightButtonDown = 516;
constexpr unsigned udpSocket = 961;
}  // namespace msg

// Makes the program state with its start-up values (tables filled, banner, "Com1").
// The keep-alive thread is started by StartProgram, not here, so tests stay quiet.
std::unique_ptr<Program> CreateProgram(Clock& clock);
void StartProgram(Program& program);
void StopProgram(Program& program, Host& host);

// The window procedure: every message the window gets goes through here.
intptr_t windowProc(Program& program, Host& host, unsigned message, uintptr_t wParam, intptr_t lParam);
