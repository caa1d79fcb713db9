#include "protocol/ring.h"

#include <algorithm>

namespace {

constexpr int kWrap = ReceiveRing::kSize - 1;

// Adds one byte to the count unless the ring has been stopped meanwhile, so a
// close that lands in the middle of an append is never undone by it.
bool CountOneMore(ReceiveRing& ring) {
    int c = ring.ringCount.load();
    while (c >= 0) {
        if (ring.ringCount.compare_exchange_weak(c, c + 1)) return true;
    }
    return false;
}

}  // namespace

void RingReset(ReceiveRing& ring) {
    ring.ringMainIndex = 0;
    ring.ringLinkIndex = 0;
    ring.ringCount.store(0);
}

bool RingAppendMain(ReceiveRing& ring, const uint8_t* bytes, int n) {
    if (n < 0) return false;
    std::lock_guard<std::mutex> hold(ring.mainAppendLock);
    int held = ring.ringCount.load();
    // Never overwrite bytes that are still queued, and never queue into a stopped ring.
    if (held < 0 || n > ReceiveRing::kSize - held) {
        ring.refusedBytes.fetch_add(n);
        return false;
    }
    for (int i = 0; i < n; ++i) {
        ring.buffer[ring.ringMainIndex] = bytes[i];
        ring.ringMainIndex = (ring.ringMainIndex + 1) & kWrap;
        if (!CountOneMore(ring)) {
            ring.refusedBytes.fetch_add(n - i);
            return false;
        }
    }
    return true;
}

bool RingTakeMain(ReceiveRing& ring, uint8_t* destination, int n) {
    if (n < 0) return false;
    if (n > ring.ringCount.load()) return false;
    for (int i = 0; i < n; ++i) {
        destination[i] = ring.buffer[ring.ringMainIndex];
        ring.ringMainIndex = (ring.ringMainIndex + 1) & kWrap;
        ring.ringCount.fetch_sub(1);
    }
    return true;
}

int RingAppendLink(ReceiveRing& ring, const uint8_t* bytes, int n) {
    if (n <= 0) return 0;
    int held = ring.ringCount.load();
    if (held < 0) {
        ring.refusedBytes.fetch_add(n);
        return 0;
    }
    // The main side only takes, so the room can only grow while we append.
    int fits = std::min(n, ReceiveRing::kSize - held);
    int stored = 0;
    for (; stored < fits; ++stored) {
        ring.buffer[ring.ringLinkIndex] = bytes[stored];
        ring.ringLinkIndex = (ring.ringLinkIndex + 1) & kWrap;
        if (!CountOneMore(ring)) break;
    }
    if (stored < n) ring.refusedBytes.fetch_add(n - stored);
    return stored;
}

int RingDrainLink(ReceiveRing& ring, const std::function<int(const uint8_t*, int)>& write) {
    int held = ring.ringCount.load();
    if (held <= 0) return 0;
    // One write never wraps: the run stops at the end of the buffer.
    int run = std::min(held, ReceiveRing::kSize - ring.ringLinkIndex);
    int written = write(ring.buffer.data() + ring.ringLinkIndex, run);
    if (written <= 0) return 0;
    written = std::min(written, run);
    ring.ringLinkIndex = (ring.ringLinkIndex + written) & kWrap;
    ring.ringCount.fetch_sub(written);
    return written;
}

void UdpDatagramIntake(ReceiveRing& ring, PollState& poll, LiveListener& live, const uint8_t* bytes, int length) {
    if (length < 0) return;
    if (poll.inTimerTick) ++poll.overrunCount;

    // The process priority class is not raised around the copy: a normal user on
    // Linux may not enter a real-time class, and the copy never blocks anyway.
    uint8_t check = 0;
    for (int i = 0; i < length; ++i) check ^= bytes[i];
    // A datagram larger than the free room keeps what fits; the rest is counted.
    RingAppendLink(ring, bytes, length);

    int firstByte = length > 0 ? bytes[0] : 0;
    if (check != 0) ++poll.overrunCount;
    if (firstByte == 0xF8 && length != 21) ++poll.overrunCount;
    if (firstByte == 0xF0 && length != 14) ++poll.overrunCount;
    // The bytes stay in the ring in every case: the frame assembler decides.
    live.datagramInfo(length, poll.overrunCount, firstByte);
}
