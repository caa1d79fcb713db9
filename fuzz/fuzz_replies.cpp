// Arbitrary bytes from the air into the frame assembler and every decoder, fed in
// pieces across ticks, with the screen and setup state the first bytes choose.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/derived_values.h"
#include "model/program.h"
#include "model/setup_table.h"
#include "protocol/protocol.h"

namespace {

class InputSource : public ByteSource {
public:
    int bytesAvailable() override { return int(available - position); }
    void receive(uint8_t* destination, int n) override {
        for (int i = 0; i < n && position < available; ++i) destination[i] = bytes[position++];
    }
    const uint8_t* bytes = nullptr;
    size_t available = 0;
    size_t position = 0;
};

struct Fixture {
    Fixture() : program(std::make_unique<Program>()) {
        program->clock = &clock;
        program->live = &live;
        program->replySource = &source;
        FillSetupParameterTable(program->setup);
    }
    // Back to a fresh table without rewriting all 13 MB: appended radios start
    // clean, so only what an input can have touched outside them is reset.
    void reset() {
        Program& p = *program;
        clock.set(LocalTime{2024, 1, 1, 23, 59, 58, 0});
        p.network.radioCount = 0;
        p.network.repeaterCount = 0;
        p.network.radios[0] = RadioRecord{};
        p.network.master = MasterStatus{};
        p.network.history[0] = HistoryRow{};
        p.network.lastMasterSequence = p.network.lastSlaveSequence = 0;
        p.network.refusedAdditions = 0;
        p.network.runStartSeconds = SecondsClock(clock.now());
        p.poll = PollState{};
        p.errors.lastCode = p.errors.lastValue = p.errors.count = 0;
        source = InputSource{};
    }

    ManualClock clock;
    LiveListener live;
    InputSource source;
    std::unique_ptr<Program> program;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    static Fixture fixture;
    fixture.reset();
    Program& p = *fixture.program;
    p.display.screenNumber = data[0] % 5;
    p.network.selectedRadio = data[1] & 0x07;
    p.setup.setupParamCount = (data[1] & 0x08) ? 34 : 39;
    p.poll.pollMode = PollPhase::fromNumber(data[1] >> 4 << 2);  // 0, 4, ... 60: every setup stage
    p.poll.currentRadio = data[1] & 0x03;
    p.poll.writeAddress = 0x0D80;
    p.poll.pendingAddress = 0x0D80;
    size_t chunk = size_t(data[2] % 64) + 1;

    fixture.source.bytes = data + 3;
    size_t total = size - 3;
    while (fixture.source.available < total) {
        fixture.source.available = std::min(total, fixture.source.available + chunk);
        ReadReplies(p);
        fixture.clock.advanceMs(100);
    }
    if (p.network.radioCount < 0 || p.network.radioCount > kMaxRadios) __builtin_trap();
    return 0;
}
