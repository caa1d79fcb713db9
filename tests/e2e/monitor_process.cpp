#include "e2e/monitor_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

MonitorProcess::MonitorProcess(const std::vector<std::string>& args) {
#ifdef MONITOR_PATH
    std::vector<std::string> all = {MONITOR_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    outFd = fds[0];
#else
    (void)args;
#endif
}

MonitorProcess::~MonitorProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (outFd >= 0) close(outFd);
}

void MonitorProcess::readAvailable(int timeoutMs) {
    if (outFd < 0) return;
    pollfd p{outFd, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) > 0) {
        char chunk[4096];
        const ssize_t n = read(outFd, chunk, sizeof chunk);
        if (n <= 0) {
            close(outFd);
            outFd = -1;
            break;
        }
        partial.append(chunk, static_cast<size_t>(n));
        for (size_t nl; (nl = partial.find('\n')) != std::string::npos;) {
            seen.push_back(partial.substr(0, nl));
            partial.erase(0, nl + 1);
        }
        timeoutMs = 0;
    }
}

const std::vector<std::string>& MonitorProcess::lines() {
    readAvailable(0);
    return seen;
}

std::string MonitorProcess::output() {
    std::string out;
    for (const auto& line : lines()) out += line + "\n";
    return out;
}

bool MonitorProcess::waitForLine(const std::string& part, double seconds, size_t from) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        for (size_t i = from; i < seen.size(); ++i)
            if (seen[i].find(part) != std::string::npos) return true;
        if (Since(start) > seconds || outFd < 0) return false;
        readAvailable(100);
    }
}

int MonitorProcess::metricsPort() {
    static const std::regex address(R"(metrics at http://[^ ]*:(\d+)/metrics)");
    for (const auto& line : lines()) {
        std::smatch m;
        if (std::regex_search(line, m, address)) return std::stoi(m[1]);
    }
    return 0;
}

int MonitorProcess::waitExit(double seconds) {
    const auto start = std::chrono::steady_clock::now();
    while (pid > 0) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            readAvailable(0);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (Since(start) > seconds) return -1;
        readAvailable(20);
    }
    return -1;
}

int MonitorProcess::stop(double& seconds) {
    const auto start = std::chrono::steady_clock::now();
    if (pid > 0) kill(pid, SIGTERM);
    const int status = waitExit(10);
    seconds = Since(start);
    return status;
}

void MonitorProcess::signal(int sig) {
    if (pid > 0) kill(pid, sig);
}

std::string HttpGet(int port, const std::string& path) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string response;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char chunk[65536];
            for (ssize_t n; (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) response.append(chunk, static_cast<size_t>(n));
        }
    }
    close(fd);
    const size_t body = response.find("\r\n\r\n");
    if (response.rfind("HTTP/1.", 0) != 0 || response.find(" 200 ") > 12 || body == std::string::npos) return {};
    return response.substr(body + 4);
}

Samples Scrape(int port) { return ParseExposition(HttpGet(port, "/metrics")); }

std::map<std::string, double> ByLabel(const Samples& samples, const std::string& metric, const std::string& label) {
    std::map<std::string, double> out;
    const std::string key = label + "=\"";
    for (const auto& [series, value] : samples) {
        if (series.rfind(metric + "{", 0) != 0) continue;
        const size_t at = series.find(key);
        if (at == std::string::npos) continue;
        const size_t start = at + key.size();
        out[series.substr(start, series.find('"', start) - start)] = value;
    }
    return out;
}

bool Eventually(const std::function<bool()>& probe, double seconds) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (probe()) return true;
        if (Since(start) > seconds) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) == 0)
        port = ntohs(at.sin_port);
    close(fd);
    return port;
}

std::string TakenLoopbackAddress(int& held) {
    held = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (bind(held, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(held, 1) != 0 ||
        getsockname(held, reinterpret_cast<sockaddr*>(&at), &length) != 0)
        return {};
    return "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
}

pid_t StartPrometheus(const std::string& folder, int port) {
    mkdir((folder + "/tsdb").c_str(), 0700);
    const pid_t server = fork();
    if (server == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        const std::string listen = "--web.listen-address=127.0.0.1:" + std::to_string(port);
        const std::string configArg = "--config.file=" + folder + "/prometheus.yml";
        const std::string storage = "--storage.tsdb.path=" + folder + "/tsdb";
        execl("/usr/bin/prometheus", "prometheus", configArg.c_str(), storage.c_str(), listen.c_str(), nullptr);
        _exit(127);
    }
    return server;
}
