#include "monitor/modbus_door.h"

#include <arpa/inet.h>
#include <modbus/modbus.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "monitor/modbus_registers.h"

namespace {

constexpr size_t kMaxClients = 16;
constexpr int kReadHolding = 3;
constexpr int kReadInput = 4;
constexpr int kMaxReadCount = 125;
constexpr int kHeader = 7;  // the MBAP header; the unit id is its last byte

std::string PeerAddress(const sockaddr_storage& peer) {
    char text[INET6_ADDRSTRLEN] = "";
    if (peer.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(peer).sin_addr, text, sizeof text);
    } else if (peer.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
        // An IPv4 client of a dual-stack socket is named as IPv4.
        if (IN6_IS_ADDR_V4MAPPED(&a))
            inet_ntop(AF_INET, a.s6_addr + 12, text, sizeof text);
        else
            inet_ntop(AF_INET6, &a, text, sizeof text);
    }
    return text;
}

int ListenOn(const std::string& host, const std::string& port, int& boundPort, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        error = "cannot serve Modbus on " + host + ":" + port + ": " + gai_strerror(rc);
        return -1;
    }
    const int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
    int yes = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 8) != 0) {
        error = "cannot serve Modbus on " + host + ":" + port + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        freeaddrinfo(found);
        return -1;
    }
    freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                                  : reinterpret_cast<sockaddr_in&>(bound).sin_port);
    return fd;
}

}  // namespace

bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size()) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    return true;
}

ModbusDoor::~ModbusDoor() { stop(); }

bool ModbusDoor::start(const std::string& address, std::vector<std::string> allowedClients,
                       std::vector<UnitSnapshot> unitSources, std::string& error) {
    std::string host, port;
    if (!SplitHostPort(address, host, port)) {
        error = "--modbus wants ADDRESS:PORT, not " + address;
        return false;
    }
    listenFd = ListenOn(host, port, boundPort, error);
    if (listenFd < 0) return false;
    wakeFd = eventfd(0, EFD_CLOEXEC);
    allowed = std::move(allowedClients);
    units = std::move(unitSources);
    acceptor = std::jthread([this] { acceptLoop(); });
    return true;
}

void ModbusDoor::stop() {
    if (listenFd < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wakeFd, &one, sizeof one);
    if (acceptor.joinable()) acceptor.join();
    {
        // Wakes every client thread out of its read.
        std::lock_guard guard(clientsLock);
        for (int fd : clientFds) shutdown(fd, SHUT_RDWR);
    }
    clients.clear();  // joins
    close(listenFd);
    close(wakeFd);
    listenFd = wakeFd = -1;
}

void ModbusDoor::acceptLoop() {
    for (;;) {
        pollfd waiters[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(waiters, 2, -1) < 0 && errno != EINTR) return;
        if (waiters[1].revents) return;
        if (!(waiters[0].revents & POLLIN)) continue;
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const std::string who = PeerAddress(peer);
        if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), who) == allowed.end()) {
            if (notice) notice("modbus: refused a client from " + who + " (not in --modbus-allow)");
            close(fd);
            continue;
        }
        std::erase_if(clients, [](const Client& c) { return c.done->load(); });
        std::lock_guard guard(clientsLock);
        if (clientFds.size() >= kMaxClients) {
            if (notice) notice("modbus: refused a client from " + who + " (" + std::to_string(kMaxClients) +
                               " clients already)");
            close(fd);
            continue;
        }
        // A client that stops reading its answers is dropped instead of holding its thread.
        timeval sendLimit{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        clientFds.push_back(fd);
        auto done = std::make_shared<std::atomic<bool>>(false);
        clients.push_back({done, std::jthread([this, fd, done] {
                               serve(fd);
                               done->store(true);
                           })});
    }
}

void ModbusDoor::serve(int fd) {
    modbus_t* context = modbus_new_tcp("127.0.0.1", 502);  // the address is unused: the socket is given
    modbus_mapping_t* registers = modbus_mapping_new(0, 0, modbus_map::kEnd, modbus_map::kEnd);
    if (context && registers) {
        modbus_set_socket(context, fd);
        // Between requests a client may stay quiet for as long as it likes; within one
        // request the bytes must keep coming.
        modbus_set_indication_timeout(context, 0, 0);
        modbus_set_byte_timeout(context, 1, 0);
        uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
        for (;;) {
            const int length = modbus_receive(context, request);
            if (length < 0) break;
            if (length < kHeader + 1) continue;
            const int unit = request[kHeader - 1];
            const int function = request[kHeader];
            int rc;
            if (unit < 1 || static_cast<size_t>(unit) > units.size()) {
                rc = modbus_reply_exception(context, request, MODBUS_EXCEPTION_GATEWAY_TARGET);
            } else if (function != kReadHolding && function != kReadInput) {
                // Read-only: every write, and every other read, is not served here.
                rc = modbus_reply_exception(context, request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
            } else if (length < kHeader + 5) {
                rc = modbus_reply_exception(context, request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
            } else {
                const int first = request[kHeader + 1] << 8 | request[kHeader + 2];
                const int count = request[kHeader + 3] << 8 | request[kHeader + 4];
                if (count < 1 || count > kMaxReadCount) {
                    rc = modbus_reply_exception(context, request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
                } else if (!InModbusMap(first, count)) {
                    rc = modbus_reply_exception(context, request, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
                } else {
                    const std::shared_ptr<const MonitorSnapshot> snapshot = units[static_cast<size_t>(unit - 1)]();
                    uint16_t* table =
                        function == kReadHolding ? registers->tab_registers : registers->tab_input_registers;
                    if (snapshot)
                        FillModbusRegisters(*snapshot, first, std::span<uint16_t>(table + first, count));
                    else
                        std::fill_n(table + first, count, uint16_t{0});
                    rc = modbus_reply(context, request, length, registers);
                }
            }
            if (rc < 0) break;
        }
    }
    if (registers) modbus_mapping_free(registers);
    if (context) {
        modbus_set_socket(context, -1);
        modbus_free(context);
    }
    std::lock_guard guard(clientsLock);
    clientFds.erase(std::find(clientFds.begin(), clientFds.end(), fd));
    close(fd);
}
