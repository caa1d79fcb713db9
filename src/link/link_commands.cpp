#include <string>
#include <vector>

#include "app/program.h"
#include "link/link_internal.h"
#include "link/links.h"
#include "platform/host.h"

namespace {

void Repaint(Host& host) {
    host.invalidate(true);
    host.update();
}

// Closes a TCP or UDP link, whichever is open.
void CloseNetworkLink(Program& program, Host& host) {
    if (program.link.linkKind == kLinkTcp)
        closeTcpLink(program);
    else if (program.link.linkKind == kLinkUdp)
        closeUdpLink(program, host);
    program.link.linkKind = kLinkSerial;
}

}  // namespace

void closeAllLinks(Program& program, Host& host) {
    LinkState& link = program.link;
    if (link.serialPortOpen) {
        closeSerialLink(program, host);
        link.serialPortOpen = 0;
    } else if (link.linkKind == kLinkTcp) {
        closeTcpLink(program);
        link.linkKind = kLinkSerial;
    } else if (link.linkKind == kLinkUdp) {
        closeUdpLink(program, host);
    }
}

void commandChangeCommPort(Program& program, Host& host) {
    static const std::vector<std::string> ports = {"Com1", "Com2", "Com3", "Com4",
                                                   "Com5", "Com6", "Com7", "Com8"};
    const std::string& current = program.link.commPortName;
    int preselected = -1;
    if (current.size() > 3 && current[3] >= '0' && current[3] <= '9') preselected = current[3] - '0';
    std::string chosen;
    if (!host.listDialog("Select Comm Port", ports, preselected, chosen)) return;
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
