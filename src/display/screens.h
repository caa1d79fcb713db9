#pragma once
#include <memory>

#include "model/display_options.h"
#include "model/radio_network.h"
#include "model/setup_state.h"
#include "platform/clock.h"

struct Program;
class Canvas;
class LiveListener;

// Paints the whole client area for the current screen.
void PaintWindow(Program& program, Canvas& canvas);
void DrawScreen0Row(DisplayOptions& display, const RadioNetwork& network, const Clock* clock, int radio);
void DrawScreen1Row(DisplayOptions& display, const RadioNetwork& network, const Clock* clock, int radio);
void ListBars(DisplayOptions& display, const RadioNetwork& network, bool withText);
void DrawGraphics3(DisplayOptions& display, const RadioNetwork& network, const Clock* clock);
void DrawGraphics4(DisplayOptions& display, const RadioNetwork& network, const Clock* clock);
// Screen2's list of the selected radio's setup parameters.
void DrawScreen2Body(DisplayOptions& display, const RadioNetwork& network, SetupState& setup);

// Draws the live updates on `canvas` (the window, between paints).
std::unique_ptr<LiveListener> MakeCanvasLiveView(Program& program);
