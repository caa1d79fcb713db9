#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "text/format_number.h"

// The bar text is drawn first and the grey rectangles over its dashes, so only
// the words and the number stay visible between the bars.

void DrawStartBar(DisplayOptions& display, const RadioNetwork& network, bool withText) {
    if (withText) {
        TextAt(display, 6, 1);
        DrawText(display, "--------------------------Starting At Radio Number " +
                              FormatNumber(network.firstVisibleRow, "* ##") + " ------------------------");
    }
    Canvas* canvas = display.canvas;
    if (canvas == nullptr) return;
    canvas->selectBrush(Brush::lightGrey);
    canvas->selectPen(Pen::black);
    canvas->rectangle({0, 80, 260, 94});
    canvas->rectangle({550, 80, 800, 94});
}

void DrawEndBar(DisplayOptions& display, const RadioNetwork& network, bool withText) {
    const int b = 16 * display.rowsPerPage;
    if (withText) {
        TextAt(display, display.rowsPerPage + 8, 1);
        DrawText(display, "----------------------------Ending At Radio Number " +
                              FormatNumber(network.lastVisibleRow, "* ##") + " ------------------------");
    }
    Canvas* canvas = display.canvas;
    if (canvas == nullptr) return;
    canvas->selectBrush(Brush::lightGrey);
    canvas->selectPen(Pen::black);
    canvas->rectangle({0, 112 + b, 280, 126 + b});
    canvas->rectangle({550, 112 + b, 800, 126 + b});
}

void DrawListArrows(DisplayOptions& display) {
    Canvas* canvas = display.canvas;
    if (canvas == nullptr) return;
    const int b = 16 * display.rowsPerPage;
    canvas->selectPen(Pen::black);
    canvas->moveTo(680, 94);
    canvas->lineTo(680, 80);
    canvas->lineTo(675, 85);
    canvas->lineTo(685, 85);
    canvas->lineTo(680, 80);
    canvas->moveTo(680, 112 + b);
    canvas->lineTo(680, 126 + b);
    canvas->lineTo(675, 119 + b);
    canvas->lineTo(685, 119 + b);
    canvas->lineTo(680, 126 + b);
}

void ListBars(DisplayOptions& display, const RadioNetwork& network, bool withText) {
    DrawStartBar(display, network, withText);
    DrawEndBar(display, network, withText);
    DrawListArrows(display);
}
