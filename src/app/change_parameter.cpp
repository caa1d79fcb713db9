#include <cmath>
#include <string>

#include "app/change_parameter.h"
#include "engine/remote_setup.h"
#include "model/program.h"
#include "model/radio_table.h"
#include "model/setup_table.h"
#include "platform/host.h"
#include "platform/ids.h"
#include "text/typed_number.h"

namespace {

constexpr int kSubnetRow = 28;
constexpr int kPowerRow = 13;
constexpr int kPowerCalibrationRow = 38;

// Typed numbers are taken to the nearest whole number.
double NearestWhole(const std::string& text) { return std::round(ParseTypedNumber(text)); }

void Refuse(Host& host, const std::string& text) {
    host.beep();
    host.messageBox(text, "Error");
}

// The subnet boxes read as one hexadecimal number: blanks before the first non-zero
// digit are skipped, anything else that is not a hex digit spoils the text.
// Returns -1 for invalid text or a value above 0xFF.
int SubnetValue(const std::string& text) {
    int value = 0;
    for (char ch : text) {
        int digit;
        if (ch == ' ') {
            if (value != 0) return -1;
            continue;
        }
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        else
            return -1;
        value = value * 16 + digit;
        if (value > 255) return -1;  // stays too large whatever follows
    }
    return value;
}

std::string UpperCase(std::string text) {
    for (char& ch : text)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return text;
}

// The values a row accepts besides 0..255; transmit power depends on the radio type.
bool ValueFitsRow(int row, int v, bool newTypePower) {
    switch (row) {
        case 0: return v == 3 || v == 7;
        case 3: return (v & 0x93) == v;
        case 9:
        case 10:
        case 12: return v <= 15;
        case 11: return v == 2 || v == 3;
        case 13: return newTypePower ? v <= 10 : (v >= 1 && v <= 9);
        case 15: return v <= 112;
        case 17:
        case 18:
        case 19: return v <= 9;
        case 20: return v <= 2;
        default: return true;
    }
}

// Asks "NewValue?" until the value suits the row. False on Cancel.
bool AskNewValue(Host& host, int row, bool newTypePower, int& value) {
    for (;;) {
        std::string text;
        if (!host.prompt("NewValue?", text)) return false;
        const double v = NearestWhole(text);
        if (v >= 0 && v <= 255 && ValueFitsRow(row, static_cast<int>(v), newTypePower)) {
            value = static_cast<int>(v);
            return true;
        }
        Refuse(host, "Bad Input Try Again");
    }
}

// Asks for the row's new value and converts it to the byte to write. False when
// the change was cancelled or refused.
bool AskWriteValue(Program& program, Host& host, int row, int radio, int& writeValue) {
    if (row == kSubnetRow) {
        std::string rx = "RX";
        std::string tx = "TX";
        if (!host.subnetDialog("New Subnet Value", rx, tx)) return false;
        const int v = SubnetValue(UpperCase(tx + rx));
        if (v < 0) {
            Refuse(host, "Incorrect Value");
            return false;
        }
        writeValue = v;
        return true;
    }

    const RadioRecord& record = program.network.radios[radio];
    const bool newTypePower = record.serialNumber > 9110000 || record.serialNumber == 0;
    int v = 0;
    if (!AskNewValue(host, row, newTypePower, v)) return false;
    if (row != kPowerRow) {
        writeValue = v;
        return true;
    }
    if (!newTypePower) {
        writeValue = 12 + 27 * v;
        return true;
    }
    const int calibration = record.eepromValue[kPowerCalibrationRow];
    if (!record.eepromValid[kPowerCalibrationRow] || calibration == 0) {
        Refuse(host, "EEPROM #38 Reguired First");
        return false;
    }
    writeValue = static_cast<int>(std::round(calibration * v / 10.0));
    return true;
}

}  // namespace

void ChangeSetupParameter(Program& program, Host& host) {
    PollState& poll = program.poll;
    if (program.display.screenNumber == screen::screen0) {
        ResetDisconnectCounts(program.network);
        host.invalidate(true);
        host.update();
        return;
    }
    if (program.display.screenNumber != screen::screen2) return;
    // A read-all sweep or a write already owns the poll cycle.
    if (poll.pollMode < 0 || poll.pollMode > 1) return;

    std::string text;
    if (!host.prompt("Radio Parameter to Change?", text)) return;
    // A negative row is out of range before rounding could make "-0.4" row 0.
    const double typed = ParseTypedNumber(text) < 0 ? -1 : NearestWhole(text);
    if (typed < 0 || typed >= program.setup.setupParamCount || typed >= kParamSlots) {
        Refuse(host, "Out oF Range");
        return;
    }
    const int row = static_cast<int>(typed);
    if (!RowIsChangeable(row)) {
        Refuse(host, "These cannot be changed");
        return;
    }

    // The radio Screen2 shows is the one the change goes to, now and for the whole
    // write sequence, whatever is selected later.
    const int target = SelectedRadioInTable(program.network);
    int writeValue = 0;
    if (!AskWriteValue(program, host, row, target, writeValue)) return;
    // The timer kept polling while the dialogs were open; start only from idle polling.
    if (poll.pollMode < 0 || poll.pollMode > 1) return;

    poll.pollMode += 60;
    poll.writeAddress = AddressOfRow(program.setup, row);
    poll.writeValue = writeValue;
    poll.ackAddress = -1;
    poll.ackValue = -1;
    poll.currentRadio = target;
    poll.pendingAddress = poll.writeAddress;
    poll.pendingValue = writeValue;
}
