// Decoding speed: a mixed reply stream (every frame type, 0..7 hops) into a full
// table of 2047 radios.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "model/derived_values.h"
#include "model/program.h"
#include "protocol/protocol.h"
#include "support/frames.h"
#include "support/test_program.h"

namespace {

constexpr uint32_t kFirstSerial = 5000001;
constexpr uint32_t kMasterSerial = 0x4A1234;  // top bits as the radios' (0x4C4B41 on)

class ReplayingSource : public ByteSource {
public:
    int bytesAvailable() override { return int(bytes.size() - position); }
    void receive(uint8_t* destination, int n) override {
        for (int i = 0; i < n; ++i) destination[i] = bytes[position++];
    }
    std::vector<uint8_t> bytes;
    size_t position = 0;
};

void Put24(std::vector<uint8_t>& f, uint32_t v) {
    f.push_back(uint8_t(v >> 16));
    f.push_back(uint8_t(v >> 8));
    f.push_back(uint8_t(v));
}

// A stream of `frames` replies about random radios among the first `radios`.
std::vector<uint8_t> MixedStream(int frames, int radios, int& frameCount) {
    std::mt19937 random(7);
    auto anyRadio = [&] { return kFirstSerial + random() % uint32_t(radios); };
    std::vector<uint8_t> stream;
    frameCount = 0;
    for (int i = 0; i < frames; ++i) {
        std::vector<uint8_t> f;
        switch (i % 10) {
            case 0:
                f = {0xF0};
                Put24(f, kMasterSerial);
                f.insert(f.end(), {3, 0, 40, 0x25, 0, 0, 0x80, 0xC0, 0x15});
                break;
            case 1:
            case 2:
                f = {uint8_t(i % 2 ? 0xF1 : 0xF4)};
                Put24(f, i % 2 ? anyRadio() : anyRadio() & 0x0FFFFF);  // 0xF4 carries 20 bits
                f.insert(f.end(), {0, uint8_t(i), 10, 20, 0x24, 0x15, 0x00});
                break;
            case 3:
                f = {0xF5};
                Put24(f, anyRadio());
                f.insert(f.end(), {0, 100, 1, 50, 0x24, 0x15, 0x00});
                break;
            case 4:
                f = {uint8_t(i % 4 ? 0xF2 : 0xF3)};
                Put24(f, kMasterSerial);
                f.insert(f.end(), {0x0D, 0x95, 0x13});
                break;
            default: {
                int hops = i % 8;
                f = {uint8_t(i % 20 == 9 ? 0xFB : (i % 3 ? 0xF8 : 0xF9)), 0x0D, 0x80, 0x46};
                Put24(f, anyRadio());
                f.insert(f.end(), {uint8_t(hops), 0xC8, 0x3A, 0x1F, 0xB3, 0, 0x80, 0x9A, uint8_t(i), 2, 0x21});
                for (int h = 0; h < hops; ++h) {
                    Put24(f, anyRadio());
                    f.insert(f.end(), {0x50, 0x15, 0x00});
                }
                f.insert(f.end(), {0x16, 0x00});
                break;
            }
        }
        f = AppendXor(f);
        stream.insert(stream.end(), f.begin(), f.end());
        ++frameCount;
    }
    return stream;
}

void BM_DecodeMixedStream(benchmark::State& state) {
    ManualClock clock(LocalTime{2024, 5, 17, 12, 0, 0, 0});
    LiveListener quiet;
    ReplayingSource source;
    auto program = MakeTestProgram(clock, quiet, &source);
    Program& p = *program;
    p.network.runStartSeconds = SecondsClock(clock.now());
    p.network.master.serialNumber = int32_t(kMasterSerial);
    const int radios = int(state.range(1));
    for (int i = 1; i <= radios; ++i) p.network.radios[size_t(i)].serialNumber = kFirstSerial + uint32_t(i - 1);
    p.network.radioCount = radios;

    int frames = 0;
    source.bytes = MixedStream(int(state.range(0)), radios, frames);
    for (auto _ : state) {
        source.position = 0;
        ReadReplies(p);
        clock.advanceMs(3000);  // let history samples be taken now and then
        benchmark::DoNotOptimize(p.network.radios[1].replyCount);
    }
    if (p.network.radioCount != radios) state.SkipWithError("the table grew");
    state.SetItemsProcessed(int64_t(state.iterations()) * frames);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.bytes.size()));
    state.counters["ns_per_byte"] = benchmark::Counter(double(source.bytes.size()),
                                                       benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
    state.counters["frames_per_s"] =
        benchmark::Counter(double(frames), benchmark::Counter::kIsIterationInvariantRate);
}
// Frames, radios in the table (the full table, and a small network for comparison).
BENCHMARK(BM_DecodeMixedStream)->Args({1000, kMaxRadios})->Args({1000, 64})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
