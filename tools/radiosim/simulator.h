// The simulator: one network behind every link, driven by one poll loop.
#pragma once

#include <netinet/in.h>
#include <poll.h>

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
    Simulator(Options given, LogSink sink);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens every link asked for; false with a message when one cannot be.
    bool open(std::string& error);
    // "pty /dev/pts/N", ..., "ready": what a caller parses before talking.
    std::vector<std::string> startupLines() const;
    // Serves until stop().
    void run();
    // Safe from a signal handler and from another thread.
    void stop();

    std::string summary() const;
    const Counters& counts() const { return counters; }
    Network& net() { return network; }
    uint16_t tcpPort() const { return tcpListenPort; }
    uint16_t udpPort() const { return udp.port; }
    uint16_t udpAnswerPort() const { return udp.answerFd >= 0 ? udp.answerPort : udp.port; }
    const std::string& ptyPath() const { return pty.path; }
    const std::string& modemPath() const { return modemLink.path; }

private:
    struct Scheduled {
        int64_t dueMs;
        LinkId link;
        uint32_t generation;
        Bytes frame;
        std::string text;
        std::optional<sockaddr_in> to;
    };

    int64_t elapsedMs() const;
    void log(int64_t ms, LinkId link, const char* kind, const std::string& hex, const std::string& text);

    // The loop: what is due, what the sources bring.
    void runTimers(int64_t nowMs);
    void runLineFaults(int64_t nowMs);
    void sendScheduled(int64_t nowMs);
    int64_t nextWakeMs(int64_t nowMs) const;
    // What poll() waits on: the wake-up pipe, the listener while no client is
    // connected, and every link that can be read or waits to be written.
    enum class Source { Wake, Listen, Tcp, Udp, UdpAnswer, Pty, Modem };
    void watchList(std::vector<pollfd>& fds, std::vector<Source>& sources) const;
    void onReady(Source source, short events, int64_t nowMs);

    // Requests and replies.
    void onParseEvent(LinkId link, const ParseEvent& e, int64_t nowMs, std::optional<sockaddr_in> to);
    void onRequest(LinkId link, const Request& r, int64_t nowMs, std::optional<sockaddr_in> to);
    void sendFrame(LinkId link, Bytes frame, const std::string& text, int64_t nowMs, std::optional<sockaddr_in> to);
    void broadcast(const Unsolicited& u, int64_t nowMs);

    // The links (transports.cpp).
    StreamLink* stream(LinkId id);
    bool linkUp(LinkId id) const;
    void onAccept(int64_t nowMs);
    void onStreamInput(StreamLink& l, int64_t nowMs);
    void onModemCommand(StreamLink& l, std::span<const uint8_t> data, int64_t nowMs);
    void onDatagrams(int fd, int64_t nowMs);
    void closeTcp(int64_t nowMs, const std::string& why);
    void hangUp(StreamLink& l, int64_t nowMs);
    void sendRaw(LinkId link, Bytes bytes, const std::string& text, int64_t nowMs);
    void push(LinkId link, Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to);
    // Queues the bytes on every link that is up; returns how many.
    int pushEverywhere(const Bytes& bytes, const std::string& text, int64_t nowMs);
    void flushAll(int64_t nowMs);
    // Time-outs of the links: closes, dials, ports to look at again.
    void runLinkTimers(int64_t nowMs);
    // When a link next needs the loop; -1: never.
    int64_t linkWakeMs() const;

    Options options;
    LogSink sink;
    Network network;
    HayesModem modem;
    FaultPlan faults;
    std::chrono::steady_clock::time_point start;
    int wake[2] = {-1, -1};
    std::atomic<bool> stopping{false};

    int tcpListen = -1;
    uint16_t tcpListenPort = 0;
    StreamLink tcp;
    UdpLink udp;
    StreamLink pty;
    StreamLink modemLink;
    int64_t dialDueMs = -1;

    std::vector<Scheduled> scheduled;
    int64_t nextStatusMs = 0;
    int64_t nextReportMs = 0;
    int64_t nextTraceMs = 0;
    Counters counters;
};

}  // namespace radiosim
