// The faults the options ask for: which frames they hit and how those leave,
// when the master is busy, and the noise and flood put on every link.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "frames.h"
#include "network.h"
#include "options.h"

namespace radiosim {

using FaultCounts = std::map<std::string, uint64_t>;

// One log line and the bytes that go out under it, each piece with its delay.
struct Transmission {
    struct Piece {
        Bytes bytes;
        int64_t delayMs = 0;
    };
    std::string hex;  // what the log line shows
    std::string text;
    std::vector<Piece> pieces;
};

// What the line faults put on every link since the last look.
struct LineFaults {
    Bytes noise;               // random bytes; empty: none due
    std::vector<Bytes> flood;  // good replies from radios not in the network
    bool noiseOver = false;    // the noise ended at this look
    bool floodOver = false;
};

class FaultPlan {
public:
    FaultPlan(const FaultOptions& faults, uint32_t seed);

    bool dropReply() { return roll(faults.dropPercent); }
    bool busy(int64_t nowMs) const;
    // The master's busy state, when it changed since the last look.
    std::optional<bool> busyChange(int64_t nowMs);

    // How a reply frame leaves: stray bytes ahead of it, a bad XOR, hop
    // records late or withheld, or cut into pieces; counts the faults.
    std::vector<Transmission> shape(Bytes frame, const std::string& text, FaultCounts& counts);

    LineFaults lineFaults(int64_t nowMs, const Network& network);

    // The next time a fault starts, ends or sends; -1: none.
    int64_t nextWakeMs(int64_t nowMs) const;

    // The unsolicited reports draw their kind and spacing from this generator
    // too, so a seed gives the run it always gave.
    bool linkReportNext() { return std::uniform_int_distribution<int>(0, 1)(rng) != 0; }
    int64_t reportWaitMs(int reportMs);

private:
    bool roll(double percent);
    bool noiseOn(int64_t nowMs) const;
    bool floodOn(int64_t nowMs) const;
    Bytes floodReply(const Network& network);

    FaultOptions faults;
    std::mt19937 rng;
    // The line faults draw from their own generator, so switching them on
    // leaves every other random choice as it was.
    std::mt19937 lineRng;
    bool wasBusy = false;
    int64_t lineFaultsMs = 0;  // when noise and flood were last sent
    double noiseOwed = 0;      // bytes due but not yet sent (a fraction)
    double floodOwed = 0;      // replies likewise
    bool noiseEnded = false;
    bool floodEnded = false;
};

}  // namespace radiosim
