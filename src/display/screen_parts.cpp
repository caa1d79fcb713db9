#include "display/screen_parts.h"

#include <cmath>

#include "display/text_grid.h"
#include "model/derived_values.h"
#include "model/program.h"
#include "text/format_number.h"
#include "text/hex.h"

char HopDigit(int n) {
    int code = 48 + n;
    if (code > '9') code += 7;
    return static_cast<char>(static_cast<unsigned char>(code & 0xFF));
}

const RadioRecord& RadioAt(const Program& program, int radio) {
    static const RadioRecord blank{};
    if (radio < 0 || radio >= kRadioSlots) return blank;
    return program.network.radios[static_cast<size_t>(radio)];
}

std::string IdentityText(const Program& program, const RadioRecord& radio) {
    if (program.display.showNames) return NameText(radio.name) + " ";
    return FormatNumber(radio.serialNumber, "######## ");
}

std::string RadioIdText(const RadioRecord& radio, const char* mask, const char* unread) {
    if (!RadioIdValid(radio)) return unread;
    return FormatNumber(static_cast<double>(RadioId(radio)), mask);
}

double NowSecondsOfDay(const Program& program) {
    return program.clock != nullptr ? SecondsOfDay(program.clock->now()) : 0.0;
}

void DrawTimeReceived(Program& program, const RadioRecord& radio) {
    const double age = ReplyAgeSeconds(NowSecondsOfDay(program), radio);
    SetTextColor(program.display, age > program.display.alarmTimeSeconds ? colors::alarmRed : colors::darkGreen);
    DrawText(program.display, std::string_view(radio.timeReceived.data(), radio.timeReceived.size()));
}

int TemperatureInUnits(const Program& program, int raw) {
    int t = TemperatureFromRaw(raw);
    if (program.display.metricUnits) return t;
    return static_cast<int>(std::lround(1.8 * t + 32.0));
}

void DrawScreen0Header(Program& program) {
    TextAt(program.display, 3, 1);
    DrawText(program.display, " Radio   Fn  Sig Nse  %  Freq   DATA  Dist Num Rep1 Rep2 Rep3 Rep4 Poll  Time");
    TextAt(program.display, 4, 1);
    DrawText(program.display, "                          ppm   bytes  ");
    DrawText(program.display, program.display.metricUnits ? "km" : "mi");
    DrawText(program.display, "  Dis N Sg N Sg N Sg N Sg   %   Rcvd");
}

void DrawScreen1Header(Program& program) {
    TextAt(program.display, 3, 1);
    DrawText(program.display, " Radio   Fn     ID   Rev Freq   Data  Dist Temp VTG  RTS CTS DTR  Polls  Time");
    TextAt(program.display, 4, 1);
    DrawText(program.display, "                          ppm   bytes  ");
    DrawText(program.display, program.display.metricUnits ? "km    C" : "mi    F");
    DrawText(program.display, "   V                 Rcvd  Rcvd");
}

bool DrawRowHead(Program& program, const RadioRecord& radio, const std::string& pad) {
    SetTextColor(program.display, colors::darkGreen);
    DrawText(program.display, IdentityText(program, radio));
    // Fn starts at column 10 whatever the identity's width.
    program.display.textCursor.left = program.display.clientRect.left + 90;
    DrawText(program.display,
             (radio.repeaterNumber == 0 ? std::string("S ") : "R" + HexText(radio.repeaterNumber)) + pad);
    if (radio.replyCount != 0) return true;
    DrawText(program.display, std::string(67, ' '));
    SetTextColor(program.display, colors::black);
    return false;
}
