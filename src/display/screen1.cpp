#include <string>

#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "model/derived_values.h"
#include "model/program.h"
#include "text/format_number.h"

// Draws radio `radio`'s Screen1 row at the text cursor (column 1 of its row).
void DrawScreen1Row(Program& program, int radio) {
    const RadioRecord& r = RadioAt(program, radio);
    if (!DrawRowHead(program, r, "  ")) return;
    drawText(program, RadioIdText(r, "* ####", "XXXXXX"));
    drawText(program, formatNumber(r.revision, "* ##"));

    setTextColor(program, FrequencyAlarm(r.freqOffsetCode) ? colors::alarmRed : colors::darkGreen);
    drawText(program, formatNumber((r.freqOffsetCode - 128) / 10.0, "* ##.0"));

    setTextColor(program, colors::darkGreen);
    drawText(program, formatNumber(r.dataBytes, "* ######"));
    double d = DistanceKm(r.serialNumber, r.distanceRaw, 3.0);
    if (!program.display.metricUnits) d /= 1.609;
    drawText(program, formatNumber(d, "* .#0 "));
    drawText(program, formatNumber(TemperatureInUnits(program, r.temperatureRaw), "* #") +
                          formatNumber(RadioVolts(r.serialNumber, r.voltageRaw), "* #.0"));

    drawText(program, r.lineStatus > 127 ? "   L " : "   H ");
    drawText(program, (r.lineStatus & 0x20) != 0 ? "  L  " : "  H  ");
    drawText(program, (r.lineStatus & 0x10) != 0 ? "  L  " : "  H  ");
    drawText(program, formatNumber(r.replyCount, "* ### "));
    DrawTimeReceived(program, r);
    setTextColor(program, colors::black);
}
