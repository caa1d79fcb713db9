#pragma once
// Pieces shared by Graphics3 and Graphics4.
#include <cstdint>
#include <string>

#include "model/display_options.h"
#include "model/radio_network.h"
#include "platform/clock.h"

// The selected radio's history as the graphs read it, and the time axis.
struct GraphHistory {
    const HistoryRow* row = nullptr;  // null for radios without history
    int count = 0;                    // samples 1..count
    double left = 0;                  // time at the plot's left edge
    double span = 900;                // seconds across the plot

    const HistorySample& sample(int s) const;
    // x of sample s, rounded to the nearest pixel.
    int x(int s) const;
};

GraphHistory ReadGraphHistory(const RadioNetwork& network, const Clock* clock);
// Header, small bars, plot rectangle and grid. `title` at row 2, `titleColumn`.
void DrawGraphHeader(DisplayOptions& display, const RadioNetwork& network, const char* title, int titleColumn,
                     const char* nameLabel, const int* gridY, int gridCount);
// "Minutes Ago"/"Hours Ago" and the seven labels; only with samples.
void DrawTimeAxis(DisplayOptions& display, const GraphHistory& history);
// Text with its bottom at y + 8, starting at x (the scale labels).
void DrawScaleLabel(DisplayOptions& display, int x, int y, unsigned color, const std::string& text);
// Plot lines; y (and x) are kept inside the client area above the status lines.
void PlotMoveTo(DisplayOptions& display, double x, double y);
void PlotLineTo(DisplayOptions& display, double x, double y);
