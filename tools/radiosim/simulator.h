// The simulator: one network behind every link, driven by one poll loop.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fault_plan.h"
#include "modem.h"
#include "network.h"
#include "options.h"
#include "request_parser.h"
#include "transports.h"

namespace radiosim {

struct Counters {
    std::map<std::string, uint64_t> requests;  // read, read-by-number, write, store
    uint64_t badXor = 0;
    uint64_t skippedBytes = 0;
    uint64_t keepAlives = 0;
    std::map<uint8_t, uint64_t> replies;  // frames sent, by type
    FaultCounts faults;
    uint64_t refusedDatagrams = 0;
    uint64_t droppedOutputBytes = 0;
    uint64_t connections = 0;
    uint64_t dialsAborted = 0;
};

using LogSink = std::function<void(const std::string& line)>;

class Simulator {
public:
    Simulator(Options options, LogSink sink);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens every link asked for; false with a message when one cannot be.
    bool Open(std::string& error);
    // "pty /dev/pts/N", ..., "ready": what a caller parses before talking.
    std::vector<std::string> StartupLines() const;
    // Serves until Stop().
    void Run();
    // Safe from a signal handler and from another thread.
    void Stop();

    std::string Summary() const;
    const Counters& Counts() const { return counts_; }
    Network& Net() { return network_; }
    uint16_t TcpPort() const { return tcpListenPort_; }
    uint16_t UdpPort() const { return udp_.port; }
    uint16_t UdpAnswerPort() const { return udp_.answerFd >= 0 ? udp_.answerPort : udp_.port; }
    const std::string& PtyPath() const { return pty_.path; }
    const std::string& ModemPath() const { return modemLink_.path; }

private:
    struct Scheduled {
        int64_t dueMs;
        LinkId link;
        uint32_t generation;
        Bytes frame;
        std::string text;
        std::optional<sockaddr_in> to;
    };

    int64_t NowMs() const;
    void Log(int64_t ms, LinkId link, const char* kind, const std::string& hex, const std::string& text);

    // The loop: what is due, what the sources bring.
    void RunTimers(int64_t nowMs);
    void RunLineFaults(int64_t nowMs);
    void SendScheduled(int64_t nowMs);
    int64_t NextWakeMs(int64_t nowMs) const;

    // Requests and replies.
    void OnParseEvent(LinkId link, const ParseEvent& e, int64_t nowMs, std::optional<sockaddr_in> to);
    void OnRequest(LinkId link, const Request& r, int64_t nowMs, std::optional<sockaddr_in> to);
    void SendFrame(LinkId link, Bytes frame, const std::string& text, int64_t nowMs, std::optional<sockaddr_in> to);
    void Broadcast(const Unsolicited& u, int64_t nowMs);

    // The links (transports.cpp).
    StreamLink* Stream(LinkId id);
    bool LinkUp(LinkId id) const;
    void OnAccept(int64_t nowMs);
    void OnStreamInput(StreamLink& l, int64_t nowMs);
    void OnModemCommand(StreamLink& l, std::span<const uint8_t> data, int64_t nowMs);
    void OnDatagrams(int fd, int64_t nowMs);
    void CloseTcp(int64_t nowMs, const std::string& why);
    void HangUp(StreamLink& l, int64_t nowMs);
    void SendRaw(LinkId link, Bytes bytes, const std::string& text, int64_t nowMs);
    void Push(LinkId link, Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to);
    // Queues the bytes on every link that is up; returns how many.
    int PushEverywhere(const Bytes& bytes, const std::string& text, int64_t nowMs);
    void FlushAll(int64_t nowMs);
    // Time-outs of the links: closes, dials, ports to look at again.
    void RunLinkTimers(int64_t nowMs);
    // When a link next needs the loop; -1: never.
    int64_t LinkWakeMs() const;

    Options options_;
    LogSink sink_;
    Network network_;
    HayesModem modem_;
    FaultPlan faults_;
    std::chrono::steady_clock::time_point start_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};

    int tcpListen_ = -1;
    uint16_t tcpListenPort_ = 0;
    StreamLink tcp_;
    UdpLink udp_;
    StreamLink pty_;
    StreamLink modemLink_;
    int64_t dialDueMs_ = -1;

    std::vector<Scheduled> scheduled_;
    int64_t nextStatusMs_ = 0;
    int64_t nextReportMs_ = 0;
    int64_t nextTraceMs_ = 0;
    Counters counts_;
};

}  // namespace radiosim
