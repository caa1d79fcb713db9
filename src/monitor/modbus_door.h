#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/monitor_snapshot.h"

// Where a unit's snapshot comes from: the exporter's last published one.
using UnitSnapshot = std::function<std::shared_ptr<const MonitorSnapshot>()>;

// A read-only Modbus TCP server: unit k (1..) is the k-th network. It reads only
// published snapshots, on threads of its own (one per client), so a client that
// stalls holds up nobody but itself and never the poll.
class ModbusDoor {
public:
    ModbusDoor() = default;
    ~ModbusDoor();
    ModbusDoor(const ModbusDoor&) = delete;
    ModbusDoor& operator=(const ModbusDoor&) = delete;

    // Listens on "ADDRESS:PORT" ("[::1]:502" for IPv6). An empty `allowed` lets
    // every client in; otherwise only those addresses. False with a sentence in `error`.
    bool start(const std::string& address, std::vector<std::string> allowed, std::vector<UnitSnapshot> units,
               std::string& error);
    void stop();
    // The port it listens on (the one chosen when the address asked for port 0).
    int port() const { return boundPort; }
    // Lines worth a log entry (a refused client); called on the door's threads.
    std::function<void(const std::string&)> notice;

private:
    void acceptLoop();
    void serve(int fd);

    int listenFd = -1;
    int wakeFd = -1;
    int boundPort = 0;
    std::vector<std::string> allowed;
    std::vector<UnitSnapshot> units;
    std::jthread acceptor;
    std::mutex clientsLock;
    std::vector<int> clientFds;
    struct Client {
        std::shared_ptr<std::atomic<bool>> done;
        std::jthread thread;
    };
    std::vector<Client> clients;  // joined once done, at the next accept and at stop
};

// "ADDRESS:PORT" or "[IPV6]:PORT" split in two; false when it is neither.
bool SplitHostPort(const std::string& text, std::string& host, std::string& port);
