#pragma once
#include "link/links.h"
#include "platform/live_listener.h"

// The reply bytes of whichever link is open, for the frame assembler.
class LinkByteSource : public ByteSource {
public:
    explicit LinkByteSource(Program& program) : program(program) {}
    int bytesAvailable() override { return LinkBytesAvailable(program); }
    void receive(uint8_t* destination, int n) override { LinkReceive(program, destination, n); }

private:
    Program& program;
};
