#pragma once
#include <cstdint>

#include "model/poll_phase.h"

// How the poll cycle moves from one phase to the next. The engine alone calls
// these; everything else reads the phase.

// One request of a sweep or a remote-write stage was built: a sweep has one read
// less, a write stage one request less, and the last one leads to the next stage
// (contact, write, store, read back, then polling again).
PollPhase AfterRequest(PollPhase phase);
// The target radio echoed a read of the location being written: contact made
// jumps to the write stage, a read-back answered ends the write; otherwise nothing.
PollPhase AfterReadEcho(PollPhase phase);
// The target radio echoed the value written: contact or write jumps to the store stage.
PollPhase AfterWriteEcho(PollPhase phase);
// The sweep or write ends early: polling resumes in its order.
PollPhase Abandoned(PollPhase phase);
// A sweep of `reads` parameters started from any phase. It counts from where that
// phase stood: a running write is abandoned and shortens the sweep by the requests
// it had left, a running sweep grows by `reads`.
PollPhase WithSweep(PollPhase phase, int32_t reads);
// A remote write from its first contact read, returning to `order`.
PollPhase RemoteWriteStart(PollOrder order);
// `reads` reads of the write location from one radio, returning to `order`.
PollPhase ReadBackOnly(PollOrder order, int32_t reads);
