#pragma once
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/exposition.h"

// The e2e build names the monitor when it was built (prometheus-cpp found).
#ifdef MONITOR_PATH
inline constexpr bool kMonitorBuilt = true;
#else
inline constexpr bool kMonitorBuilt = false;
#endif

// corvane-monitor run as a child process, its event lines read as they come.
class MonitorProcess {
public:
    explicit MonitorProcess(const std::vector<std::string>& args);
    ~MonitorProcess();
    MonitorProcess(const MonitorProcess&) = delete;
    MonitorProcess& operator=(const MonitorProcess&) = delete;

    // Lines printed so far (standard output and standard error).
    const std::vector<std::string>& lines();
    // The same lines as one text, for a failure message.
    std::string output();
    // Waits for a line containing `part`, at or after line `from`; true when it came.
    bool waitForLine(const std::string& part, double seconds, size_t from = 0);
    // The port of "metrics at http://ADDRESS:PORT/metrics", 0 before it is printed.
    int metricsPort();
    // SIGTERM; the exit status and how long the exit took.
    int stop(double& seconds);
    // Sends `sig` (e.g. SIGHUP) and goes on reading.
    void signal(int sig);
    pid_t processId() const { return pid; }
    // The exit status when it ends by itself within `seconds`, else -1.
    int waitExit(double seconds);

private:
    void readAvailable(int timeoutMs);

    pid_t pid = -1;
    int outFd = -1;
    std::string partial;
    std::vector<std::string> seen;
};

// GET http://127.0.0.1:port/path; the body, or empty on a failure.
std::string HttpGet(int port, const std::string& path);
Samples Scrape(int port);
// Samples of one metric, keyed by the value of `label`.
std::map<std::string, double> ByLabel(const Samples& samples, const std::string& metric, const std::string& label);
// Polls `probe` every 200 ms until it holds or the time is up.
bool Eventually(const std::function<bool()>& probe, double seconds);
// A loopback TCP port that was free a moment ago.
int FreeLoopbackPort();
// A loopback port held by a listening socket `held` (close it when done): "127.0.0.1:PORT".
std::string TakenLoopbackAddress(int& held);
// A real Prometheus server on 127.0.0.1:port with `folder`/prometheus.yml and its
// data in `folder`/tsdb, quiet; its process id (SIGTERM and reap it when done).
pid_t StartPrometheus(const std::string& folder, int port);
