#pragma once
#include <string_view>

struct Program;

// Text goes to program.display.canvas at program.display.textCursor.
void TextAt(Program& program, double row, int column);
void DrawText(Program& program, std::string_view text);
// Puts the cursor on the upper or lower status line, x pixels from the left.
void StatusLineTop(Program& program, int x);
void StatusLineBottom(Program& program, int x);
void SetTextColor(Program& program, unsigned color);
