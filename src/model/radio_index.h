#pragma once
#include <array>
#include <cstdint>

// Where each serial number first stands among radios 1..radioCount: a hash index
// kept beside the records so that a reply finds its radio without walking up to
// 2047 records. It is a cache, never the truth: every answer is checked against
// the record it names before it is used, and a miss falls back to the plain scan,
// so an entry that went stale (a serial written straight into a record) costs one
// scan, not a wrong radio. Slot 0, the master, is never indexed; it is checked
// directly.
struct RadioIndex {
    static constexpr int kBuckets = 4096;  // twice the radio slots keeps probe runs short
    std::array<uint32_t, kBuckets> serials{};
    std::array<uint16_t, kBuckets> bucketSlot{};  // radio index 1..2047; 0 marks an empty bucket
    int32_t entries = 0;
};

// The indexed slot of the serial, or 0 when none is indexed (unchecked).
int IndexedSlot(const RadioIndex& index, uint32_t serial);
// Points the serial at `slot` (1..2047), replacing what the serial pointed at.
void IndexSlot(RadioIndex& index, uint32_t serial, int slot);
void ClearIndex(RadioIndex& index);
// True when the index holds so many entries (stale ones included) that it should be
// rebuilt from the records before another is added.
bool IndexCrowded(const RadioIndex& index);
