#include "protocol/protocol.h"

#include "model/program.h"
#include "protocol/frame_assembler.h"

void BuildRequest(RequestFrame& frame, uint8_t type, uint32_t serial, uint8_t byte5, uint8_t byte6) {
    auto& b = frame.bytes;
    b[0] = type;
    b[1] = uint8_t((serial >> 16) & 0xFF);
    b[2] = uint8_t((serial >> 8) & 0xFF);
    b[3] = uint8_t(serial & 0xFF);
    b[4] = 0;
    b[5] = byte5;
    b[6] = byte6;
    uint8_t check = 0;
    for (int i = 0; i < 7; ++i) check ^= b[i];
    b[7] = check;
}

void BuildPollByNumber(RequestFrame& frame, uint8_t n) {
    // 0xFF 0xFF n in the serial bytes asks the master for its n-th radio.
    BuildRequest(frame, 0xF8, 0xFFFF00u | n, kEepromBase >> 8, kEepromBase & 0xFF);
}

void ReadReplies(Program& program) { ReadRepliesObserved(program, program.frameObserver); }

namespace {

// The radio a remote-setup sequence works on. It is fixed when the sequence
// starts (currentRadio = selectedRadio), so moving the selection with the arrow
// keys during a write neither redirects nor advances it. No sequence: no target.
int SetupTarget(const PollState& poll) {
    if (poll.pollMode >= 2 && poll.pollMode <= 61) return poll.currentRadio;
    return -1;
}

}  // namespace

void ReadConfirmation(PollState& poll, int radio, int offset) {
    if (radio != SetupTarget(poll)) return;
    if (poll.pollMode <= 1) return;
    if (int(poll.writeAddress) != kEepromBase + offset) return;
    poll.ackAddress = poll.pendingAddress;
    if (poll.pollMode > 45) {
        poll.pollMode = 44 + (poll.pollMode & 1);  // straight to the write stage
    } else if (poll.pollMode < 24) {
        poll.pollMode = poll.pollMode & 1;  // read back done: normal polling resumes
    }
}

void WriteConfirmation(PollState& poll, int radio, int offset, int value) {
    if (radio != SetupTarget(poll)) return;
    if (kEepromBase + offset != poll.pendingAddress || value != poll.pendingValue) return;
    poll.ackAddress = poll.pendingAddress;
    poll.ackValue = value;
    if (poll.pollMode > 35) poll.pollMode = 34 + (poll.pollMode & 1);  // straight to the store stage
}
