#pragma once
// The open link's transport: serial port, TCP connection or UDP socket, chosen once
// when the link opens and holding its descriptors and threads. The protocol, the
// poll cycle and the status line never ask which one they are on. Not for use
// outside src/link.
#include <cstdint>
#include <memory>

#include "link/links.h"

class Clock;
struct RequestFrame;

// What sending a request needs besides the channels: the frame, and the poll state
// and clock the TCP pacing keeps its second by.
struct RequestSend {
    const RequestFrame& request;
    PollState& poll;
    const Clock& clock;
};

class LinkTransport {
public:
    virtual ~LinkTransport() = default;
    // Bytes of the master's replies waiting, and taking them.
    virtual int bytesAvailable(const LinkChannels& channels) = 0;
    virtual void receive(const LinkChannels& channels, uint8_t* destination, int n) = 0;
    // Whether the poll tick sends the waiting request once the interval has passed
    // (serial: into an empty transmit queue while the master is not busy; UDP:
    // always). TCP says no: its requests follow the master's status frames.
    virtual bool sendsOnInterval(const LinkState& link, bool masterBusy) const = 0;
    virtual void sendRequest(const LinkChannels& channels, const RequestSend& send) = 0;
    // A valid master status frame arrived.
    virtual void onMasterStatus(const LinkChannels& /*channels*/, const RequestSend& /*send*/) {}
    // One keep-alive period ended (on the keep-alive thread).
    virtual void keepAlive(const LinkChannels& /*channels*/) {}
    // The descriptor the link reads; -1 once shut.
    virtual int descriptor() const = 0;
    // The far end went away (TCP: hang-up, hard error, a send stuck past the time-out).
    virtual bool farEndGone() const { return false; }
    // Stops the threads and closes the descriptors; false when close() reported an error.
    virtual bool shut(ProtocolError& errors) = 0;
};

// The transport a call goes to, held for the call (it may close the link): the
// open one, or the port-less serial one while none is open.
std::shared_ptr<LinkTransport> CurrentTransport(const LinkState& link);
// The one that opened becomes the link's.
void InstallTransport(LinkState& link, std::shared_ptr<LinkTransport> transport);
// The link's transport taken away (null when none), for the caller to shut.
std::shared_ptr<LinkTransport> RemoveTransport(LinkState& link);
