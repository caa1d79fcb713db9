#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/link_state.h"
#include "model/protocol_error.h"
#include "model/receive_ring.h"

struct Program;

// How to reach the master radio.
struct LinkDescription {
    enum class Kind { serial, tcp, udp, dialup };
    Kind kind = Kind::serial;
    // Serial and dial-up: "ComN" or a device path; empty: the port the program holds.
    std::string device;
    // TCP and UDP: empty parts are the ones the program holds (a network file's).
    std::string host;
    std::string port;
    // UDP: up to four bytes, empty for none. Dial-up: the number. Unset: asked
    // through LinkQuestions at the point of the sequence where the window asks.
    std::optional<std::string> password;
    std::optional<std::string> number;
};

// What opening a link came to; the caller words it (the window in a box, the
// monitor in its log).
struct LinkResult {
    bool ok = true;
    // Ended at a question (a prompt cancelled, REDIAL declined): already put to the user.
    bool cancelled = false;
    int error = 0;         // errno, 0 when there is none
    std::string where;     // the device path or "host:port"
    std::string detail;    // "<where>: <why>", one line
    std::string sentence;  // the window's words ("Could not open comm port!\n...")
    explicit operator bool() const { return ok; }
};

// What a link sequence asks or shows while it runs: the window answers with its
// dialogs, a program without one takes the defaults (cancel, nothing shown).
class LinkQuestions {
public:
    virtual ~LinkQuestions() = default;
    // Dial-up, once the port is open: the number to dial. False: cancelled.
    virtual bool phoneNumber(std::string& /*number*/) { return false; }
    // UDP, before the socket: the password, pre-filled. False: the old one stays.
    virtual bool udpPassword(std::string& /*password*/) { return false; }
    // "Phone Busy" / "No Dialtone": true dials again.
    virtual bool redial(const std::string& /*title*/) { return false; }
    // The modeless "Dialing" box while the modem is waited for.
    virtual void dialing(bool /*shown*/) {}
    // Called every few milliseconds of the modem's wait (up to a minute).
    virtual void waiting() {}
    // A box in the middle of a sequence that goes on after it.
    virtual void notice(const std::string& /*text*/, const std::string& /*title*/) {}
    // The UDP socket to watch for datagrams; -1 stops watching.
    virtual void watchUdpSocket(int /*fd*/) {}
};

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
// The descriptor the open link reads (serial port, TCP or UDP socket); -1 when none is open.
int LinkDescriptor(const LinkState& link);
// The socket of an open UDP link, to watch for datagrams; -1 when there is none.
int LinkUdpSocket(const LinkState& link);
// The peer an open UDP link sends to and takes datagrams from (memory order = wire order).
uint32_t LinkUdpPeer(const LinkState& link);
// The far end of the open link went away; the link closes once its bytes are taken.
bool LinkFarEndGone(const LinkState& link);

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

// Opens the link described, closing another kind first; one that is open already
// stays as it is. The description's device and address become the program's.
LinkResult OpenLink(Program& program, const LinkDescription& description, LinkQuestions& questions);

LinkResult OpenSerialLink(Program& program);
// False when the port would not close ("Could not close comm port!"); linkUp keeps its value.
bool CloseSerialLink(Program& program);
LinkResult OpenTcpLink(Program& program);
void CloseTcpLink(Program& program);
// Opens a UDP socket towards the program's address; the link counts as UDP even
// when the socket could not be made (no replies then).
LinkResult OpenUdpLink(Program& program, LinkQuestions& questions, const std::optional<std::string>& password);
void CloseUdpLink(Program& program, LinkQuestions& questions);
// Dials until connected or done; the number is asked when not given.
LinkResult DialUp(Program& program, LinkQuestions& questions, const std::optional<std::string>& number = {});

// Keep-alive thread: started once, stopped only at exit (and by tests).
void StartKeepAlive(const LinkChannels& channels);
void StopKeepAlive(LinkState& link);
// One keep-alive period's decision: a carriage return on a silent serial or TCP link.
void KeepAliveStep(const LinkChannels& channels);

// "192.168.1.20" -> bytes 192, 168, 1, 20 in memory order.
uint32_t UdpPeerAddressFromText(const std::string& ipAddressText);

// Message 961: read one datagram from the UDP socket and take it in.
void OnUdpReadable(Program& program);

// After a tick has read what it can: a link whose far end went away is closed,
// whatever is left half-read. True when a link closed.
bool CloseDeadLinks(Program& program);

// True once after a link closed itself; the status line then needs a repaint.
bool TakeLinkStatusChange(LinkState& link);

// Closes whichever link is open (window destruction, tests); false when a serial
// port would not close.
bool CloseAllLinks(Program& program, LinkQuestions& questions);
// Closes a TCP or UDP link, whichever is open; an open serial port stays open.
void CloseNetworkLink(Program& program, LinkQuestions& questions);
// "ComN" ports the Change Comm Port list offers.
const std::vector<std::string>& CommPortNames();
