#include <cmath>

#include "model/derived_values.h"

namespace {

// Frees one slot of a full row: finds the first sample closer to the start than
// the row's current spacing allows and merges it into the next one.
void ThinFullRow(HistoryRow& row, int64_t elapsed) {
    auto& s = row.samples;
    const int64_t first = s[1].time;
    const int64_t step = std::llround(static_cast<double>(elapsed - first) / 384.0 + 1.0);
    int j = 2;
    while (j <= kHistorySamples - 1 && !(s[static_cast<size_t>(j)].time < first + (j - 1) * step)) ++j;
    if (j < kHistorySamples) {
        HistorySample& from = s[static_cast<size_t>(j)];
        HistorySample& into = s[static_cast<size_t>(j) + 1];
        into.dataBytes += from.dataBytes;
        into.goodCount += from.goodCount;
        into.badCount += from.badCount;
        for (int k = j; k < kHistorySamples; ++k) s[static_cast<size_t>(k)] = s[static_cast<size_t>(k) + 1];
    } else {
        // No sample was too close: the last one is replaced. Its counts go to the
        // one before so the row's totals stay whole (there is no slot after 511).
        HistorySample& last = s[kHistorySamples];
        HistorySample& before = s[kHistorySamples - 1];
        before.dataBytes += last.dataBytes;
        before.goodCount += last.goodCount;
        before.badCount += last.badCount;
    }
}

}  // namespace

bool HistoryAppend(RadioNetwork& network, int row, const HistorySample& values, int64_t secondsClock,
                   int minSpacing) {
    if (row < 0 || row >= kHistoryRows) return false;  // radios 1024 and up keep no history
    HistoryRow& history = network.history[static_cast<size_t>(row)];
    int count = history.historyCount;
    if (count < 0 || count > kHistorySamples) count = history.historyCount = 0;

    const int64_t elapsed = secondsClock - network.runStartSeconds;
    // An empty row takes its first sample at once.
    if (count > 0 && !(elapsed - history.samples[static_cast<size_t>(count)].time > minSpacing)) return false;

    int slot;
    if (count < kHistorySamples) {
        slot = ++history.historyCount;
    } else {
        ThinFullRow(history, elapsed);
        slot = kHistorySamples;
    }
    HistorySample& sample = history.samples[static_cast<size_t>(slot)];
    sample = values;
    sample.time = static_cast<int32_t>(elapsed);
    sample.dataBytes = 0;
    sample.goodCount = 0;
    sample.badCount = 0;
    return true;
}
