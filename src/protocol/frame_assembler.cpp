#include "protocol/frame_assembler.h"

#include <array>

#include "model/program.h"
#include "model/protocol_error.h"
#include "protocol/decoders.h"

int ReplyWaitCount(uint8_t type) {
    switch (type) {
        case 0xF0: return 13;
        case 0xF1:
        case 0xF4:
        case 0xF5: return 11;
        case 0xF2:
        case 0xF3: return 7;
        case 0xF8:
        case 0xF9:
        case 0xFB: return 20;
        default: return -1;
    }
}

namespace {

bool HasHopRecords(uint8_t type) { return type == 0xF8 || type == 0xF9 || type == 0xFB; }

// Waits up to a second of clock time for `needed` bytes. The clock is asked to
// sleep between looks so the wait never spins (and a hand-set clock moves on).
bool WaitForBytes(Program& program, ByteSource& source, int needed) {
    Clock& clock = *program.clock;
    double start = SecondsOfDay(clock.now());
    while (source.bytesAvailable() < needed) {
        double waited = SecondsOfDay(clock.now()) - start;
        if (waited < 0) waited += 86400;  // past midnight
        if (waited > 1.0) return false;
        clock.sleepMs(1);
    }
    return true;
}

}  // namespace

void ReadRepliesObserved(Program& program, FrameObserver* observer) {
    ByteSource* source = program.replySource;
    if (source == nullptr) return;
    int available = source->bytesAvailable();
    if (available <= 0) return;  // the pending type stays as it is

    std::array<uint8_t, kMaxReplyLength> frame{};
    uint8_t type = program.poll.pendingFrameType;
    while (available > 0) {
        if (type == 0) {
            source->receive(&type, 1);
            if (observer) observer->typeByte(type);
            available = source->bytesAvailable();
        }
        int wait = ReplyWaitCount(type);
        if (wait < 0) {
            RecordFault(program.errors, ProtocolFault::UnknownFrameType, type);  // not a reply type: the byte is dropped
            type = 0;
            available = source->bytesAvailable();
            continue;
        }
        if (available < wait) break;  // the rest comes in a later tick

        frame[0] = type;
        source->receive(frame.data() + 1, wait);
        int length = wait + 1;
        bool timedOut = false;
        if (HasHopRecords(type)) {
            int hops = frame[7];
            if (hops > 7) {
                RecordFault(program.errors, type == 0xFB ? ProtocolFault::TraceTooManyHops : ProtocolFault::DiagnosticsTooManyHops, hops);
                hops = 0;
            }
            if (hops > 0) {
                int more = 6 * hops;
                if (WaitForBytes(program, *source, more)) {
                    source->receive(frame.data() + length, more);
                    length += more;
                } else {
                    // Give up on the hop bytes: they stay in the input and are
                    // later read as type bytes; this frame fails its checksum.
                    timedOut = true;
                }
            }
        }
        uint8_t check = 0;
        for (int i = 0; i < length; ++i) check ^= frame[i];
        if (timedOut) check = 0xFF;

        std::span<const uint8_t> whole(frame.data(), size_t(length));
        if (observer) observer->frameRead(whole, check);
        DecodeReply(program, whole, check);
        if (observer) observer->frameDone();
        type = 0;
        available = source->bytesAvailable();
    }
    program.poll.pendingFrameType = type;
}
