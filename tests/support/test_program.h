#pragma once
#include <memory>

#include "model/program.h"

// A program as the tests and benchmarks drive it: the given clock and live
// listener, replies read from `replies` (none: no reply source) and the setup
// parameter table filled for new-type radios.
std::unique_ptr<Program> MakeTestProgram(Clock& clock, LiveListener& live, ByteSource* replies = nullptr);
