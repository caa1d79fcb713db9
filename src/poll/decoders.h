#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>

struct Program;
struct RadioNetwork;
struct HistorySample;
class LiveListener;

// Each decoder takes one complete frame (type byte to XOR byte) and its check
// value (the XOR of all its bytes, or 0xFF after a hop-byte time-out).
void DecodeReply(Program& program, std::span<const uint8_t> frame, uint8_t check);

void DecodeMasterStatus(Program& program, std::span<const uint8_t> frame, uint8_t check);    // F0
void DecodeLinkReport(Program& program, std::span<const uint8_t> frame, uint8_t check);      // F1, F4
void DecodeTrafficReport(Program& program, std::span<const uint8_t> frame, uint8_t check);   // F5
void DecodeMasterEeprom(Program& program, std::span<const uint8_t> frame, uint8_t check);    // F2, F3
void DecodeDiagnostics(Program& program, std::span<const uint8_t> frame, uint8_t check);     // F8, F9
void DecodeTrace(Program& program, std::span<const uint8_t> frame, uint8_t check);           // FB

// Helpers shared by the decoders.
inline uint32_t Serial24(std::span<const uint8_t> frame, int at) {
    return (uint32_t(frame[at]) << 16) | (uint32_t(frame[at + 1]) << 8) | frame[at + 2];
}
// The 8-character time field of a record.
std::array<char, 8> TimeField(const std::string& hhmmss);
// Radio r's row is visible on Screen 0 or 1.
bool RowShownLive(const Program& program, int radio);
// Finds a reported radio among 1..radioCount or appends it named "NewRadio" and
// shows the new count. -1 when the table is full.
int FindOrAppendReported(Program& program, uint32_t serial);
// Counters add with wrap-around: a long run must never overflow into undefined behaviour.
inline void AddWrapping(int32_t& counter, int64_t amount) {
    counter = int32_t(uint32_t(counter) + uint32_t(amount));
}
// The open (newest) history sample of a row, or null when the row has none or
// lies beyond the history rows.
HistorySample* OpenSample(RadioNetwork& network, int row);
// Where live updates go; a program without a window listener gets a silent one.
LiveListener& LiveOf(Program& program);
