#include "engine/remote_setup.h"

#include <algorithm>

#include "engine/poll_phases.h"
#include "model/radio_table.h"

namespace {

bool WriteRunning(const PollState& poll) { return poll.pollMode.remoteWrite(); }

int LastRadio(const RadioNetwork& network) { return std::clamp(network.radioCount, 0, kMaxRadios); }

}  // namespace

int SelectedRadioInTable(const RadioNetwork& network) {
    return std::clamp(network.selectedRadio, 0, LastRadio(network));
}

int64_t WriteTargetSerial(const RadioNetwork& network, const PollState& poll) {
    const int target = poll.currentRadio;
    if (!WriteRunning(poll) || target < 0 || target > LastRadio(network)) return -1;
    return network.radios[target].serialNumber;
}

void FollowWriteTarget(const RadioNetwork& network, PollState& poll, int64_t targetSerial) {
    if (targetSerial < 0 || !WriteRunning(poll)) return;
    // Already pointing at it (nothing moved, or the caller followed it before us).
    if (WriteTargetSerial(network, poll) == targetSerial) return;
    const int index = LocateRadio(network, static_cast<uint32_t>(targetSerial));
    if (index >= 0) {
        poll.currentRadio = index;
        return;
    }
    // The radio being written is no longer in the table: nothing more goes to it,
    // and no other radio inherits its write.
    poll.pollMode = Abandoned(poll.pollMode);
    poll.pendingAddress = -1;
    poll.pendingValue = -1;
    poll.ackAddress = -1;
    poll.ackValue = -1;
}
