#include <string>

#include "files/file_safety.h"
#include "files/log_files.h"
#include "files/log_text.h"
#include "model/derived_values.h"
#include "model/protocol_error.h"
#include "text/format_number.h"

namespace {

using logtext::kLineEnd;

std::string ParameterName(const SetupParameter& row) {
    std::string name(row.name);
    name.resize(16, ' ');
    return name;
}

std::string HistoryLine(const HistorySample& s) {
    std::string line;
    line += FormatNumber(s.time, "   ########   ");
    line += FormatNumber(s.signal, "###    ");
    line += FormatNumber(s.noise, "###    ");
    line += FormatNumber(GoodPercentScreen(s.goodPackets), "###    ");
    line += FormatNumber(s.voltageRaw * 15.0 / 256.0, "###.0  ");
    line += FormatNumber(TemperatureFromRaw(s.temperatureRaw), "####   ");
    line += FormatNumber(FreqPpm(s.freqCode), "###.0  ");
    line += FormatNumber(s.dataBytes, "#########  ");
    line += FormatNumber(s.badCount, "#######  ");
    line += FormatNumber(s.goodCount, "#######  ");
    return line;
}

bool InTable(const RadioNetwork& network, int radio) {
    return radio >= 0 && radio <= logtext::RadiosInTable(network);
}

std::string ReportFileName(const RadioRecord& radio) {
    return FormatNumber(radio.serialNumber, "#######") + ".dat";
}

}  // namespace

std::string SettingsReportText(const RadioNetwork& network, const SetupState& setup, int radio) {
    if (!InTable(network, radio)) return {};
    const RadioRecord& r = network.radios[radio];

    std::string out;
    out += "                       Remote Radio Setup Parameters ";
    out += kLineEnd;
    out += FormatNumber(radio, "                Radio Number ## Serial  ");
    out += FormatNumber(r.serialNumber, "######## ");
    out += "NAME:" + NameText(r.name) + kLineEnd;

    int rows = setup.setupParamCount;
    if (rows < 0) rows = 0;
    if (rows > kParamSlots) rows = kParamSlots;
    for (int p = 0; p < rows; ++p) {
        out += FormatNumber(p, "                     ##       ");
        out += ParameterName(setup.table.rows[p]);
        out += r.eepromValid[p] ? FormatNumber(r.eepromValue[p], "     ### ") : "     XXX ";
        out += kLineEnd;
    }
    out += kLineEnd;
    out += "Start Time was " + network.runStartTime + " on " + network.runStartDate + kLineEnd;
    out += kLineEnd;
    out += kLineEnd;
    out += "   Time(sec)  Sig   Noise  Rate     Vtg    Temp   PPM";
    out += kLineEnd;
    // Radios from index 1024 on keep no history.
    if (radio < kHistoryRows) {
        const HistoryRow& row = network.history[radio];
        int count = row.historyCount;
        if (count > kHistorySamples) count = kHistorySamples;
        for (int k = 1; k <= count; ++k) out += HistoryLine(row.samples[k]) + kLineEnd;
    }
    return out;
}

bool WriteSettingsReport(const std::string& folder, const RadioNetwork& network, const SetupState& setup,
                         ProtocolError& errors, int radio, std::string& failure) {
    if (!InTable(network, radio)) return false;
    const std::string name = ReportFileName(network.radios[radio]);
    std::string reason;
    const int code = WriteFileAtomically(folder, name, SettingsReportText(network, setup, radio), reason);
    if (code == 0) return true;
    RecordFailure(errors, code, logtext::kReportFileError);
    failure = "Could not write " + WorkPath(folder, name) + ": " + reason;
    return false;
}
