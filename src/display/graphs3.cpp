#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "display/graph_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "text/format_number.h"

namespace {

// Maximum (from 0), minimum, sum and last value of one series. Statistics that
// were never computed (no samples) read 0 on the legend. Signal and noise levels
// take their minimum from 99 down; the good-packet byte (about 200..255 on a
// healthy link) takes its true minimum, since a start of 99 would cap the receive
// share's minimum at 38.7 % however good every sample was.
struct SeriesStats {
    explicit SeriesStats(double minimumStart) : min(minimumStart) {}
    double max = 0, min, sum = 0, last = 0;
    int n = 0;
    void add(double v) {
        max = std::max(max, v);
        min = std::min(min, v);
        sum += v;
        last = v;
        ++n;
    }
    double average() const { return n > 0 ? std::round(sum / n) : 0.0; }
    double minimum() const { return n > 0 ? min : 0.0; }
};

constexpr double kLevelMinimumStart = 99;
constexpr double kTrueMinimum = std::numeric_limits<double>::infinity();

struct Graphics3Stats {
    SeriesStats signal{kLevelMinimumStart};
    SeriesStats noise{kLevelMinimumStart};
    SeriesStats good{kTrueMinimum};
    SeriesStats errors{kTrueMinimum};  // the master's error share per sample
    double lastRate = 0;
};

// The master's samples store the good-packet share, like a slave's; its legend
// shows the error share, taken from the packets counted in each sample's interval.
void MasterErrorShare(const GraphHistory& h, SeriesStats& stats) {
    for (int s = 1; s <= h.count; ++s) {
        const HistorySample& sample = h.sample(s);
        const double good = std::max(sample.goodCount, 0);
        const double bad = std::max(sample.badCount, 0);
        stats.add(std::floor(255.0 * bad / (good + bad + 1.0)));
    }
}

void DrawScales(DisplayOptions& display) {
    for (int y = 80; y <= 480; y += 80) {
        DrawScaleLabel(display, 60, y, colors::black, FormatNumber(100 - (y - 80) / 4, "###"));
        DrawScaleLabel(display, 10, y, colors::olive, FormatNumber(4 - (y - 80) / 100.0, "#.0") + "K");
    }
    SetTextColor(display, colors::black);
}

template <typename ValueOf>
void Polyline(DisplayOptions& display, const GraphHistory& h, Pen pen, SeriesStats& stats, ValueOf value,
              double (*yOf)(double)) {
    if (display.canvas != nullptr) display.canvas->selectPen(pen);
    PlotMoveTo(display, h.x(1), yOf(value(h.sample(1))));
    for (int s = 1; s <= h.count; ++s) {
        const double v = value(h.sample(s));
        stats.add(v);
        PlotLineTo(display, h.x(s), yOf(v));
    }
}

double LevelY(double v) { return 480.0 - 4.0 * v; }
double GoodY(double v) { return std::round(480.0 - v / 0.64); }

// Data rate in tens of bytes per second, as a staircase over each sample's interval.
void DataRateStairs(DisplayOptions& display, const GraphHistory& h, Graphics3Stats& stats) {
    if (display.canvas != nullptr) display.canvas->selectPen(Pen::olive);
    PlotMoveTo(display, h.x(1), 480);
    for (int s = 1; s <= h.count - 1; ++s) {
        double dt = h.sample(s + 1).time - h.sample(s).time;
        if (dt == 0) dt = 1;
        const double rate = std::round(h.sample(s).dataBytes / dt / 10.0);
        stats.lastRate = rate;
        const double y = 480.0 - std::min(rate, 400.0);
        PlotLineTo(display, h.x(s), y);
        PlotLineTo(display, h.x(s + 1), y);
    }
}

void BadPacketStairs(DisplayOptions& display, const GraphHistory& h) {
    if (display.canvas != nullptr) display.canvas->selectPen(Pen::orange);
    PlotMoveTo(display, h.x(1), 480);
    for (int s = 2; s <= h.count - 1; ++s) {
        const HistorySample& sample = h.sample(s);
        double dt = h.sample(s + 1).time - sample.time;
        if (dt == 0) dt = 1;
        dt = std::min(dt, 400.0);
        const double rate = std::round(sample.dataBytes / dt / 10.0);
        const double packets = static_cast<double>(sample.goodCount) + sample.badCount + 1.0;
        const double y = 480.0 - (packets != 0 ? rate * sample.badCount / packets : 0.0);
        PlotLineTo(display, h.x(s), y);
        PlotLineTo(display, h.x(s + 1), y);
    }
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

void DrawLegend(DisplayOptions& display, const RadioNetwork& network, const GraphHistory& h, const Graphics3Stats& st) {
    const bool master = network.selectedRadio == 0;
    SetTextColor(display, colors::darkBlue);
    if (master) {
        const SeriesStats& e = st.errors;
        Label(display, 7, 72, " Error  %");
        Label(display, 8, 72, "Mx Ave Ls");
        Value(display, 9,
              FormatNumber(e.max / 2.56, "###") + FormatNumber(e.average() / 2.56, "* ###") +
                  FormatNumber(e.last / 2.56, "* ##"));
    } else {
        // Fixed widths 3, 4 and 3 keep the three figures apart under "Mx Ave Mn".
        const SeriesStats& g = st.good;
        Label(display, 7, 72, "Receive %");
        Label(display, 8, 72, "Mx Ave Mn");
        Value(display, 9,
              FormatNumber(g.max / 2.56, "* #") + FormatNumber(g.average() / 2.56, "* ##") +
                  FormatNumber(g.minimum() / 2.56, "* #"));
    }

    SetTextColor(display, colors::brightGreen);
    const SeriesStats& sg = st.signal;
    if (master) {
        Label(display, 11, 72, "Total Rcv");
        Label(display, 12, 72, "Data Rate");
        Label(display, 13, 72, "Mx Ave Ls");
        Value(display, 14,
              FormatNumber(sg.max / 10, "#.0") + FormatNumber(sg.average() / 10, "* .0") +
                  FormatNumber(sg.last / 10, "#.0"));
    } else {
        Label(display, 11, 72, std::string(9, ' '));  // the master's "Total Rcv"
        Label(display, 12, 72, "Signal Lv");
        Label(display, 13, 72, "Mx Ave Mn");
        Value(display, 14,
              FormatNumber(sg.max, "* #") + FormatNumber(sg.average(), "* ##") + FormatNumber(sg.minimum(), "* #"));
    }

    SetTextColor(display, colors::legendRed);
    const SeriesStats& ns = st.noise;
    Label(display, 17, 72, "Noise  Lv");
    Label(display, 18, 72, "Mx Ave Mn");
    Value(display, 19,
          FormatNumber(ns.max, "###") + FormatNumber(ns.average(), "* ###") + FormatNumber(ns.minimum(), "* ##"));

    SetTextColor(display, colors::olive);
    Label(display, 21, 72, "Transmit");
    Label(display, 22, 72, "Data Rate");
    Label(display, 23, 72, " kB/s");
    Value(display, 24, FormatNumber(st.lastRate / 100, "* #.00"));

    SetTextColor(display, colors::ochre);
    Label(display, 26, 72, "Bad Pckts");
    Label(display, 27, 71, std::string(10, ' '));

    SetTextColor(display, colors::black);
    Label(display, 28, 72, "NumPoints");
    Label(display, 29, 75, FormatNumber(h.count, "* #"));
}

}  // namespace

// Signal quality of the selected radio over time.
void DrawGraphics3(DisplayOptions& display, const RadioNetwork& network, const Clock* clock) {
    static const int gridY[] = {160, 240, 320, 400};
    DrawGraphHeader(display, network, "Signal Quality over Time", 30, "Name    :         ", gridY, 4);
    DrawScales(display);
    const GraphHistory h = ReadGraphHistory(network, clock);
    DrawTimeAxis(display, h);

    Graphics3Stats st;
    if (h.count > 0) {
        Polyline(
            display, h, Pen::green, st.signal, [](const HistorySample& s) { return double(s.signal); }, LevelY);
        Polyline(
            display, h, Pen::red, st.noise, [](const HistorySample& s) { return double(s.noise); }, LevelY);
        Polyline(
            display, h, Pen::blue, st.good, [](const HistorySample& s) { return double(s.goodPackets); }, GoodY);
        if (network.selectedRadio == 0) MasterErrorShare(h, st.errors);
        DataRateStairs(display, h, st);
        BadPacketStairs(display, h);
    }
    DrawLegend(display, network, h, st);
}
