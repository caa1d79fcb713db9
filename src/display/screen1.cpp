#include <string>

#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "model/derived_values.h"
#include "text/format_number.h"

// Draws radio `radio`'s Screen1 row at the text cursor (column 1 of its row).
void DrawScreen1Row(DisplayOptions& display, const RadioNetwork& network, const Clock* clock, int radio) {
    const RadioRecord& r = RadioAt(network, radio);
    if (!DrawRowHead(display, r, "  ")) return;
    DrawText(display, RadioIdText(r, "* ####", "XXXXXX"));
    DrawText(display, FormatNumber(r.revision, "* ##"));

    SetTextColor(display, FrequencyAlarm(r.freqOffsetCode) ? colors::alarmRed : colors::darkGreen);
    DrawText(display, FormatNumber((r.freqOffsetCode - 128) / 10.0, "* ##.0"));

    SetTextColor(display, colors::darkGreen);
    DrawText(display, FormatNumber(r.dataBytes, "* ######"));
    double d = DistanceKm(r.serialNumber, r.distanceRaw, 3.0);
    if (!display.metricUnits) d /= 1.609;
    DrawText(display, FormatNumber(d, "* .#0 "));
    DrawText(display, FormatNumber(TemperatureInUnits(display, r.temperatureRaw), "* #") +
                          FormatNumber(RadioVolts(r.serialNumber, r.voltageRaw), "* #.0"));

    DrawText(display, r.lineStatus > 127 ? "   L " : "   H ");
    DrawText(display, (r.lineStatus & 0x20) != 0 ? "  L  " : "  H  ");
    DrawText(display, (r.lineStatus & 0x10) != 0 ? "  L  " : "  H  ");
    DrawText(display, FormatNumber(r.replyCount, "* ### "));
    DrawTimeReceived(display, clock, r);
    SetTextColor(display, colors::black);
}
