#pragma once
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

// corvane-radiosim run as a child process for a test; stopped when destroyed.
class RadioSimProcess {
public:
    // Starts the simulator with these arguments and waits for its "ready" line.
    explicit RadioSimProcess(std::vector<std::string> args);
    ~RadioSimProcess();
    RadioSimProcess(const RadioSimProcess&) = delete;
    RadioSimProcess& operator=(const RadioSimProcess&) = delete;

    bool ready() const { return isReady; }
    // Startup lines by their first word: "pty", "modem", "tcp", "udp".
    std::string endpoint(const std::string& kind) const;
    int port(const std::string& kind) const;
    // Lines of the request log written so far.
    std::vector<std::string> logLines() const;
    // Stops it (SIGTERM) and returns what it printed after the startup lines.
    std::string stop();
    const std::string& logPath() const { return log; }

private:
    pid_t pid = -1;
    int outFd = -1;
    bool isReady = false;
    std::string log;
    std::map<std::string, std::string> endpoints;
};
