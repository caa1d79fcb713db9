#include "engine/poll_phases.h"

#include <algorithm>

PollPhase AfterRequest(PollPhase phase) {
    if (phase.polling()) return phase;
    return PollPhase::at(phase.order(), int64_t(phase.steps()) + (phase.sweeping() ? 1 : -1));
}

PollPhase AfterReadEcho(PollPhase phase) {
    switch (phase.stage()) {
        case PollStage::contact:
            return PollPhase::at(phase.order(), PollPhase::kReadBacks + PollPhase::kStores + PollPhase::kWrites);
        case PollStage::readBack: return PollPhase::polling(phase.order());
        default: return phase;
    }
}

PollPhase AfterWriteEcho(PollPhase phase) {
    if (phase.stage() != PollStage::contact && phase.stage() != PollStage::write) return phase;
    return PollPhase::at(phase.order(), PollPhase::kReadBacks + PollPhase::kStores);
}

PollPhase Abandoned(PollPhase phase) { return PollPhase::polling(phase.order()); }

PollPhase WithSweep(PollPhase phase, int32_t reads) {
    return PollPhase::at(phase.order(), int64_t(phase.steps()) - reads);
}

PollPhase RemoteWriteStart(PollOrder order) { return PollPhase::at(order, PollPhase::kWriteSteps); }

PollPhase ReadBackOnly(PollOrder order, int32_t reads) {
    return PollPhase::at(order, std::clamp(reads, 1, PollPhase::kReadBacks));
}
