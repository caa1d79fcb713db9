// Ring moves and UDP datagrams in any order; the count must always equal the
// bytes held and the indices stay inside the ring.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "model/program.h"
#include "protocol/ring.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<Program> program = std::make_unique<Program>();
    static LiveListener quiet;
    Program& p = *program;
    p.live = &quiet;
    p.poll = PollState{};
    RingReset(p.ring);
    p.ring.refusedBytes = 0;

    int held = 0;
    uint8_t scratch[2048];
    size_t i = 0;
    while (i + 2 <= size) {
        uint8_t op = data[i];
        int n = data[i + 1] * ((op & 0x10) ? 8 : 1);
        i += 2;
        const uint8_t* bytes = data + i;
        int present = int(std::min<size_t>(size - i, size_t(n)));
        bool stopped = p.ring.ringCount.load() < 0;
        switch (op & 0x07) {
            case 0:
                if (RingAppendMain(p.ring, bytes, present)) held += present;
                break;
            case 1:
                if (RingTakeMain(p.ring, scratch, std::min(n, 2048))) held -= std::min(n, 2048);
                break;
            case 2:
                held += RingAppendLink(p.ring, bytes, present);
                break;
            case 3:
                held -= RingDrainLink(p.ring, [&](const uint8_t*, int k) { return std::min(k, n); });
                break;
            case 4: {
                int before = p.ring.ringCount.load();
                p.poll.inTimerTick = (op & 0x20) != 0;
                UdpDatagramIntake(p.ring, p.poll, *p.live, bytes, present);
                if (!stopped) held += p.ring.ringCount.load() - before;
                break;
            }
            case 5:
                p.ring.ringCount = (op & 0x20) ? ReceiveRing::kTcpStop : ReceiveRing::kSerialStop;
                break;
            default:
                RingReset(p.ring);
                held = 0;
                break;
        }
        int kind = op & 0x07;
        if (kind == 0 || kind == 2 || kind == 4) i += size_t(present);  // the bytes were this op's payload
        bool nowStopped = p.ring.ringCount.load() < 0;
        if (!nowStopped) {
            if (p.ring.ringCount.load() != held) __builtin_trap();
            if (held < 0 || held > ReceiveRing::kSize) __builtin_trap();
        } else {
            held = 0;
        }
        if (p.ring.ringMainIndex < 0 || p.ring.ringMainIndex > 1023) __builtin_trap();
        if (p.ring.ringLinkIndex < 0 || p.ring.ringLinkIndex > 1023) __builtin_trap();
    }
    return 0;
}
