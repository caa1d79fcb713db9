#include <string>
#include <vector>

#include "link/link_backend.h"
#include "link/link_internal.h"
#include "link/links.h"
#include "model/program.h"
#include "platform/host.h"

namespace {

// Closes a TCP or UDP link, whichever is open; an open serial port stays open.
void CloseNetworkLink(Program& program, Host& host) {
    if (program.link.linkKind != kLinkSerial) CurrentBackend(program).close(program, host);
    program.link.linkKind = kLinkSerial;
}

}  // namespace

void closeAllLinks(Program& program, Host& host) {
    CurrentBackend(program).close(program, host);
    program.link.linkKind = kLinkSerial;
}

void commandChangeCommPort(Program& program, Host& host) {
    static const std::vector<std::string> ports = {"Com1", "Com2", "Com3", "Com4",
                                                   "Com5", "Com6", "Com7", "Com8"};
    // Each line shows the device the name maps to now, so a technician sees which
    // adapter is which before choosing.
    std::vector<std::string> lines;
    for (const auto& port : ports) lines.push_back(port + "  " + SerialDeviceLabel(port));
    const std::string& current = program.link.commPortName;
    int preselected = -1;
    // "ComN" is row N - 1 of the list: the current port is the one preselected.
    if (current.size() == 4 && current[3] >= '1' && current[3] <= '8') preselected = current[3] - '1';
    std::string chosen;
    if (!host.listDialog("Select Comm Port", lines, preselected, chosen)) return;
    chosen = chosen.substr(0, chosen.find(' '));
    bool known = false;
    for (const auto& port : ports) known = known || port == chosen;
    if (!known) return;
    if (program.link.serialPortOpen) closeSerialLink(program, host);
    program.link.commPortName = chosen;
}

void commandCloseComm(Program& program, Host& host) {
    if (program.link.serialPortOpen) closeSerialLink(program, host);
    Repaint(host);
}

void commandOpenComm(Program& program, Host& host) {
    CloseNetworkLink(program, host);
    if (!program.link.serialPortOpen) openSerialLink(program, host);
    Repaint(host);
}

void commandChangeIpAddress(Program& program, Host& host) {
    std::string address = program.link.ipAddressText;
    if (!host.prompt("New IP Address", address)) return;
    program.link.ipAddressText = address;
    std::string port = program.link.portText;
    if (host.prompt("Port Address", port)) program.link.portText = port;
}

void commandConnectTcp(Program& program, Host& host) {
    if (program.link.serialPortOpen) closeSerialLink(program, host);
    if (program.link.linkKind == kLinkUdp) closeUdpLink(program, host);
    if (program.link.linkKind == kLinkSerial) openTcpLink(program);
    Repaint(host);
}

void commandCloseTcpUdp(Program& program, Host& host) {
    CloseNetworkLink(program, host);
    Repaint(host);
}

void commandConnectUdp(Program& program, Host& host) {
    openUdpLink(program, host);
    Repaint(host);
}

void commandConnectDialup(Program& program, Host& host) {
    CloseNetworkLink(program, host);
    if (!program.link.serialPortOpen) dialUp(program, host);
    Repaint(host);
}
