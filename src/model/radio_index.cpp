#include "model/radio_index.h"

namespace {

constexpr uint32_t kMask = RadioIndex::kBuckets - 1;
static_assert((RadioIndex::kBuckets & kMask) == 0, "the bucket count is a power of two");

// Serials come in runs (consecutive numbers from one production batch); the
// multiplicative hash spreads a run over the whole table.
uint32_t Home(uint32_t serial) { return (serial * 2654435761u) >> 20; }
static_assert(RadioIndex::kBuckets == 1 << 12, "Home() yields 12 bits");

}  // namespace

int IndexedSlot(const RadioIndex& index, uint32_t serial) {
    uint32_t b = Home(serial);
    for (int probes = 0; probes < RadioIndex::kBuckets; ++probes, b = (b + 1) & kMask) {
        const int slot = index.bucketSlot[b];
        if (slot == 0) return 0;
        if (index.serials[b] == serial) return slot;
    }
    return 0;
}

void IndexSlot(RadioIndex& index, uint32_t serial, int slot) {
    uint32_t b = Home(serial);
    for (int probes = 0; probes < RadioIndex::kBuckets; ++probes, b = (b + 1) & kMask) {
        if (index.bucketSlot[b] == 0) {
            index.serials[b] = serial;
            index.bucketSlot[b] = static_cast<uint16_t>(slot);
            ++index.entries;
            return;
        }
        if (index.serials[b] == serial) {
            index.bucketSlot[b] = static_cast<uint16_t>(slot);
            return;
        }
    }
    // Full: cannot happen while callers rebuild a crowded index; the entry is
    // simply not kept and lookups fall back to the scan.
}

void ClearIndex(RadioIndex& index) {
    index.bucketSlot.fill(0);
    index.entries = 0;
}

bool IndexCrowded(const RadioIndex& index) { return index.entries >= RadioIndex::kBuckets * 3 / 4; }
