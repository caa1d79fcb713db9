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
    explicit StreamClient(int fd) : fd_(fd) {}
    ~StreamClient() {
        if (fd_ >= 0) close(fd_);
    }
    StreamClient(const StreamClient&) = delete;
    StreamClient& operator=(const StreamClient&) = delete;

    int Fd() const { return fd_; }
    void Send(const Bytes& b) const { ASSERT_EQ(write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    void Send(const std::string& s) const { Send(Bytes(s.begin(), s.end())); }

    // Reads what arrives within the time; false on end of stream.
    bool ReadSome(milliseconds wait) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return true;
        uint8_t buf[4096];
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) return false;
        pending_.insert(pending_.end(), buf, buf + n);
        return true;
    }

    // Next whole frame; stray bytes before it are collected in Skipped().
    std::optional<Bytes> NextFrame(milliseconds timeout = milliseconds(5000)) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            while (!pending_.empty() && ReplyLength(pending_) == 0) {
                skipped_.push_back(pending_.front());
                pending_.erase(pending_.begin());
            }
            const int len = ReplyLength(pending_);
            if (len > 0 && pending_.size() >= static_cast<size_t>(len)) {
                Bytes f(pending_.begin(), pending_.begin() + len);
                pending_.erase(pending_.begin(), pending_.begin() + len);
                return f;
            }
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            if (!ReadSome(left)) return std::nullopt;
        }
    }

    // Next frame of the given type, passing over status and reports.
    std::optional<Bytes> NextOfType(uint8_t type, milliseconds timeout = milliseconds(5000)) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            auto f = NextFrame(left);
            if (!f) return std::nullopt;
            if ((*f)[0] == type) return f;
        }
    }

    // Everything that arrives within the time, as text (modem answers).
    std::string ReadText(milliseconds wait, const std::string& until) {
        const auto deadline = Clock::now() + wait;
        std::string text(pending_.begin(), pending_.end());
        while (text.find(until) == std::string::npos && Clock::now() < deadline) {
            if (!ReadSome(milliseconds(50))) break;
            text.assign(pending_.begin(), pending_.end());
        }
        pending_.clear();
        return text;
    }

    const Bytes& Skipped() const { return skipped_; }
    const Bytes& Pending() const { return pending_; }  // read, not yet a whole frame

private:
    int fd_;
    Bytes pending_;
    Bytes skipped_;
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
    explicit UdpClient(uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
        to_.sin_family = AF_INET;
        to_.sin_port = htons(port);
        to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~UdpClient() { close(fd_); }
    void Send(const Bytes& b) const {
        sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
    }
    // Next datagram that starts with the given type.
    std::optional<Bytes> ReceiveOfType(uint8_t type, milliseconds timeout) const {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
            uint8_t buf[2048];
            const ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n > 0 && buf[0] == type) return Bytes(buf, buf + n);
        }
    }

private:
    int fd_;
    sockaddr_in to_{};
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
        sim_ = std::make_unique<Simulator>(options, [this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
            changed_.notify_all();
        });
        if (!sim_->Open(error)) {
            ADD_FAILURE() << error;
            sim_.reset();
            return;
        }
        thread_ = std::thread([this] { sim_->Run(); });
    }
    ~RunningSim() { StopAndJoin(); }

    bool Ok() const { return sim_ != nullptr; }
    Simulator& Sim() { return *sim_; }

    void StopAndJoin() {
        if (thread_.joinable()) {
            sim_->Stop();
            thread_.join();
        }
    }

    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    // First log line containing every piece of text; waits for it.
    std::optional<std::string> WaitForLine(const std::vector<std::string>& pieces,
                                           milliseconds timeout = milliseconds(5000)) {
        std::unique_lock lock(mutex_);
        std::optional<std::string> found;
        changed_.wait_for(lock, timeout, [&] {
            for (const auto& l : lines_) {
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
    std::unique_ptr<Simulator> sim_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

}  // namespace radiosim::test
