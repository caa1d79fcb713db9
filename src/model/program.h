#pragma once
#include <memory>

#include "model/display_options.h"
#include "model/link_state.h"
#include "model/log_state.h"
#include "model/poll_state.h"
#include "model/protocol_error.h"
#include "model/radio_network.h"
#include "model/receive_ring.h"
#include "model/request_frame.h"
#include "model/setup_state.h"
#include "platform/clock.h"
#include "platform/live_listener.h"

class FrameObserver;

// What drives a window's program: its link and poll cycle (the engine). Owned by the
// program so that every shell call on the program reaches the same one.
class ProgramDriver {
public:
    virtual ~ProgramDriver() = default;
};

// All program-wide state, created once with fixed sizes. main() makes one;
// tests make as many as they like (allocate on the heap: it is large).
struct Program {
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    // The engine closes its link first; then the link's threads, which write into
    // the ring and the fault counters, end before anything they write into goes.
    ~Program() {
        driver.reset();
        link.keepAlive = std::jthread();
        link.transport.reset();
    }

    RadioNetwork network;
    ReceiveRing ring;
    RequestFrame request;
    PollState poll;
    LinkState link;
    SetupState setup;
    DisplayOptions display;
    LogState log;
    ProtocolError errors;

    Clock* clock = nullptr;          // never null after CreateProgram
    LiveListener* live = &SilentLiveListener();  // never null
    ByteSource* replySource = nullptr;  // the link's reply bytes; set by CreateProgram
    // Watches every reply the poll cycle reads (the headless monitor counts them); may be null.
    FrameObserver* frameObserver = nullptr;
    // What the engine does when the master's status frame arrives (TCP pacing); set by CreateProgram.
    void (*onMasterStatus)(Program&) = nullptr;
    // What the engine does with the target radio's echoes during a remote write; set with onMasterStatus.
    void (*onReadEcho)(Program&, int radio, int offset) = nullptr;
    void (*onWriteEcho)(Program&, int radio, int offset, int value) = nullptr;

    // What CreateProgram made for the pointers above.
    std::unique_ptr<LiveListener> ownedLive;
    std::unique_ptr<ByteSource> ownedReplySource;
    // Last, so that it goes first: it closes its link while the tables still stand.
    std::unique_ptr<ProgramDriver> driver;
};
