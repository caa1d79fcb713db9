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
    DrawText(program.display, RadioIdText(r, "* ####", "XXXXXX"));
    DrawText(program.display, FormatNumber(r.revision, "* ##"));

    SetTextColor(program.display, FrequencyAlarm(r.freqOffsetCode) ? colors::alarmRed : colors::darkGreen);
    DrawText(program.display, FormatNumber((r.freqOffsetCode - 128) / 10.0, "* ##.0"));

    SetTextColor(program.display, colors::darkGreen);
    DrawText(program.display, FormatNumber(r.dataBytes, "* ######"));
    double d = DistanceKm(r.serialNumber, r.distanceRaw, 3.0);
    if (!program.display.metricUnits) d /= 1.609;
    DrawText(program.display, FormatNumber(d, "* .#0 "));
    DrawText(program.display, FormatNumber(TemperatureInUnits(program, r.temperatureRaw), "* #") +
                                  FormatNumber(RadioVolts(r.serialNumber, r.voltageRaw), "* #.0"));

    DrawText(program.display, r.lineStatus > 127 ? "   L " : "   H ");
    DrawText(program.display, (r.lineStatus & 0x20) != 0 ? "  L  " : "  H  ");
    DrawText(program.display, (r.lineStatus & 0x10) != 0 ? "  L  " : "  H  ");
    DrawText(program.display, FormatNumber(r.replyCount, "* ### "));
    DrawTimeReceived(program, r);
    SetTextColor(program.display, colors::black);
}
