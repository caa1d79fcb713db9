#pragma once
#include <cstdint>
#include <string>

#include "monitor/monitor_options.h"

struct Program;
class HeadlessHost;

// Opens the chosen link through the same commands the window's menus use, notices
// when it goes down and says why.
class LinkSupervisor {
public:
    LinkSupervisor(Program& program, HeadlessHost& host, const MonitorOptions& options);

    // One attempt; false with the reason when the link did not come up.
    bool open(std::string& reason);
    // Closes the link as the window does on closing.
    void close();
    // Called after every tick with the bytes read so far and the time in seconds
    // (any steady clock). Returns true, with the reason, when the link is down.
    bool wentDown(int64_t bytesSeen, double nowSeconds, std::string& reason);
    // Silence that counts as a dead link: three keep-alive periods.
    double silenceLimitSeconds() const;

    // Delay before retry number `attempt` (1, 2, ...): the reconnect time, doubled
    // per failed attempt up to a cap.
    static double RetryDelay(double reconnectSeconds, int attempt);

private:
    bool linkOpenNow() const;
    std::string deviceText() const;

    Program& program;
    HeadlessHost& host;
    const MonitorOptions& options;
    int64_t lastBytes = -1;
    double lastByteTime = 0;
};
