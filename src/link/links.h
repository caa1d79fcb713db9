#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "model/link_state.h"
#include "model/protocol_error.h"
#include "model/receive_ring.h"

struct Program;
class Host;

// What the link threads share with the window's thread: the link's queues and flags,
// the receive ring and the fault counters. A thread is given these, never the program.
struct LinkChannels {
    LinkState& link;
    ReceiveRing& ring;
    ProtocolError& errors;
};

// The link operations the protocol uses.
int LinkBytesAvailable(Program& program);
void LinkReceive(Program& program, uint8_t* destination, int n);
void LinkSendRequest(Program& program);
void QueueSerialText(LinkState& link, std::string_view text);
// Whether the poll tick sends the waiting request once its interval has passed.
bool LinkSendsOnInterval(const Program& program);
// A valid master status frame arrived (on TCP it lets the waiting request go).
void LinkOnMasterStatus(Program& program);
// The status line: the open link, or "No Connection".
std::string LinkStatusText(const LinkState& link);
bool LinkIsUp(const LinkState& link);

// A port name that is a device path of its own ("/dev/rfcomm0") rather than "ComN".
bool IsSerialDevicePath(const std::string& commPortName);
// Device path for "Com1".."Com8" (CORVANE_COMn wins, then ttyUSB, ttyACM, ttyS), or
// the name itself when it is a device path.
std::string SerialDevicePath(const std::string& commPortName);
// What "ComN" maps to now, for the port list: the by-id name when udev has one,
// else the device path, or "no device".
std::string SerialDeviceLabel(const std::string& commPortName);
// What to do about a permission refusal on a device with this owner, group and mode.
std::string SerialPermissionAdvice(unsigned ownerUid, unsigned ownerGid, unsigned mode);
// "Could not open comm port!" and, on the next line, the device and the reason
// (with the remedy for a permission error).
std::string SerialOpenFailureText(const std::string& commPortName, const std::string& path, int code);

bool OpenSerialLink(Program& program, Host& host);
void CloseSerialLink(Program& program, Host& host);
bool OpenTcpLink(Program& program);
void CloseTcpLink(Program& program);
void OpenUdpLink(Program& program, Host& host);
void CloseUdpLink(Program& program, Host& host);
void DialUp(Program& program, Host& host);

// Keep-alive thread: started once, stopped only at exit (and by tests).
void StartKeepAlive(const LinkChannels& channels);
void StopKeepAlive(LinkState& link);
// One keep-alive period's decision: a carriage return on a silent serial or TCP link.
void KeepAliveStep(const LinkChannels& channels);

// "192.168.1.20" -> bytes 192, 168, 1, 20 in memory order.
uint32_t UdpPeerAddressFromText(const std::string& ipAddressText);

// Message 961: read one datagram from the UDP socket and take it in.
void OnUdpReadable(Program& program);
// The same, drawing its readout on the window's canvas when no tick holds one.
void OnUdpReadable(Program& program, Host& host);

// After a tick has read what it can: a link whose far end went away is closed,
// whatever is left half-read. True when a link closed.
bool CloseDeadLinks(Program& program);

// True once after a link closed itself; the status line then needs a repaint.
bool TakeLinkStatusChange(LinkState& link);

// Closes whichever link is open (window destruction, tests).
void CloseAllLinks(Program& program, Host& host);

// Communication menu commands.
void CommandChangeCommPort(Program& program, Host& host);    // 119
void CommandCloseComm(Program& program, Host& host);         // 120
void CommandOpenComm(Program& program, Host& host);          // 121
void CommandChangeIpAddress(Program& program, Host& host);   // 129
void CommandConnectTcp(Program& program, Host& host);        // 130
void CommandCloseTcpUdp(Program& program, Host& host);       // 131
void CommandConnectUdp(Program& program, Host& host);        // 150
void CommandConnectDialup(Program& program, Host& host);     // 200
