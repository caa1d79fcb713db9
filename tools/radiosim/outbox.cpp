#include "outbox.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace radiosim {

size_t Outbox::push(Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to) {
    total += bytes.size();
    chunks.push_back({std::move(bytes), notBeforeMs, to});
    size_t dropped = 0;
    // Drop whole chunks from the front, never one that is half written.
    while (total > kLimit && chunks.size() > 1) {
        auto victim = offset == 0 ? chunks.begin() : chunks.begin() + 1;
        dropped += victim->bytes.size();
        total -= victim->bytes.size();
        chunks.erase(victim);
    }
    return dropped;
}

Outbox::Result Outbox::flush(int fd, int64_t nowMs, Via via) {
    const bool datagram = via == Via::Datagram;
    while (!chunks.empty()) {
        Chunk& c = chunks.front();
        if (c.notBeforeMs > nowMs) return Result::Waiting;
        const uint8_t* data = c.bytes.data() + offset;
        const size_t left = c.bytes.size() - offset;
        ssize_t n;
        if (datagram) {
            n = c.to ? sendto(fd, data, left, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&*c.to), sizeof *c.to)
                     : static_cast<ssize_t>(left);
        } else if (via == Via::Socket) {
            n = send(fd, data, left, MSG_DONTWAIT | MSG_NOSIGNAL);
        } else {
            n = write(fd, data, left);
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return Result::Blocked;
            if (datagram) {  // a datagram that cannot go is lost; the link stays
                total -= c.bytes.size();
                chunks.pop_front();
                offset = 0;
                continue;
            }
            return Result::Failed;
        }
        if (datagram || static_cast<size_t>(n) == left) {
            total -= c.bytes.size();
            chunks.pop_front();
            offset = 0;
        } else {
            offset += static_cast<size_t>(n);
        }
    }
    return Result::Idle;
}

void Outbox::clear() {
    chunks.clear();
    offset = 0;
    total = 0;
}

}  // namespace radiosim
