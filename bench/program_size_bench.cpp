// How big the program's state is: sizeof(Program), and the process's peak
// resident memory once one Program has been created and started.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "app/window_proc.h"
#include "model/program.h"
#include "platform/clock.h"
#include "support/scripted_host.h"

namespace {

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS"); 0 when unreadable.
double StatusKib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    while (status >> name) {
        if (name == field + ":") {
            double kib = 0;
            status >> kib;
            return kib;
        }
        std::getline(status, name);
    }
    return 0;
}

void BM_CreateProgram(benchmark::State& state) {
    SystemClock clock;
    ScriptedHost host;
    const double before = StatusKib("VmHWM");
    for (auto _ : state) {
        auto program = CreateProgram(clock);
        StartProgram(*program);  // the keep-alive thread, as at the window's start
        benchmark::DoNotOptimize(program.get());
        StopProgram(*program, host);
    }
    state.counters["sizeof_Program_bytes"] = static_cast<double>(sizeof(Program));
    state.counters["peak_rss_before_kib"] = before;
    state.counters["peak_rss_after_kib"] = StatusKib("VmHWM");
}
BENCHMARK(BM_CreateProgram)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
