// Cuts the byte stream from the program into 8-byte request frames.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "frames.h"

namespace radiosim {

struct Request {
    uint8_t bytes[8] = {};

    uint8_t type() const { return bytes[0]; }
    bool byNumber() const { return bytes[1] == 0xFF && bytes[2] == 0xFF; }
    uint8_t number() const { return bytes[3]; }
    uint32_t serial() const { return (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3]; }
    uint16_t address() const { return static_cast<uint16_t>((bytes[5] << 8) | bytes[6]); }
    uint8_t value() const { return bytes[5]; }  // a write carries its value in both data bytes
    std::span<const uint8_t> span() const { return bytes; }
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
    void feed(std::span<const uint8_t> bytes, std::vector<ParseEvent>& out);
    void reset() { used = 0; }
    size_t waiting() const { return used; }

private:
    void flushSkipped(std::vector<ParseEvent>& out);

    uint8_t buf[8] = {};
    size_t used = 0;
    size_t skipped = 0;
    Bytes skippedHead;
};

}  // namespace radiosim
