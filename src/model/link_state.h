#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "model/receive_ring.h"

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

    // The serial transmit queue: the window's thread and the keep-alive append, the
    // serial writer drains it into the port. Received bytes never pass through it.
    ReceiveRing transmit;
    std::jthread serialWriter;
    // The TCP link's thread: reads into the receive ring, sends the transmit queue.
    std::jthread tcpThread;
    int tcpWake = -1;  // eventfd that wakes the TCP thread (bytes queued, stop)
    std::jthread keepAlive;

    // Datagrams from a host other than the peer, dropped since the UDP link opened.
    std::atomic<int32_t> foreignDatagrams{0};

    // Request frames handed to the link (main thread only).
    int64_t requestsSent = 0;

    // Set while the dial-up procedure waits for the modem's answer; the poll cycle
    // stands still meanwhile.
    std::atomic<bool> dialling{false};

    // The window is being destroyed: a long wait on the main thread (the dial-up
    // wait) ends at once instead of showing anything after the window is gone.
    std::atomic<bool> windowClosing{false};

    // A link closed itself (line gone, peer hung up): the status line must be
    // repainted. Set by whoever closed it, taken by the poll tick.
    std::atomic<bool> statusChanged{false};
    // Why an open serial port closed itself (errno; 0: it did not).
    std::atomic<int> portFailure{0};

    // The TCP link died (peer hung up, hard error, a send that made no progress
    // within the time-out); the main thread closes it by the end of the tick.
    std::atomic<bool> tcpPeerClosed{false};
    // TCP transmit queue: the window's thread and the keep-alive append, the TCP
    // thread sends. Held also around opening and closing the socket.
    std::mutex tcpTransmitLock;
    std::array<uint8_t, 1024> tcpTransmit{};
    int tcpTransmitCount = 0;

    // The serial writer waits here while its queue is empty; every append wakes it.
    std::mutex serialWriterLock;
    std::condition_variable_any serialWriterWake;

    // Keep-alive period; tests shorten it before StartKeepAlive.
    std::atomic<int> keepAlivePeriodMs{5000};
    std::mutex keepAliveLock;
    std::condition_variable_any keepAliveWake;
};
