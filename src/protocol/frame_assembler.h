#pragma once
#include <cstdint>
#include <span>

struct Program;

// Longest reply: 21 bytes and 7 hop records of 6.
constexpr int kMaxReplyLength = 21 + 6 * 7;

// Bytes that must be available after a type byte before the frame is read;
// -1 for a byte that is not a reply type.
int ReplyWaitCount(uint8_t type);

// Watches the assembler at work (the capture decoder uses it to place every
// frame and fault at its byte offset). The default watches nothing.
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    // A byte was read as a frame type (known or not).
    virtual void typeByte(uint8_t /*type*/) {}
    // A frame is complete and about to be decoded; `check` is its XOR (0xFF
    // after a hop-byte time-out).
    virtual void frameRead(std::span<const uint8_t> /*frame*/, uint8_t /*check*/) {}
    // The frame has been decoded (or rejected).
    virtual void frameDone() {}
};

// ReadReplies with a watcher; null watches nothing.
void ReadRepliesObserved(Program& program, FrameObserver* observer);
