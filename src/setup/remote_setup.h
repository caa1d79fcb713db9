#pragma once
#include <cstdint>

struct Program;
class Host;

// Screen2's list of the selected radio's setup parameters.
void drawScreen2Body(Program& program);
// "Change EPROM" / key C.
void changeSetupParameter(Program& program, Host& host);
// Key down with a virtual-key code.
void onKeyDown(Program& program, Host& host, int virtualKey);

// The selected radio held within 0..radioCount, so a stale index (a radio deleted
// or a new network opened meanwhile) never reaches outside the table.
int SelectedRadioInTable(const Program& program);

// The serial number of the radio a running write sequence talks to, or -1.
int64_t WriteTargetSerial(const Program& program);
// After radios were deleted: the running write keeps talking to the radio with
// `targetSerial` (taken by WriteTargetSerial before the deletion) at its new index,
// and is abandoned when that radio is gone. Without a running write, nothing.
void FollowWriteTarget(Program& program, int64_t targetSerial);
