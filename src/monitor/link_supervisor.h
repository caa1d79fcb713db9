#pragma once
#include <cstdint>
#include <string>

#include "link/links.h"
#include "monitor/monitor_options.h"

class Engine;

// Opens the chosen link through the engine, notices when it goes down and says why.
class LinkSupervisor {
public:
    explicit LinkSupervisor(const MonitorOptions& options);

    // The link the options describe.
    LinkDescription description() const;
    // One attempt; false with the reason when the link did not come up.
    bool open(Engine& engine, std::string& reason, LinkResult& result);
    // Called after every tick with the bytes read so far and the time in seconds
    // (any steady clock). Returns true, with the reason, when the link is down.
    bool wentDown(const Engine& engine, int64_t bytesSeen, double nowSeconds, std::string& reason);
    // Silence that counts as a dead link: three keep-alive periods.
    double silenceLimitSeconds(const Engine& engine) const;

    // Delay before retry number `attempt` (1, 2, ...): the reconnect time, doubled
    // per failed attempt up to a cap.
    static double RetryDelay(double reconnectSeconds, int attempt);
    // The journal's reason for a link that would not open.
    static std::string OpenFailureText(const MonitorOptions& options, const LinkResult& result);

private:
    const MonitorOptions& options;
    int64_t lastBytes = -1;
    double lastByteTime = 0;
};
