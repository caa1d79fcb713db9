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
