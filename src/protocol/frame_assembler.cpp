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

// How long hop records may take after the fixed bytes of their frame.
constexpr double kHopWaitSeconds = 1.0;
static_assert(std::tuple_size_v<decltype(PollState::heldFrame)> == kMaxReplyLength,
              "a held frame fits the longest reply");

double SecondsWaited(const Program& program, double since) {
    double waited = SecondsOfDay(program.clock->now()) - since;
    if (waited < 0) waited += 86400;  // past midnight
    return waited;
}

// Checks and decodes one frame; a frame whose hop records never came fails its check.
void FinishFrame(Program& program, FrameObserver* observer, std::span<const uint8_t> whole, bool timedOut) {
    uint8_t check = 0;
    for (uint8_t byte : whole) check ^= byte;
    if (timedOut) check = 0xFF;
    if (observer) observer->frameRead(whole, check);
    DecodeReply(program, whole, check);
    if (observer) observer->frameDone();
}

// The held frame, once its hop records are there or their second is up. False
// while it still waits: nothing behind it can be read before its records.
bool FinishHeldFrame(Program& program, ByteSource& source, FrameObserver* observer) {
    PollState& poll = program.poll;
    const int length = poll.heldFrameLength;
    const int more = poll.heldHopBytes;
    bool timedOut = false;
    if (source.bytesAvailable() >= more) {
        source.receive(poll.heldFrame.data() + length, more);
    } else if (SecondsWaited(program, poll.heldSinceSeconds) > kHopWaitSeconds) {
        // Give up on the hop bytes: they stay in the input and are later read as
        // type bytes; this frame fails its checksum.
        timedOut = true;
    } else {
        return false;
    }
    poll.heldFrameLength = 0;
    poll.pendingFrameType = 0;
    // A copy: decoding may run the assembler's state on (a link reset clears it).
    std::array<uint8_t, kMaxReplyLength> frame = poll.heldFrame;
    const int total = timedOut ? length : length + more;
    FinishFrame(program, observer, std::span<const uint8_t>(frame.data(), size_t(total)), timedOut);
    return true;
}

}  // namespace

void ReadRepliesObserved(Program& program, FrameObserver* observer) {
    ByteSource* source = program.replySource;
    if (source == nullptr) return;
    PollState& poll = program.poll;
    if (poll.pendingFrameType == 0) poll.heldFrameLength = 0;  // the link dropped the pending frame
    // A held frame's deadline runs whether or not bytes come.
    if (poll.heldFrameLength > 0 && !FinishHeldFrame(program, *source, observer)) return;
    int available = source->bytesAvailable();
    if (available <= 0) return;  // the pending type stays as it is

    std::array<uint8_t, kMaxReplyLength> frame{};
    uint8_t type = poll.pendingFrameType;
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
        if (HasHopRecords(type)) {
            int hops = frame[7];
            if (hops > 7) {
                RecordFault(program.errors, type == 0xFB ? ProtocolFault::TraceTooManyHops : ProtocolFault::DiagnosticsTooManyHops, hops);
                hops = 0;
            }
            const int more = 6 * hops;
            if (more > 0 && source->bytesAvailable() < more) {
                // The hop records are not all here: hold the frame for a later tick.
                poll.heldFrame = frame;
                poll.heldFrameLength = length;
                poll.heldHopBytes = more;
                poll.heldSinceSeconds = SecondsOfDay(program.clock->now());
                poll.pendingFrameType = type;
                return;
            }
            if (more > 0) {
                source->receive(frame.data() + length, more);
                length += more;
            }
        }
        FinishFrame(program, observer, std::span<const uint8_t>(frame.data(), size_t(length)), false);
        type = 0;
        available = source->bytesAvailable();
    }
    poll.pendingFrameType = type;
}
