#include "engine/write_sequence.h"

#include <string>

#include "engine/poll_phases.h"
#include "engine/tick_guard.h"
#include "model/program.h"
#include "platform/host.h"
#include "protocol/protocol.h"
#include "text/format_number.h"

namespace {

uint8_t High(int32_t word) { return static_cast<uint8_t>((word >> 8) & 0xFF); }
uint8_t Low(int32_t word) { return static_cast<uint8_t>(word & 0xFF); }

void Status(Program& program, int radio, const char* radioMask) {
    program.live->statusPollMode(FormatNumber(radio, radioMask) + FormatNumber(program.poll.pollMode.number(), "* # "));
}

void Build(Program& program, uint8_t type, unsigned serial, uint8_t byte5, uint8_t byte6) {
    BuildRequest(program.request, type, serial, byte5, byte6);
    program.poll.requestState = 0;
}

// The sequence is abandoned; polling goes on in the former random or sequential
// mode, also while the message box stands: it opens after the tick has returned.
BuildOutcome Abort(Program& program, TickWindow& host, TickGuard& tick, const std::string& message) {
    PollState& poll = program.poll;
    poll.pollMode = Abandoned(poll.pollMode);
    poll.pendingAddress = -1;
    poll.pendingValue = -1;
    tick.Release();
    host.postMessageBox(message, "Error");
    return BuildOutcome::aborted;
}

}  // namespace

BuildOutcome BuildWriteSequenceRequest(Program& program, TickWindow& host, TickGuard& tick) {
    PollState& poll = program.poll;
    if (!poll.pollMode.remoteWrite()) return BuildOutcome::nothing;
    const PollStage stage = poll.pollMode.stage();

    unsigned serial = 0;
    if (!SerialOfRadio(program.network, poll.currentRadio, serial)) {
        // The target radio left the table: nothing more can go to it.
        if (stage == PollStage::readBack) {
            poll.pollMode = Abandoned(poll.pollMode);
            return BuildOutcome::nothing;
        }
        poll.ackAddress = -1;
        poll.ackValue = -1;
        return Abort(program, host, tick, "Remote Program Failed");
    }

    if (stage == PollStage::readBack) {
        // Read back the location just written; the first echo ends the sequence.
        Build(program, 0xF8, serial, High(poll.writeAddress), Low(poll.writeAddress));
        Status(program, poll.currentRadio, "Poll *0 # ");
        poll.pollMode = AfterRequest(poll.pollMode);
        return BuildOutcome::built;
    }
    if (stage == PollStage::store) {
        // Store only what the radio echoed back for the address being set up.
        if (poll.writeAddress != poll.ackAddress || poll.pendingValue != poll.ackValue)
            return Abort(program, host, tick, "Remote Program Failed");
        Build(program, 0xFA, serial, High(poll.writeAddress), Low(poll.writeAddress));
        Status(program, program.network.selectedRadio, "Poll * # ");
        poll.pollMode = AfterRequest(poll.pollMode);
        if (poll.pollMode.stage() != PollStage::store) {
            poll.pendingAddress = -1;
            poll.pendingValue = -1;
            poll.ackValue = -1;
            poll.ackAddress = -1;
        }
        return BuildOutcome::built;
    }
    if (stage == PollStage::write) {
        // Write only after the radio answered the contact read.
        if (poll.writeAddress != poll.ackAddress || poll.writeValue != poll.pendingValue)
            return Abort(program, host, tick, "Remote program Failed,No Comm");
        Build(program, 0xF9, serial, Low(poll.writeValue), Low(poll.writeValue));
        Status(program, program.network.selectedRadio, "Poll * # ");
        poll.pollMode = AfterRequest(poll.pollMode);
        return BuildOutcome::built;
    }
    // Contact: read the location before writing it.
    Build(program, 0xF8, serial, High(poll.pendingAddress), Low(poll.pendingAddress));
    Status(program, poll.currentRadio, "Poll * # ");
    poll.pollMode = AfterRequest(poll.pollMode);
    return BuildOutcome::built;
}

namespace {

// The radio a remote write works on. It is fixed when the write starts
// (currentRadio = selectedRadio), so moving the selection with the arrow keys
// during a write neither redirects nor advances it. No write: no target.
int SetupTarget(const PollState& poll) { return poll.pollMode.remoteWrite() ? poll.currentRadio : -1; }

}  // namespace

void ReadConfirmation(PollState& poll, int radio, int offset) {
    if (radio != SetupTarget(poll)) return;
    if (int(poll.writeAddress) != kEepromBase + offset) return;
    poll.ackAddress = poll.pendingAddress;
    poll.pollMode = AfterReadEcho(poll.pollMode);
}

void WriteConfirmation(PollState& poll, int radio, int offset, int value) {
    if (radio != SetupTarget(poll)) return;
    if (kEepromBase + offset != poll.pendingAddress || value != poll.pendingValue) return;
    poll.ackAddress = poll.pendingAddress;
    poll.ackValue = value;
    poll.pollMode = AfterWriteEcho(poll.pollMode);
}

void ReadEcho(Program& program, int radio, int offset) { ReadConfirmation(program.poll, radio, offset); }

void WriteEcho(Program& program, int radio, int offset, int value) {
    WriteConfirmation(program.poll, radio, offset, value);
}
