#pragma once
#include <cstdint>

#include "model/poll_state.h"
#include "model/radio_network.h"

// The selected radio held within 0..radioCount, so a stale index (a radio deleted
// or a new network opened meanwhile) never reaches outside the table.
int SelectedRadioInTable(const RadioNetwork& network);

// The serial number of the radio a running write sequence talks to, or -1.
int64_t WriteTargetSerial(const RadioNetwork& network, const PollState& poll);
// After radios were deleted: the running write keeps talking to the radio with
// `targetSerial` (taken by WriteTargetSerial before the deletion) at its new index,
// and is abandoned when that radio is gone. Without a running write, nothing.
void FollowWriteTarget(const RadioNetwork& network, PollState& poll, int64_t targetSerial);
