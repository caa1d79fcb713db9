// Full paints of the busiest screens, without a window: what the core costs per
// paint before any pixel is touched. NullCanvas discards; RecordingCanvas keeps
// the character grid as the tests do.
#include <benchmark/benchmark.h>

#include <memory>

#include "display/screens.h"
#include "model/derived_values.h"
#include "model/program.h"
#include "support/recording_canvas.h"

namespace {

struct Fixture {
    ManualClock clock{LocalTime{2024, 3, 15, 12, 0, 0, 0}};
    LiveListener live;
    std::unique_ptr<Program> program = std::make_unique<Program>();

    Fixture() {
        program->clock = &clock;
        program->live = &live;
        RadioNetwork& n = program->network;
        n.runStartSeconds = SecondsClock(LocalTime{2024, 3, 15, 4, 0, 0, 0});
        for (int i = 1; i <= 60; ++i) {
            RadioRecord& r = n.radios[static_cast<size_t>(i)];
            r.serialNumber = 9200000 + static_cast<uint32_t>(i);
            r.replyCount = 10 + i;
            r.repeaterNumber = static_cast<uint8_t>(i % 3 == 0 ? i / 3 : 0);
            r.signalLevel = static_cast<uint8_t>(30 + i % 40);
            r.noiseLevel = static_cast<uint8_t>(5 + i % 9);
            r.goodPacketsRaw = static_cast<uint8_t>(150 + i);
            r.freqOffsetCode = static_cast<uint8_t>(100 + i);
            r.dataBytes = 1000 * i;
            r.distanceRaw = 5000 + 300 * i;
            r.hopRepeater = {static_cast<uint8_t>(i % 5), 0, 0, 0};
            r.hopSignalAvg = {static_cast<uint16_t>(40 * 256), 0, 0, 0};
            r.pollScore = 9800;
            r.lastReplySeconds = 12 * 3600 - i;
            r.timeReceived = {'1', '1', ':', '5', '9', ':', '0', '0'};
        }
        n.radioCount = 60;
        n.firstVisibleRow = 1;
        HistoryRow& h = n.history[1];
        h.historyCount = kHistorySamples;
        for (int s = 1; s <= kHistorySamples; ++s) {
            HistorySample& x = h.samples[static_cast<size_t>(s)];
            x.time = 28 * s;
            x.signal = static_cast<uint8_t>(40 + s % 20);
            x.noise = static_cast<uint8_t>(8 + s % 5);
            x.goodPackets = static_cast<uint8_t>(200 + s % 50);
            x.dataBytes = 500 + 37 * (s % 90);
            x.goodCount = 20 + s % 7;
            x.badCount = s % 3;
        }
        n.selectedRadio = 1;
    }
};

// 856 pixels high: 39 rows per page, so 40 radios are listed.
void PaintScreen0(benchmark::State& state) {
    Fixture f;
    NullCanvas canvas{{0, 0, 808, 856}};
    for (auto _ : state) {
        PaintWindow(*f.program, canvas);
        benchmark::DoNotOptimize(canvas.sink);
    }
}
BENCHMARK(PaintScreen0);

void PaintScreen0Recorded(benchmark::State& state) {
    Fixture f;
    RecordingCanvas canvas({0, 0, 808, 856});
    for (auto _ : state) {
        canvas.clear();
        PaintWindow(*f.program, canvas);
        benchmark::DoNotOptimize(canvas.texts.size());
    }
}
BENCHMARK(PaintScreen0Recorded);

void PaintGraphics3(benchmark::State& state) {
    Fixture f;
    f.program->display.screenNumber = 3;
    NullCanvas canvas{{0, 0, 808, 856}};
    for (auto _ : state) {
        PaintWindow(*f.program, canvas);
        benchmark::DoNotOptimize(canvas.sink);
    }
}
BENCHMARK(PaintGraphics3);

void PaintGraphics3Recorded(benchmark::State& state) {
    Fixture f;
    f.program->display.screenNumber = 3;
    RecordingCanvas canvas({0, 0, 808, 856});
    for (auto _ : state) {
        canvas.clear();
        PaintWindow(*f.program, canvas);
        benchmark::DoNotOptimize(canvas.lines.size());
    }
}
BENCHMARK(PaintGraphics3Recorded);

}  // namespace

BENCHMARK_MAIN();
