#pragma once
#include <cstdint>
#include <functional>

#include "model/poll_state.h"
#include "model/receive_ring.h"
#include "platform/live_listener.h"

struct Program;

// Link open: count and both indices 0.
void RingReset(ReceiveRing& ring);
// Append at the main side under the append lock. Refused whole (false) when there
// is no room or the ring is stopped.
bool RingAppendMain(ReceiveRing& ring, const uint8_t* bytes, int n);
// Take n bytes at the main side; takes nothing (returns false) when fewer are held.
bool RingTakeMain(ReceiveRing& ring, uint8_t* destination, int n);
// Append at the link side; keeps what fits and returns how many were stored.
int RingAppendLink(ReceiveRing& ring, const uint8_t* bytes, int n);
// One drain pass of the serial writer: the contiguous run up to the ring's end is
// handed to `write`, which returns how many bytes went out (0 or less: none).
// Returns the bytes drained.
int RingDrainLink(ReceiveRing& ring, const std::function<int(const uint8_t*, int)>& write);

// The UDP notification after the socket read: overrun checks, the bytes into the
// ring, and the row-1 readout.
void UdpDatagramIntake(ReceiveRing& ring, PollState& poll, LiveListener& live, const uint8_t* bytes, int length);
