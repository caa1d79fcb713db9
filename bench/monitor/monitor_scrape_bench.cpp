// What a scrape costs with a full table: the snapshot a tick takes, and the
// exposition a scrape builds on the web server's thread.
#include <benchmark/benchmark.h>

#include <memory>

#include "model/program.h"
#include "monitor/metrics.h"
#include "monitor/monitor_snapshot.h"
#include "platform/clock.h"

namespace {

// 2047 radios that have all replied, a quarter of them behind two repeaters.
std::unique_ptr<Program> FullTable(ManualClock& clock) {
    auto p = std::make_unique<Program>();
    p->clock = &clock;
    p->network.master.timeReceived = "12:00:00";
    p->network.radioCount = kMaxRadios;
    for (int i = 1; i <= kMaxRadios; ++i) {
        RadioRecord& r = p->network.radios[size_t(i)];
        r.serialNumber = 2000000u + uint32_t(i) * 3001u;
        r.name = MakeRadioName("Site" + std::to_string(i));
        r.repeaterNumber = i <= 40 ? uint8_t(i) : 0;
        r.replyCount = 5;
        r.signalLevel = uint8_t(20 + i % 40);
        r.noiseLevel = uint8_t(i % 9);
        r.goodPacketsRaw = uint8_t(180 + i % 70);
        r.freqOffsetCode = uint8_t(100 + i % 60);
        r.temperatureRaw = 120;
        r.voltageRaw = 100;
        r.distanceRaw = 4000 + i;
        r.pollScore = 9800;
        r.lastReplySeconds = 43190;
        r.hopRepeater[0] = i % 4 == 0 ? uint8_t(1 + i % 40) : 0;
        r.hopRepeater[1] = i % 4 == 0 ? uint8_t(1 + (i + 1) % 40) : 0;
        r.hopSignalAvg[0] = uint16_t(40 * 256);
        r.hopSignalAvg[1] = uint16_t(35 * 256);
    }
    return p;
}

void BM_SnapshotAfterTick(benchmark::State& state) {
    ManualClock clock(LocalTime{2024, 5, 17, 12, 0, 0, 0});
    auto p = FullTable(clock);
    MonitorSnapshot snapshot;
    for (auto _ : state) {
        TakeSnapshot(*p, 1.7e9, snapshot);
        benchmark::DoNotOptimize(snapshot.radios.data());
    }
}
BENCHMARK(BM_SnapshotAfterTick)->Unit(benchmark::kMicrosecond);

// A scrape after a tick has published: the exposition is built again.
void BM_ScrapeFullTable(benchmark::State& state) {
    ManualClock clock(LocalTime{2024, 5, 17, 12, 0, 0, 0});
    auto p = FullTable(clock);
    auto snapshot = std::make_shared<MonitorSnapshot>();
    TakeSnapshot(*p, 1.7e9, *snapshot);
    snapshot->linkName = "serial";
    MetricsBoard board(1);
    size_t bytes = 0;
    for (auto _ : state) {
        board.publish(0, snapshot);
        const auto text = board.exposition();
        bytes = text->size();
        benchmark::DoNotOptimize(text->data());
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ScrapeFullTable)->Unit(benchmark::kMillisecond);

// The same for a scraper that accepts gzip (Prometheus does).
void BM_ScrapeFullTableGzip(benchmark::State& state) {
    ManualClock clock(LocalTime{2024, 5, 17, 12, 0, 0, 0});
    auto p = FullTable(clock);
    auto snapshot = std::make_shared<MonitorSnapshot>();
    TakeSnapshot(*p, 1.7e9, *snapshot);
    snapshot->linkName = "serial";
    MetricsBoard board(1);
    size_t bytes = 0;
    for (auto _ : state) {
        board.publish(0, snapshot);
        const auto gzip = board.expositionGzip();
        bytes = gzip->size();
        benchmark::DoNotOptimize(gzip->data());
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ScrapeFullTableGzip)->Unit(benchmark::kMillisecond);

// A second scrape before the next tick takes the same text.
void BM_ScrapeUnchanged(benchmark::State& state) {
    ManualClock clock(LocalTime{2024, 5, 17, 12, 0, 0, 0});
    auto p = FullTable(clock);
    auto snapshot = std::make_shared<MonitorSnapshot>();
    TakeSnapshot(*p, 1.7e9, *snapshot);
    MetricsBoard board(1);
    board.publish(0, snapshot);
    board.exposition();
    for (auto _ : state) benchmark::DoNotOptimize(board.exposition()->data());
}
BENCHMARK(BM_ScrapeUnchanged)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
