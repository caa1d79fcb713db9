#include <algorithm>
#include <cmath>
#include <string>

#include "display/graph_parts.h"
#include "display/screen_parts.h"
#include "display/text_grid.h"
#include "model/derived_values.h"
#include "text/format_number.h"

const HistorySample& GraphHistory::sample(int s) const {
    return row->samples[static_cast<size_t>(s)];
}

int GraphHistory::x(int s) const {
    return static_cast<int>(std::lround(100.0 + 600.0 * (sample(s).time - left) / span));
}

GraphHistory ReadGraphHistory(const RadioNetwork& network, const Clock* clock) {
    GraphHistory h;
    const int r = network.selectedRadio;
    if (r < 0 || r >= kHistoryRows) return h;
    h.row = &network.history[static_cast<size_t>(r)];
    h.count = std::clamp(h.row->historyCount, 0, kHistorySamples);
    if (h.count == 0) return h;

    const double elapsed = clock != nullptr ? static_cast<double>(SecondsClock(clock->now()) - network.runStartSeconds)
                                            : h.sample(h.count).time;
    double span = elapsed - h.sample(1).time;
    if (span < 3600) {
        h.span = span < 900 ? 900 : span < 1800 ? 1800 : 3600;
    } else {
        static const double hours[] = {7200, 14400, 28800, 57600, 86400, 172800, 345600, 691200};
        h.span = 5529600;
        for (double step : hours)
            if (span < step) {
                h.span = step;
                break;
            }
    }
    h.left = elapsed - h.span;
    return h;
}

void DrawTimeAxis(DisplayOptions& display, const GraphHistory& history) {
    if (history.count <= 0) return;
    const bool minutes = history.span <= 3600;
    if (minutes) {
        TextAt(display, 3.5, 34);
        DrawText(display, "Minutes Ago");
    } else {
        TextAt(display, 3.5, 37);
        DrawText(display, "Hours Ago");
    }
    const double unit = minutes ? 60.0 : 3600.0;
    for (int k = 0; k <= 6; ++k) {
        TextAt(display, 4.5, 10 * k + 7);
        DrawText(display, FormatNumber((6 - k) * history.span / unit / 6.0, "###.##"));
    }
}

void DrawScaleLabel(DisplayOptions& d, int x, int y, unsigned color, const std::string& text) {
    SetTextColor(d, color);
    d.textCursor = d.clientRect;
    d.textCursor.left = d.clientRect.left + x;
    d.textCursor.bottom = d.clientRect.top + y + 8;
    DrawText(d, text);
}

namespace {

// Values beyond the plot are drawn as computed, but never over the menu or the
// status lines: y stays within the client area above the upper status line.
void ClipPoint(const DisplayOptions& display, double& x, double& y) {
    const Rect& c = display.clientRect;
    y = std::clamp(y, static_cast<double>(c.top), static_cast<double>(std::max(c.top, c.bottom - 42)));
    x = std::clamp(x, static_cast<double>(c.left), static_cast<double>(std::max(c.left, c.right)));
}

void DrawSmallBars(const DisplayOptions& display, Canvas& canvas) {
    const int b = 16 * display.rowsPerPage;
    canvas.selectBrush(Brush::lightGrey);
    canvas.selectPen(Pen::black);
    canvas.rectangle({710, 80, 800, 94});
    canvas.rectangle({710, 112 + b, 800, 126 + b});
    canvas.moveTo(755, 94);
    canvas.lineTo(755, 80);
    canvas.lineTo(750, 85);
    canvas.lineTo(760, 85);
    canvas.lineTo(755, 80);
    canvas.moveTo(755, 112 + b);
    canvas.lineTo(755, 126 + b);
    canvas.lineTo(750, 119 + b);
    canvas.lineTo(760, 119 + b);
    canvas.lineTo(755, 126 + b);
}

}  // namespace

void PlotMoveTo(DisplayOptions& display, double x, double y) {
    if (display.canvas == nullptr) return;
    ClipPoint(display, x, y);
    display.canvas->moveTo(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
}

void PlotLineTo(DisplayOptions& display, double x, double y) {
    if (display.canvas == nullptr) return;
    ClipPoint(display, x, y);
    display.canvas->lineTo(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
}

namespace {

// Stepping radios repaints without erasing: a value that can be shorter than the
// last radio's is drawn over blanks.
void DrawOverBlanks(DisplayOptions& display, int width, const std::string& text) {
    const Rect at = display.textCursor;
    DrawText(display, std::string(static_cast<size_t>(width), ' '));
    display.textCursor = at;
    DrawText(display, text);
}

}  // namespace

void DrawGraphHeader(DisplayOptions& display, const RadioNetwork& network, const char* title, int titleColumn,
                     const char* nameLabel, const int* gridY, int gridCount) {
    const int selected = network.selectedRadio;
    const RadioRecord& r = RadioAt(network, selected);
    Canvas* canvas = display.canvas;
    if (canvas != nullptr) DrawSmallBars(display, *canvas);

    TextAt(display, 2, titleColumn);
    DrawText(display, title);
    TextAt(display, 2, 1);
    DrawText(display, "Serial Number: ");
    SetTextColor(display, colors::brightGreen);
    DrawOverBlanks(display, 8, FormatNumber(r.serialNumber, "########"));
    SetTextColor(display, colors::black);

    TextAt(display, 2, 61);
    DrawText(display, nameLabel);
    TextAt(display, 2, 71);
    SetTextColor(display, colors::brightGreen);
    DrawText(display, NameText(r.name));
    SetTextColor(display, colors::black);

    TextAt(display, 3, 61);
    DrawText(display, "Radio ID: ");
    SetTextColor(display, colors::brightGreen);
    DrawOverBlanks(display, 8, RadioIdText(r, "####### ", " XXXXXX "));
    SetTextColor(display, colors::black);

    TextAt(display, 3, 1);
    DrawText(display, "Radio Number :");
    SetTextColor(display, colors::brightGreen);
    DrawOverBlanks(display, 5, FormatNumber(selected, " ####"));
    SetTextColor(display, colors::black);

    if (canvas == nullptr) return;
    canvas->selectBrush(Brush::black);
    canvas->selectPen(Pen::grey);
    canvas->rectangle({100, 80, 700, 480});
    for (int x = 200; x <= 600; x += 100) {
        canvas->moveTo(x, 80);
        canvas->lineTo(x, 480);
    }
    for (int i = 0; i < gridCount; ++i) {
        canvas->moveTo(100, gridY[i]);
        canvas->lineTo(700, gridY[i]);
    }
}
