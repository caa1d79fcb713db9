#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

// A byte ring between the main thread and a link thread. Program::ring is the
// receive queue of TCP and UDP; the serial link's transmit queue
// (LinkState::transmit) is a second ring of the same shape.
struct ReceiveRing {
    static constexpr int kSize = 1024;
    static constexpr int kSerialStop = -2;
    static constexpr int kTcpStop = -1000;

    std::array<uint8_t, kSize> buffer{};
    int32_t ringMainIndex = 0;  // moved by the main thread only
    int32_t ringLinkIndex = 0;  // moved by the link side only
    std::atomic<int> ringCount{0};
    // Whole appends at the main side (main thread and keep-alive thread) hold this.
    std::mutex mainAppendLock;
    // Bytes refused because the ring had no room.
    std::atomic<int> refusedBytes{0};
};
