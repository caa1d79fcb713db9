#include <string>

#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "model/derived_values.h"
#include "model/program.h"
#include "text/format_number.h"

// Draws radio `radio`'s Screen0 row at the text cursor, which the caller has put at
// column 1 of the row.
void DrawScreen0Row(Program& program, int radio) {
    const RadioRecord& r = RadioAt(program, radio);
    if (!DrawRowHead(program, r, " ")) return;
    if (r.repeaterNumber < 15)
        drawText(program, formatNumber(r.signalLevel, "* ##") + formatNumber(r.noiseLevel, "* #"));
    else
        drawText(program, formatNumber(r.signalLevel, "* #") + formatNumber(r.noiseLevel, "* #"));

    setTextColor(program, GoodPacketsAlarm(r.goodPacketsRaw) ? colors::alarmRed : colors::darkGreen);
    drawText(program, formatNumber(r.goodPacketsRaw / 2.56, "* ###"));
    setTextColor(program, FrequencyAlarm(r.freqOffsetCode) ? colors::alarmRed : colors::darkGreen);
    drawText(program, formatNumber((r.freqOffsetCode - 128) / 10.0, "* #.0"));

    setTextColor(program, colors::darkGreen);
    drawText(program, formatNumber(r.dataBytes, "* ######"));
    double d = DistanceKm(r.serialNumber, r.distanceRaw, 3.0);
    if (!program.display.metricUnits) d /= 1.609;
    drawText(program, formatNumber(d, "* .0 "));
    drawText(program, formatNumber(r.disconnectCount, "* # "));

    for (int h = 0; h < 4; ++h) {
        const int n = r.hopRepeater[static_cast<size_t>(h)];
        const double signal = r.hopSignalAvg[static_cast<size_t>(h)] / 256.0;
        if (n > 0)
            drawText(program, std::string(" ") + HopDigit(n) + formatNumber(signal, "* #"));
        else if (h == 0)
            drawText(program, " 0" + formatNumber(signal, "* #"));
        else
            drawText(program, "     ");
    }
    drawText(program, formatNumber(r.pollScore / 100.0, "* ### "));
    DrawTimeReceived(program, r);
    setTextColor(program, colors::black);
}
