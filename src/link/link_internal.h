#pragma once
// Helpers shared by the link files; not for use outside src/link.
#include <cstdint>
#include <string>

#include "link/links.h"
#include "model/poll_state.h"

struct Program;
class LinkTransport;

// Where a link error happened: the value handed to the error recorder with errno.
namespace linkerr {
constexpr int serialRead = 301;
constexpr int serialWrite = 302;
constexpr int serialConfigure = 303;
constexpr int tcpConnect = 311;
constexpr int tcpReceive = 312;
constexpr int tcpSend = 313;
constexpr int tcpClose = 314;
constexpr int udpOpen = 321;
constexpr int udpSend = 322;
constexpr int udpReceive = 323;
constexpr int udpClose = 324;
// A datagram from a host other than the peer, dropped: recorded as this code with
// the sender's IPv4 address (host order) as the value.
constexpr int udpForeign = 325;
}  // namespace linkerr

// A link that opens starts with an empty ring and no frame half read from the last one.
void ResetReceiveState(ReceiveRing& ring, PollState& poll);

// Opens the device of `commPortName` and sets raw 115200 8N1, no flow control,
// DTR asserted. Returns the descriptor (non-blocking) or -1 with the failure in
// `failure`.
int OpenConfiguredSerialPort(ProtocolError& errors, const std::string& commPortName, LinkResult& failure);
// The opened port becomes the link's transport; its writer starts later.
void InstallSerialPort(LinkState& link, int fd);
// Empty queues and the writer thread for the port the link holds.
void StartSerialWriter(Program& program);
// Wakes the serial writer after bytes were queued or the queue was stopped.
void WakeSerialWriter(LinkState& link);
// Stops the writer and closes the port; false when close() reported an error.
bool CloseSerialPort(LinkState& link, ProtocolError& errors);
// Bytes waiting in the port's receive queue.
int SerialBytesWaiting(LinkState& link, ProtocolError& errors);
// Reads exactly n bytes from the port (waiting briefly for stragglers).
void SerialRead(const LinkState& link, ProtocolError& errors, uint8_t* destination, int n);
// The serial behaviour without a port: requests wait in the transmit queue.
LinkTransport& PortlessSerial();

// Closes a TCP link whose reader saw the peer go, once its bytes are taken.
void ReapDeadTcpLink(const LinkChannels& channels);
// Stops the TCP link's thread and closes its socket.
void CloseTcpConnection(const LinkChannels& channels);
// Closes the UDP socket without touching the window's watch.
void CloseUdpSocket(LinkState& link, ProtocolError& errors);
