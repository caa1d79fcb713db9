#include <string>
#include <vector>

#include "link/link_internal.h"
#include "link/links.h"
#include "model/program.h"

namespace {

// A port that would not close is reported, and the sequence goes on.
void CloseSerialOrSay(Program& program, LinkQuestions& questions) {
    if (program.link.serialPortOpen && !CloseSerialLink(program))
        questions.notice("Could not close comm port!", "Error!");
}

LinkResult OpenTcp(Program& program, LinkQuestions& questions) {
    CloseSerialOrSay(program, questions);
    if (program.link.linkKind == kLinkUdp) CloseUdpLink(program, questions);
    if (program.link.linkKind == kLinkSerial) return OpenTcpLink(program);
    return {};
}

}  // namespace

const std::vector<std::string>& CommPortNames() {
    static const std::vector<std::string> ports = {"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8"};
    return ports;
}

void CloseNetworkLink(Program& program, LinkQuestions& questions) {
    switch (program.link.linkKind.load()) {
        case kLinkTcp: CloseTcpLink(program); break;
        case kLinkUdp: CloseUdpLink(program, questions); break;
        default: break;
    }
    program.link.linkKind = kLinkSerial;
}

bool CloseAllLinks(Program& program, LinkQuestions& questions) {
    bool closed = true;
    if (program.link.linkKind == kLinkSerial) {
        if (program.link.serialPortOpen) closed = CloseSerialLink(program);
        program.link.serialPortOpen = 0;
    }
    CloseNetworkLink(program, questions);
    return closed;
}

LinkResult OpenLink(Program& program, const LinkDescription& description, LinkQuestions& questions) {
    LinkState& link = program.link;
    using Kind = LinkDescription::Kind;
    if (description.kind == Kind::serial || description.kind == Kind::dialup) {
        // A new port closes the one open on another.
        if (!description.device.empty() && description.device != link.commPortName) {
            CloseSerialOrSay(program, questions);
            link.commPortName = description.device;
        }
    } else {
        if (!description.host.empty()) link.ipAddressText = description.host;
        if (!description.port.empty()) link.portText = description.port;
    }
    switch (description.kind) {
        case Kind::serial: CloseNetworkLink(program, questions); return OpenSerialLink(program);
        case Kind::tcp: return OpenTcp(program, questions);
        case Kind::udp: return OpenUdpLink(program, questions, description.password);
        case Kind::dialup:
            CloseNetworkLink(program, questions);
            if (link.serialPortOpen) return {};
            return DialUp(program, questions, description.number);
    }
    return {};
}
