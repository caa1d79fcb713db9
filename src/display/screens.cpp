#include "display/screens.h"

#include "display/screen_parts.h"
#include "display/text_grid.h"
#include "model/program.h"

void ComputePageGeometry(Program& program) {
    DisplayOptions& d = program.display;
    RadioNetwork& n = program.network;
    // 232 pixels of header, bars and status lines; the rest holds 16-pixel rows.
    d.rowsPerPage = (d.clientRect.height() - 232) / 16;
    n.lastVisibleRow = n.firstVisibleRow + d.rowsPerPage;
    if (n.radioCount < n.lastVisibleRow) n.lastVisibleRow = n.radioCount;
}

// Screens 0 and 1: header, start bar, one row per visible radio, end bar.
void DrawRadioList(Program& program, bool screen1) {
    if (screen1)
        DrawScreen1Header(program);
    else
        DrawScreen0Header(program);
    DrawStartBar(program, true);
    const RadioNetwork& n = program.network;
    for (int i = n.firstVisibleRow; i <= n.lastVisibleRow; ++i) {
        if (i < 0 || i >= kRadioSlots) continue;
        TextAt(program.display, 7 + i - n.firstVisibleRow, 1);
        if (screen1)
            DrawScreen1Row(program, i);
        else
            DrawScreen0Row(program, i);
    }
    DrawEndBar(program, true);
    DrawListArrows(program);
}
