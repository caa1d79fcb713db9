#pragma once
#include <cstdint>

#include "model/poll_state.h"
#include "model/request_frame.h"

struct Program;

constexpr uint16_t kEepromBase = 0x0D80;

// Fills the request buffer: type, serial big-endian, 0, bytes 5 and 6, XOR.
void BuildRequest(RequestFrame& frame, uint8_t type, uint32_t serial, uint8_t byte5, uint8_t byte6);
// F8 FF FF n 00 0D 80 XOR.
void BuildPollByNumber(RequestFrame& frame, uint8_t n);

// Reads and decodes every complete reply available from program.replySource.
void ReadReplies(Program& program);
