#include <string>

#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "model/derived_values.h"
#include "text/format_number.h"

// Draws radio `radio`'s Screen0 row at the text cursor, which the caller has put at
// column 1 of the row.
void DrawScreen0Row(DisplayOptions& display, const RadioNetwork& network, const Clock* clock, int radio) {
    const RadioRecord& r = RadioAt(network, radio);
    if (!DrawRowHead(display, r, " ")) return;
    if (r.repeaterNumber < 15)
        DrawText(display, FormatNumber(r.signalLevel, "* ##") + FormatNumber(r.noiseLevel, "* #"));
    else
        DrawText(display, FormatNumber(r.signalLevel, "* #") + FormatNumber(r.noiseLevel, "* #"));

    SetTextColor(display, GoodPacketsAlarm(r.goodPacketsRaw) ? colors::alarmRed : colors::darkGreen);
    DrawText(display, FormatNumber(r.goodPacketsRaw / 2.56, "* ###"));
    SetTextColor(display, FrequencyAlarm(r.freqOffsetCode) ? colors::alarmRed : colors::darkGreen);
    DrawText(display, FormatNumber((r.freqOffsetCode - 128) / 10.0, "* #.0"));

    SetTextColor(display, colors::darkGreen);
    DrawText(display, FormatNumber(r.dataBytes, "* ######"));
    double d = DistanceKm(r.serialNumber, r.distanceRaw, 3.0);
    if (!display.metricUnits) d /= 1.609;
    DrawText(display, FormatNumber(d, "* .0 "));
    DrawText(display, FormatNumber(r.disconnectCount, "* # "));

    for (int h = 0; h < 4; ++h) {
        const int n = r.hopRepeater[static_cast<size_t>(h)];
        const double signal = r.hopSignalAvg[static_cast<size_t>(h)] / 256.0;
        if (n > 0)
            DrawText(display, std::string(" ") + HopDigit(n) + FormatNumber(signal, "* #"));
        else if (h == 0)
            DrawText(display, " 0" + FormatNumber(signal, "* #"));
        else
            DrawText(display, "     ");
    }
    DrawText(display, FormatNumber(r.pollScore / 100.0, "* ### "));
    DrawTimeReceived(display, clock, r);
    SetTextColor(display, colors::black);
}
