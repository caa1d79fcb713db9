#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

enum LinkKind : int32_t { kLinkSerial = 0, kLinkTcp = 1, kLinkUdp = 2 };

struct LinkState {
    std::atomic<int32_t> linkKind{kLinkSerial};
    std::atomic<int32_t> serialPortOpen{0};
    std::string commPortName = "Com1";
    std::atomic<int16_t> linkUp{1};
    std::atomic<int16_t> rxActivity{0};

    int commHandle = -1;  // serial port descriptor
    int tcpSocket = -1;
    int udpSocket = -1;

    std::string ipAddressText;
    std::string portText;
    std::string udpPassword;
    uint32_t udpPeerAddress = 0;  // network byte order when stored little-endian

    std::thread serialWriter;
    std::thread tcpReader;
    std::thread keepAlive;
    std::atomic<bool> keepAliveStop{false};

    // Request frames handed to the link (main thread only).
    int64_t requestsSent = 0;

    // Datagrams from an address other than the peer, dropped.
    std::atomic<int32_t> foreignDatagrams{0};

    // Set while the dial-up procedure waits for the modem's answer; the poll cycle
    // stands still meanwhile.
    std::atomic<bool> dialling{false};

    // The TCP reader saw the peer close the connection (or a hard error); the main
    // thread closes the link at its next link operation.
    std::atomic<bool> tcpPeerClosed{false};
    // Held around every send on the TCP socket and around closing it, so the
    // keep-alive thread never sends on a closed or reused descriptor.
    std::mutex tcpSendLock;

    // The serial writer waits here while its queue is empty; every append wakes it.
    std::mutex serialWriterLock;
    std::condition_variable serialWriterWake;

    // Keep-alive period; tests shorten it before startKeepAlive.
    std::atomic<int> keepAlivePeriodMs{5000};
    std::mutex keepAliveLock;
    std::condition_variable keepAliveWake;
};
