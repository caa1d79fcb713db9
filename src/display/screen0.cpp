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
        DrawText(program.display, FormatNumber(r.signalLevel, "* ##") + FormatNumber(r.noiseLevel, "* #"));
    else
        DrawText(program.display, FormatNumber(r.signalLevel, "* #") + FormatNumber(r.noiseLevel, "* #"));

    SetTextColor(program.display, GoodPacketsAlarm(r.goodPacketsRaw) ? colors::alarmRed : colors::darkGreen);
    DrawText(program.display, FormatNumber(r.goodPacketsRaw / 2.56, "* ###"));
    SetTextColor(program.display, FrequencyAlarm(r.freqOffsetCode) ? colors::alarmRed : colors::darkGreen);
    DrawText(program.display, FormatNumber((r.freqOffsetCode - 128) / 10.0, "* #.0"));

    SetTextColor(program.display, colors::darkGreen);
    DrawText(program.display, FormatNumber(r.dataBytes, "* ######"));
    double d = DistanceKm(r.serialNumber, r.distanceRaw, 3.0);
    if (!program.display.metricUnits) d /= 1.609;
    DrawText(program.display, FormatNumber(d, "* .0 "));
    DrawText(program.display, FormatNumber(r.disconnectCount, "* # "));

    for (int h = 0; h < 4; ++h) {
        const int n = r.hopRepeater[static_cast<size_t>(h)];
        const double signal = r.hopSignalAvg[static_cast<size_t>(h)] / 256.0;
        if (n > 0)
            DrawText(program.display, std::string(" ") + HopDigit(n) + FormatNumber(signal, "* #"));
        else if (h == 0)
            DrawText(program.display, " 0" + FormatNumber(signal, "* #"));
        else
            DrawText(program.display, "     ");
    }
    DrawText(program.display, FormatNumber(r.pollScore / 100.0, "* ### "));
    DrawTimeReceived(program, r);
    SetTextColor(program.display, colors::black);
}
