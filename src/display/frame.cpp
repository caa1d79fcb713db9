#include <string>

#include "app/program.h"
#include "display/format_number.h"
#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "setup/remote_setup.h"

namespace {

void DrawFooter(Program& program) {
    setTextColor(program, colors::black);
    statusLineTop(program, 0);
    drawText(program, "Number of Radios=" + formatNumber(program.network.radioCount, "* ##   "));
    drawText(program, "Alarm Time=" + formatNumber(program.display.alarmTimeSeconds, "* # ") + "Sec");
}

// The link status line; it also tells the keep-alive whether a link is up.
void DrawLinkStatus(Program& program) {
    LinkState& link = program.link;
    setTextColor(program, colors::navy);
    statusLineBottom(program, 0);
    std::string text;
    int16_t up = 1;
    if (link.serialPortOpen.load() != 0)
        text = link.commPortName + "  Opened";
    else if (link.linkKind.load() == kLinkTcp)
        text = link.ipAddressText + " OpenedTCP";
    else if (link.linkKind.load() == kLinkUdp)
        text = link.ipAddressText + " OpenedUDP";
    else {
        text = "No Connection";
        up = 0;
    }
    drawText(program, text);
    // A dial-up in progress owns the flag until it connects or gives up.
    if (link.linkUp.load() != 3) link.linkUp.store(up);
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

    textAt(program, 1, 30);
    drawText(program, program.network.networkFileName);
    ComputePageGeometry(program);

    switch (d.screenNumber) {
        case 0: DrawRadioList(program, false); break;
        case 1: DrawRadioList(program, true); break;
        case 2:
            drawScreen2Body(program);
            ListBars(program, false);
            break;
        case 3: DrawGraphics3(program); break;
        case 4: DrawGraphics4(program); break;
        default: break;
    }

    DrawFooter(program);
    DrawLinkStatus(program);
    setTextColor(program, colors::black);
    d.canvas = previous;
}
