#pragma once
// One backend per link kind, looked up once per operation from the kind the open
// chose; the protocol, the poll cycle and the status line never ask which
// transport they are on. Not for use outside src/link.
#include <cstdint>
#include <string>

#include "link/links.h"

struct Program;

struct LinkBackend {
    // Bytes of the master's replies waiting, and taking them.
    int (*bytesAvailable)(Program& program);
    void (*receive)(Program& program, uint8_t* destination, int n);
    // Whether the poll tick sends the waiting request once the interval has passed
    // (serial: into an empty transmit queue while the master is not busy; UDP:
    // always). TCP says no: its requests follow the master's status frames.
    bool (*sendsOnInterval)(const Program& program);
    void (*sendRequest)(Program& program);
    // A valid master status frame arrived.
    void (*onMasterStatus)(Program& program);
    // One keep-alive period ended.
    void (*keepAlive)(const LinkChannels& channels);
    // The status line's text; empty when no link is up.
    std::string (*statusText)(const LinkState& link);
    // Closes the link.
    void (*close)(Program& program, LinkQuestions& questions);
};

// The backend of the link that is open now (the serial one when none is).
const LinkBackend& CurrentBackend(const LinkState& link);
