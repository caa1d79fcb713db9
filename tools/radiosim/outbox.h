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
    size_t Push(Bytes bytes, int64_t notBeforeMs, std::optional<sockaddr_in> to = std::nullopt);

    enum class Result { Idle, Waiting, Blocked, Failed };
    enum class Via { Terminal, Socket, Datagram };
    // Writes what is due.
    Result Flush(int fd, int64_t nowMs, Via via);

    // Time at which the next chunk is due, or -1 when empty.
    int64_t NextDueMs() const { return chunks_.empty() ? -1 : chunks_.front().notBeforeMs; }
    bool Empty() const { return chunks_.empty(); }
    size_t Size() const { return total_; }
    void Clear();

private:
    struct Chunk {
        Bytes bytes;
        int64_t notBeforeMs;
        std::optional<sockaddr_in> to;
    };
    std::deque<Chunk> chunks_;
    size_t offset_ = 0;  // into the front chunk, after a short write
    size_t total_ = 0;
};

}  // namespace radiosim
