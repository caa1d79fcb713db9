#pragma once
#include <string_view>

struct Program;

// Text goes to program.display.canvas at program.display.textCursor.
void textAt(Program& program, double row, int column);
void drawText(Program& program, std::string_view text);
// Puts the cursor on the upper or lower status line, x pixels from the left.
void statusLineTop(Program& program, int x);
void statusLineBottom(Program& program, int x);
void setTextColor(Program& program, unsigned color);
