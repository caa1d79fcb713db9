#pragma once

#include "model/poll_state.h"
#include "model/radio_network.h"

struct Program;
class TickWindow;
class TickGuard;

// What one build step of the poll cycle did.
enum class BuildOutcome {
    built,    // a request waits in the request buffer
    nothing,  // no request this tick
    aborted,  // the remote write failed: the tick ends here
};

// The remote-write stages: contact, write, store, read back.
// Every frame goes to the target radio fixed when the change was confirmed
// (currentRadio), whatever radio is selected meanwhile. A failure releases `tick`
// and posts its message box, to open once the tick has returned.
BuildOutcome BuildWriteSequenceRequest(Program& program, TickWindow& host, TickGuard& tick);

// The serial number of table slot `radio`, or false when the slot is outside
// 0..radioCount (a radio deleted or a new network opened meanwhile).
bool SerialOfRadio(const RadioNetwork& network, int radio, unsigned& serial);

// The remote-write acknowledgements of the target radio: a read echo of the
// location being written, a write echo of the value.
void ReadConfirmation(PollState& poll, int radio, int offset);
void WriteConfirmation(PollState& poll, int radio, int offset, int value);
// The same as the decoders report them (Program::onReadEcho, onWriteEcho).
void ReadEcho(Program& program, int radio, int offset);
void WriteEcho(Program& program, int radio, int offset, int value);
