// The minute's "Current.log" for a full table: building the text and replacing the
// file whole (temporary file, fsync, rename) in a scratch directory.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/window_proc.h"
#include "files/file_safety.h"
#include "files/log_files.h"
#include "model/program.h"
#include "model/radio_table.h"
#include "platform/clock.h"

namespace {

std::unique_ptr<Program> FullTable(ManualClock& clock) {
    auto program = CreateProgram(clock);
    RadioNetwork& n = program->network;
    for (int i = 1; i <= kMaxRadios; ++i) {
        RadioRecord& r = n.radios[i];
        r.serialNumber = 5000000 + i;
        r.name = MakeRadioName("Radio" + std::to_string(i));
        r.repeaterNumber = static_cast<uint8_t>(i % 7 == 0 ? i % 200 : 0);
        r.temperatureRaw = static_cast<uint8_t>(100 + i % 60);
        r.voltageRaw = static_cast<uint8_t>(180 + i % 50);
        r.signalLevel = static_cast<uint8_t>(30 + i % 40);
        r.noiseLevel = static_cast<uint8_t>(i % 20);
        r.goodPacketsRaw = static_cast<uint8_t>(200 + i % 55);
        r.freqOffsetCode = static_cast<uint8_t>(110 + i % 40);
        r.dataBytes = i * 37;
        r.distanceRaw = 5000 + i * 11;
        r.hopRepeater[0] = static_cast<uint8_t>(i % 5);
        r.hopSignalAvg[0] = static_cast<uint16_t>((40 + i % 20) * 256);
        r.hopRepeater[1] = static_cast<uint8_t>(i % 3);
        r.hopSignalAvg[1] = static_cast<uint16_t>(50 * 256);
        r.pollScore = static_cast<uint16_t>(9000 + i % 1000);
        for (int p : {29, 30, 33}) {
            r.eepromValue[p] = static_cast<uint8_t>(i);
            r.eepromValid[p] = 1;
        }
    }
    n.radioCount = kMaxRadios;
    return program;
}

class ScratchDirectory {
public:
    ScratchDirectory() : previous(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-log-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            directory = pattern;
            std::filesystem::current_path(directory);
        }
    }
    ~ScratchDirectory() {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        if (!directory.empty()) std::filesystem::remove_all(directory, ignored);
    }

private:
    std::filesystem::path previous;
    std::string directory;
};

void BM_SnapshotText2047(benchmark::State& state) {
    ManualClock clock;
    auto program = FullTable(clock);
    size_t bytes = 0;
    for (auto _ : state) {
        std::string text = SnapshotText(program->network, program->log, *program->clock);
        bytes = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SnapshotText2047)->Unit(benchmark::kMillisecond);

// What the logging step costs when the minute changes: text plus atomic replace.
void BM_CurrentLog2047(benchmark::State& state) {
    ScratchDirectory scratch;
    ManualClock clock;
    auto program = FullTable(clock);
    int minute = 0;
    for (auto _ : state) {
        program->log.lastLogMinute = -1 - (minute++ % 2);  // force a new minute
        LoggingStep(*program);
    }
    if (program->errors.count.load() != 0) state.SkipWithError("Current.log was not written");
}
BENCHMARK(BM_CurrentLog2047)->Unit(benchmark::kMillisecond);

// The replace alone (temporary file, write, fsync, rename) for a text of that size.
void BM_AtomicReplace240k(benchmark::State& state) {
    ScratchDirectory scratch;
    const std::string text(240315, 'x');
    std::string error;
    for (auto _ : state)
        if (WriteFileAtomically("Current.log", text, error) != 0) state.SkipWithError(error.c_str());
}
BENCHMARK(BM_AtomicReplace240k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
