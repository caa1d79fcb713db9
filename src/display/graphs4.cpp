#include <algorithm>
#include <cmath>
#include <string>

#include "display/graph_parts.h"
#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "model/derived_values.h"
#include "text/format_number.h"

namespace {

// Statistics of the three series; what was never computed stays 0, so an empty
// history shows zeros, -12.8 ppm and 499 degrees.
struct Graphics4Stats {
    int voltMax = 0, voltMin = 0;
    int tempRawMax = 0, tempRawMin = 0;
    int freqMax = 0, freqMin = 0;
};

void DrawScales(DisplayOptions& display) {
    for (int y = 80; y <= 480; y += 80)
        DrawScaleLabel(display, 80, y, colors::darkGreen, FormatNumber(30 - 6 * (y - 80) / 80.0, "##"));
    for (int y = 80; y <= 480; y += 40)
        // Right-aligned in its three places, so "-9" stands apart from the "-25" before it.
        DrawScaleLabel(display, 40, y, colors::navy, FormatNumber(15 - 6 * (y - 80) / 80.0, "* #"));
    for (int y = 80; y <= 480; y += 80)
        DrawScaleLabel(display, 10, y, colors::alarmRed, FormatNumber(75 - 25 * (y - 80) / 80.0, "###"));
    SetTextColor(display, colors::black);
}

void SelectPen(DisplayOptions& display, Pen pen) {
    if (display.canvas != nullptr) display.canvas->selectPen(pen);
}

void DrawSeries(DisplayOptions& display, const GraphHistory& h, double f, Graphics4Stats& st) {
    SelectPen(display, Pen::green);
    int vMax = 0, vMin = 255;
    auto voltY = [f](int v) { return std::round(480.0 - 400.0 * v / 255.0 * f); };
    PlotMoveTo(display, h.x(1), voltY(h.sample(1).voltageRaw));
    for (int s = 1; s <= h.count; ++s) {
        const int v = h.sample(s).voltageRaw;
        vMax = std::max(vMax, v);
        vMin = std::min(vMin, v);
        PlotLineTo(display, h.x(s), voltY(v));
    }
    st.voltMax = vMax;
    st.voltMin = vMin;

    SelectPen(display, Pen::red);
    int tMax = 0, tMin = 299;
    auto tempY = [](int raw) { return std::round(320.0 - 160.0 * TemperatureFromRaw(raw) / 50.0); };
    PlotMoveTo(display, h.x(1), tempY(h.sample(1).temperatureRaw));
    for (int s = 1; s <= h.count; ++s) {
        const int v = h.sample(s).temperatureRaw;
        tMax = std::max(tMax, v);
        tMin = std::min(tMin, v);
        PlotLineTo(display, h.x(s), tempY(v));
    }
    st.tempRawMax = tMax;
    st.tempRawMin = tMin;

    // The first four samples are skipped: the frequency estimate needs time to settle.
    if (h.count <= 4) return;
    SelectPen(display, Pen::blue);
    int fMax = 0, fMin = 255;
    auto freqY = [](int v) { return std::round(280.0 - 300.0 * (v - 128) / 255.0); };
    PlotMoveTo(display, h.x(5), freqY(h.sample(5).freqCode));
    for (int s = 5; s <= h.count; ++s) {
        const int v = h.sample(s).freqCode;
        fMax = std::max(fMax, v);
        fMin = std::min(fMin, v);
        PlotLineTo(display, h.x(s), freqY(v));
    }
    st.freqMax = fMax;
    st.freqMin = fMin;
}

void Label(DisplayOptions& display, int row, int column, const std::string& text) {
    TextAt(display, row, column);
    DrawText(display, text);
}

// Stepping radios repaints without erasing: a value row is blanked to the
// window's edge first, so a shorter value leaves no digits of the last one.
void Value(DisplayOptions& display, int row, const std::string& text) {
    Label(display, row, 71, std::string(10, ' '));
    Label(display, row, 71, text);
}

void DrawLegend(DisplayOptions& display, const GraphHistory& h, double f, const Graphics4Stats& st) {
    SetTextColor(display, colors::darkBlue);
    Label(display, 8, 72, "Radio PPM");
    Label(display, 9, 72, " Max  Min ");
    Value(display, 10,
          FormatNumber((st.freqMax - 128) / 10.0, "####.0") + FormatNumber((st.freqMin - 128) / 10.0, "* ##.0"));

    SetTextColor(display, colors::brightGreen);
    Label(display, 14, 72, "Radio Vtg");
    Label(display, 15, 72, " Max  Min ");
    Value(display, 16,
          FormatNumber(f * st.voltMax * 30 / 255, "* #.0") + FormatNumber(f * st.voltMin * 30 / 255, "* #.0"));

    // A smaller raw byte is a higher temperature, so the maximum comes first.
    SetTextColor(display, colors::legendRed);
    Label(display, 20, 72, "RadioTemp");
    Label(display, 21, 72, " Max  Min ");
    Value(display, 22,
          FormatNumber(TemperatureFromRaw(st.tempRawMin), "* ###") +
              FormatNumber(TemperatureFromRaw(st.tempRawMax), "* ###"));

    SetTextColor(display, colors::black);
    Label(display, 25, 72, "NumPoints");
    Label(display, 26, 75, FormatNumber(h.count, "* #"));
}

}  // namespace

// Temperature, supply voltage and frequency offset of the selected radio over time.
void DrawGraphics4(DisplayOptions& display, const RadioNetwork& network, const Clock* clock) {
    static const int gridY[] = {120, 160, 200, 240, 280, 320, 360, 400, 440};
    DrawGraphHeader(display, network, "Temp, Voltage, PPM Over Time", 28, "Name    :        ", gridY, 9);
    DrawScales(display);
    const GraphHistory h = ReadGraphHistory(network, clock);
    DrawTimeAxis(display, h);

    const RadioRecord& r = RadioAt(network, network.selectedRadio);
    // The plot's 30 V top maps to the radio's own full scale; the master always
    // measures on the 32.5 V scale, as its row on Screen1 shows.
    const double fullScale = network.selectedRadio == 0 ? 32.5 : FullScaleVolts(r.serialNumber);
    const double f = fullScale / 30.0;
    Graphics4Stats st;
    if (h.count > 0) DrawSeries(display, h, f, st);
    DrawLegend(display, h, f, st);
}
