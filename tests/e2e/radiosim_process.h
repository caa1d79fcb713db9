#pragma once
#include <sys/types.h>

#include <cstdint>
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
    // Kills it outright (SIGKILL): its links vanish as when a cable is pulled.
    void kill();
    bool running() const { return pid > 0; }
    const std::string& logPath() const { return log; }

    // Wall-clock time (milliseconds since the epoch) just before the child started
    // and when its "ready" line arrived: its log clock started in between.
    int64_t startedEpochMs() const { return startedMs; }
    int64_t readyEpochMs() const { return readyMs; }

private:
    pid_t pid = -1;
    int outFd = -1;
    bool isReady = false;
    std::string log;
    std::map<std::string, std::string> endpoints;
    int64_t startedMs = 0;
    int64_t readyMs = 0;
};
