#pragma once
// Real links for the link tests: pseudo-terminals for serial ports and modems,
// loopback sockets for TCP and UDP. Every wait has a generous deadline.
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/link_commands.h"
#include "app/window_proc.h"
#include "link/links.h"
#include "model/program.h"
#include "support/scripted_host.h"

namespace linktest {

constexpr int kWaitMs = 10000;

// The far end of a serial port: the test reads and writes the master side.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string slaveName;

    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) ADD_FAILURE() << "openpty failed";
        slaveName = name;
        termios raw{};
        tcgetattr(master, &raw);
        cfmakeraw(&raw);
        tcsetattr(master, TCSANOW, &raw);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
    void write(const std::string& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
};

// Reads until `n` bytes came or the deadline passed.
inline std::string ReadBytes(int fd, size_t n, int waitMs = kWaitMs) {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buf[256];
        ssize_t r = read(fd, buf, std::min(sizeof buf, n - out.size()));
        if (r > 0) out.append(buf, static_cast<size_t>(r));
        if (r == 0) break;
    }
    return out;
}

// Whatever arrives within a short settle time (for "nothing more came" checks).
inline std::string ReadWhatever(int fd, int settleMs = 200) { return ReadBytes(fd, 4096, settleMs); }

// Waits until `condition` holds, polling; false on time-out.
template <typename Condition>
bool WaitFor(Condition condition, int waitMs = kWaitMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline int LocalPort(int fd) {
    sockaddr_in a{};
    socklen_t l = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &l);
    return ntohs(a.sin_port);
}

inline sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A loopback socket of the given type bound to a system-chosen port.
inline int BoundSocket(int type) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.setTimeOfDay(10, 0, 0);
        program = CreateProgram(clock);
        program->request.bytes = {0xF8, 0x12, 0x34, 0x56, 0x00, 0x0D, 0x80, 0x77};
    }
    void TearDown() override {
        CloseAllLinks(*program, host);
        if (program->link.linkKind == kLinkTcp) CloseTcpLink(*program);
        StopKeepAlive(program->link);
        unsetenv("CORVANE_COM1");
        unsetenv("CORVANE_COM2");
    }
    // What the keep-alive thread is given.
    LinkChannels channels() { return {program->link, program->ring, program->errors}; }
    void usePty(const Pty& pty, const char* variable = "CORVANE_COM1") {
        setenv(variable, pty.slaveName.c_str(), 1);
    }
    std::string requestBytes() const {
        return std::string(program->request.bytes.begin(), program->request.bytes.end());
    }

    ManualClock clock;
    ScriptedHost host;
    std::unique_ptr<Program> program;
};

}  // namespace linktest
