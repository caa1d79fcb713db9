#pragma once
#include <string_view>

struct DisplayOptions;

// Text goes to display.canvas at display.textCursor.
void TextAt(DisplayOptions& display, double row, int column);
void DrawText(DisplayOptions& display, std::string_view text);
// Puts the cursor on the upper or lower status line, x pixels from the left.
void StatusLineTop(DisplayOptions& display, int x);
void StatusLineBottom(DisplayOptions& display, int x);
void SetTextColor(DisplayOptions& display, unsigned color);
