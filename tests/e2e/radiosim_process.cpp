#include "e2e/radiosim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

int64_t EpochMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

RadioSimProcess::RadioSimProcess(std::vector<std::string> args) {
    char tmpl[] = "/tmp/radiosim-log-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    log = tmpl;
    args.insert(args.begin(), {RADIOSIM_PATH, "--log", log});
    int pipeFds[2];
    // Close-on-exec: later children (a second simulator) must not hold this pipe.
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    startedMs = EpochMs();
    // Built before the fork: the child of a threaded process may only exec.
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    outFd = pipeFds[0];
    std::string buffer;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!isReady && std::chrono::steady_clock::now() < deadline) {
        pollfd p{outFd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char chunk[256];
        ssize_t n = read(outFd, chunk, sizeof chunk);
        if (n <= 0) break;
        buffer.append(chunk, static_cast<size_t>(n));
        size_t nl;
        while ((nl = buffer.find('\n')) != std::string::npos) {
            std::string line = buffer.substr(0, nl);
            buffer.erase(0, nl + 1);
            if (line == "ready") {
                isReady = true;
                readyMs = EpochMs();
                break;
            }
            auto space = line.find(' ');
            if (space != std::string::npos) endpoints[line.substr(0, space)] = line.substr(space + 1);
        }
    }
}

RadioSimProcess::~RadioSimProcess() {
    stop();
    if (!log.empty()) unlink(log.c_str());
}

std::string RadioSimProcess::endpoint(const std::string& kind) const {
    auto it = endpoints.find(kind);
    return it == endpoints.end() ? std::string() : it->second;
}

int RadioSimProcess::port(const std::string& kind) const {
    std::string e = endpoint(kind);
    auto colon = e.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(e.c_str() + colon + 1);
}

std::vector<std::string> RadioSimProcess::logLines() const {
    std::vector<std::string> lines;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

void RadioSimProcess::kill() {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

std::string RadioSimProcess::stop() {
    std::string rest;
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(20000);
        if (waitpid(pid, &status, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = -1;
    }
    if (outFd >= 0) {
        char chunk[4096];
        ssize_t n;
        fcntl(outFd, F_SETFL, O_NONBLOCK);
        while ((n = read(outFd, chunk, sizeof chunk)) > 0) rest.append(chunk, static_cast<size_t>(n));
        close(outFd);
        outFd = -1;
    }
    return rest;
}
