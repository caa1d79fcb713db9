// The simulator: one network behind every link, driven by one poll loop.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "modem.h"
#include "network.h"
#include "options.h"
#include "outbox.h"
#include "request_parser.h"

namespace radiosim {

enum class LinkId { Tcp, Udp, Pty, Modem, Sim };
const char* LinkName(LinkId id);

struct Counters {
    std::map<std::string, uint64_t> requests;  // read, read-by-number, write, store
    uint64_t badXor = 0;
    uint64_t skippedBytes = 0;
    uint64_t keepAlives = 0;
    std::map<uint8_t, uint64_t> replies;  // frames sent, by type
    std::map<std::string, uint64_t> faults;
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
    uint16_t TcpPort() const { return tcpPort_; }
    uint16_t UdpPort() const { return udpPort_; }
    uint16_t UdpAnswerPort() const { return udpAnswer_ >= 0 ? udpAnswerPort_ : udpPort_; }
    const std::string& PtyPath() const { return pty_.path; }
    const std::string& ModemPath() const { return modemLink_.path; }

private:
    struct StreamLink {
        LinkId id = LinkId::Pty;
        int fd = -1;
        std::string path;       // pty
        bool hung = false;      // pty: nobody holds the other side
        int64_t recheckMs = 0;  // pty: when to look again
        Outbox out;
        bool blocked = false;
        RequestParser parser;
        uint32_t generation = 0;  // a new connection or session
        int64_t closeAtMs = -1;   // tcp
        int64_t cutFrameAtMs = -1;     // tcp: from then the next frame goes out cut short
        bool closeWhenFlushed = false;  // tcp: a cut frame is on its way, then the close
        int64_t stopReadingAtMs = -1;  // tcp: from then nothing is read
        bool reading = true;
    };
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
    bool Roll(double percent);
    bool Busy(int64_t nowMs) const;

    StreamLink* Stream(LinkId id);
    bool LinkUp(LinkId id) const;
    void OnStreamInput(StreamLink& l, int64_t nowMs);
    void OnParseEvent(LinkId link, const ParseEvent& e, int64_t nowMs, std::optional<sockaddr_in> to);
    void OnRequest(LinkId link, const Request& r, int64_t nowMs, std::optional<sockaddr_in> to);
    void OnDatagrams(int fd, int64_t nowMs);
    int UdpSendFd() const { return udpAnswer_ >= 0 ? udpAnswer_ : udp_; }
    void OnAccept(int64_t nowMs);
    void CloseTcp(int64_t nowMs, const std::string& why);
    void HangUp(StreamLink& l, int64_t nowMs);

    void SendFrame(LinkId link, Bytes frame, const std::string& text, int64_t nowMs, std::optional<sockaddr_in> to);
    void SendRaw(LinkId link, Bytes bytes, const std::string& text, int64_t nowMs);
    void Push(LinkId link, Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to);
    void Broadcast(const Unsolicited& u, int64_t nowMs);
    void RunTimers(int64_t nowMs);
    // Line noise and the flood of replies from radios that do not exist.
    void RunLineFaults(int64_t nowMs);
    bool NoiseOn(int64_t nowMs) const;
    bool FloodOn(int64_t nowMs) const;
    Bytes FloodReply();
    // Queues the bytes on every link that is up; returns how many.
    int PushEverywhere(const Bytes& bytes, const std::string& text, int64_t nowMs);
    void FlushAll(int64_t nowMs);
    int64_t NextWakeMs(int64_t nowMs) const;

    Options options_;
    LogSink sink_;
    Network network_;
    HayesModem modem_;
    std::mt19937 faultRng_;
    std::chrono::steady_clock::time_point start_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};

    int tcpListen_ = -1;
    uint16_t tcpPort_ = 0;
    StreamLink tcp_;

    int udp_ = -1;
    uint16_t udpPort_ = 0;
    int udpAnswer_ = -1;  // the socket answers leave from, when not udp_
    uint16_t udpAnswerPort_ = 0;
    Outbox udpOut_;
    bool udpBlocked_ = false;
    std::optional<sockaddr_in> udpPeer_;
    int64_t udpHeardMs_ = 0;
    std::string udpPassword_;

    StreamLink pty_;
    StreamLink modemLink_;
    int64_t dialDueMs_ = -1;

    std::vector<Scheduled> scheduled_;
    int64_t nextStatusMs_ = 0;
    int64_t nextReportMs_ = 0;
    int64_t nextTraceMs_ = 0;
    bool wasBusy_ = false;
    // The line faults draw from their own generator, so switching them on leaves
    // every other random choice as it was.
    std::mt19937 lineRng_;
    int64_t lineFaultsMs_ = 0;  // when noise and flood were last sent
    double noiseOwed_ = 0;      // bytes due but not yet sent (a fraction)
    double floodOwed_ = 0;      // replies likewise
    bool noiseEnded_ = false, floodEnded_ = false;
    Counters counts_;
};

}  // namespace radiosim
