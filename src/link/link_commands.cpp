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
    if (program.link.linkKind != kLinkSerial) CurrentBackend(program.link).close(program, host);
    program.link.linkKind = kLinkSerial;
}

}  // namespace

void CloseAllLinks(Program& program, Host& host) {
    CurrentBackend(program.link).close(program, host);
    program.link.linkKind = kLinkSerial;
}

void CommandChangeCommPort(Program& program, Host& host) {
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
    if (!host.commPortDialog(lines, preselected, current, chosen)) return;
    // A device path names its device whole; a list line starts with its port name.
    if (!IsSerialDevicePath(chosen)) chosen = chosen.substr(0, chosen.find(' '));
    bool known = IsSerialDevicePath(chosen);
    for (const auto& port : ports) known = known || port == chosen;
    if (!known) return;
    if (program.link.serialPortOpen) CloseSerialLink(program, host);
    program.link.commPortName = chosen;
}

void CommandCloseComm(Program& program, Host& host) {
    if (program.link.serialPortOpen) CloseSerialLink(program, host);
    Repaint(host);
}

void CommandOpenComm(Program& program, Host& host) {
    CloseNetworkLink(program, host);
    if (!program.link.serialPortOpen) OpenSerialLink(program, host);
    Repaint(host);
}

void CommandChangeIpAddress(Program& program, Host& host) {
    std::string address = program.link.ipAddressText;
    if (!host.prompt("New IP Address", address)) return;
    program.link.ipAddressText = address;
    std::string port = program.link.portText;
    if (host.prompt("Port Address", port)) program.link.portText = port;
}

void CommandConnectTcp(Program& program, Host& host) {
    if (program.link.serialPortOpen) CloseSerialLink(program, host);
    if (program.link.linkKind == kLinkUdp) CloseUdpLink(program, host);
    if (program.link.linkKind == kLinkSerial) OpenTcpLink(program);
    Repaint(host);
}

void CommandCloseTcpUdp(Program& program, Host& host) {
    CloseNetworkLink(program, host);
    Repaint(host);
}

void CommandConnectUdp(Program& program, Host& host) {
    OpenUdpLink(program, host);
    Repaint(host);
}

void CommandConnectDialup(Program& program, Host& host) {
    CloseNetworkLink(program, host);
    if (!program.link.serialPortOpen) DialUp(program, host);
    Repaint(host);
}
