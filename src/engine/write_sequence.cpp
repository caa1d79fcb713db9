#include "engine/write_sequence.h"

#include <string>

#include "engine/tick_guard.h"
#include "model/program.h"
#include "platform/host.h"
#include "protocol/protocol.h"
#include "text/format_number.h"

namespace {

// pollMode bands of the remote write: read back, store, write, contact.
constexpr int kStoreFrom = 24;
constexpr int kWriteFrom = 36;
constexpr int kContactFrom = 46;
constexpr int kSequenceEnd = 62;

uint8_t High(int32_t word) { return static_cast<uint8_t>((word >> 8) & 0xFF); }
uint8_t Low(int32_t word) { return static_cast<uint8_t>(word & 0xFF); }

void Status(Program& program, int radio, const char* radioMask) {
    program.live->statusPollMode(FormatNumber(radio, radioMask) +
                                 FormatNumber(program.poll.pollMode, "* # "));
}

void Build(Program& program, uint8_t type, unsigned serial, uint8_t byte5, uint8_t byte6) {
    BuildRequest(program.request, type, serial, byte5, byte6);
    program.poll.requestState = 0;
}

// The sequence is abandoned; polling goes on in the former random or sequential
// mode, also while the message box stands: it opens after the tick has returned.
BuildOutcome Abort(Program& program, TickWindow& host, TickGuard& tick, const std::string& message) {
    PollState& poll = program.poll;
    poll.pollMode &= 1;
    poll.pendingAddress = -1;
    poll.pendingValue = -1;
    tick.Release();
    host.postMessageBox(message, "Error");
    return BuildOutcome::aborted;
}

}  // namespace

BuildOutcome BuildWriteSequenceRequest(Program& program, TickWindow& host, TickGuard& tick) {
    PollState& poll = program.poll;
    const int mode = poll.pollMode;
    if (mode < 2 || mode >= kSequenceEnd) return BuildOutcome::nothing;

    unsigned serial = 0;
    if (!SerialOfRadio(program.network, poll.currentRadio, serial)) {
        // The target radio left the table: nothing more can go to it.
        if (mode < kStoreFrom) {
            poll.pollMode &= 1;
            return BuildOutcome::nothing;
        }
        poll.ackAddress = -1;
        poll.ackValue = -1;
        return Abort(program, host, tick, "Remote Program Failed");
    }

    if (mode < kStoreFrom) {
        // Read back the location just written; the first echo ends the sequence.
        Build(program, 0xF8, serial, High(poll.writeAddress), Low(poll.writeAddress));
        Status(program, poll.currentRadio, "Poll *0 # ");
        poll.pollMode -= 2;
        return BuildOutcome::built;
    }
    if (mode < kWriteFrom) {
        // Store only what the radio echoed back for the address being set up.
        if (poll.writeAddress != poll.ackAddress || poll.pendingValue != poll.ackValue)
            return Abort(program, host, tick, "Remote Program Failed");
        Build(program, 0xFA, serial, High(poll.writeAddress), Low(poll.writeAddress));
        Status(program, program.network.selectedRadio, "Poll * # ");
        poll.pollMode -= 2;
        if (poll.pollMode < kStoreFrom) {
            poll.pendingAddress = -1;
            poll.pendingValue = -1;
            poll.ackValue = -1;
            poll.ackAddress = -1;
        }
        return BuildOutcome::built;
    }
    if (mode < kContactFrom) {
        // Write only after the radio answered the contact read.
        if (poll.writeAddress != poll.ackAddress || poll.writeValue != poll.pendingValue)
            return Abort(program, host, tick, "Remote program Failed,No Comm");
        Build(program, 0xF9, serial, Low(poll.writeValue), Low(poll.writeValue));
        Status(program, program.network.selectedRadio, "Poll * # ");
        poll.pollMode -= 2;
        return BuildOutcome::built;
    }
    // Contact: read the location before writing it.
    Build(program, 0xF8, serial, High(poll.pendingAddress), Low(poll.pendingAddress));
    Status(program, poll.currentRadio, "Poll * # ");
    poll.pollMode -= 2;
    return BuildOutcome::built;
}
