// CPU time of one poll tick with a full radio table while replies arrive at the
// serial link's full rate: 115200 baud is about 1152 bytes per 100 ms tick. The
// replies are a mix of master status, link and traffic reports and diagnostics
// replies with and without hops, all from radios in the table. The live view draws
// into a canvas that discards, so the figure is the core's own cost.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "display/screens.h"
#include "engine/poll_cycle.h"
#include "model/program.h"
#include "model/setup_table.h"
#include "platform/clock.h"
#include "protocol/ring.h"
#include "support/recording_canvas.h"
#include "support/scripted_host.h"

namespace {

constexpr int kBytesPerTick = 1152;
constexpr int kTicksInStream = 64;
constexpr uint32_t kFirstSerial = 2100000;

// Hands out one tick's worth of whole frames at a time.
class StreamSource : public ByteSource {
public:
    int bytesAvailable() override { return static_cast<int>(end - position); }
    void receive(uint8_t* destination, int n) override {
        for (int i = 0; i < n && position < end; ++i) destination[i] = bytes[position++];
    }
    void nextTick() {
        if (tick == ticks.size()) tick = 0, position = 0;
        end = ticks[tick++];
    }
    std::vector<uint8_t> bytes;
    std::vector<size_t> ticks;  // end offset of each tick's bytes
    size_t tick = 0, position = 0, end = 0;
};

void Close(std::vector<uint8_t>& out, size_t start) {
    uint8_t x = 0;
    for (size_t i = start; i < out.size(); ++i) x ^= out[i];
    out.push_back(x);
}

void Put24(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void AppendFrame(std::vector<uint8_t>& out, std::mt19937& rng, uint32_t masterSerial) {
    const size_t start = out.size();
    const uint32_t serial = kFirstSerial + 1 + rng() % kMaxRadios;
    const uint8_t b = uint8_t(rng());
    switch (rng() % 6) {
        case 0:  // master status
            out.push_back(0xF0);
            Put24(out, masterSerial);
            for (uint8_t v : {uint8_t(3), b, uint8_t(b + 1), uint8_t(0x22), uint8_t(0), uint8_t(0), uint8_t(0x80),
                              uint8_t(0x90), uint8_t(0x21)})
                out.push_back(v);
            break;
        case 1:  // link report
            out.push_back(0xF1);
            Put24(out, serial);
            for (uint8_t v : {uint8_t(0), b, uint8_t(40), uint8_t(30), uint8_t(0x20), uint8_t(0x10), uint8_t(0)})
                out.push_back(v);
            break;
        case 2:  // traffic report
            out.push_back(0xF5);
            Put24(out, serial);
            for (uint8_t v : {uint8_t(0), b, uint8_t(2), uint8_t(200), uint8_t(0x20), uint8_t(0x12), uint8_t(0)})
                out.push_back(v);
            break;
        default: {  // diagnostics replies, a third of them through two repeaters
            const int hops = rng() % 3 == 0 ? 2 : 0;
            out.push_back(0xF8);
            const uint16_t address = uint16_t(0x0D80 + rng() % 8);
            out.push_back(uint8_t(address >> 8));
            out.push_back(uint8_t(address));
            out.push_back(0x40);
            Put24(out, serial);
            out.push_back(uint8_t(hops));
            for (uint8_t v : {uint8_t(240), uint8_t(0x50), uint8_t(0x20), b, uint8_t(0), uint8_t(0x80), uint8_t(0x90),
                              uint8_t(b * 3), uint8_t(7), uint8_t(0x21)})
                out.push_back(v);
            for (int h = 0; h < hops; ++h) {
                Put24(out, kFirstSerial + 1 + (h + 1) * 5);
                for (uint8_t v : {uint8_t(0x40), uint8_t(0x15), uint8_t(0)}) out.push_back(v);
            }
            out.push_back(0x16);
            out.push_back(0x00);
            break;
        }
    }
    Close(out, start);
}

struct TickFixture {
    ManualClock clock{LocalTime{2024, 3, 15, 12, 0, 0, 0}};
    NullCanvas canvas{{0, 0, 808, 872}};
    ScriptedHost host;
    StreamSource source;
    std::unique_ptr<Program> program = std::make_unique<Program>();
    std::unique_ptr<LiveListener> live;
    int tickInMinute = 0;

    TickFixture() {
        program->clock = &clock;
        live = MakeCanvasLiveView(*program);
        program->live = live.get();
        program->replySource = &source;
        host.canvas = &canvas;
        FillSetupParameterTable(program->setup);
        RadioNetwork& n = program->network;
        n.radios[0].serialNumber = kFirstSerial;
        for (int i = 1; i <= kMaxRadios; ++i) {
            n.radios[static_cast<size_t>(i)].serialNumber = kFirstSerial + static_cast<uint32_t>(i);
            n.radios[static_cast<size_t>(i)].pollScore = 10000;
        }
        n.radioCount = kMaxRadios;
        n.firstVisibleRow = 1;
        n.lastVisibleRow = 41;
        program->display.rowsPerPage = 40;
        program->poll.pollMode = PollPhase::polling(PollOrder::sequential);

        std::mt19937 rng(12345);
        for (int t = 0; t < kTicksInStream; ++t) {
            const size_t start = source.bytes.size();
            while (source.bytes.size() - start < kBytesPerTick) AppendFrame(source.bytes, rng, kFirstSerial);
            source.ticks.push_back(source.bytes.size());
        }
    }

    void tick() {
        source.nextTick();
        PollTick(*program, host);
        // The writer thread's part: the request leaves the transmit queue.
        RingDrainLink(program->link.transmit, [](const uint8_t*, int n) { return n; });
        // Stay inside one minute so the per-minute log file is not part of the figure.
        tickInMinute = (tickInMinute + 1) % 500;
        clock.setTimeOfDay(12, 0, tickInMinute / 10, (tickInMinute % 10) * 100);
    }
};

void BM_PollTickFullTableAtLineRate(benchmark::State& state) {
    TickFixture f;
    for (int i = 0; i < 2 * kTicksInStream; ++i) f.tick();  // histories and averages warm
    long ticks = 2 * kTicksInStream;
    for (auto _ : state) {
        f.tick();
        ++ticks;
    }
    long replies = 0;
    for (const RadioRecord& r : f.program->network.radios) replies += r.replyCount;
    state.counters["diagnosticsRepliesPerTick"] = static_cast<double>(replies) / static_cast<double>(ticks);
    state.counters["bytesPerTick"] = kBytesPerTick;
    state.counters["overruns"] = f.program->poll.overrunCount;
    state.counters["errors"] = static_cast<double>(f.program->errors.count.load());
}
BENCHMARK(BM_PollTickFullTableAtLineRate)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
