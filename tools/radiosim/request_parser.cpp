#include "request_parser.h"

#include <algorithm>
#include <cstring>

namespace radiosim {

bool IsRequestType(uint8_t b) { return b == kReadRequest || b == kWriteRequest || b == kStoreRequest; }

bool ParseRequest(std::span<const uint8_t> frame, Request& out) {
    if (frame.size() != 8 || !IsRequestType(frame[0])) return false;
    std::copy(frame.begin(), frame.end(), out.bytes);
    return XorOf(frame) == 0;
}

void RequestParser::flushSkipped(std::vector<ParseEvent>& out) {
    if (skipped == 0) return;
    out.push_back({ParseEvent::kSkipped, {}, skipped, std::move(skippedHead)});
    skipped = 0;
    skippedHead.clear();
}

void RequestParser::feed(std::span<const uint8_t> bytes, std::vector<ParseEvent>& out) {
    // Skipped bytes are reported once per feed at the latest, so the log
    // shows them close to when they came.
    struct Flush {
        RequestParser& p;
        std::vector<ParseEvent>& out;
        ~Flush() { p.flushSkipped(out); }
    } flushAtEnd{*this, out};
    for (uint8_t b : bytes) {
        if (used == 0) {
            if (IsRequestType(b)) {
                buf[used++] = b;
            } else if (b == 0x0D) {
                flushSkipped(out);
                out.push_back({ParseEvent::kKeepAlive, {}, 1, {}});
            } else {
                if (skippedHead.size() < 32) skippedHead.push_back(b);
                ++skipped;
            }
            continue;
        }
        buf[used++] = b;
        if (used < 8) continue;

        flushSkipped(out);
        Request r;
        if (ParseRequest(std::span<const uint8_t>(buf, 8), r)) {
            out.push_back({ParseEvent::kRequest, r, 8, {}});
            used = 0;
            continue;
        }
        out.push_back({ParseEvent::kBadXor, r, 8, {}});
        // Resynchronise on a later type byte inside the rejected frame, if
        // there is one, so a stray byte before a good request costs only itself.
        size_t next = 1;
        while (next < 8 && !IsRequestType(buf[next])) ++next;
        used = 8 - next;
        std::memmove(buf, buf + next, used);
    }
}

}  // namespace radiosim
