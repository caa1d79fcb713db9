#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "model/program.h"
#include "text/format_number.h"

// The bar text is drawn first and the grey rectangles over its dashes, so only
// the words and the number stay visible between the bars.

void DrawStartBar(Program& program, bool withText) {
    if (withText) {
        TextAt(program.display, 6, 1);
        DrawText(program.display, "--------------------------Starting At Radio Number " +
                                      FormatNumber(program.network.firstVisibleRow, "* ##") +
                                      " ------------------------");
    }
    Canvas* canvas = program.display.canvas;
    if (canvas == nullptr) return;
    canvas->selectBrush(Brush::lightGrey);
    canvas->selectPen(Pen::black);
    canvas->rectangle({0, 80, 260, 94});
    canvas->rectangle({550, 80, 800, 94});
}

void DrawEndBar(Program& program, bool withText) {
    const int b = 16 * program.display.rowsPerPage;
    if (withText) {
        TextAt(program.display, program.display.rowsPerPage + 8, 1);
        DrawText(program.display, "----------------------------Ending At Radio Number " +
                                      FormatNumber(program.network.lastVisibleRow, "* ##") +
                                      " ------------------------");
    }
    Canvas* canvas = program.display.canvas;
    if (canvas == nullptr) return;
    canvas->selectBrush(Brush::lightGrey);
    canvas->selectPen(Pen::black);
    canvas->rectangle({0, 112 + b, 280, 126 + b});
    canvas->rectangle({550, 112 + b, 800, 126 + b});
}

void DrawListArrows(Program& program) {
    Canvas* canvas = program.display.canvas;
    if (canvas == nullptr) return;
    const int b = 16 * program.display.rowsPerPage;
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

void ListBars(Program& program, bool withText) {
    DrawStartBar(program, withText);
    DrawEndBar(program, withText);
    DrawListArrows(program);
}
