#include "monitor/link_supervisor.h"

#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "engine/engine.h"

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

std::string WithCode(const std::string& text, int code) { return code > 0 ? text + ": " + std::strerror(code) : text; }

}  // namespace

LinkSupervisor::LinkSupervisor(const MonitorOptions& options) : options(options) {}

LinkDescription LinkSupervisor::description() const {
    LinkDescription link;
    switch (options.link) {
        case MonitorLink::serial: link.kind = LinkDescription::Kind::serial; break;
        case MonitorLink::tcp: link.kind = LinkDescription::Kind::tcp; break;
        case MonitorLink::udp: link.kind = LinkDescription::Kind::udp; break;
        case MonitorLink::dialup: link.kind = LinkDescription::Kind::dialup; break;
    }
    if (options.comPort > 0) {
        link.device = "Com" + std::to_string(options.comPort);
    } else if (!options.device.empty()) {
        // A relative device name is taken from the work folder, the current one.
        std::error_code ignored;
        const auto absolute = std::filesystem::absolute(options.device, ignored);
        link.device = ignored ? options.device : absolute.string();
    }
    link.host = options.host;
    link.port = options.port;
    link.password = options.password;
    link.number = options.dialNumber;
    return link;
}

std::string LinkSupervisor::OpenFailureText(const MonitorOptions& options, const LinkResult& result) {
    // A port another program holds is named with its holder.
    const bool held = result.error == EBUSY && !result.detail.empty();
    switch (options.link) {
        case MonitorLink::tcp: return WithCode("cannot connect to " + result.where, result.error);
        case MonitorLink::udp: return WithCode("cannot open a UDP socket", result.error);
        case MonitorLink::dialup:
            if (held) return "cannot open the modem " + result.detail;
            if (result.sentence.empty()) return "cannot open the modem " + DeviceProblem(result.where);
            return "dialling " + options.dialNumber + ": " + result.sentence;
        default:
            return "cannot open " +
                   (options.comPort > 0 ? "Com" + std::to_string(options.comPort) + " as " : std::string()) +
                   (held ? result.detail : DeviceProblem(result.where));
    }
}

bool LinkSupervisor::open(Engine& engine, std::string& reason, LinkResult& result) {
    lastBytes = -1;
    result = engine.open(description());
    if (result.ok) return true;
    reason = OpenFailureText(options, result);
    return false;
}

double LinkSupervisor::silenceLimitSeconds(const Engine& engine) const {
    return 3.0 * engine.state().link.keepAlivePeriodMs.load() / 1000.0;
}

bool LinkSupervisor::wentDown(const Engine& engine, int64_t bytesSeen, double nowSeconds, std::string& reason) {
    if (!engine.linkOpen()) {
        reason = engine.downReason();
        return true;
    }
    if (bytesSeen != lastBytes) {
        lastBytes = bytesSeen;
        lastByteTime = nowSeconds;
        return false;
    }
    if (nowSeconds - lastByteTime > silenceLimitSeconds(engine)) {
        reason = "nothing received for " + Seconds(silenceLimitSeconds(engine)) + " s";
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
