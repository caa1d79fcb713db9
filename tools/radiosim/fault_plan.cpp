#include "fault_plan.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace radiosim {

FaultPlan::FaultPlan(const FaultOptions& faults, uint32_t seed)
    : faults(faults), rng(seed ^ 0x5EEDFA17u), lineRng(seed ^ 0x0A15E5EDu) {}

bool FaultPlan::roll(double percent) {
    return percent > 0 && std::uniform_real_distribution<double>(0, 100)(rng) < percent;
}

bool FaultPlan::busy(int64_t nowMs) const {
    if (faults.busyAtSeconds < 0 || faults.busyForSeconds <= 0) return false;
    const double t = static_cast<double>(nowMs) / 1000.0;
    return t >= faults.busyAtSeconds && t < faults.busyAtSeconds + faults.busyForSeconds;
}

std::optional<bool> FaultPlan::busyChange(int64_t nowMs) {
    const bool now = busy(nowMs);
    if (now == wasBusy) return std::nullopt;
    wasBusy = now;
    return now;
}

std::vector<Transmission> FaultPlan::shape(Bytes frame, const std::string& text, FaultCounts& counts) {
    const auto& f = faults;
    std::vector<Transmission> out;
    std::string notes;
    if (roll(f.corruptPercent)) {
        frame.back() ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(rng));
        ++counts["corrupt"];
        notes += " [fault corrupt: bad XOR]";
    }
    if (roll(f.strayPercent)) {
        // Bytes that are no reply type, so the program skips them one by one.
        static const uint8_t kStray[] = {0x00, 0x41, 0x7F, 0xA5, 0xF6, 0xF7, 0xFA, 0xFF, 0x0D, 0x55};
        Bytes stray(static_cast<size_t>(std::uniform_int_distribution<int>(1, 3)(rng)));
        for (auto& b : stray) b = kStray[std::uniform_int_distribution<size_t>(0, std::size(kStray) - 1)(rng)];
        ++counts["stray"];
        out.push_back({Hex(stray), "[fault stray: bytes between frames]", {{std::move(stray), 0}}});
    }
    const bool variable = frame[0] == kReadReply || frame[0] == kWriteReply || frame[0] == kTrace;
    const int hops = variable ? frame[7] : 0;
    if ((frame[0] == kReadReply || frame[0] == kWriteReply) && roll(f.withheldHopsPercent)) {
        // Only the fixed bytes, announcing hop records; the rest is lost on the air.
        Bytes header(frame.begin(), frame.begin() + 21);
        header[7] = static_cast<uint8_t>(f.withheldHopCount);
        ++counts["withheld-hops"];
        out.push_back({Hex(header),
                       text + notes + " [fault withheld-hops: header announces " + std::to_string(f.withheldHopCount) +
                           " hop records, none follow]",
                       {{std::move(header), 0}}});
        return out;
    }
    if (hops >= 1 && hops <= kMaxHops && roll(f.lateHopsPercent)) {
        ++counts["late-hops"];
        notes += " [fault late-hops: hop records " + std::to_string(f.lateHopsDelayMs) + " ms late]";
        out.push_back({Hex(frame),
                       text + notes,
                       {{Bytes(frame.begin(), frame.begin() + 21), 0},
                        {Bytes(frame.begin() + 21, frame.end()), f.lateHopsDelayMs}}});
        return out;
    }
    if (frame.size() >= 2 && roll(f.splitPercent)) {
        const int pieces = std::min<int>(static_cast<int>(frame.size()), std::uniform_int_distribution<int>(2, 3)(rng));
        std::vector<size_t> cuts;
        while (static_cast<int>(cuts.size()) < pieces - 1) {
            const size_t c = std::uniform_int_distribution<size_t>(1, frame.size() - 1)(rng);
            if (std::find(cuts.begin(), cuts.end(), c) == cuts.end()) cuts.push_back(c);
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.push_back(frame.size());
        ++counts["split"];
        notes +=
            " [fault split: " + std::to_string(pieces) + " pieces " + std::to_string(f.splitDelayMs) + " ms apart]";
        Transmission t{Hex(frame), text + notes, {}};
        size_t from = 0;
        for (size_t k = 0; k < cuts.size(); ++k) {
            t.pieces.push_back(
                {Bytes(frame.begin() + static_cast<ptrdiff_t>(from), frame.begin() + static_cast<ptrdiff_t>(cuts[k])),
                 static_cast<int64_t>(k) * f.splitDelayMs});
            from = cuts[k];
        }
        out.push_back(std::move(t));
        return out;
    }
    std::string hex = Hex(frame);
    out.push_back({std::move(hex), text + notes, {{std::move(frame), 0}}});
    return out;
}

bool FaultPlan::noiseOn(int64_t nowMs) const {
    return faults.noiseBytesPerSecond > 0 && (faults.noiseForSeconds <= 0 || nowMs < faults.noiseForSeconds * 1000);
}

bool FaultPlan::floodOn(int64_t nowMs) const {
    return faults.floodPerSecond > 0 && (faults.floodForSeconds <= 0 || nowMs < faults.floodForSeconds * 1000);
}

LineFaults FaultPlan::lineFaults(int64_t nowMs, const Network& network) {
    LineFaults due;
    const double seconds = static_cast<double>(nowMs - lineFaultsMs) / 1000.0;
    lineFaultsMs = nowMs;
    if (noiseOn(nowMs)) {
        noiseOwed += faults.noiseBytesPerSecond * seconds;
        const auto n = static_cast<size_t>(noiseOwed);
        noiseOwed -= static_cast<double>(n);
        due.noise.resize(n);
        for (auto& b : due.noise) b = static_cast<uint8_t>(lineRng());
    } else if (faults.noiseBytesPerSecond > 0 && !noiseEnded) {
        noiseEnded = due.noiseOver = true;
    }
    if (floodOn(nowMs)) {
        floodOwed += faults.floodPerSecond * seconds;
        for (; floodOwed >= 1; floodOwed -= 1) due.flood.push_back(floodReply(network));
    } else if (faults.floodPerSecond > 0 && !floodEnded) {
        floodEnded = due.floodOver = true;
    }
    return due;
}

Bytes FaultPlan::floodReply(const Network& network) {
    auto pick = [this](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(lineRng); };
    DiagnosticsFrame d;
    // A plausible serial that no radio of this network has.
    do {
        d.serial = static_cast<uint32_t>(pick(2000000, 9150000));
    } while (network.hasSerial(d.serial));
    d.address = 0x0D80;
    d.linkSignal = pick(20, 70);
    d.goodShare = static_cast<uint8_t>(pick(150, 255));
    d.signal = pick(20, 70);
    d.noise = pick(5, 25);
    d.lineStatus = static_cast<uint8_t>(pick(0, 255) & 0xB0);
    d.temperatureRaw = static_cast<uint8_t>(pick(105, 135));
    d.voltageRaw = static_cast<uint8_t>(pick(90, 110));
    d.frequencyCounter = static_cast<uint8_t>(pick(0, 255));
    d.value = 3;
    d.revision = static_cast<uint8_t>(pick(1, 40));
    d.distanceWord = static_cast<uint16_t>(pick(3000, 5600));
    return EncodeDiagnostics(d);
}

int64_t FaultPlan::nextWakeMs(int64_t nowMs) const {
    int64_t next = -1;
    auto consider = [&next](int64_t t) {
        if (t >= 0 && (next < 0 || t < next)) next = t;
    };
    // Noise and flood go out in small bursts; once they are over, one more look logs the end.
    constexpr int64_t kLineFaultStepMs = 10;
    if (noiseOn(nowMs) || floodOn(nowMs)) consider(nowMs + kLineFaultStepMs);
    if (faults.noiseBytesPerSecond > 0 && faults.noiseForSeconds > 0 && !noiseEnded)
        consider(static_cast<int64_t>(faults.noiseForSeconds * 1000));
    if (faults.floodPerSecond > 0 && faults.floodForSeconds > 0 && !floodEnded)
        consider(static_cast<int64_t>(faults.floodForSeconds * 1000));
    if (faults.busyAtSeconds >= 0 && faults.busyForSeconds > 0) {
        const auto busyAtMs = static_cast<int64_t>(faults.busyAtSeconds * 1000);
        consider(wasBusy ? static_cast<int64_t>((faults.busyAtSeconds + faults.busyForSeconds) * 1000) + 1
                         : (nowMs < faults.busyAtSeconds * 1000 ? busyAtMs : -1));
    }
    return next;
}

int64_t FaultPlan::reportWaitMs(int reportMs) {
    const double wait = std::exponential_distribution<double>(1.0 / reportMs)(rng);
    return std::clamp<int64_t>(static_cast<int64_t>(wait), reportMs / 4, 3LL * reportMs);
}

}  // namespace radiosim
