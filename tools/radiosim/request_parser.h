// Cuts the byte stream from the program into 8-byte request frames.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "frames.h"

namespace radiosim {

struct Request {
    uint8_t bytes[8] = {};

    uint8_t Type() const { return bytes[0]; }
    bool ByNumber() const { return bytes[1] == 0xFF && bytes[2] == 0xFF; }
    uint8_t Number() const { return bytes[3]; }
    uint32_t Serial() const { return (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3]; }
    uint16_t Address() const { return static_cast<uint16_t>((bytes[5] << 8) | bytes[6]); }
    uint8_t Value() const { return bytes[5]; }  // a write carries its value in both data bytes
    std::span<const uint8_t> Span() const { return bytes; }
};

bool IsRequestType(uint8_t b);
// A frame of 8 bytes with a known type and a good XOR.
bool ParseRequest(std::span<const uint8_t> frame, Request& out);

struct ParseEvent {
    enum Kind { kRequest, kBadXor, kSkipped, kKeepAlive } kind;
    Request request;          // kRequest, and the rejected bytes for kBadXor
    size_t count = 0;         // kSkipped: bytes skipped
    Bytes skipped;            // kSkipped: the first of them, for the log
};

// Stream parser: unknown bytes are skipped and counted, a partial request
// waits for the rest, a request with a bad XOR is reported and not answered.
// A lone carriage return between requests is the program's keep-alive.
class RequestParser {
public:
    void Feed(std::span<const uint8_t> bytes, std::vector<ParseEvent>& out);
    void Reset() { used_ = 0; }
    size_t Waiting() const { return used_; }

private:
    void FlushSkipped(std::vector<ParseEvent>& out);

    uint8_t buf_[8] = {};
    size_t used_ = 0;
    size_t skipped_ = 0;
    Bytes skippedHead_;
};

}  // namespace radiosim
