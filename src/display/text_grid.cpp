#include "display/text_grid.h"

#include <cmath>

#include "model/display_options.h"

void TextAt(DisplayOptions& d, double row, int column) {
    d.textCursor = d.clientRect;
    d.textCursor.bottom = d.clientRect.top + static_cast<int>(std::lround(16.0 * row));
    d.textCursor.left = d.clientRect.left + 10 * (column - 1);
}

void DrawText(DisplayOptions& d, std::string_view text) {
    if (d.canvas != nullptr) d.canvas->drawText(d.textCursor, text);
    // The cursor advances even without a canvas, so callers that measure stay right.
    d.textCursor.left += 10 * static_cast<int>(text.size());
}

void StatusLineTop(DisplayOptions& d, int x) {
    d.textCursor = d.clientRect;
    d.textCursor.bottom = d.clientRect.bottom - 42;
    d.textCursor.left = d.clientRect.left + x;
}

void StatusLineBottom(DisplayOptions& d, int x) {
    d.textCursor = d.clientRect;
    d.textCursor.bottom = d.clientRect.bottom - 24;
    d.textCursor.left = d.clientRect.left + x;
}

void SetTextColor(DisplayOptions& d, unsigned color) {
    if (d.canvas != nullptr) d.canvas->setTextColor(color);
}
