#pragma once
#include <memory>

struct Program;
class Canvas;
class LiveListener;

// Paints the whole client area for the current screen.
void PaintWindow(Program& program, Canvas& canvas);
void DrawScreen0Row(Program& program, int radio);
void DrawScreen1Row(Program& program, int radio);
void ListBars(Program& program, bool withText);
void DrawGraphics3(Program& program);
void DrawGraphics4(Program& program);
// Screen2's list of the selected radio's setup parameters.
void DrawScreen2Body(Program& program);

// Draws the live updates on `canvas` (the window, between paints).
std::unique_ptr<LiveListener> MakeCanvasLiveView(Program& program);
