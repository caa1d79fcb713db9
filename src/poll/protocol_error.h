#pragma once
#include <atomic>
#include <cstdint>

// The error recorder every protocol, link and file fault goes to.
// Link threads may record too, so the fields are atomic.
struct ProtocolError {
    std::atomic<int> lastCode{0};
    std::atomic<int> lastValue{0};
    std::atomic<int> count{0};
    // Sees every record as it is made (the capture decoder lists them all, not
    // only the last). Set before any thread records; null: nobody listens.
    void (*observer)(void* context, int code, int value) = nullptr;
    void* observerContext = nullptr;
};

// A negative code is neither stored nor counted.
void RecordError(ProtocolError& errors, int code, int value);
