#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "model/protocol_error.h"
#include "protocol/reply_frames.h"

struct Program;
struct RadioNetwork;
struct HistorySample;
struct SetupState;
struct PollState;
class Clock;
struct LocalTime;
class LiveListener;

// The steps of applying a reply that still reach beyond the tables the decoders
// are given: adding a radio, storing a setup value and the remote-setup
// acknowledgements, and the TCP send that waits for a master status.
class DecodeHooks {
public:
    virtual ~DecodeHooks() = default;
    // A radio heard on the air, added as provisional (a full table makes room
    // by forgetting another provisional radio, never `keep`). The new radio's
    // index, or -1 when the table is full (the refusal recorded).
    virtual int appendRadio(uint32_t serial, int keep) = 0;
    // The row stored, or -1 (`fault` recorded) when the address has none.
    virtual int storeSetupValue(int radio, int address, uint8_t value, ProtocolFault fault) = 0;
    virtual void readConfirmation(int radio, int offset) = 0;
    virtual void writeConfirmation(int radio, int offset, int value) = 0;
    // The link decides what a master status means to it (TCP sends its waiting request).
    virtual void masterStatus() = 0;
};

// What applying a reply reads and writes.
struct DecodeContext {
    RadioNetwork& network;
    const SetupState& setup;
    ProtocolError& errors;
    Clock& clock;
    LiveListener& live;
    PollState& poll;  // masterBusy, repaintRequested, traceRow
    int screenNumber;
    DecodeHooks& hooks;
};

void ApplyMasterStatus(DecodeContext& context, const MasterStatusFrame& frame);  // F0
void ApplyLinkReport(DecodeContext& context, const LinkReportFrame& frame);      // F1, F4
void ApplyTrafficReport(DecodeContext& context, const TrafficReportFrame& frame);  // F5
void ApplyMemoryEcho(DecodeContext& context, const MemoryEchoFrame& frame);      // F2, F3
void ApplyDiagnostics(DecodeContext& context, const DiagnosticsFrame& frame);    // F8, F9
void ApplyTrace(DecodeContext& context, const TraceFrame& frame);                // FB

// Parses one complete frame (type byte to XOR byte) with its check value (the
// XOR of all its bytes, or 0xFF after a hop-byte time-out) and applies it to
// the tables. Inline: it runs once per frame.
inline void DecodeReply(DecodeContext& context, std::span<const uint8_t> frame, uint8_t check) {
    if (frame.empty()) return;
    auto apply = [&context](const auto& parsed, auto applyFrame) {
        if (parsed) applyFrame(context, *parsed);
    };
    switch (frame[0]) {
        case 0xF0: apply(ParseMasterStatus(frame, check), ApplyMasterStatus); break;
        case 0xF1:
        case 0xF4: apply(ParseLinkReport(frame, check), ApplyLinkReport); break;
        case 0xF5: apply(ParseTrafficReport(frame, check), ApplyTrafficReport); break;
        case 0xF2:
        case 0xF3: apply(ParseMemoryEcho(frame, check), ApplyMemoryEcho); break;
        case 0xF8:
        case 0xF9: apply(ParseDiagnostics(frame, check), ApplyDiagnostics); break;
        case 0xFB: apply(ParseTrace(frame, check), ApplyTrace); break;
        default: break;
    }
}
// The same for a program: what the frame assembler calls.
void DecodeReply(Program& program, std::span<const uint8_t> frame, uint8_t check);

// Helpers shared by the decoders.
// The 8-character time field of a record: "hh:mm:ss" as TimeText gives it,
// written without going through a formatted string (it is filled once per reply).
std::array<char, 8> TimeField(const LocalTime& time);
// Radio r's row is visible on Screen 0 or 1.
bool RowShownLive(const DecodeContext& context, int radio);
// Finds a reported radio among 1..radioCount or appends it named "NewRadio" and
// shows the new count. -1 when the table is full.
int FindOrAppendReported(DecodeContext& context, uint32_t serial);
// Counters add with wrap-around: a long run must never overflow into undefined behaviour.
inline void AddWrapping(int32_t& counter, int64_t amount) {
    counter = int32_t(uint32_t(counter) + uint32_t(amount));
}
// The open (newest) history sample of a row, or null when the row has none or
// lies beyond the history rows.
HistorySample* OpenSample(RadioNetwork& network, int row);
