#include "app/link_commands.h"

#include <string>
#include <vector>

#include "model/program.h"

namespace {

// An open that failed says why in a box; a cancelled one has been answered already.
bool Shown(Host& host, const LinkResult& result) {
    if (!result.ok && !result.cancelled && !result.sentence.empty()) host.messageBox(result.sentence, "Error!");
    return result.ok;
}

LinkDescription Described(LinkDescription::Kind kind) {
    LinkDescription description;
    description.kind = kind;
    return description;
}

}  // namespace

bool OpenSerialLink(Program& program, Host& host) { return Shown(host, OpenSerialLink(program)); }

void CloseSerialLink(Program& program, Host& host) {
    if (!CloseSerialLink(program)) host.messageBox("Could not close comm port!", "Error!");
}

void OpenUdpLink(Program& program, Host& host) {
    HostLinkQuestions questions(host);
    OpenUdpLink(program, questions, std::nullopt);  // a socket that could not be made shows as no replies
}

void CloseUdpLink(Program& program, Host& host) {
    HostLinkQuestions questions(host);
    CloseUdpLink(program, questions);
}

void DialUp(Program& program, Host& host) {
    HostLinkQuestions questions(host);
    Shown(host, DialUp(program, questions));
}

void CloseAllLinks(Program& program, Host& host) {
    HostLinkQuestions questions(host);
    if (!CloseAllLinks(program, questions)) host.messageBox("Could not close comm port!", "Error!");
}

void OnUdpReadable(Program& program, Host& host) {
    // The row-1 readout is drawn straight into the window, also between ticks.
    Canvas*& canvas = program.display.canvas;
    const bool lent = canvas == nullptr;
    if (lent) canvas = host.windowCanvas();
    OnUdpReadable(program);
    if (lent) canvas = nullptr;
}

void CommandChangeCommPort(Program& program, Host& host) {
    const std::vector<std::string>& ports = CommPortNames();
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
    HostLinkQuestions questions(host);
    Shown(host, OpenLink(program, Described(LinkDescription::Kind::serial), questions));
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
    HostLinkQuestions questions(host);
    // A refused connection shows as "No Connection" on the status line.
    OpenLink(program, Described(LinkDescription::Kind::tcp), questions);
    Repaint(host);
}

void CommandCloseTcpUdp(Program& program, Host& host) {
    HostLinkQuestions questions(host);
    CloseNetworkLink(program, questions);
    Repaint(host);
}

void CommandConnectUdp(Program& program, Host& host) {
    HostLinkQuestions questions(host);
    OpenLink(program, Described(LinkDescription::Kind::udp), questions);
    Repaint(host);
}

void CommandConnectDialup(Program& program, Host& host) {
    HostLinkQuestions questions(host);
    Shown(host, OpenLink(program, Described(LinkDescription::Kind::dialup), questions));
    Repaint(host);
}
