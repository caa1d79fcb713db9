// The paints of paint_bench again, through the window's real canvas into an image
// of the window's size: what a repaint costs with every pixel drawn.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <memory>

#include "display/screens.h"
#include "model/derived_values.h"
#include "model/program.h"
#include "platform/live_listener.h"
#include "qt/qt_canvas.h"
#include "qt/screen_text.h"

namespace {

struct Fixture {
    ManualClock clock{LocalTime{2024, 3, 15, 12, 0, 0, 0}};
    std::unique_ptr<Program> program = std::make_unique<Program>();

    Fixture() {
        program->clock = &clock;
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

// The window's backing image: 808 wide; 856 high lists 40 radios on Screen0 (as in
// paint_bench), 600 is the window's starting height.
QImage WindowImage(int height) {
    QImage image(808, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

void QtPaint(benchmark::State& state, int screen, int height) {
    Fixture f;
    f.program->display.screenNumber = screen;
    QImage image = WindowImage(height);
    ScreenText text;
    for (auto _ : state) {
        QtCanvas canvas(image, &text);
        canvas.erase();
        PaintWindow(*f.program, canvas);
    }
    benchmark::DoNotOptimize(image.constBits());
}

void QtPaintScreen0(benchmark::State& state) { QtPaint(state, 0, 856); }
BENCHMARK(QtPaintScreen0)->Unit(benchmark::kMillisecond);

void QtPaintGraphics3(benchmark::State& state) { QtPaint(state, 3, 600); }
BENCHMARK(QtPaintGraphics3)->Unit(benchmark::kMillisecond);

// One radio's row redrawn between paints, as a reply arrives.
void QtLiveRowUpdate(benchmark::State& state) {
    Fixture f;
    QImage image = WindowImage(600);
    ScreenText text;
    QtCanvas canvas(image, &text);
    PaintWindow(*f.program, canvas);
    f.program->display.canvas = &canvas;
    std::unique_ptr<LiveListener> live = MakeCanvasLiveView(*f.program);
    int radio = 1;
    for (auto _ : state) {
        live->radioRow(radio);
        radio = radio % 20 + 1;
    }
    f.program->display.canvas = nullptr;
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(QtLiveRowUpdate)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
