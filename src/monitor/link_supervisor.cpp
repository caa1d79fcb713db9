#include "monitor/link_supervisor.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "link/links.h"
#include "model/program.h"
#include "monitor/headless_host.h"

namespace {

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
}

// Why a device cannot be opened, in words, with the usual remedy for a permission error.
std::string DeviceProblem(const std::string& path) {
    if (path.empty()) return "no such serial port";
    if (access(path.c_str(), F_OK) != 0) return path + ": " + std::strerror(errno);
    if (access(path.c_str(), R_OK | W_OK) != 0)
        return path + ": " + std::strerror(errno) + " (add the user to the group that owns it, usually dialout)";
    return path + ": not a serial line or busy";
}

// "<path>: in use by ..." from the open's message box, when another program holds the port.
std::string HeldBy(const std::string& message) {
    const size_t line = message.find('\n');
    if (line == std::string::npos || message.find(": in use by ", line) == std::string::npos) return {};
    return message.substr(line + 1);
}

}  // namespace

LinkSupervisor::LinkSupervisor(Program& program, HeadlessHost& host, const MonitorOptions& options)
    : program(program), host(host), options(options) {}

std::string LinkSupervisor::deviceText() const {
    return options.comPort > 0 ? "Com" + std::to_string(options.comPort) : options.device;
}

bool LinkSupervisor::linkOpenNow() const {
    const LinkState& link = program.link;
    switch (options.link) {
        case MonitorLink::tcp: return link.linkKind == kLinkTcp;
        case MonitorLink::udp: return link.linkKind == kLinkUdp && link.udpSocket >= 0;
        case MonitorLink::dialup: return link.serialPortOpen == 1 && link.linkUp == 1;
        default: return link.serialPortOpen == 1;
    }
}

bool LinkSupervisor::open(std::string& reason) {
    LinkState& link = program.link;
    host.clearLastMessage();
    lastBytes = -1;
    if (options.link == MonitorLink::serial || options.link == MonitorLink::dialup) {
        if (options.comPort > 0) {
            link.commPortName = "Com" + std::to_string(options.comPort);
        } else if (options.device.front() == '/') {
            // A full device path is opened as it stands (several networks each have their own).
            link.commPortName = options.device;
        } else {
            // A device path goes where the window's port mapping looks first.
            link.commPortName = "Com1";
            setenv("CORVANE_COM1", options.device.c_str(), 1);
        }
    }
    switch (options.link) {
        case MonitorLink::serial: CommandOpenComm(program, host); break;
        case MonitorLink::tcp: CommandConnectTcp(program, host); break;
        case MonitorLink::udp: CommandConnectUdp(program, host); break;
        case MonitorLink::dialup: CommandConnectDialup(program, host); break;
    }
    if (linkOpenNow()) return true;

    const int code = program.errors.lastCode.load();
    switch (options.link) {
        case MonitorLink::tcp:
            reason = "cannot connect to " + link.ipAddressText + ":" + link.portText +
                     (code > 0 ? std::string(": ") + std::strerror(code) : std::string());
            break;
        case MonitorLink::udp:
            reason = "cannot open a UDP socket" + (code > 0 ? std::string(": ") + std::strerror(code) : std::string());
            break;
        case MonitorLink::dialup:
            reason = host.lastMessage().empty() ? "cannot open the modem " + DeviceProblem(SerialDevicePath(link.commPortName))
                                                : "dialling " + options.dialNumber + ": " + host.lastMessage();
            if (host.lastMessage() == "Could not open comm port!")
                reason = "cannot open the modem " + DeviceProblem(SerialDevicePath(link.commPortName));
            if (const std::string held = HeldBy(host.lastMessage()); !held.empty())
                reason = "cannot open the modem " + held;
            break;
        default: {
            const std::string held = HeldBy(host.lastMessage());
            reason = "cannot open " + (options.comPort > 0 ? deviceText() + " as " : std::string()) +
                     (held.empty() ? DeviceProblem(SerialDevicePath(link.commPortName)) : held);
            break;
        }
    }
    close();
    return false;
}

void LinkSupervisor::close() {
    CloseAllLinks(program, host);
    program.link.linkKind = kLinkSerial;
}

double LinkSupervisor::silenceLimitSeconds() const { return 3.0 * program.link.keepAlivePeriodMs.load() / 1000.0; }

bool LinkSupervisor::wentDown(int64_t bytesSeen, double nowSeconds, std::string& reason) {
    if (!linkOpenNow()) {
        switch (options.link) {
            case MonitorLink::tcp: reason = "the master closed the TCP connection"; break;
            case MonitorLink::udp: reason = "the UDP socket was closed"; break;
            case MonitorLink::dialup: reason = "the modem line hung up"; break;
            default: reason = "the serial line hung up (adapter unplugged or port closed)"; break;
        }
        return true;
    }
    if (bytesSeen != lastBytes) {
        lastBytes = bytesSeen;
        lastByteTime = nowSeconds;
        return false;
    }
    if (nowSeconds - lastByteTime > silenceLimitSeconds()) {
        reason = "nothing received for " + Seconds(silenceLimitSeconds()) + " s";
        return true;
    }
    return false;
}

double LinkSupervisor::RetryDelay(double reconnectSeconds, int attempt) {
    const double cap = std::max(reconnectSeconds, std::min(10 * reconnectSeconds, 300.0));
    double delay = reconnectSeconds;
    for (int i = 1; i < attempt && delay < cap; ++i) delay *= 2;
    return std::min(delay, cap);
}
