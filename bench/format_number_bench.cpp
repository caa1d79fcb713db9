#include <benchmark/benchmark.h>

#include <array>
#include <string_view>

#include "text/format_number.h"

// The masks the screens format with on every repaint and live update.
static void BM_FormatNumberScreenMasks(benchmark::State& state) {
    static constexpr std::array<std::string_view, 6> masks = {"* ##", "* #.0", "* ######",
                                                              "* .0 ", "###.##", "######## "};
    static constexpr std::array<double, 6> values = {87, 12.34, 5012345, 0.52, 6.666, 9123456};
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatNumber(values[i], masks[i]));
        i = i + 1 == masks.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatNumberScreenMasks);

static void BM_FormatNumberSingleMask(benchmark::State& state, std::string_view mask, double value) {
    for (auto _ : state) benchmark::DoNotOptimize(FormatNumber(value, mask));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_FormatNumberSingleMask, fill_int, "* ##", 87.0);
BENCHMARK_CAPTURE(BM_FormatNumberSingleMask, fill_decimal, "* #.0", 12.34);
BENCHMARK_CAPTURE(BM_FormatNumberSingleMask, serial, "* ######", 5012345.0);
BENCHMARK_CAPTURE(BM_FormatNumberSingleMask, below_one, "* .0 ", 0.52);
BENCHMARK_CAPTURE(BM_FormatNumberSingleMask, hash_fraction, "###.##", 6.666);
BENCHMARK_CAPTURE(BM_FormatNumberSingleMask, trailing_blank, "######## ", 9123456.0);

BENCHMARK_MAIN();
