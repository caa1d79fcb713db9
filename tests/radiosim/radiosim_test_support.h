// Helpers for the simulator's tests: a reading of reply frames written from
// the frame layouts, clients for each link and a simulator on a thread.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "frames.h"
#include "options.h"
#include "simulator.h"

namespace radiosim::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline Bytes FromHex(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text)
        if (c != ' ') digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline uint32_t Serial3(const Bytes& f, size_t at) { return (uint32_t{f[at]} << 16) | (uint32_t{f[at + 1]} << 8) | f[at + 2]; }
inline uint16_t Word(const Bytes& f, size_t at) { return static_cast<uint16_t>((f[at] << 8) | f[at + 1]); }

// Total length of a reply frame once its first bytes are known; 0 when the
// type byte is no reply type, -1 while more bytes are needed to tell.
inline int ReplyLength(const Bytes& head) {
    if (head.empty()) return -1;
    switch (head[0]) {
        case 0xF0: return 14;
        case 0xF1: case 0xF4: case 0xF5: return 12;
        case 0xF2: case 0xF3: return 8;
        case 0xF8: case 0xF9: case 0xFB:
            if (head.size() < 8) return -1;
            return head[7] > 7 ? 21 : 21 + 6 * head[7];
        default: return 0;
    }
}

// Fields of a diagnostics reply, read by the receiver's rules.
struct Diagnostics {
    uint16_t address;
    int linkSignal;
    uint32_t serial;
    int hops;
    int goodShare, signal, noise, lineStatus, temperatureRaw, voltageRaw, frequencyCounter, value, revision;
    std::vector<uint32_t> hopSerials;
    std::vector<int> hopSignals;
    uint16_t distanceWord;  // the first hop's when relayed, else the direct one
};

inline Diagnostics ReadDiagnostics(const Bytes& f) {
    Diagnostics d{};
    d.address = Word(f, 1);
    d.linkSignal = f[3] - 16;
    d.serial = Serial3(f, 4);
    d.hops = f[7];
    d.goodShare = f[8];
    d.signal = f[9] - 16;
    d.noise = f[10] - 16;
    d.lineStatus = f[11];
    d.temperatureRaw = f[13];
    d.voltageRaw = f[14];
    d.frequencyCounter = f[15];
    d.value = f[16];
    d.revision = f[17];
    for (int k = 0; k < d.hops; ++k) {
        d.hopSerials.push_back(Serial3(f, 18 + 6 * k));
        d.hopSignals.push_back(f[21 + 6 * k] - 16);
    }
    d.distanceWord = d.hops > 0 ? Word(f, 22) : Word(f, 18);
    return d;
}

inline long DistanceRaw(uint16_t word) { return std::lround(69.444444 * (5632 - word) / 512 * 300); }

// A byte stream client over any fd, cutting the stream into reply frames.
class StreamClient {
public:
    explicit StreamClient(int fd) : descriptor(fd) {}
    ~StreamClient() {
        if (descriptor >= 0) close(descriptor);
    }
    StreamClient(const StreamClient&) = delete;
    StreamClient& operator=(const StreamClient&) = delete;

    int fd() const { return descriptor; }
    void send(const Bytes& b) const {
        ASSERT_EQ(write(descriptor, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }
    void send(const std::string& s) const { send(Bytes(s.begin(), s.end())); }

    // Reads what arrives within the time; false on end of stream.
    bool readSome(milliseconds wait) {
        pollfd p{descriptor, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return true;
        uint8_t buf[4096];
        const ssize_t n = read(descriptor, buf, sizeof buf);
        if (n <= 0) return false;
        buffered.insert(buffered.end(), buf, buf + n);
        return true;
    }

    // Next whole frame; stray bytes before it are collected in skipped().
    std::optional<Bytes> nextFrame(milliseconds timeout = milliseconds(5000)) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            while (!buffered.empty() && ReplyLength(buffered) == 0) {
                skippedBytes.push_back(buffered.front());
                buffered.erase(buffered.begin());
            }
            const int len = ReplyLength(buffered);
            if (len > 0 && buffered.size() >= static_cast<size_t>(len)) {
                Bytes f(buffered.begin(), buffered.begin() + len);
                buffered.erase(buffered.begin(), buffered.begin() + len);
                return f;
            }
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            if (!readSome(left)) return std::nullopt;
        }
    }

    // Next frame of the given type, passing over status and reports.
    std::optional<Bytes> nextOfType(uint8_t type, milliseconds timeout = milliseconds(5000)) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            auto f = nextFrame(left);
            if (!f) return std::nullopt;
            if ((*f)[0] == type) return f;
        }
    }

    // Everything that arrives within the time, as text (modem answers).
    std::string readText(milliseconds wait, const std::string& until) {
        const auto deadline = Clock::now() + wait;
        std::string text(buffered.begin(), buffered.end());
        while (text.find(until) == std::string::npos && Clock::now() < deadline) {
            if (!readSome(milliseconds(50))) break;
            text.assign(buffered.begin(), buffered.end());
        }
        buffered.clear();
        return text;
    }

    const Bytes& skipped() const { return skippedBytes; }
    const Bytes& pending() const { return buffered; }  // read, not yet a whole frame

private:
    int descriptor;
    Bytes buffered;
    Bytes skippedBytes;
};

inline int ConnectTcp(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

inline int OpenPtySlave(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

class UdpClient {
public:
    explicit UdpClient(uint16_t port) : fd(socket(AF_INET, SOCK_DGRAM, 0)) {
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~UdpClient() { close(fd); }
    void send(const Bytes& b) const {
        sendto(fd, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    // Next datagram that starts with the given type.
    std::optional<Bytes> receiveOfType(uint8_t type, milliseconds timeout) const {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
            uint8_t buf[2048];
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n > 0 && buf[0] == type) return Bytes(buf, buf + n);
        }
    }

private:
    int fd;
    sockaddr_in to{};
};

// A simulator serving on a thread, with its log kept for the test.
class RunningSim {
public:
    explicit RunningSim(std::vector<std::string> args) {
        Options options;
        std::string error;
        if (ParseOptions(args, options, error) != ParseResult::Run) {
            ADD_FAILURE() << error;
            return;
        }
        simulator = std::make_unique<Simulator>(options, [this](const std::string& line) {
            std::lock_guard lock(mutex);
            logLines.push_back(line);
            changed.notify_all();
        });
        if (!simulator->open(error)) {
            ADD_FAILURE() << error;
            simulator.reset();
            return;
        }
        thread = std::thread([this] { simulator->run(); });
    }
    ~RunningSim() { stopAndJoin(); }

    bool ok() const { return simulator != nullptr; }
    Simulator& sim() { return *simulator; }

    void stopAndJoin() {
        if (thread.joinable()) {
            simulator->stop();
            thread.join();
        }
    }

    std::vector<std::string> lines() {
        std::lock_guard lock(mutex);
        return logLines;
    }

    // First log line containing every piece of text; waits for it.
    std::optional<std::string> waitForLine(const std::vector<std::string>& pieces,
                                           milliseconds timeout = milliseconds(5000)) {
        std::unique_lock lock(mutex);
        std::optional<std::string> found;
        changed.wait_for(lock, timeout, [&] {
            for (const auto& l : logLines) {
                bool all = true;
                for (const auto& p : pieces) all = all && l.find(p) != std::string::npos;
                if (all) {
                    found = l;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

private:
    std::unique_ptr<Simulator> simulator;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> logLines;
};

}  // namespace radiosim::test
