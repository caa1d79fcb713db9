#include <algorithm>
#include <cmath>
#include <string>

#include "display/screens.h"
#include "display/text_grid.h"
#include "engine/remote_setup.h"
#include "model/setup_table.h"
#include "text/format_number.h"
#include "text/hex.h"

namespace {

// Serial numbers of the radios whose transmit power is calibrated (row 38).
bool NewTypePower(uint32_t serial) { return serial > 9110000 || serial == 0; }

bool SilverRow(int row) { return row == 6 || row == 7 || row == 8 || row == 34 || row == 38; }

std::string LineSettings(unsigned v) {
    std::string text;
    switch (v & 0x13) {
        case 0x00:
        case 0x01: text = "8,N,1"; break;
        case 0x02: text = "7,E,1"; break;
        case 0x03: text = "7,O,1"; break;
        case 0x10:
        case 0x11: text = "8,N,2"; break;
        case 0x12: text = "8,E,1"; break;
        default: text = "8,O,1"; break;  // 0x13
    }
    return text + (v > 127 ? ",LoopBack" : "         ");
}

std::string TransmitPower(const RadioRecord& radio, unsigned v) {
    if (NewTypePower(radio.serialNumber)) {
        const unsigned calibration = radio.eepromValue[38];
        if (calibration == 0) return "Please Wait";
        return "Setting is " + FormatNumber(std::round(10.0 * v / calibration), "##  ");
    }
    const int level = (std::max(static_cast<int>(v) - 12, 0)) / 27;
    return "Setting is " + FormatNumber(level, "##");
}

// What a row's value means, drawn after the value itself.
std::string DecodedText(const RadioRecord& radio, int row) {
    const auto& p = radio.eepromValue;
    const auto& ok = radio.eepromValid;
    const unsigned v = p[row];
    switch (row) {
        case 0:
            if (v == 2) return "Master";
            if (v == 3) return "Slave";
            if (v == 7) return "Repeater";
            return {};
        case 2:
            if (!ok[1]) return {};
            {
                const unsigned divisor = 256 * v + p[1];
                if (divisor == 0) return "Baud Disabled";
                return "BaudRate=" + FormatNumber(460800.0 / divisor, "######");
            }
        case 3: return LineSettings(v);
        case 4:
        case 22:
        case 23:
        case 24:
        case 25: return v == 255 ? "Disabled" : "Enabled ";
        case 13: return TransmitPower(radio, v);
        case 14:
        case 21: return v == 0 ? "Disabled" : "Enabled ";
        case 27:
            if (!ok[26]) return {};
            return "Network ID=" + FormatNumber(((p[26] + 1) & 15) * 256 + v, "####");
        case 28:
            if (v == 255) return "Disabled            ";
            return "Rcv=" + HexText(v & 15) + " Xmit=" + HexText(v / 16);
        case 30:
            if (!ok[29] || !ok[30] || !ok[33]) return {};
            return "Rad Id=" + FormatNumber(p[29] * 256.0 + v + ((p[33] + 1) & 255) * 65536.0, "#######");
        case 35:
        case 36:
        case 37: return v == 255 ? "Disabled" : "Enabled";
        default: return {};
    }
}

}  // namespace

void DrawScreen2Body(DisplayOptions& display, const RadioNetwork& network, SetupState& setup) {
    const int r = SelectedRadioInTable(network);
    const RadioRecord& radio = network.radios[r];
    const int rowsPerPage = display.rowsPerPage;

    TextAt(display, 3, 1);
    DrawText(display, "                       Remote Radio Setup Parameters ");
    TextAt(display, 5, 28);
    DrawText(display, "Serial Number        Name");
    TextAt(display, rowsPerPage + 8, 32);
    DrawText(display, "Radio Number ");

    SetTextColor(display, colors::darkGreen);
    TextAt(display, 6, 29);
    DrawText(display, FormatNumber(radio.serialNumber, "########                  "));
    TextAt(display, 6, 47);
    DrawText(display, std::string(radio.name.data(), radio.name.size()));
    TextAt(display, rowsPerPage + 8, 50);
    DrawText(display, FormatNumber(r, " ####"));
    SetTextColor(display, colors::black);

    const int count = SetupParamCountForSerial(radio.serialNumber);
    setup.setupParamCount = count;
    const int half = (count - 1) / 2;
    for (int i = 0; i < count; ++i) {
        if (i <= half)
            TextAt(display, i + 8, 1);
        else
            TextAt(display, i - 1 - half + 8, 41);
        SetTextColor(display, SilverRow(i) ? colors::silver : colors::black);
        DrawText(display, FormatNumber(i, "* # ") + std::string(setup.table.rows[i].name));
        SetTextColor(display, colors::black);

        if (!radio.eepromValid[i]) {
            DrawText(display, " XXX ");
            continue;
        }
        SetTextColor(display, colors::darkGreen);
        DrawText(display, FormatNumber(radio.eepromValue[i], " * #") + "  " + DecodedText(radio, i));
        SetTextColor(display, colors::black);
    }
}
