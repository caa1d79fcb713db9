#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct Program;
class Host;

// The link operations the protocol uses.
int linkBytesAvailable(Program& program);
void linkReceive(Program& program, uint8_t* destination, int n);
void linkSendRequest(Program& program);
void queueSerialText(Program& program, std::string_view text);
// Whether the poll tick sends the waiting request once its interval has passed.
bool LinkSendsOnInterval(const Program& program);
// A valid master status frame arrived (on TCP it lets the waiting request go).
void LinkOnMasterStatus(Program& program);
// The status line: the open link, or "No Connection".
std::string LinkStatusText(const Program& program);
bool LinkIsUp(const Program& program);

// Device path for "Com1".."Com8" (CORVANE_COMn wins, then ttyUSB, ttyACM, ttyS).
std::string SerialDevicePath(const std::string& commPortName);
// What "ComN" maps to now, for the port list: the by-id name when udev has one,
// else the device path, or "no device".
std::string SerialDeviceLabel(const std::string& commPortName);
// "Could not open comm port!" and, on the next line, the device and the reason
// (with the group remedy for a permission error).
std::string SerialOpenFailureText(const std::string& commPortName, const std::string& path, int code);

bool openSerialLink(Program& program, Host& host);
void closeSerialLink(Program& program, Host& host);
bool openTcpLink(Program& program);
void closeTcpLink(Program& program);
void openUdpLink(Program& program, Host& host);
void closeUdpLink(Program& program, Host& host);
void dialUp(Program& program, Host& host);

// Keep-alive thread: started once, stopped only at exit (and by tests).
void startKeepAlive(Program& program);
void stopKeepAlive(Program& program);
// One keep-alive period's decision: a carriage return on a silent serial or TCP link.
void keepAliveStep(Program& program);

// "192.168.1.20" -> bytes 192, 168, 1, 20 in memory order.
uint32_t UdpPeerAddressFromText(const std::string& ipAddressText);

// Message 961: read one datagram from the UDP socket and take it in.
void onUdpReadable(Program& program);
// The same, drawing its readout on the window's canvas when no tick holds one.
void onUdpReadable(Program& program, Host& host);

// After a tick has read what it can: a link whose far end went away is closed,
// whatever is left half-read. True when a link closed.
bool CloseDeadLinks(Program& program);

// True once after a link closed itself; the status line then needs a repaint.
bool TakeLinkStatusChange(Program& program);

// Closes whichever link is open (window destruction, tests).
void closeAllLinks(Program& program, Host& host);

// Communication menu commands.
void commandChangeCommPort(Program& program, Host& host);    // 119
void commandCloseComm(Program& program, Host& host);         // 120
void commandOpenComm(Program& program, Host& host);          // 121
void commandChangeIpAddress(Program& program, Host& host);   // 129
void commandConnectTcp(Program& program, Host& host);        // 130
void commandCloseTcpUdp(Program& program, Host& host);       // 131
void commandConnectUdp(Program& program, Host& host);        // 150
void commandConnectDialup(Program& program, Host& host);     // 200
