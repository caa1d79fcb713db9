// Bytes waiting to go out on one link. Each chunk is written by a write of
// its own, not before its time, and only after every chunk ahead of it.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <optional>

#include "frames.h"

namespace radiosim {

class Outbox {
public:
    static constexpr size_t kLimit = 256 * 1024;

    // Queues a chunk; returns the bytes dropped to keep the queue bounded
    // (a reader that stopped reading must not grow it for ever).
    size_t push(Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to = std::nullopt);

    enum class Result { Idle, Waiting, Blocked, Failed };
    enum class Via { Terminal, Socket, Datagram };
    // Writes what is due.
    Result flush(int fd, int64_t nowMs, Via via);

    // Time at which the next chunk is due, or -1 when empty.
    int64_t nextDueMs() const { return chunks.empty() ? -1 : chunks.front().notBeforeMs; }
    bool empty() const { return chunks.empty(); }
    size_t size() const { return total; }
    void clear();

private:
    struct Chunk {
        Bytes bytes;
        int64_t notBeforeMs;
        std::optional<sockaddr_in> to;
    };
    std::deque<Chunk> chunks;
    size_t offset = 0;  // into the front chunk, after a short write
    size_t total = 0;
};

}  // namespace radiosim
