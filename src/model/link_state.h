#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "model/receive_ring.h"

enum LinkKind : int32_t { kLinkSerial = 0, kLinkTcp = 1, kLinkUdp = 2 };

// The open link's transport (serial port, TCP connection, UDP socket): made by the
// link layer when a link opens, it holds the descriptors and threads.
class LinkTransport;

// What the screens, the files and the status line show of the link, the serial
// transmit queue the poll cycle hands requests to, and the open link's transport.
struct LinkState {
    std::atomic<int32_t> linkKind{kLinkSerial};
    std::atomic<int32_t> serialPortOpen{0};
    std::string commPortName = "Com1";
    std::atomic<int16_t> linkUp{1};
    std::atomic<int16_t> rxActivity{0};

    std::string ipAddressText;
    std::string portText;
    std::string udpPassword;

    // The serial transmit queue: the window's thread and the keep-alive append, an
    // open port's writer drains it. Received bytes never pass through it.
    ReceiveRing transmit;
    // The writer waits here while the queue is empty; every append wakes it.
    std::mutex serialWriterLock;
    std::condition_variable_any serialWriterWake;

    // Chosen once as a link opens, dropped as it closes; null while none is open.
    // Swapped by the window's thread under transportLock, which the keep-alive
    // thread takes to borrow it.
    std::shared_ptr<LinkTransport> transport;
    mutable std::mutex transportLock;

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

    // The keep-alive runs for the whole run, whichever link is open; tests shorten
    // its period before StartKeepAlive.
    std::jthread keepAlive;
    std::atomic<int> keepAlivePeriodMs{5000};
    std::mutex keepAliveLock;
    std::condition_variable_any keepAliveWake;
};
