#pragma once

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

// The remote-setup stages (pollMode 2 and above): read back, store, write, contact.
// Every frame goes to the target radio fixed when the change was confirmed
// (currentRadio), whatever radio is selected meanwhile. A failure releases `tick`
// and posts its message box, to open once the tick has returned.
BuildOutcome BuildWriteSequenceRequest(Program& program, TickWindow& host, TickGuard& tick);

// The serial number of table slot `radio`, or false when the slot is outside
// 0..radioCount (a radio deleted or a new network opened meanwhile).
bool SerialOfRadio(const RadioNetwork& network, int radio, unsigned& serial);
