#include "display/screen_parts.h"

#include <cmath>

#include "display/text_grid.h"
#include "model/derived_values.h"
#include "text/format_number.h"
#include "text/hex.h"

char HopDigit(int n) {
    int code = 48 + n;
    if (code > '9') code += 7;
    return static_cast<char>(static_cast<unsigned char>(code & 0xFF));
}

const RadioRecord& RadioAt(const RadioNetwork& network, int radio) {
    static const RadioRecord blank{};
    if (radio < 0 || radio >= kRadioSlots) return blank;
    return network.radios[static_cast<size_t>(radio)];
}

std::string IdentityText(const DisplayOptions& display, const RadioRecord& radio) {
    if (display.showNames) return NameText(radio.name) + " ";
    return FormatNumber(radio.serialNumber, "######## ");
}

std::string RadioIdText(const RadioRecord& radio, const char* mask, const char* unread) {
    if (!RadioIdValid(radio)) return unread;
    return FormatNumber(static_cast<double>(RadioId(radio)), mask);
}

double NowSecondsOfDay(const Clock* clock) { return clock != nullptr ? SecondsOfDay(clock->now()) : 0.0; }

void DrawTimeReceived(DisplayOptions& display, const Clock* clock, const RadioRecord& radio) {
    const double age = ReplyAgeSeconds(NowSecondsOfDay(clock), radio);
    SetTextColor(display, age > display.alarmTimeSeconds ? colors::alarmRed : colors::darkGreen);
    DrawText(display, std::string_view(radio.timeReceived.data(), radio.timeReceived.size()));
}

int TemperatureInUnits(const DisplayOptions& display, int raw) {
    int t = TemperatureFromRaw(raw);
    if (display.metricUnits) return t;
    return static_cast<int>(std::lround(1.8 * t + 32.0));
}

void DrawScreen0Header(DisplayOptions& display) {
    TextAt(display, 3, 1);
    DrawText(display, " Radio   Fn  Sig Nse  %  Freq   DATA  Dist Num Rep1 Rep2 Rep3 Rep4 Poll  Time");
    TextAt(display, 4, 1);
    DrawText(display, "                          ppm   bytes  ");
    DrawText(display, display.metricUnits ? "km" : "mi");
    DrawText(display, "  Dis N Sg N Sg N Sg N Sg   %   Rcvd");
}

void DrawScreen1Header(DisplayOptions& display) {
    TextAt(display, 3, 1);
    DrawText(display, " Radio   Fn     ID   Rev Freq   Data  Dist Temp VTG  RTS CTS DTR  Polls  Time");
    TextAt(display, 4, 1);
    DrawText(display, "                          ppm   bytes  ");
    DrawText(display, display.metricUnits ? "km    C" : "mi    F");
    DrawText(display, "   V                 Rcvd  Rcvd");
}

bool DrawRowHead(DisplayOptions& display, const RadioRecord& radio, const std::string& pad) {
    SetTextColor(display, colors::darkGreen);
    DrawText(display, IdentityText(display, radio));
    // Fn starts at column 10 whatever the identity's width.
    display.textCursor.left = display.clientRect.left + 90;
    DrawText(display, (radio.repeaterNumber == 0 ? std::string("S ") : "R" + HexText(radio.repeaterNumber)) + pad);
    if (radio.replyCount != 0) return true;
    DrawText(display, std::string(67, ' '));
    SetTextColor(display, colors::black);
    return false;
}
