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

// The window's open: the link layer's result as it stands. A refused TCP shows as
// "No Connection", a UDP socket that could not be made as a UDP link without replies.
LinkResult Open(Program& program, Host& host, LinkDescription::Kind kind) {
    WindowAsks asks(program, host);
    return asks.engine.open(Described(kind), Engine::WhenDown::leaveAsIs);
}

void Close(Program& program, Host& host, const std::string& why) {
    WindowAsks asks(program, host);
    if (!asks.engine.close(why)) host.messageBox("Could not close comm port!", "Error!");
}

// A TCP or UDP link, whichever is open; an open serial port stays open.
void CloseNetwork(Program& program, Host& host) {
    WindowAsks asks(program, host);
    asks.engine.closeNetwork("the network link was closed");
}

}  // namespace

WindowAsks::WindowAsks(Program& program, Host& host)
    : engine(DrivingEngine(program)), questions(host), before(engine.askedQuestions()) {
    engine.setQuestions(&questions);
}

WindowAsks::~WindowAsks() { engine.setQuestions(before); }

bool OpenSerialLink(Program& program, Host& host) {
    return Shown(host, Open(program, host, LinkDescription::Kind::serial));
}

void CloseSerialLink(Program& program, Host& host) { Close(program, host, "the comm port was closed"); }

// A socket that could not be made shows as no replies.
void OpenUdpLink(Program& program, Host& host) { Open(program, host, LinkDescription::Kind::udp); }

void CloseUdpLink(Program& program, Host& host) { CloseNetwork(program, host); }

void DialUp(Program& program, Host& host) { Shown(host, Open(program, host, LinkDescription::Kind::dialup)); }

void CloseAllLinks(Program& program, Host& host) { Close(program, host, "the window closed the link"); }

void OnUdpReadable(Program& program, Host& host) {
    // The row-1 readout is drawn straight into the window, also between ticks.
    Canvas*& canvas = program.display.canvas;
    const bool lent = canvas == nullptr;
    if (lent) canvas = host.windowCanvas();
    DrivingEngine(program).takeDatagram();
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
    if (program.link.serialPortOpen) Close(program, host, "the comm port was changed");
    program.link.commPortName = chosen;
}

void CommandCloseComm(Program& program, Host& host) {
    if (program.link.serialPortOpen) Close(program, host, "the comm port was closed");
    Repaint(host);
}

void CommandOpenComm(Program& program, Host& host) {
    Shown(host, Open(program, host, LinkDescription::Kind::serial));
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
    Open(program, host, LinkDescription::Kind::tcp);
    Repaint(host);
}

void CommandCloseTcpUdp(Program& program, Host& host) {
    CloseNetwork(program, host);
    Repaint(host);
}

void CommandConnectUdp(Program& program, Host& host) {
    Open(program, host, LinkDescription::Kind::udp);
    Repaint(host);
}

void CommandConnectDialup(Program& program, Host& host) {
    Shown(host, Open(program, host, LinkDescription::Kind::dialup));
    Repaint(host);
}
