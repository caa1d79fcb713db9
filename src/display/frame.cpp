#include <string>

#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "link/links.h"
#include "model/program.h"
#include "platform/ids.h"
#include "text/format_number.h"

namespace {

void DrawFooter(Program& program) {
    SetTextColor(program.display, colors::black);
    StatusLineTop(program.display, 0);
    DrawText(program.display, "Number of Radios=" + FormatNumber(program.network.radioCount, "* ##   "));
    DrawText(program.display, "Alarm Time=" + FormatNumber(program.display.alarmTimeSeconds, "* # ") + "Sec");
}

// The link status line; it also tells the keep-alive whether a link is up.
void DrawLinkStatus(Program& program) {
    LinkState& link = program.link;
    SetTextColor(program.display, colors::navy);
    StatusLineBottom(program.display, 0);
    const int16_t up = LinkIsUp(program.link) ? 1 : 0;
    DrawText(program.display, LinkStatusText(program.link));
    // The window keeps painting while the modem dials; a carriage return from the
    // keep-alive would end the call, so the flag stays 0 until the modem answers.
    // Otherwise the paint sets it, also after a dial-up whose port never opened
    // (the flag stays 3 till then) and for a TCP link, which nothing else marks up.
    if (!link.dialling.load()) link.linkUp.store(up);
}

}  // namespace

void PaintWindow(Program& program, Canvas& canvas) {
    DisplayOptions& d = program.display;
    Canvas* previous = d.canvas;
    d.canvas = &canvas;
    d.clientRect = canvas.clientRect();
    canvas.setTextColor(colors::black);
    canvas.selectBrush(Brush::lightGrey);
    canvas.selectPen(Pen::black);

    TextAt(program.display, 1, 30);
    DrawText(program.display, program.network.networkFileName);
    ComputePageGeometry(program.display, program.network);

    switch (d.screenNumber) {
        case screen::screen0: DrawRadioList(program.display, program.network, program.clock, false); break;
        case screen::screen1: DrawRadioList(program.display, program.network, program.clock, true); break;
        case screen::screen2:
            DrawScreen2Body(program.display, program.network, program.setup);
            ListBars(program.display, program.network, false);
            break;
        case screen::graphics3: DrawGraphics3(program.display, program.network, program.clock); break;
        case screen::graphics4: DrawGraphics4(program.display, program.network, program.clock); break;
        default: break;
    }

    DrawFooter(program);
    DrawLinkStatus(program);
    SetTextColor(program.display, colors::black);
    d.canvas = previous;
}
