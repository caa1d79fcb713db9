#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "model/poll_phase.h"

struct PollState {
    bool inTimerTick = false;
    int32_t overrunCount = 0;
    float pollInterval = 0.2f;
    float tickAccumulator = 0.01f;
    int32_t requestState = 8;  // 0: a request waits in RequestFrame; 8: sent, build the next
    PollPhase pollMode;        // random polling, a sweep or a remote-write stage; moved by the engine
    int32_t currentRadio = 0;
    uint8_t randomNumber = 0;
    int32_t sweepCount = 0;
    int32_t setupSweepIndex = 0;
    int16_t singleParamPolls = 0;
    std::string singleParamText;
    uint16_t writeAddress = 0;
    int32_t writeValue = 0;
    int32_t pendingAddress = 0;
    int32_t pendingValue = 0;
    int32_t ackAddress = 0;
    int32_t ackValue = 0;
    int32_t masterBusy = 0;
    std::string lastTcpSendTime;
    bool repaintRequested = false;  // a reply concerned the radio on a detail screen
    // Pending frame type of the assembler, kept between ticks (0 = none).
    uint8_t pendingFrameType = 0;
    // A diagnostics frame whose hop records are still to come: its bytes so far,
    // how many hop bytes it waits for, and since when (seconds of the day). Kept
    // across ticks rather than waited for inside one; it belongs to the pending
    // type, so clearing that type drops it too.
    std::array<uint8_t, 21 + 6 * 7> heldFrame{};
    int32_t heldFrameLength = 0;  // 0: none held
    int32_t heldHopBytes = 0;
    double heldSinceSeconds = 0;
    // Next row of the hexadecimal trace display.
    int32_t traceRow = 0;
    // Serials of the last requests built for one radio (not by number): a reply
    // from one of them is the answer to its own poll.
    std::array<uint32_t, 4> recentPolls{};
    uint8_t nextRecentPoll = 0;
};

inline void RememberPoll(PollState& poll, uint32_t serial) {
    poll.recentPolls[poll.nextRecentPoll % poll.recentPolls.size()] = serial;
    poll.nextRecentPoll = uint8_t((poll.nextRecentPoll + 1) % poll.recentPolls.size());
}

inline bool PolledRecently(const PollState& poll, uint32_t serial) {
    for (uint32_t s : poll.recentPolls)
        if (s == serial && s != 0) return true;
    return false;
}
