#include "outbox.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace radiosim {

size_t Outbox::Push(Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to) {
    total_ += bytes.size();
    chunks_.push_back({std::move(bytes), notBeforeMs, to});
    size_t dropped = 0;
    // Drop whole chunks from the front, never one that is half written.
    while (total_ > kLimit && chunks_.size() > 1) {
        auto victim = offset_ == 0 ? chunks_.begin() : chunks_.begin() + 1;
        dropped += victim->bytes.size();
        total_ -= victim->bytes.size();
        chunks_.erase(victim);
    }
    return dropped;
}

Outbox::Result Outbox::Flush(int fd, int64_t nowMs, Via via) {
    const bool datagram = via == Via::Datagram;
    while (!chunks_.empty()) {
        Chunk& c = chunks_.front();
        if (c.notBeforeMs > nowMs) return Result::Waiting;
        const uint8_t* data = c.bytes.data() + offset_;
        const size_t left = c.bytes.size() - offset_;
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
                total_ -= c.bytes.size();
                chunks_.pop_front();
                offset_ = 0;
                continue;
            }
            return Result::Failed;
        }
        if (datagram || static_cast<size_t>(n) == left) {
            total_ -= c.bytes.size();
            chunks_.pop_front();
            offset_ = 0;
        } else {
            offset_ += static_cast<size_t>(n);
        }
    }
    return Result::Idle;
}

void Outbox::Clear() {
    chunks_.clear();
    offset_ = 0;
    total_ = 0;
}

}  // namespace radiosim
