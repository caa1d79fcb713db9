#include "engine/remote_setup.h"

#include <algorithm>

#include "model/program.h"
#include "model/radio_table.h"

namespace {

// pollMode 2..61: the write, store and read-back stages of a parameter change.
bool WriteRunning(const Program& program) {
    const int mode = program.poll.pollMode;
    return mode >= 2 && mode <= 61;
}

int LastRadio(const Program& program) { return std::clamp(program.network.radioCount, 0, kMaxRadios); }

}  // namespace

int SelectedRadioInTable(const Program& program) {
    return std::clamp(program.network.selectedRadio, 0, LastRadio(program));
}

int64_t WriteTargetSerial(const Program& program) {
    const int target = program.poll.currentRadio;
    if (!WriteRunning(program) || target < 0 || target > LastRadio(program)) return -1;
    return program.network.radios[target].serialNumber;
}

void FollowWriteTarget(Program& program, int64_t targetSerial) {
    if (targetSerial < 0 || !WriteRunning(program)) return;
    PollState& poll = program.poll;
    // Already pointing at it (nothing moved, or the caller followed it before us).
    if (WriteTargetSerial(program) == targetSerial) return;
    const int index = LocateRadio(program.network, static_cast<uint32_t>(targetSerial));
    if (index >= 0) {
        poll.currentRadio = index;
        return;
    }
    // The radio being written is no longer in the table: nothing more goes to it,
    // and no other radio inherits its write.
    poll.pollMode &= 1;
    poll.pendingAddress = -1;
    poll.pendingValue = -1;
    poll.ackAddress = -1;
    poll.ackValue = -1;
}
