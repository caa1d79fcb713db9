// The links the program reaches the network through, as the poll loop keeps
// them: a TCP connection and the two pseudo-terminals carry a byte stream,
// UDP carries one request per datagram.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

#include "outbox.h"
#include "request_parser.h"

namespace radiosim {

enum class LinkId { Tcp, Udp, Pty, Modem, Sim };
const char* LinkName(LinkId id);

struct StreamLink {
    LinkId id = LinkId::Pty;
    int fd = -1;
    std::string path;       // pty
    bool hung = false;      // pty: nobody holds the other side
    int64_t recheckMs = 0;  // pty: when to look again
    Outbox out;
    bool blocked = false;
    RequestParser parser;
    uint32_t generation = 0;        // a new connection or session
    int64_t closeAtMs = -1;         // tcp
    int64_t cutFrameAtMs = -1;      // tcp: from then the next frame goes out cut short
    bool closeWhenFlushed = false;  // tcp: a cut frame is on its way, then the close
    int64_t stopReadingAtMs = -1;   // tcp: from then nothing is read
    bool reading = true;

    // The session is over: what waited to go out or to be parsed is dropped,
    // and replies scheduled for it are no longer sent.
    void endSession() {
        out.clear();
        blocked = false;
        parser.reset();
        ++generation;
    }
};

struct UdpLink {
    int fd = -1;
    uint16_t port = 0;
    int answerFd = -1;  // the socket answers leave from, when not fd
    uint16_t answerPort = 0;
    Outbox out;
    bool blocked = false;
    std::optional<sockaddr_in> peer;
    int64_t heardMs = 0;
    std::string password;

    int sendFd() const { return answerFd >= 0 ? answerFd : fd; }
};

}  // namespace radiosim
