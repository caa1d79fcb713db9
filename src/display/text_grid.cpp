#include "display/text_grid.h"

#include <cmath>

#include "model/program.h"

void TextAt(Program& program, double row, int column) {
    DisplayOptions& d = program.display;
    d.textCursor = d.clientRect;
    d.textCursor.bottom = d.clientRect.top + static_cast<int>(std::lround(16.0 * row));
    d.textCursor.left = d.clientRect.left + 10 * (column - 1);
}

void DrawText(Program& program, std::string_view text) {
    DisplayOptions& d = program.display;
    if (d.canvas != nullptr) d.canvas->drawText(d.textCursor, text);
    // The cursor advances even without a canvas, so callers that measure stay right.
    d.textCursor.left += 10 * static_cast<int>(text.size());
}

void StatusLineTop(Program& program, int x) {
    DisplayOptions& d = program.display;
    d.textCursor = d.clientRect;
    d.textCursor.bottom = d.clientRect.bottom - 42;
    d.textCursor.left = d.clientRect.left + x;
}

void StatusLineBottom(Program& program, int x) {
    DisplayOptions& d = program.display;
    d.textCursor = d.clientRect;
    d.textCursor.bottom = d.clientRect.bottom - 24;
    d.textCursor.left = d.clientRect.left + x;
}

void SetTextColor(Program& program, unsigned color) {
    if (program.display.canvas != nullptr) program.display.canvas->setTextColor(color);
}
