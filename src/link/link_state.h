#pragma once
#include <atomic>
#include <cstdint>
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

    // Datagrams from an address other than the peer, dropped.
    std::atomic<int32_t> foreignDatagrams{0};
};
