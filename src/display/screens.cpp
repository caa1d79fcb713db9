#include "display/screens.h"

#include "display/screen_parts.h"
#include "display/text_grid.h"

void ComputePageGeometry(DisplayOptions& d, RadioNetwork& n) {
    // 232 pixels of header, bars and status lines; the rest holds 16-pixel rows.
    d.rowsPerPage = (d.clientRect.height() - 232) / 16;
    n.lastVisibleRow = n.firstVisibleRow + d.rowsPerPage;
    if (n.radioCount < n.lastVisibleRow) n.lastVisibleRow = n.radioCount;
}

// Screens 0 and 1: header, start bar, one row per visible radio, end bar.
void DrawRadioList(DisplayOptions& display, const RadioNetwork& network, const Clock* clock, bool screen1) {
    if (screen1)
        DrawScreen1Header(display);
    else
        DrawScreen0Header(display);
    DrawStartBar(display, network, true);
    const RadioNetwork& n = network;
    for (int i = n.firstVisibleRow; i <= n.lastVisibleRow; ++i) {
        if (i < 0 || i >= kRadioSlots) continue;
        TextAt(display, 7 + i - n.firstVisibleRow, 1);
        if (screen1)
            DrawScreen1Row(display, network, clock, i);
        else
            DrawScreen0Row(display, network, clock, i);
    }
    DrawEndBar(display, network, true);
    DrawListArrows(display);
}
